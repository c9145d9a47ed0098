#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>

#include "pelmo/json/node.h"
#include "pelmo/json/number_format.h"
#include "pelmo/json/number_text.h"

using namespace pelmo;

namespace {

std::string compact(const JsonNode& node) {
    std::string out;
    node.appendCompact(out);
    return out;
}

}  // namespace

// Exactly five bytes are escaped; every other byte, control bytes, NUL and UTF-8 included, is
// copied unchanged.
TEST(Compact, StringEscapes) {
    const struct {
        std::string value, text;
    } rows[] = {
        {"", R"("")"},
        {"\t\n\r\"\\", R"("\t\n\r\"\\")"},
        {"a/b", R"("a/b")"},
        {std::string("\x01\x08\x0c\x1f\x7f", 5), "\"\x01\x08\x0c\x1f\x7f\""},
        {std::string("x\0y", 3), std::string("\"x\0y\"", 5)},
        {"\xc3\xa9\xff", "\"\xc3\xa9\xff\""},
    };
    for (const auto& row : rows) EXPECT_EQ(compact(JsonString(row.value)), row.text) << row.value;
}

TEST(Compact, AppendsWithoutTouchingWhatIsThere) {
    std::string out = "prefix";
    JsonInteger(-1).appendCompact(out);
    EXPECT_EQ(out, "prefix-1");
}

TEST(Compact, Integers) {
    EXPECT_EQ(formatInteger(0), "0");
    EXPECT_EQ(formatInteger(-1), "-1");
    EXPECT_EQ(formatInteger(INT64_MAX), "9223372036854775807");
    EXPECT_EQ(formatInteger(INT64_MIN), "-9223372036854775808");
}

// Floats always carry a point: integral values in full, others at six decimals, correctly
// rounded, trailing zeros dropped down to one.
TEST(Compact, Floats) {
    const struct {
        double value;
        const char* text;
    } rows[] = {
        {1.0, "1.0"},
        {-1.0, "-1.0"},
        {0.0, "0.0"},
        {-0.0, "0.0"},
        {0.5, "0.5"},
        {-0.5, "-0.5"},
        {2.25, "2.25"},
        {1.1, "1.1"},
        {123.456, "123.456"},
        {0.1 + 0.2, "0.3"},
        {1e-6, "0.000001"},
        {1.5e-6, "0.000002"},
        {1e-7, "0.0"},
        {-1e-7, "-0.0"},
        {0.0078125, "0.007812"},
        {0.0234375, "0.023438"},
        {9.9999999, "10.0"},
        {1.00000001, "1.0"},
        {4503599627370495.5, "4503599627370495.5"},
        {1e18, "1000000000000000000.0"},
        {9007199254740992.0, "9007199254740992.0"},
        {-9223372036854775808.0, "-9223372036854775808.0"},
        // Integral values beyond the 64-bit range keep all their digits.
        {9223372036854775808.0, "9223372036854775808.0"},
        {1e20, "100000000000000000000.0"},
        {-1e19, "-10000000000000000000.0"},
        {std::numeric_limits<double>::infinity(), "1e999"},
        {-std::numeric_limits<double>::infinity(), "-1e999"},
        {std::nan(""), "null"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(formatFloat(row.value), row.text) << row.value;
        EXPECT_EQ(compact(JsonFloat(row.value)), row.text) << row.value;
        // What a reader of the text gets back ("1e999" reads as an infinity); NaN stays NaN.
        const double written = writtenDouble(row.value);
        if (std::isnan(row.value)) {
            EXPECT_TRUE(std::isnan(written));
        } else {
            EXPECT_EQ(written, std::strtod(row.text, nullptr)) << row.text;
        }
    }
    const std::string huge = formatFloat(1e300);
    EXPECT_EQ(huge.size(), 303u);
    EXPECT_EQ(huge.substr(0, 17), "10000000000000000");
    EXPECT_EQ(huge.substr(huge.size() - 2), ".0");
}

// The six-decimal rounding is done in integers; check it against the standard conversion over
// values of every magnitude, and exact ties, which round to even.
TEST(Compact, FloatsAgreeWithStandardFixedConversion) {
    const auto reference = [](double value) {
        char text[400];
        char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6).ptr;
        while (end[-1] == '0') --end;
        if (end[-1] == '.') *end++ = '0';
        return std::string(text, end);
    };
    std::mt19937_64 random(7);
    for (int i = 0; i < 200'000; ++i) {
        const int exponent = static_cast<int>(random() % 70) - 30;
        double value = std::ldexp(static_cast<double>(random() >> 11), exponent - 53);
        // Odd multiples of 2^-7 lie exactly halfway between two six-decimal values.
        if (i % 3 == 0)
            value = std::ldexp(static_cast<double>(2 * (random() % (1u << 30)) + 1), -7);
        if (i % 2 == 0) value = -value;
        if (value == 0.0 || std::trunc(value) == value) continue;
        ASSERT_EQ(formatFloat(value), reference(value)) << std::hexfloat << value;
    }
}

// The encoders reserve room from these estimates; one too small only costs a copy, so check the
// estimates themselves: exact for integers, never short for floats.
TEST(Compact, TextLengthEstimates) {
    for (std::int64_t value :
         {std::int64_t{0}, std::int64_t{9}, std::int64_t{10}, std::int64_t{-10}, INT64_MAX,
          INT64_MIN, std::int64_t{999'999'999'999'999'999}}) {
        EXPECT_EQ(detail::integerTextLength(value), formatInteger(value).size()) << value;
    }
    for (double value : {0.5, -0.0, 9.999999, -9.9999999, 1e15 - 0.5, 1e15, 999999999999999.9, 1e16,
                         1e300, -1e308, 4503599627370495.5, 1e-300}) {
        EXPECT_GE(detail::floatTextBound(value), formatFloat(value).size()) << value;
    }
}
