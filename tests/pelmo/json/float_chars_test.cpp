#include <gtest/gtest.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "kessa/scalar.h"
#include "kessa/typing_cases.h"
#include "pelmo/json/float_chars.h"

// The portable conversions stand in for the standard ones where the C++ library lacks them (the
// WebAssembly build); here both are at hand, so every text and value must come out the same.

namespace {

using pelmo::detail::portableReadDouble;
using pelmo::detail::portableWriteFixed;
using pelmo::detail::portableWriteShortest;

void expectSameFixed(double value) {
    for (int decimals = 0; decimals <= 6; ++decimals) {
        char expected[400], actual[pelmo::detail::kFixedTextCapacity];
        char* expectedEnd = std::to_chars(expected, expected + sizeof expected, value,
                                          std::chars_format::fixed, decimals)
                                .ptr;
        char* actualEnd = portableWriteFixed(actual, value, decimals);
        ASSERT_EQ(std::string(actual, actualEnd), std::string(expected, expectedEnd))
            << std::hexfloat << value << " to " << decimals << " decimals";
    }
}

void expectSameShortest(double value) {
#ifdef _WIN32
    return;  // the shortest form is checked by reading it back with strtod, as for readings
#endif
    for (const bool scientific : {false, true}) {
        char expected[64], actual[pelmo::detail::kShortestTextCapacity];
        char* expectedEnd = scientific
                                ? std::to_chars(expected, expected + sizeof expected, value,
                                                std::chars_format::scientific)
                                      .ptr
                                : std::to_chars(expected, expected + sizeof expected, value).ptr;
        char* actualEnd = portableWriteShortest(actual, value, scientific);
        ASSERT_EQ(std::string(actual, actualEnd), std::string(expected, expectedEnd))
            << std::hexfloat << value << (scientific ? " in scientific notation" : "");
    }
}

/// Reads `numeral` both ways where the standard reading takes it whole. The portable reading
/// stands on the C library's strtod, which is there for emscripten's; the Windows runtime's may
/// round otherwise, and never serves it, so there only the writing is compared.
void expectSameReading(const std::string& numeral, bool hex) {
#ifdef _WIN32
    return;
#endif
    const char* first = numeral.data();
    const char* last = first + numeral.size();
    double expected = -1, actual = -1;
    const auto result = std::from_chars(first, last, expected,
                                        hex ? std::chars_format::hex : std::chars_format::general);
    // Only numerals, signed where writtenDouble reads its own text back: "inf" and "nan" never
    // reach the conversions.
    const std::size_t start = !hex && numeral.size() > 1 && numeral[0] == '-' ? 1 : 0;
    if (result.ptr != last || numeral.empty() ||
        (!std::isxdigit(numeral[start]) && numeral[start] != '.')) {
        return;
    }
    ASSERT_EQ(portableReadDouble(first, last, hex, actual), result.ec) << numeral;
    ASSERT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0)
        << numeral << ": " << std::hexfloat << actual << " for " << expected;
}

/// `token` without the blanks, sign and "0x" in front of its numeral, as the typing hands it on.
std::string numeralOf(const std::string& token, bool hex) {
    std::size_t start = token.find_first_not_of(" \t\n\v\f\r");
    if (start == std::string::npos) return {};
    if (token[start] == '+' || token[start] == '-') ++start;
    if (hex) {
        if (token.compare(start, 2, "0x") != 0 && token.compare(start, 2, "0X") != 0) return {};
        start += 2;
    }
    return token.substr(start);
}

/// The decimal digits of a + b, for digit strings.
std::string decimalSum(const std::string& a, const std::string& b) {
    std::string sum;
    int carry = 0;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry != 0; ++i) {
        const int digit = carry + (i < a.size() ? a[a.size() - 1 - i] - '0' : 0) +
                          (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
        sum += static_cast<char>('0' + digit % 10);
        carry = digit / 10;
    }
    return {sum.rbegin(), sum.rend()};
}

std::string integerDigits(double value) {
    char text[400];
    return std::string(
        text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 0).ptr);
}

}  // namespace

