#pragma once

// Internal to the library: the floating-point conversions of <charconv> that the encoders, the
// typing and the schema's numbers use. Emscripten's C++ library has neither of them; there the
// portable ones below take their place, and everywhere else the standard ones stay.

#include <cstddef>
#include <system_error>

namespace pelmo::detail {

__extension__ using Uint128 = unsigned __int128;

/// Room enough for writeFixed: a sign, the 309 integral digits of the largest double, a point and
/// six decimals.
constexpr std::size_t kFixedTextCapacity = 320;

/// The text std::to_chars(buffer, end, value, std::chars_format::fixed, decimals) writes, for a
/// finite `value` and 0 <= decimals <= 6: every integral digit, then the decimals, rounded from
/// the exact binary value, ties to even; "-" for a negative sign, even of a zero. Writes at most
/// kFixedTextCapacity bytes at `buffer` and returns the end.
char* writeFixed(char* buffer, double value, int decimals);

/// Reads [first, last) as std::from_chars(first, last, value, format) does, with the format hex or
/// general, for a numeral it reads whole: digits of the base with at most one point, then at most
/// one exponent (e, or p for hex, an optional sign and decimal digits); no sign, blanks or "0x".
/// Returns std::errc{} with `value` correctly rounded, or, leaving `value` as it was,
/// std::errc::result_out_of_range when it rounds to an infinity, or to zero from a numeral with
/// a digit other than zero.
std::errc readDouble(const char* first, const char* last, bool hex, double& value);

/// Room enough for writeShortest: a sign and the shorter of the two notations, each at most 17
/// digits, a point and an exponent.
constexpr std::size_t kShortestTextCapacity = 32;

/// The text std::to_chars(buffer, end, value) writes for a finite `value`, or with `scientific`
/// std::to_chars(buffer, end, value, std::chars_format::scientific): the fewest significant
/// digits that read back as `value`, the nearest such, in the shorter of fixed and scientific
/// notation (fixed on a tie). Writes at most kShortestTextCapacity bytes at `buffer` and returns
/// the end.
char* writeShortest(char* buffer, double value, bool scientific);

/// The same three by the project's own code (over the C library's strtod and printf): the path
/// where <charconv> lacks them, built everywhere so that the tests hold it to the standard one.
char* portableWriteFixed(char* buffer, double value, int decimals);
std::errc portableReadDouble(const char* first, const char* last, bool hex, double& value);
char* portableWriteShortest(char* buffer, double value, bool scientific);

/// |value| x 10^decimals rounded to an integer from the exact binary value, ties to even, for a
/// finite value below 2^53 in magnitude and 0 <= decimals <= 6 (the product is below 2^73).
Uint128 scaledToDecimals(double value, int decimals);

}  // namespace pelmo::detail
