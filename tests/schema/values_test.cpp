// Numbers and equality as schemas compare them: exact across int64, uint64 and double, held to a
// plain model over generated values; multipleOf on the decimal texts; uniqueItems against the
// pairwise comparison it replaces.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "schema/number.h"
#include "schema/values.h"

namespace {

using schema::Number;

/// The model: x86's long double holds every int64, uint64 and double exactly.
long double exactly(const Number& n) {
    switch (n.kind) {
        case Number::Kind::Integer:
            return static_cast<long double>(n.integer);
        case Number::Kind::Unsigned:
            return static_cast<long double>(n.unsignedInteger);
        default:
            return static_cast<long double>(n.real);
    }
}

Number generated(std::mt19937_64& random) {
    const std::int64_t near[] = {
        0, 1, -1, INT64_MAX, INT64_MIN, INT64_MAX - 1, 1LL << 53, (1LL << 53) + 1};
    switch (random() % 5) {
        case 0:
            // Beside a value of note, wrapping around at the ends of the range.
            return Number::ofInteger(static_cast<std::int64_t>(
                static_cast<std::uint64_t>(near[random() % std::size(near)]) + random() % 3 - 1));
        case 1:
            return Number::ofInteger(static_cast<std::int64_t>(random()));
        case 2:
            return Number::ofUnsigned(random() | (1ULL << 63));
        case 3:
            return Number::ofReal(static_cast<double>(near[random() % std::size(near)]) +
                                  static_cast<double>(random() % 5) - 2.0);
        default: {
            const double scales[] = {1.0, 0x1p63, 0x1p64, 1e-3, 1e20};
            return Number::ofReal((static_cast<double>(random() % 2001) - 1000.0) / 7.0 *
                                  scales[random() % std::size(scales)]);
        }
    }
}

TEST(Numbers, CompareExactlyAsTheModel) {
    static_assert(std::numeric_limits<long double>::digits >= 64);
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        const Number a = generated(random), b = generated(random);
        const long double x = exactly(a), y = exactly(b);
        const auto expected = x < y   ? std::partial_ordering::less
                              : x > y ? std::partial_ordering::greater
                                      : std::partial_ordering::equivalent;
        ASSERT_EQ(schema::compare(a, b), expected) << a.text() << " " << b.text();
    }
}

TEST(Numbers, MultiplesByTheirDecimalText) {
    const struct {
        Number value, divisor;
        bool multiple;
    } rows[] = {
        {Number::ofReal(0.0075), Number::ofReal(0.0001), true},
        {Number::ofReal(0.0075), Number::ofReal(0.0002), false},
        {Number::ofReal(0.3), Number::ofReal(0.1), true},
        {Number::ofReal(0.35), Number::ofReal(0.1), false},
        {Number::ofReal(4.5), Number::ofReal(1.5), true},
        {Number::ofReal(1e308), Number::ofReal(0.5), true},
        {Number::ofReal(1e308), Number::ofInteger(3), false},
        {Number::ofInteger(10), Number::ofInteger(3), false},
        {Number::ofInteger(INT64_MAX), Number::ofInteger(7), true},  // 2^63 - 1 = 7 × 73 × ...
        {Number::ofInteger(INT64_MIN), Number::ofInteger(2), true},
        {Number::ofUnsigned(UINT64_MAX), Number::ofInteger(5), true},
        {Number::ofInteger(0), Number::ofReal(0.3), true},
        {Number::ofInteger(1), Number::ofReal(1e-20), true},
        {Number::ofReal(1e-20), Number::ofInteger(1), false},
        {Number::ofReal(std::numeric_limits<double>::infinity()), Number::ofInteger(1), false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(schema::isMultipleOf(row.value, row.divisor), row.multiple)
            << row.value.text() << " of " << row.divisor.text();
    }
}

/// A document from a line of JSON.
schema::JsonDocument json(const std::string& text) {
    return schema::JsonDocument::parse(text);
}

TEST(Values, EqualAsSchemasMeanIt) {
    const struct {
        const char *a, *b;
        bool equal;
    } rows[] = {
        {"1", "1.0", true},
        {"[1, {\"a\": 2, \"b\": [3]}]", "[1.0, {\"b\": [3], \"a\": 2}]", true},
        {"{\"a\": 1, \"a\": 2}", "{\"a\": 2}", true},  // the last of a repeated key
        {"{\"a\": 1}", "{\"a\": 1, \"b\": 1}", false},
        {"[1, 2]", "[2, 1]", false},
        {"\"1\"", "1", false},
        {"null", "false", false},
        {"9007199254740993", "9007199254740992.0", false},
        {"18446744073709551615", "18446744073709551615", true},
    };
    for (const auto& row : rows) {
        const auto a = json(row.a), b = json(row.b);
        EXPECT_EQ(schema::equal(a, a.root(), b, b.root()), row.equal) << row.a << " " << row.b;
    }
}

TEST(Values, RepeatedFindsTheFirstRepeatAsPairwiseComparisonDoes) {
    const char* const pool[] = {"1",
                                "1.0",
                                "2",
                                "\"1\"",
                                "[1]",
                                "[1.0]",
                                "{\"a\":1,\"b\":2}",
                                "{\"b\":2,\"a\":1}",
                                "{\"a\":1}",
                                "null",
                                "true",
                                "[]",
                                "{}",
                                "{\"a\":0,\"a\":1}"};
    std::mt19937 random(3);
    for (int round = 0; round < 2000; ++round) {
        std::string text = "[";
        const int size = static_cast<int>(random() % 7);
        for (int i = 0; i < size; ++i)
            text += std::string(i ? "," : "") + pool[random() % std::size(pool)];
        const auto document = json(text + "]");
        const schema::Ref array = document.root();
        // The model: the first element that equals an earlier one.
        std::pair<std::uint64_t, std::uint64_t> expected{0, 0};
        for (std::uint32_t j = 1; j < document.size(array) && expected.first == expected.second;
             ++j) {
            for (std::uint32_t i = 0; i < j; ++i) {
                if (schema::equal(document, document.entry(array, i), document,
                                  document.entry(array, j))) {
                    expected = {i, j};
                    break;
                }
            }
        }
        const auto found = schema::repeated(document, array);
        EXPECT_EQ(found.first == found.second, expected.first == expected.second) << text;
        EXPECT_EQ(found.second, expected.second) << text;
    }
}

}  // namespace
