#pragma once

// Internal to the project: copies of the few bytes a key, a word or a number holds, without a
// call into the C library for each.

#include <cstddef>
#include <cstring>

namespace pelmo::detail {

/// Copies `size` bytes from `from` to `to` (not overlapping). Up to 16 bytes take two fixed-size
/// copies that overlap in the middle.
inline void copyBytes(char* to, const char* from, std::size_t size) {
    if (size >= 8 && size <= 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + size - 8, from + size - 8, 8);
    } else if (size >= 4 && size < 8) {
        std::memcpy(to, from, 4);
        std::memcpy(to + size - 4, from + size - 4, 4);
    } else if (size < 4) {
        for (std::size_t i = 0; i < size; ++i) to[i] = from[i];
    } else {
        std::memcpy(to, from, size);
    }
}

}  // namespace pelmo::detail
