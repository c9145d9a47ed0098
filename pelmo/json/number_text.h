#pragma once

// Internal to the library: the number texts written into a caller's buffer, so that encoders
// append them without building a temporary string.

#include <cstddef>
#include <cstdint>

namespace pelmo::detail {

/// Room enough for any number text: the integral digits of the largest double, a sign and ".0".
constexpr std::size_t kNumberTextCapacity = 320;

/// Writes the text of formatInteger at `buffer` and returns its end.
char* writeInteger(char* buffer, std::int64_t value);

/// Writes the text of formatFloat at `buffer` (kNumberTextCapacity bytes) and returns its end.
char* writeFloat(char* buffer, double value);

/// An upper bound of the length of formatFloat's text, computed without formatting.
std::size_t floatTextBound(double value);

/// The exact length of formatInteger's text.
std::size_t integerTextLength(std::int64_t value);

}  // namespace pelmo::detail
