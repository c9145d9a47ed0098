#include "pelmo/json/number_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "pelmo/json/float_chars.h"
#include "pelmo/json/number_text.h"

namespace pelmo {

namespace detail {

char* writeInteger(char* buffer, std::int64_t value) {
    return std::to_chars(buffer, buffer + kNumberTextCapacity, value).ptr;
}

namespace {

/// Writes |value|, a double below 2^40 that is not integral, rounded to six decimals as the fixed
/// "%f" conversion does: from its exact binary value, ties to even. The rounded result fits in 64
/// bits.
char* writeSixDecimals(char* buffer, double value) {
    const auto scaled = static_cast<std::uint64_t>(scaledToDecimals(value, 6));
    char* end = std::to_chars(buffer, buffer + 24, scaled / 1'000'000).ptr;
    *end++ = '.';
    std::uint64_t decimals = scaled % 1'000'000;
    for (int digit = 5; digit >= 0; --digit, decimals /= 10) {
        end[digit] = static_cast<char>('0' + decimals % 10);
    }
    return end + 6;
}

}  // namespace

char* writeFloat(char* buffer, double value) {
    const auto copy = [buffer](const char* text) {
        const std::size_t length = std::strlen(text);
        std::memcpy(buffer, text, length);
        return buffer + length;
    };
    if (std::isnan(value)) return copy("null");
    // Infinities as numbers that Python and JavaScript read back as infinities.
    if (std::isinf(value)) return copy(value > 0 ? "1e999" : "-1e999");
    if (value == 0.0) return copy("0.0");  // negative zero included
    char* end;
    if (std::trunc(value) == value) {
        // Integral: all its digits, exact however large the value, then ".0".
        if (std::fabs(value) < 0x1p63) {
            end = writeInteger(buffer, static_cast<std::int64_t>(value));
        } else {
            end = writeFixed(buffer, value, 0);
        }
        *end++ = '.';
        *end++ = '0';
    } else {
        if (std::fabs(value) < 0x1p40) {
            // A negative value keeps its sign even when it rounds to zero, as "%f" does.
            char* digits = buffer;
            if (value < 0) *digits++ = '-';
            end = writeSixDecimals(digits, value);
        } else {
            end = writeFixed(buffer, value, 6);
        }
        while (end[-1] == '0') --end;
        if (end[-1] == '.') *end++ = '0';
    }
    return end;
}

std::size_t floatTextBound(double value) {
    if (!std::isfinite(value)) return 6;
    // A sign, the integral digits, a point and at most six decimals; a spare digit absorbs any
    // rounding in the estimate of the digit count.
    const double magnitude = std::fabs(value);
    const std::size_t digits = magnitude < 1e15
                                   ? integerTextLength(static_cast<std::int64_t>(magnitude))
                                   : static_cast<std::size_t>(std::log10(magnitude)) + 1;
    return 1 + digits + 1 + 7;
}

std::size_t integerTextLength(std::int64_t value) {
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::size_t length = value < 0 ? 2 : 1;
    // The magnitude is below 10^19, so the bound stops at 10^19 and never overflows.
    for (std::uint64_t bound = 10; magnitude >= bound; bound *= 10) ++length;
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

double writtenDouble(double value) {
    if (!std::isfinite(value)) return value;
    char text[detail::kNumberTextCapacity];
    const char* end = detail::writeFloat(text, value);
    double written = value;
    detail::readDouble(text, end, false, written);  // a plain decimal, in range
    return written;
}

}  // namespace pelmo
