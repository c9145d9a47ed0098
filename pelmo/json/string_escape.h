#pragma once

// Internal to the library: the escapes of JSON strings.

#include <array>
#include <cstddef>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

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

/// Whether any of the `size` bytes at `bytes` has an escape; sixteen at a time where it can.
inline bool needsEscape(const char* bytes, std::size_t size) {
#if defined(__SSE2__) || defined(_M_X64)
    const auto found = [](__m128i chunk) {
        const __m128i hits =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('"')),
                                      _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\\'))),
                         _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('\t')),
                                                   _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\n'))),
                                      _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\r'))));
        return _mm_movemask_epi8(hits) != 0;
    };
    if (size >= 8 && size <= 16) {
        // Two eight-byte halves that overlap in the middle: a byte seen twice changes nothing.
        return found(_mm_unpacklo_epi64(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes)),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + size - 8))));
    }
    for (; size >= 16; bytes += 16, size -= 16) {
        if (found(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)))) return true;
    }
#endif
    char any = 0;
    for (std::size_t i = 0; i < size; ++i) any |= kEscapes[static_cast<unsigned char>(bytes[i])];
    return any != 0;
}

}  // namespace pelmo::detail
