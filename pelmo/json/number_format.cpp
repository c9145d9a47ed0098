#include "pelmo/json/number_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "pelmo/json/number_text.h"

namespace pelmo {

namespace detail {

char* writeInteger(char* buffer, std::int64_t value) {
    return std::to_chars(buffer, buffer + kNumberTextCapacity, value).ptr;
}

char* writeFloat(char* buffer, double value) {
    const auto copy = [buffer](const char* text) {
        const std::size_t length = std::strlen(text);
        std::memcpy(buffer, text, length);
        return buffer + length;
    };
    if (std::isnan(value)) return copy("null");
    // Infinities as numbers that JSON readers read back as infinities.
    if (std::isinf(value)) return copy(value > 0 ? "1e999" : "-1e999");
    if (value == 0.0) return copy("0.0");  // negative zero included
    char* end;
    if (std::trunc(value) == value) {
        // Integral, so the fixed form without decimals is exact, however large the value.
        end =
            std::to_chars(buffer, buffer + kNumberTextCapacity, value, std::chars_format::fixed, 0)
                .ptr;
        *end++ = '.';
        *end++ = '0';
    } else {
        end =
            std::to_chars(buffer, buffer + kNumberTextCapacity, value, std::chars_format::fixed, 6)
                .ptr;
        while (end[-1] == '0') --end;
        if (end[-1] == '.') *end++ = '0';
    }
    return end;
}

std::size_t floatTextBound(double value) {
    if (!std::isfinite(value)) return 6;
    // A sign, the integral digits, a point and at most six decimals.
    double magnitude = std::fabs(value);
    std::size_t digits = 1;
    for (; magnitude >= 1e15; magnitude /= 1e15) digits += 15;
    for (; magnitude >= 10; magnitude /= 10) ++digits;
    return 2 + digits + 7;  // one digit spare for rounding in the divisions
}

std::size_t integerTextLength(std::int64_t value) {
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::size_t length = value < 0 ? 2 : 1;
    for (; magnitude >= 10; magnitude /= 10) ++length;
    return length;
}

}  // namespace detail

std::string formatInteger(std::int64_t value) {
    char text[detail::kNumberTextCapacity];
    return std::string(text, detail::writeInteger(text, value));
}

std::string formatFloat(double value) {
    char text[detail::kNumberTextCapacity];
    return std::string(text, detail::writeFloat(text, value));
}

}  // namespace pelmo
