#pragma once

// Internal to the library: the escapes of JSON strings.

#include <array>

namespace pelmo::detail {

/// For each byte, the letter that follows the backslash in its escape, or 0 if it is copied.
/// Only these five bytes are escaped; every other byte, UTF-8 included, passes unchanged.
inline constexpr std::array<char, 256> kEscapes = [] {
    std::array<char, 256> table{};
    table['\t'] = 't';
    table['\n'] = 'n';
    table['\r'] = 'r';
    table['"'] = '"';
    table['\\'] = '\\';
    return table;
}();

}  // namespace pelmo::detail
