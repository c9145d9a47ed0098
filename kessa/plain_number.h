#pragma once

// Internal to the kessa library: the quick route for the numerals most values are, an optional
// sign, digits and perhaps a point and more digits, which need none of the general readings.

#include <bit>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KESSA_SSE2 1
#endif

#include "kessa/scalar.h"

namespace kessa::detail {

/// Whether typeScalar could make a number of `token`: only a digit, a sign or white space can
/// begin one. Most strings are told by this alone.
inline bool mayBeNumber(std::string_view token) {
    if (token.empty()) return false;
    // One test of a bit, where a chain of comparisons would be mispredicted on mixed values.
    constexpr std::uint64_t kFirstBytes =
        0x3FFull << '0' | 1ull << '-' | 1ull << '+' | 1ull << ' ' | 0x1Full << '\t';
    const auto byte = static_cast<unsigned char>(token[0]);
    return byte < 64 && (kFirstBytes >> byte & 1) != 0;
}

/// A token that is a plain decimal numeral, split into its parts.
struct PlainNumber {
    bool negative = false;
    bool point = false;
    std::string_view digits;    ///< before the point: at least one
    std::string_view decimals;  ///< after the point, if there is one
};

/// Whether the whole of `token` is [+|-] digits [. digits]; if so, its parts go to `number`.
bool readPlainNumber(std::string_view token, PlainNumber& number);

/// Types a plain numeral exactly as typeScalar would, where that is quick: an integer of at most
/// 18 digits, or a float of at most 15 significant digits and 22 decimals. False otherwise.
bool typePlainNumber(const PlainNumber& number, Scalar& scalar);

/// Whether `token` is already the text JsonInteger or JsonFloat would write for its value: a
/// plain numeral with no "+", no leading zero, no trailing zero after its point, not a negative
/// zero, and either no point and at most 18 digits, or at most nine digits before the point and one
/// to six after it. Decided sixteen bytes at a time, reading up to 15 bytes past the token, which
/// the caller must know to be readable; tokens of more than 16 bytes are never verbatim here.
/// Inline: it runs for most numbers, and the call would cost as much as the test.
inline bool isVerbatimNumber(std::string_view token) {
#ifdef KESSA_SSE2
    const auto size = static_cast<unsigned>(token.size());
    if (size == 0 || size > 16) return false;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(token.data()));
    const auto mask = [](__m128i hits) { return static_cast<unsigned>(_mm_movemask_epi8(hits)); };
    const unsigned inside = (1u << size) - 1;  // size is at most 16
    const unsigned digits = mask(_mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                                               _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)))) &
                            inside;
    const unsigned zeros = mask(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('0'))) & inside;
    const unsigned points = mask(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'))) & inside;
    const unsigned sign = token[0] == '-' ? 1u : 0u;
    // Only digits, one point at most, a minus in front at most; a digit first after the sign.
    if ((digits | points | sign) != inside || (points & (points - 1)) != 0) return false;
    const unsigned first = sign;  // where the digits begin
    if ((digits >> first & 1u) == 0) return false;
    if ((digits & ~zeros) == 0) return sign == 0 && size == 1;  // zero: only "0" as it is
    // Integers and floats come mixed, so both tests are made and combined without a branch on
    // which one the token is.
    const unsigned point = static_cast<unsigned>(std::countr_zero(points | 1u << 16));
    const unsigned integral = point - first;
    const unsigned decimals = size - point - 1;  // wraps around for an integer: never used then
    const bool leadingZero = (zeros >> first & 1u) != 0;
    const bool integer = (points == 0) & !leadingZero & (size - first <= 18);
    // A lone zero before the point is the one leading zero allowed; the last decimal is no zero.
    const bool decimal = (points != 0) & (integral <= 9) & (decimals - 1 < 6) &
                         (!leadingZero | (integral == 1)) & ((zeros >> (size - 1) & 1u) == 0);
    return integer | decimal;
#else
    (void)token;
    return false;
#endif
}

/// Room writePlainInteger and writePlainFloat need.
constexpr std::size_t kPlainTextCapacity = 24;

/// For a plain numeral without a point of at most 18 digits, not counting leading zeros, writes
/// at `out` the text JsonInteger writes for its value, made from the digits alone, and returns
/// its end; null for any other numeral.
char* writePlainInteger(const PlainNumber& number, char* out);

/// For a plain numeral with a point whose integral part has at most nine digits, not counting
/// leading zeros, and which has at most six decimals, writes at `out` the text JsonFloat writes
/// for its value, made from the digits alone, and returns its end; null for any other numeral.
/// Such a value's double rounds back to the same six decimals, so the texts are the same.
char* writePlainFloat(const PlainNumber& number, char* out);

}  // namespace kessa::detail