// Every numeral of the typing's rows, and every value they give, the ranges' edges among them.
TEST(FloatChars, TypingRows) {
    for (const auto& row : kTypingRows) {
        for (const bool hex : {false, true}) expectSameReading(numeralOf(row.token, hex), hex);
        const kessa::Scalar scalar = kessa::typeScalar(row.token);
        if (scalar.type == pelmo::JsonType::Float && std::isfinite(scalar.number)) {
            expectSameFixed(scalar.number);
            expectSameShortest(scalar.number);
        }
    }
    for (const char* numeral : {"1e-320",
                                "2e-324",
                                "2.4703282292062327e-324",
                                "2.4703282292062328e-324",
                                "3e-324",
                                "1.7976931348623158e308",
                                "1.7976931348623159e308",
                                "1e400",
                                "0e99999",
                                "0.000e-99999",
                                "1e99999999999999999999",
                                "0.5",
                                "2.5",
                                "1.5e-7",
                                "9007199254740993",
                                "-0.0",
                                "-0.000000",
                                "-1.5",
                                "-1e-400",
                                "-1e400"}) {
        expectSameReading(numeral, false);
    }
    for (const char* numeral :
         {"1p-1074", "1p-1075", "1.8p-1075", "3p-1076", "1.fffffffffffff8p1023",
          "1.fffffffffffff7p1023", "1p1024", "0p99999", "0.0p-99999", "AbC.dEfP-3"}) {
        expectSameReading(numeral, true);
    }
}

// Doubles of every magnitude and their texts: shortest, long, hexadecimal, exact ties in both
// bases, and the six-decimal ties of small binary fractions.
TEST(FloatChars, GeneratedDoubles) {
    std::mt19937_64 random(2024);
    for (int i = 0; i < 20'000; ++i) {
        std::uint64_t bits = random();
        if (i % 2 == 0)
            bits = (bits & ~(std::uint64_t{0x7FF} << 52)) | (random() % 80 + 1050) << 52;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) continue;
        expectSameFixed(value);
        expectSameShortest(value);
        value = std::fabs(value);
        char text[800];
        for (const auto format : {std::chars_format::general, std::chars_format::scientific}) {
            const int precision = format == std::chars_format::scientific ? 30 : -1;
            char* end = precision < 0
                            ? std::to_chars(text, text + sizeof text, value).ptr
                            : std::to_chars(text, text + sizeof text, value, format, precision).ptr;
            expectSameReading(std::string(text, end), false);
        }
        // Halfway to the next double: a hexadecimal digit past the mantissa's last.
        const std::string hexText(
            text, std::to_chars(text, text + sizeof text, value, std::chars_format::hex, 13).ptr);
        expectSameReading(hexText, true);
        const std::size_t exponent = hexText.find('p');
        expectSameReading(hexText.substr(0, exponent) + "8" + hexText.substr(exponent), true);
        // Halfway between two integral doubles, in decimal digits, and a hair above.
        if (value >= 0x1p54 && value < 0x1p1000) {
            const double next = std::nextafter(value, INFINITY);
            const std::string tie =
                decimalSum(integerDigits(value), integerDigits((next - value) / 2));
            expectSameReading(tie, false);
            expectSameReading(tie + ".000000000000000000000000001", false);
            expectSameReading(tie + "000e-3", false);
        }
    }
    // Every power of two, whose doubles below lie closer than those above, and the edges of the
    // notations.
    for (int exponent = -1074; exponent <= 1023; ++exponent) {
        expectSameShortest(std::ldexp(1.0, exponent));
    }
    for (const double value : {0.0, -0.0, 0.001, 0.0001, 1e-5, 123456.0, 1e16, 1e21, 1e22, 1e23,
                               1.2345678901234568e20, 5e-324, 1.7976931348623157e308, -0.3}) {
        expectSameShortest(value);
    }
    for (int i = 0; i < 5'000; ++i) {
        // Odd multiples of 2^-7, exactly halfway between two six-decimal values, past 2^40 too.
        const double tie =
            std::ldexp(static_cast<double>(2 * (random() % (std::uint64_t{1} << 45)) + 1), -7);
        expectSameFixed(tie);
        expectSameFixed(-tie);
    }
}
