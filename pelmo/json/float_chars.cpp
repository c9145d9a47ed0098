#include "pelmo/json/float_chars.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace pelmo::detail {

namespace {

/// The finite `value` as mantissa x 2^exponent, the mantissa below 2^53.
struct BinaryParts {
    std::uint64_t mantissa;
    int exponent;
};

BinaryParts partsOf(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = static_cast<int>(bits >> 52 & 0x7FF);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased != 0) mantissa |= std::uint64_t{1} << 52;  // normal: implicit leading 1
    return {mantissa, (biased != 0 ? biased : 1) - 1075};
}

/// Writes the decimal digits of `value` at `buffer` and returns the end.
char* writeDigits(char* buffer, Uint128 value) {
    char digits[40];
    char* start = digits + sizeof digits;
    do {
        *--start = static_cast<char>('0' + static_cast<int>(value % 10));
        value /= 10;
    } while (value != 0);
    const std::size_t length = static_cast<std::size_t>(digits + sizeof digits - start);
    std::memcpy(buffer, start, length);
    return buffer + length;
}

/// Writes the digits of mantissa x 2^exponent, an integer of up to 309 digits, at `buffer`:
/// doubled in a number of base 10^9 limbs, least significant first, 30 bits at a time.
char* writeLargeInteger(char* buffer, std::uint64_t mantissa, int exponent) {
    constexpr std::uint32_t kBase = 1'000'000'000;
    std::uint32_t limbs[36] = {static_cast<std::uint32_t>(mantissa % kBase),
                               static_cast<std::uint32_t>(mantissa / kBase % kBase),
                               static_cast<std::uint32_t>(mantissa / kBase / kBase)};
    std::size_t used = 3;
    for (int left = exponent; left > 0;) {
        const int step = left < 30 ? left : 30;
        left -= step;
        std::uint64_t carry = 0;
        for (std::size_t i = 0; i != used; ++i) {
            const std::uint64_t product = (std::uint64_t{limbs[i]} << step) + carry;
            limbs[i] = static_cast<std::uint32_t>(product % kBase);
            carry = product / kBase;
        }
        if (carry != 0) limbs[used++] = static_cast<std::uint32_t>(carry);
    }
    while (used > 1 && limbs[used - 1] == 0) --used;
    char* end = writeDigits(buffer, limbs[used - 1]);
    for (std::size_t i = used - 1; i-- != 0;) {
        std::uint32_t limb = limbs[i];
        for (int digit = 8; digit >= 0; --digit, limb /= 10) {
            end[digit] = static_cast<char>('0' + limb % 10);
        }
        end += 9;
    }
    return end;
}

/// Whether the decimal `digits` x 10^exponent reads back as `value`: written without a point, which
/// strtod would read by the locale.
bool readsBack(const std::string& digits, int exponent, double value) {
    const std::string numeral = digits + "e" + std::to_string(exponent);
    return std::strtod(numeral.c_str(), nullptr) == value;
}

/// Adds one to the last of `digits`, carrying; returns whether a digit came in front of them.
bool stepUp(std::string& digits) {
    for (std::size_t i = digits.size(); i-- != 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return false;
        }
        digits[i] = '0';
    }
    digits.insert(0, 1, '1');
    return true;
}

}  // namespace

Uint128 scaledToDecimals(double value, int decimals) {
    const auto [mantissa, exponent] = partsOf(value);
    const int shift = -exponent;  // |value| = mantissa / 2^shift, shift >= 0 below 2^53
    if (shift >= 128) return 0;   // below 2^-75 x 10^-decimals: far under a half
    Uint128 product = mantissa;
    for (int i = 0; i < decimals; ++i) product *= 10;
    if (shift == 0) return product;  // from 2^52 on, every double is an integer
    const Uint128 half = Uint128{1} << (shift - 1);
    const Uint128 rest = product & ((half << 1) - 1);
    Uint128 scaled = product >> shift;
    if (rest > half || (rest == half && (scaled & 1) != 0)) ++scaled;
    return scaled;
}

char* portableWriteFixed(char* buffer, double value, int decimals) {
    char* end = buffer;
    if (std::signbit(value)) *end++ = '-';
    Uint128 power = 1;
    for (int i = 0; i < decimals; ++i) power *= 10;
    if (std::fabs(value) >= 0x1p53) {
        // Integral: the digits of the whole value, then zeros.
        const auto [mantissa, exponent] = partsOf(value);
        end = writeLargeInteger(end, mantissa, exponent);
        if (decimals > 0) {
            *end++ = '.';
            std::memset(end, '0', static_cast<std::size_t>(decimals));
            end += decimals;
        }
        return end;
    }
    const Uint128 scaled = scaledToDecimals(value, decimals);
    end = writeDigits(end, scaled / power);
    if (decimals > 0) {
        *end++ = '.';
        Uint128 fraction = scaled % power;
        for (int digit = decimals - 1; digit >= 0; --digit, fraction /= 10) {
            end[digit] = static_cast<char>('0' + static_cast<int>(fraction % 10));
        }
        end += decimals;
    }
    return end;
}

