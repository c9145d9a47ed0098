// Typing of value tokens. The two readings follow the C library's strtoll (base 10) and strtod,
// but are written here so that "." is the decimal point whatever locale the process is in.

#include "kessa/scalar.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace kessa {

namespace {

using Cursor = const char*;

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

/// Skips leading white space and one sign; sets `negative` when the sign is "-".
Cursor skipBlanksAndSign(Cursor p, Cursor end, bool& negative) {
    while (p != end && isBlank(*p)) ++p;
    negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    return p;
}

/// Skips the digits at `p` that `isDigitOf` accepts.
template <class Predicate>
Cursor skipDigits(Cursor p, Cursor end, Predicate isDigitOf) {
    while (p != end && isDigitOf(*p)) ++p;
    return p;
}

/// The integer reading: returns where it ends (at `begin` when it read no digit) and stores the
/// value, saturated to the 64-bit range.
Cursor readInteger(Cursor begin, Cursor end, std::int64_t& value) {
    bool negative;
    Cursor p = skipBlanksAndSign(begin, end, negative);
    const Cursor digits = p;
    // Accumulate the magnitude in unsigned arithmetic; the limit is one more for a negative value.
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t magnitude = 0;
    bool saturated = false;
    for (; p != end && isDigit(*p); ++p) {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        if (saturated || magnitude > (limit - digit) / 10) {
            saturated = true;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    if (p == digits) return begin;
    if (saturated) magnitude = limit;
    value =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return p;
}

/// Adds a decimal digit to an exponent, holding it far outside the range any double can reach.
long long addExponentDigit(long long exponent, char digit) {
    constexpr long long kHuge = 1'000'000'000'000LL;
    return exponent > kHuge ? exponent : exponent * 10 + (digit - '0');
}

/// The float reading, for a token whose integer reading found digits: returns where the longest
/// numeral ends and stores its value, rounded correctly; a value beyond the double range becomes
/// an infinity and one below it a zero.
Cursor readFloat(Cursor begin, Cursor end, double& value) {
    bool negative;
    const Cursor numeral = skipBlanksAndSign(begin, end, negative);
    Cursor p = numeral;
    // A "0x" counts as a prefix only if a hexadecimal digit follows it, before or after a point.
    bool hex = false;
    if (end - p >= 2 && p[0] == '0' && (p[1] | 0x20) == 'x') {
        Cursor q = p + 2;
        if (q != end && *q == '.') ++q;
        hex = q != end && isHexDigit(*q);
    }
    const Cursor mantissa = hex ? p + 2 : p;
    auto isMantissaDigit = hex ? isHexDigit : isDigit;
    // Mantissa: digits with at most one point; `lead` counts the digits before the point and
    // `leadingZeros` the zeros in front of the first non-zero digit, for the range check below.
    p = skipDigits(mantissa, end, isMantissaDigit);
    long long lead = p - mantissa;
    if (p != end && *p == '.') p = skipDigits(p + 1, end, isMantissaDigit);
    long long leadingZeros = 0;
    for (Cursor q = mantissa; q != p && (*q == '0' || *q == '.'); ++q) leadingZeros += *q == '0';
    // Exponent: a marker, an optional sign and at least one decimal digit, or it is not part of it.
    const char marker = hex ? 'p' : 'e';
    long long exponent = 0;
    if (p != end && (*p | 0x20) == marker) {
        Cursor q = p + 1;
        bool negativeExponent = false;
        if (q != end && (*q == '+' || *q == '-')) negativeExponent = *q++ == '-';
        if (q != end && isDigit(*q)) {
            for (; q != end && isDigit(*q); ++q) exponent = addExponentDigit(exponent, *q);
            if (negativeExponent) exponent = -exponent;
            p = q;
        }
    }
    const auto format = hex ? std::chars_format::hex : std::chars_format::general;
    double magnitude = 0;
    const auto result = std::from_chars(mantissa, p, magnitude, format);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: the position of the first non-zero digit,
        // scaled to the exponent's unit, tells which.
        const long long digitWidth = hex ? 4 : 1;
        const long long scale = exponent + digitWidth * (lead - leadingZeros);
        magnitude = scale > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    value = negative ? -magnitude : magnitude;
    return p;
}

}  // namespace

pelmo::JsonNodePtr makeScalar(std::string& token) {
    // Both readings see the token as NUL-terminated text; the value is a number only if the
    // reading ends at the end of all of its bytes.
    const Cursor begin = token.data();
    const Cursor whole = begin + token.size();
    Cursor end = begin;
    while (end != whole && *end != '\0') ++end;

    std::int64_t integer = 0;
    const Cursor integerEnd = readInteger(begin, end, integer);
    if (integerEnd == whole) {
        if (token.empty()) return std::make_unique<pelmo::JsonString>(std::move(token));
        return std::make_unique<pelmo::JsonInteger>(integer);
    }
    if (integerEnd != begin) {
        double number;
        if (readFloat(begin, end, number) == whole)
            return std::make_unique<pelmo::JsonFloat>(number);
    }
    return std::make_unique<pelmo::JsonString>(std::move(token));
}

}  // namespace kessa
