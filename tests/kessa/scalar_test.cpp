#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kessa/plain_number.h"
#include "kessa/scalar.h"
#include "pelmo/json/number_format.h"
#include "typing_cases.h"

namespace {

/// The compact text of the node that `token` types as: quoted for a string, with a point for a
/// float, plain digits for an integer.
std::string typed(std::string token) {
    std::string out;
    kessa::makeScalar(token)->appendCompact(out);
    return out;
}

double floatValue(std::string token) {
    const auto node = kessa::makeScalar(token);
    EXPECT_EQ(node->type, pelmo::JsonType::Float) << token;
    return node->type == pelmo::JsonType::Float ? static_cast<pelmo::JsonFloat&>(*node).value : 0;
}

/// `count` decimal digits drawn from `random`.
std::string randomDigits(std::mt19937_64& random, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += static_cast<char>('0' + random() % 10);
    return text;
}

}  // namespace

TEST(Scalar, Typing) {
    for (const auto& row : kTypingRows) EXPECT_EQ(typed(row.token), row.json) << row.token;
}

TEST(Scalar, FloatValues) {
    EXPECT_TRUE(std::signbit(floatValue("-0.0")));
    EXPECT_EQ(floatValue("1e-320"), 1e-320);  // subnormal, not flushed to zero
    EXPECT_EQ(floatValue("4.9e-324"), 4.9e-324);
    EXPECT_EQ(floatValue("0.1"), 0.1);
    EXPECT_EQ(floatValue("1.7976931348623157e308"), 1.7976931348623157e308);
    EXPECT_EQ(floatValue("1.7976931348623159e308"), HUGE_VAL);
    EXPECT_EQ(floatValue("0x1.fffffffffffffp1023"), 1.7976931348623157e308);
    EXPECT_EQ(floatValue("0x1p-1074"), 4.9e-324);
    // One step inside the range, past which the rows of Typing go (appended piece by piece: g++ 12
    // warns wrongly about "1" + string).
    EXPECT_EQ(floatValue(std::string("1").append(400, '0').append("e-92")), 1e308);
    EXPECT_EQ(floatValue(std::string("0x1").append(399, '0').append("p-573")), 0x1p1023);
    EXPECT_EQ(floatValue(std::string("0x0.").append(400, '0').append("1p530")), 0x1p-1074);
    EXPECT_EQ(floatValue(std::string("0.").append(400, '0').append("1e78")), 1e-323);
    EXPECT_EQ(floatValue("9007199254740993.0"), 9007199254740992.0);  // ties to even
}

// Decimal numerals of every shape read exactly as the C library reads them (in the "C" locale the
// tests run in), whichever internal route they take.
TEST(Scalar, FloatsAgreeWithStrtod) {
    std::mt19937_64 random(11);
    const auto digits = [&random](std::size_t count) { return randomDigits(random, count); };
    for (int i = 0; i < 100'000; ++i) {
        std::string token = std::to_string(random() % 1000);
        token.append(digits(random() % 8)).append(".").append(digits(random() % 20));
        if (i % 2 == 0) token.append("e").append(std::to_string(int(random() % 80) - 40));
        if (i % 3 == 0) token.insert(0, 1, '-');
        const double expected = std::strtod(token.c_str(), nullptr);
        const double actual = floatValue(token);
        ASSERT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0) << token;
    }
}

// A caller may switch the process to a locale whose decimal point is a comma; typing must not
// follow it.
TEST(Scalar, IgnoresProcessLocale) {
    // POSIX names first, then the names the Windows runtimes know.
    const char* const commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8",
                                        "fr_FR.utf8",  "de-DE",      "German_Germany.1252"};
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* chosen = nullptr;
    for (const char* name : commaLocales) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            chosen = name;
            break;
        }
    }
    if (chosen == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
    EXPECT_EQ(typed("1.5"), "1.5");
    EXPECT_EQ(typed("1,5"), R"("1,5")");
    EXPECT_EQ(typed("2.25e1"), "22.5");
    std::setlocale(LC_ALL, previous.c_str());
}

// The one-bit test of a token's first byte lets through every token that types as a number, and
// no other first byte than a digit, a sign or white space.
TEST(Scalar, OnlyNumbersBeginAsNumbersMay) {
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        const bool model = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == ' ' ||
                           c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
        for (const char* rest : {"", "1", "1.5", " 1", "x"}) {
            const std::string token = std::string(1, c) + rest;
            EXPECT_EQ(kessa::detail::mayBeNumber(token), model) << "byte " << byte;
            if (kessa::typeScalar(token).type != pelmo::JsonType::String) {
                EXPECT_TRUE(kessa::detail::mayBeNumber(token)) << "byte " << byte;
            }
        }
    }
    EXPECT_FALSE(kessa::detail::mayBeNumber(""));
}

// The value a reader of the output gets is the typed one, a float rounded as its text is written;
// the quick route for plain numerals of six decimals or fewer must give the same, bit for bit,
// on both sides of six decimals and of fifteen digits, for zeros of either sign and every token
// of the typing table.
TEST(Scalar, AsWrittenIsTheWrittenValue) {
    const auto model = [](const std::string& token) {
        kessa::Scalar scalar = kessa::typeScalar(token);
        if (scalar.type == pelmo::JsonType::Float) {
            scalar.number = pelmo::writtenDouble(scalar.number);
        }
        return scalar;
    };
    std::vector<std::string> tokens;
    for (const auto& row : kTypingRows) tokens.push_back(row.token);
    std::mt19937_64 random(29);
    const auto digits = [&random](std::size_t count) { return randomDigits(random, count); };
    for (int i = 0; i < 100'000; ++i) {
        // Appended piece by piece: g++ 12 warns wrongly about "-" + string.
        std::string token = i % 4 == 0 ? "-" : "";
        token += digits(1 + random() % 18);
        if (i % 10 != 0) token.append(".").append(digits(random() % 9));
        if (i % 7 == 0) token.insert(token.find_first_of("0123456789"), "00");
        if (i % 11 == 0) token.append("e").append(std::to_string(int(random() % 40) - 20));
        tokens.push_back(token);
    }
    for (const char* zero : {"0.0", "-0.0", "-0.000000", "-0.0000001", "-0.", "0.000000"}) {
        tokens.push_back(zero);
    }
    for (const std::string& token : tokens) {
        const kessa::Scalar expected = model(token), actual = kessa::typeAsWritten(token);
        ASSERT_EQ(actual.type, expected.type) << token;
        ASSERT_EQ(actual.integer, expected.integer) << token;
        ASSERT_EQ(std::memcmp(&actual.number, &expected.number, sizeof(double)), 0) << token;
    }
}
