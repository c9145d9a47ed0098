#include "schema/number.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "pelmo/json/float_chars.h"

namespace schema {

namespace {

__extension__ typedef unsigned __int128 Wide;  // products of two 64-bit numbers

/// -1, 0 or 1 as `a` is below, at or above the double `b`, exactly; unordered for NaN.
std::partial_ordering compareIntegerReal(std::int64_t a, double b) {
    if (std::isnan(b)) return std::partial_ordering::unordered;
    // Every int64 lies in [-2^63, 2^63); doubles outside it are beyond any of them.
    if (b >= 0x1p63) return std::partial_ordering::less;
    if (b < -0x1p63) return std::partial_ordering::greater;
    const double whole = std::floor(b);
    const auto w = static_cast<std::int64_t>(whole);
    if (a != w) return a < w ? std::partial_ordering::less : std::partial_ordering::greater;
    return whole == b ? std::partial_ordering::equivalent : std::partial_ordering::less;
}

std::partial_ordering compareUnsignedReal(std::uint64_t a, double b) {
    if (std::isnan(b)) return std::partial_ordering::unordered;
    if (b >= 0x1p64) return std::partial_ordering::less;
    if (b < 0x1p63) return std::partial_ordering::greater;  // a > INT64_MAX
    const double whole = std::floor(b);
    const auto w = static_cast<std::uint64_t>(whole);
    if (a != w) return a < w ? std::partial_ordering::less : std::partial_ordering::greater;
    return whole == b ? std::partial_ordering::equivalent : std::partial_ordering::less;
}

std::partial_ordering flip(std::partial_ordering order) {
    if (order == std::partial_ordering::less) return std::partial_ordering::greater;
    if (order == std::partial_ordering::greater) return std::partial_ordering::less;
    return order;
}

/// A positive number as digits × 10^exponent, the digits at most 17 and without trailing zeros.
struct Decimal {
    std::uint64_t digits = 0;
    int exponent = 0;
};

Decimal decimalOf(const Number& n) {
    Decimal d;
    if (n.kind == Number::Kind::Real) {
        char buffer[pelmo::detail::kShortestTextCapacity];
        const char* end = pelmo::detail::writeShortest(buffer, std::fabs(n.real), true);
        // "d.ddddde±xx"
        int fraction = 0;
        bool point = false;
        const char* p = buffer;
        for (; p != end && *p != 'e'; ++p) {
            if (*p == '.') {
                point = true;
                continue;
            }
            d.digits = d.digits * 10 + static_cast<std::uint64_t>(*p - '0');
            if (point) ++fraction;
        }
        int exponent = 0;
        if (p != end) std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
        d.exponent = exponent - fraction;
    } else {
        d.digits = n.kind == Number::Kind::Integer
                       ? static_cast<std::uint64_t>(n.integer < 0 ? -(n.integer + 1) : n.integer) +
                             (n.integer < 0 ? 1 : 0)
                       : n.unsignedInteger;
    }
    while (d.digits != 0 && d.digits % 10 == 0) {
        d.digits /= 10;
        ++d.exponent;
    }
    return d;
}

/// 10^power modulo `modulus`.
std::uint64_t powerOfTen(int power, std::uint64_t modulus) {
    Wide result = 1 % modulus, base = 10 % modulus;
    for (; power > 0; power >>= 1) {
        if (power & 1) result = result * base % modulus;
        base = base * base % modulus;
    }
    return static_cast<std::uint64_t>(result);
}

}  // namespace

bool Number::integral() const {
    if (kind != Kind::Real) return true;
    return std::isfinite(real) && std::trunc(real) == real;
}

double Number::approximate() const {
    switch (kind) {
        case Kind::Integer:
            return static_cast<double>(integer);
        case Kind::Unsigned:
            return static_cast<double>(unsignedInteger);
        default:
            return real;
    }
}

std::string Number::text() const {
    char buffer[64];
    switch (kind) {
        case Kind::Integer:
            return std::string(buffer, std::to_chars(buffer, buffer + 64, integer).ptr);
        case Kind::Unsigned:
            return std::string(buffer, std::to_chars(buffer, buffer + 64, unsignedInteger).ptr);
        default:
            if (!std::isfinite(real))
                return std::isnan(real) ? "NaN" : real > 0 ? "1e999" : "-1e999";
            if (integral() && std::fabs(real) < 1e17) {
                return std::string(buffer, std::to_chars(buffer, buffer + 64,
                                                         static_cast<std::int64_t>(real))
                                               .ptr) +
                       ".0";
            }
            return std::string(buffer, pelmo::detail::writeShortest(buffer, real, false));
    }
}

std::partial_ordering compare(const Number& a, const Number& b) {
    using K = Number::Kind;
    if (a.kind == K::Integer && b.kind == K::Integer) return a.integer <=> b.integer;
    if (a.kind == K::Unsigned && b.kind == K::Unsigned) {
        return a.unsignedInteger <=> b.unsignedInteger;
    }
    if (a.kind == K::Real && b.kind == K::Real) return a.real <=> b.real;
    if (a.kind == K::Integer && b.kind == K::Unsigned) return std::partial_ordering::less;
    if (a.kind == K::Unsigned && b.kind == K::Integer) return std::partial_ordering::greater;
    if (a.kind == K::Integer) return compareIntegerReal(a.integer, b.real);
    if (a.kind == K::Unsigned) return compareUnsignedReal(a.unsignedInteger, b.real);
    return flip(compare(b, a));
}

bool isMultipleOf(const Number& value, const Number& divisor) {
    if (value.kind == Number::Kind::Real && !std::isfinite(value.real)) return false;
    if (divisor.kind == Number::Kind::Real && !(std::isfinite(divisor.real) && divisor.real > 0)) {
        return false;
    }
    const Decimal v = decimalOf(value), d = decimalOf(divisor);
    if (v.digits == 0) return true;
    if (d.digits == 0) return false;
    // v.digits × 10^(v.exponent - d.exponent) must be a multiple of d.digits.
    const int shift = v.exponent - d.exponent;
    if (shift >= 0) {
        const Wide product = static_cast<Wide>(v.digits % d.digits) * powerOfTen(shift, d.digits);
        return product % d.digits == 0;
    }
    // v.digits must be a multiple of d.digits × 10^-shift, which it cannot be once that is larger.
    Wide scaled = d.digits;
    for (int i = 0; i < -shift; ++i) {
        scaled *= 10;
        if (scaled > v.digits) return false;
    }
    return v.digits % static_cast<std::uint64_t>(scaled) == 0;
}

}  // namespace schema
