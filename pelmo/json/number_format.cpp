#include "pelmo/json/number_format.h"

#include <charconv>
#include <cmath>

namespace pelmo {

std::string formatInteger(std::int64_t value) {
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string formatFloat(double value) {
    if (std::isnan(value)) return "null";
    if (std::isinf(value)) return value > 0 ? "1e999" : "-1e999";
    // Large enough for the integral digits of the largest double, a sign and ".0".
    char text[320];
    char* end;
    if (value == 0.0) return "0.0";  // negative zero included
    if (std::fmod(value, 1.0) == 0.0) {
        // Integral, so the fixed form without decimals is exact, however large the value.
        end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 0).ptr;
        *end++ = '.';
        *end++ = '0';
    } else {
        end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6).ptr;
        while (end[-1] == '0') --end;
        if (end[-1] == '.') *end++ = '0';
    }
    return std::string(text, end);
}

}  // namespace pelmo