std::errc portableReadDouble(const char* first, const char* last, bool hex, double& value) {
    // strtod wants a terminated text with its prefix; emscripten's C library, the one this path
    // is for, reads "." as the point whatever the locale, and rounds correctly.
    std::string numeral = hex ? "0x" : "";
    numeral.append(first, last);
    const double read = std::strtod(numeral.c_str(), nullptr);
    // A sign is no digit: "-0.0" is a zero, not an underflow.
    const char* digits = first != last && (*first == '-' || *first == '+') ? first + 1 : first;
    bool nonZeroDigit = false;
    for (const char* p = digits; p != last && (*p | 0x20) != (hex ? 'p' : 'e'); ++p) {
        nonZeroDigit = nonZeroDigit || (*p != '0' && *p != '.');
    }
    if (std::isinf(read) || (read == 0 && nonZeroDigit)) return std::errc::result_out_of_range;
    value = read;
    return std::errc{};
}

char* portableWriteShortest(char* buffer, double value, bool scientific) {
    char* end = buffer;
    if (std::signbit(value)) *end++ = '-';
    value = std::fabs(value);
    // The digits of `value` rounded to ever more of them until they read back, and its power of
    // ten; at a power of two, where the doubles below lie closer than those above, the nearest may
    // not read back where the next above does.
    std::string digits = "0";
    int exponent = 0;
    for (int count = 1; value != 0 && count <= 17; ++count) {
        char text[40];
        std::snprintf(text, sizeof text, "%.*e", count - 1, value);
        const char* e = std::strchr(text, 'e');
        digits.clear();
        for (const char* p = text; p != e; ++p) {
            if (*p >= '0' && *p <= '9') digits += *p;
        }
        exponent = std::atoi(e + 1);
        if (readsBack(digits, exponent - count + 1, value)) break;
        std::string up = digits;
        if (stepUp(up)) {
            up.pop_back();
            if (readsBack(up, exponent + 1 - count + 1, value)) {
                digits = up;
                ++exponent;
                break;
            }
        } else if (readsBack(up, exponent - count + 1, value)) {
            digits = up;
            break;
        }
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const int count = static_cast<int>(digits.size());
    std::string sci = digits.substr(0, 1);
    if (count > 1) sci.append(1, '.').append(digits, 1);
    sci.append(exponent < 0 ? "e-" : "e+");
    if (std::abs(exponent) < 10) sci += '0';
    sci += std::to_string(std::abs(exponent));
    std::string fixed;
    if (exponent >= count - 1) {
        // Integral: every digit of the exact value, the same count as the shortest with zeros.
        char text[kFixedTextCapacity];
        fixed.assign(text, portableWriteFixed(text, value, 0));
    } else if (exponent >= 0) {
        const auto point = static_cast<std::size_t>(exponent + 1);
        fixed.append(digits, 0, point).append(1, '.').append(digits, point);
    } else {
        fixed.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
    }
    const std::string& chosen = scientific || sci.size() < fixed.size() ? sci : fixed;
    std::memcpy(end, chosen.data(), chosen.size());
    return end + chosen.size();
}

#ifdef __EMSCRIPTEN__

char* writeShortest(char* buffer, double value, bool scientific) {
    return portableWriteShortest(buffer, value, scientific);
}

char* writeFixed(char* buffer, double value, int decimals) {
    return portableWriteFixed(buffer, value, decimals);
}

std::errc readDouble(const char* first, const char* last, bool hex, double& value) {
    return portableReadDouble(first, last, hex, value);
}

#else

char* writeShortest(char* buffer, double value, bool scientific) {
    char* const end = buffer + kShortestTextCapacity;
    return scientific ? std::to_chars(buffer, end, value, std::chars_format::scientific).ptr
                      : std::to_chars(buffer, end, value).ptr;
}

char* writeFixed(char* buffer, double value, int decimals) {
    return std::to_chars(buffer, buffer + kFixedTextCapacity, value, std::chars_format::fixed,
                         decimals)
        .ptr;
}

std::errc readDouble(const char* first, const char* last, bool hex, double& value) {
    return std::from_chars(first, last, value,
                           hex ? std::chars_format::hex : std::chars_format::general)
        .ec;
}

#endif

}  // namespace pelmo::detail
