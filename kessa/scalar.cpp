// Typing of value tokens. The two readings follow the C library's strtoll (base 10) and strtod,
// but are written here so that "." is the decimal point whatever locale the process is in.

#include "kessa/scalar.h"

#include "kessa/plain_number.h"
#include "pelmo/json/number_format.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "kessa/plain_number.h"
#include "pelmo/json/float_chars.h"

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
    // Up to 19 significant digits fit in 64 bits unsigned; more than that is out of range.
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t magnitude = 0;
    int significant = 0;
    for (; p != end && isDigit(*p); ++p) {
        if (magnitude == 0 && *p == '0') continue;  // a leading zero
        if (++significant <= 19) magnitude = magnitude * 10 + static_cast<unsigned>(*p - '0');
    }
    if (p == digits) return begin;
    if (significant > 19 || magnitude > limit) magnitude = limit;
    value =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return p;
}

/// Adds a decimal digit to an exponent, holding it far outside the range any double can reach.
long long addExponentDigit(long long exponent, char digit) {
    constexpr long long kHuge = 1'000'000'000'000LL;
    return exponent > kHuge ? exponent : exponent * 10 + (digit - '0');
}

/// The value of a short decimal numeral (`mantissa` to `mantissaEnd`, digits and at most one
/// point) times 10^exponent, when the quick exact route applies: at most 15 significant digits
/// and a power of ten that a double holds exactly, so one correctly rounded multiplication or
/// division gives the correctly rounded result. Returns false otherwise.
bool quickDecimal(Cursor mantissa, Cursor mantissaEnd, long long exponent, double& value) {
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    std::uint64_t digits = 0;
    int significant = 0;
    bool afterPoint = false;
    for (Cursor p = mantissa; p != mantissaEnd; ++p) {
        if (*p == '.') {
            afterPoint = true;
            continue;
        }
        if (afterPoint) --exponent;
        if (digits == 0 && *p == '0') continue;
        if (++significant > 15) return false;
        digits = digits * 10 + static_cast<unsigned>(*p - '0');
    }
    if (exponent < -22 || exponent > 22) return false;
    const double power = kPowers[exponent < 0 ? -exponent : exponent];
    value =
        exponent < 0 ? static_cast<double>(digits) / power : static_cast<double>(digits) * power;
    return true;
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
    const Cursor mantissaEnd = p;
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
    double magnitude = 0;
    if (!hex && quickDecimal(mantissa, mantissaEnd, exponent, magnitude)) {
        value = negative ? -magnitude : magnitude;
        return p;
    }
    if (pelmo::detail::readDouble(mantissa, p, hex, magnitude) == std::errc::result_out_of_range) {
        long long leadingZeros = 0;
        for (Cursor q = mantissa; q != mantissaEnd && (*q == '0' || *q == '.'); ++q) {
            leadingZeros += *q == '0';
        }
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

Scalar typeScalar(std::string_view token) {
    // Both readings stop at a NUL byte, which no numeral contains, so a token holding one is
    // never a number: the value is a number only if the reading ends at the end of all its bytes.
    const Cursor begin = token.data();
    const Cursor end = begin + token.size();
    Scalar scalar;
    if (!detail::mayBeNumber(token)) return scalar;
    detail::PlainNumber plain;
    if (detail::readPlainNumber(token, plain) && detail::typePlainNumber(plain, scalar)) {
        return scalar;
    }
    const Cursor integerEnd = readInteger(begin, end, scalar.integer);
    if (integerEnd == end) {
        scalar.type = pelmo::JsonType::Integer;
    } else if (integerEnd != begin && readFloat(begin, end, scalar.number) == end) {
        scalar.type = pelmo::JsonType::Float;
    }
    return scalar;
}

Scalar typeAsWritten(std::string_view token) {
    Scalar scalar;
    if (!detail::mayBeNumber(token)) return scalar;
    detail::PlainNumber plain;
    const bool quick =
        detail::readPlainNumber(token, plain) && detail::typePlainNumber(plain, scalar);
    if (!quick) scalar = typeScalar(token);
    // A plain numeral of six decimals at most reads back as its own double, which lies within
    // half a millionth of it and is the nearest double to it; but for the sign of a zero.
    if (scalar.type == pelmo::JsonType::Float &&
        !(quick && plain.decimals.size() <= 6 && scalar.number != 0)) {
        scalar.number = pelmo::writtenDouble(scalar.number);
    }
    return scalar;
}

namespace {

/// The node of a typed token whose bytes are `bytes`, a string or a view of one.
template <class Bytes>
pelmo::JsonNodePtr nodeOf(const Scalar& scalar, Bytes&& bytes) {
    switch (scalar.type) {
        case pelmo::JsonType::Integer:
            return std::make_unique<pelmo::JsonInteger>(scalar.integer);
        case pelmo::JsonType::Float:
            return std::make_unique<pelmo::JsonFloat>(scalar.number);
        default:
            return std::make_unique<pelmo::JsonString>(std::string(std::forward<Bytes>(bytes)));
    }
}

}  // namespace

pelmo::JsonNodePtr makeScalar(std::string& token) {
    return nodeOf(typeScalar(token), std::move(token));
}

pelmo::JsonNodePtr makeScalar(std::string_view token) {
    return nodeOf(typeScalar(token), token);
}

}  // namespace kessa
