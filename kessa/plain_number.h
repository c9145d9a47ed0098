#pragma once

// Internal to the kessa library: the quick route for the numerals most values are, an optional
// sign, digits and perhaps a point and more digits, which need none of the general readings.

#include <string_view>

#include "kessa/scalar.h"

namespace kessa::detail {

/// Whether typeScalar could make a number of `token`: only a digit, a sign or white space can
/// begin one. Most strings are told by this alone.
inline bool mayBeNumber(std::string_view token) {
    if (token.empty()) return false;
    const char c = token[0];
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == ' ' || (c >= '\t' && c <= '\r');
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
bool isVerbatimNumber(std::string_view token);

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
