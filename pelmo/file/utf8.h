#pragma once

// Internal to the project: UTF-8 in paths and in the messages that show them.

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmo::detail {

/// Length of the well-formed UTF-8 sequence at the start of `s` (not empty), or 0 if it is
/// ill-formed: overlong, a surrogate, above U+10FFFF, truncated or a stray continuation byte.
std::size_t utf8SequenceLength(std::string_view s);

/// How many bytes at the start of `s` are ASCII, which counts them eight at a time.
std::size_t asciiPrefix(std::string_view s);

/// Whether `bytes` is all well-formed UTF-8.
bool isUtf8(std::string_view bytes);

/// `bytes` as one line of text for a person: printable ASCII and well-formed UTF-8 as they are,
/// every other byte (controls, DEL, ill-formed UTF-8) as \xNN.
std::string printable(std::string_view bytes);

}  // namespace pelmo::detail
