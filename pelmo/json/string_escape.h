#pragma once

// Internal to the library: the escapes of JSON strings.

#include <array>
#include <cstddef>
#include <cstring>

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

#if defined(__SSE2__) || defined(_M_X64)
/// Whether any byte of `chunk` has an escape.
inline bool hasEscape(__m128i chunk) {
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('"')),
                                  _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\\'))),
                     _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('\t')),
                                               _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\n'))),
                                  _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\r'))));
    return _mm_movemask_epi8(hits) != 0;
}
#endif

/// Whether any of the `size` bytes at `bytes` has an escape; sixteen at a time where it can.
inline bool needsEscape(const char* bytes, std::size_t size) {
#if defined(__SSE2__) || defined(_M_X64)
    for (; size >= 16; bytes += 16, size -= 16) {
        if (hasEscape(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)))) return true;
    }
#endif
    char any = 0;
    for (std::size_t i = 0; i < size; ++i) any |= kEscapes[static_cast<unsigned char>(bytes[i])];
    return any != 0;
}

/// Copies the `size` bytes at `from` to `to` if none of them has an escape, and says whether it
/// did; `to` may then hold part of them. From 4 to 16 bytes are loaded as two halves that overlap
/// in the middle, tested together (a byte seen twice changes nothing) and stored from registers.
inline bool copyWithoutEscapes(char* to, const char* from, std::size_t size) {
#if defined(__SSE2__) || defined(_M_X64)
    if (size >= 8 && size <= 16) {
        const __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from));
        const __m128i high = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from + size - 8));
        if (hasEscape(_mm_unpacklo_epi64(low, high))) return false;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to), low);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + size - 8), high);
        return true;
    }
    if (size >= 4 && size < 8) {
        int low, high;
        std::memcpy(&low, from, 4);
        std::memcpy(&high, from + size - 4, 4);
        if (hasEscape(_mm_set_epi32(0, 0, high, low))) return false;
        std::memcpy(to, &low, 4);
        std::memcpy(to + size - 4, &high, 4);
        return true;
    }
#endif
    if (needsEscape(from, size)) return false;
    if (size != 0) std::memcpy(to, from, size);  // an empty view may have no address at all
    return true;
}

}  // namespace pelmo::detail
