#include "kessa/plain_number.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "pelmo/json/byte_copy.h"

namespace kessa::detail {

namespace {

/// The end of the run of decimal digits that starts at `p`.
const char* skipDigits(const char* p, const char* end) {
    while (p != end && static_cast<unsigned char>(*p - '0') < 10) ++p;
    return p;
}

std::string_view withoutLeadingZeros(std::string_view digits) {
    while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
    return digits;
}

}  // namespace

bool readPlainNumber(std::string_view token, PlainNumber& number) {
    const char* p = token.data();
    const char* const end = p + token.size();
    if (p != end && (*p == '-' || *p == '+')) number.negative = *p++ == '-';
    const char* const digits = p;
    p = skipDigits(p, end);
    if (p == digits) return false;
    number.digits = std::string_view(digits, static_cast<std::size_t>(p - digits));
    if (p == end) return true;
    if (*p != '.') return false;
    number.point = true;
    const char* const decimals = ++p;
    p = skipDigits(p, end);
    number.decimals = std::string_view(decimals, static_cast<std::size_t>(p - decimals));
    return p == end;
}

bool typePlainNumber(const PlainNumber& number, Scalar& scalar) {
    if (!number.point) {
        if (number.digits.size() > 18) return false;  // 18 digits never leave the 64-bit range
        std::int64_t value = 0;
        for (const char c : number.digits) value = value * 10 + (c - '0');
        scalar.type = pelmo::JsonType::Integer;
        scalar.integer = number.negative ? -value : value;
        return true;
    }
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (number.decimals.size() > 22) return false;
    // At most 15 significant digits and an exact power of ten: one correctly rounded division
    // gives the correctly rounded value.
    std::uint64_t mantissa = 0;
    int significant = 0;
    for (const std::string_view part : {number.digits, number.decimals}) {
        for (const char c : part) {
            if (mantissa == 0 && c == '0') continue;
            if (++significant > 15) return false;
            mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
        }
    }
    const double magnitude = static_cast<double>(mantissa) / kPowers[number.decimals.size()];
    scalar.type = pelmo::JsonType::Float;
    scalar.number = number.negative ? -magnitude : magnitude;
    return true;
}

char* writePlainInteger(const PlainNumber& number, char* out) {
    const std::string_view digits = withoutLeadingZeros(number.digits);
    if (number.point || digits.size() > 18) return nullptr;
    if (digits.empty()) {  // zero: no sign
        *out = '0';
        return out + 1;
    }
    if (number.negative) *out++ = '-';
    pelmo::detail::copyBytes(out, digits.data(), digits.size());
    return out + digits.size();
}

char* writePlainFloat(const PlainNumber& number, char* out) {
    // Below 10^9 a double is within 2^-24 of the numeral, far less than half of 10^-6, so the six
    // decimals it is written with are the numeral's own.
    const std::string_view integral = withoutLeadingZeros(number.digits);
    std::string_view decimals = number.decimals;
    if (!number.point || integral.size() > 9 || decimals.size() > 6) return nullptr;
    while (!decimals.empty() && decimals.back() == '0') decimals.remove_suffix(1);
    if (integral.empty() && decimals.empty()) {  // zero, negative zero included
        std::memcpy(out, "0.0", 3);
        return out + 3;
    }
    if (number.negative) *out++ = '-';
    if (integral.empty()) {
        *out++ = '0';
    } else {
        pelmo::detail::copyBytes(out, integral.data(), integral.size());
        out += integral.size();
    }
    *out++ = '.';
    if (decimals.empty()) {
        *out++ = '0';
    } else {
        pelmo::detail::copyBytes(out, decimals.data(), decimals.size());
        out += decimals.size();
    }
    return out;
}

}  // namespace kessa::detail
