// The rule for the text of a key or value, held to the reader itself: where the rule gives a text,
// reading it gives exactly the value; where it says none, no form the notation offers (plain,
// plain after a blank, quoted) gives it. Generated values mix every class of byte the reader
// treats apart.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kessa/parser.h"
#include "kessa/value_text.h"
#include "pelmo/json/number_format.h"

namespace {

using kessa::FindingKind;
using kessa::StringForm;

/// What `text` gives as the root's only member, or nothing if it is refused or gives another
/// number of members.
const pelmo::JsonObject::Member* only(const pelmo::JsonObject& root) {
    return root.members.size() == 1 ? &root.members[0] : nullptr;
}

/// Whether the text `k=` + `form` + a line feed gives the string `value` under the key k.
bool givesString(std::string_view form, std::string_view value) {
    try {
        const auto root = kessa::KessaParser().parse("k=" + std::string(form) + "\n");
        const auto* member = only(*root);
        if (member == nullptr || member->second->type != pelmo::JsonType::String) return false;
        return static_cast<const pelmo::JsonString&>(*member->first).value == "k" &&
               static_cast<const pelmo::JsonString&>(*member->second).value == value;
    } catch (const pelmo::Exception&) {
        return false;
    }
}

/// Whether the text `form` + `=1` and a line feed gives the key `key`.
bool givesKey(std::string_view form, std::string_view key) {
    try {
        const auto root = kessa::KessaParser().parse(std::string(form) + "=1\n");
        const auto* member = only(*root);
        return member != nullptr &&
               static_cast<const pelmo::JsonString&>(*member->first).value == key;
    } catch (const pelmo::Exception&) {
        return false;
    }
}

/// The double a JSON reader gets from the JSON of `k=` + `text`, if it is a number.
std::optional<double> readsAsDouble(std::string_view text) {
    try {
        std::string json;
        kessa::KessaParser().parse("k=" + std::string(text) + "\n")->appendCompact(json);
        if (json.rfind("{\"k\":", 0) != 0 || json.size() < 7 || json[5] == '"') return {};
        const std::string number = json.substr(5, json.size() - 6);
        return std::strtod(number.c_str(), nullptr);
    } catch (const pelmo::Exception&) {
        return {};
    }
}

bool sameDouble(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

/// Byte strings drawn from the classes the reader tells apart.
class ByteMaker {
public:
    explicit ByteMaker(std::uint64_t seed) : random_(seed) {}

    std::string make() {
        static constexpr std::string_view kClasses[] = {"abcxyz",
                                                        "0123456789",
                                                        ".+-eExp",
                                                        " ",
                                                        "\t",
                                                        "\n",
                                                        "\r",
                                                        ",",
                                                        "=",
                                                        "{",
                                                        "}",
                                                        "\"",
                                                        "\x01\x7F",
                                                        "\xC3\xA9\xE9",
                                                        std::string_view("\0", 1)};
        std::string bytes;
        const std::size_t size = random_() % 7;
        for (std::size_t i = 0; i != size; ++i) {
            const std::string_view chars = kClasses[random_() % std::size(kClasses)];
            bytes += chars[random_() % chars.size()];
        }
        return bytes;
    }

private:
    std::mt19937_64 random_;
};

}  // namespace

// The form the rule gives reads back as the string; where it gives none, no form does.
TEST(ValueText, StringsAgainstTheReader) {
    ByteMaker maker(20261209);
    std::size_t plain = 0, quoted = 0, none = 0;
    for (int i = 0; i != 60000; ++i) {
        const std::string value = maker.make();
        const kessa::StringText text = kessa::stringText(value);
        const std::string quotedForm = "\"" + value + "\"";
        switch (text.form) {
            case StringForm::Plain:
                ++plain;
                EXPECT_TRUE(givesString(value.front() == '"' ? " " + value : value, value))
                    << value;
                break;
            case StringForm::Quoted:
                ++quoted;
                EXPECT_TRUE(givesString(quotedForm, value)) << value;
                break;
            case StringForm::None:
                ++none;
                EXPECT_FALSE(givesString(value, value)) << value;
                EXPECT_FALSE(givesString(" " + value, value)) << value;
                EXPECT_FALSE(givesString(quotedForm, value)) << value;
                break;
        }
        // The whole text for a value says the same.
        const auto written = kessa::stringValueText(value);
        EXPECT_EQ(written.has_value(), text.form != StringForm::None) << value;
        if (written) {
            EXPECT_TRUE(givesString(*written, value)) << value;
        }
    }
    // Each verdict drawn often enough to mean something.
    EXPECT_GT(plain, 5000u);
    EXPECT_GT(quoted, 5000u);
    EXPECT_GT(none, 5000u);
}

TEST(ValueText, StringReasons) {
    const struct {
        std::string_view value;
        StringForm form;
        FindingKind reason;
    } rows[] = {
        {"fast", StringForm::Plain, {}},
        {"a\"b", StringForm::Plain, {}},
        {"\"quoted\"", StringForm::Plain, {}},  // a blank before it keeps the quotes
        {"a\tb", StringForm::Plain, {}},
        {"", StringForm::Quoted, {}},
        {"dark blue", StringForm::Plain, {}},
        {"a, b", StringForm::Quoted, {}},
        {" pad", StringForm::Quoted, {}},
        {"12 ", StringForm::Quoted, {}},
        {"two\nlines", StringForm::Quoted, {}},
        {"crlf\r\n", StringForm::Quoted, {}},
        {"007", StringForm::None, FindingKind::NumeralString},
        {"1e3", StringForm::None, FindingKind::NumeralString},
        {" 12", StringForm::None, FindingKind::NumeralString},
        {"0x1F", StringForm::None, FindingKind::NumeralString},
        {"1.", StringForm::None, FindingKind::NumeralString},
        {".5", StringForm::Plain, {}},
        {"a\t,b", StringForm::None, FindingKind::TabNeedsQuotes},
        {"\tx", StringForm::None, FindingKind::TabNeedsQuotes},
        {"say \"hi\", then", StringForm::None, FindingKind::QuoteNeedsQuotes},
        {"\" x ", StringForm::None, FindingKind::QuoteNeedsQuotes},
    };
    for (const auto& row : rows) {
        const kessa::StringText text = kessa::stringText(row.value);
        EXPECT_EQ(text.form, row.form) << row.value;
        if (row.form == StringForm::None) {
            EXPECT_EQ(text.reason, row.reason) << row.value;
        }
    }
}

// A key the rule accepts reads back as written (after a blank where it begins with a double
// quote); one it refuses is given by neither form.
TEST(ValueText, KeysAgainstTheReader) {
    ByteMaker maker(7);
    std::size_t refused = 0;
    for (int i = 0; i != 30000; ++i) {
        const std::string key = maker.make();
        const auto problem = kessa::keyProblem(key);
        if (problem) {
            ++refused;
            EXPECT_EQ(*problem, FindingKind::UnwritableKey);
            EXPECT_FALSE(givesKey(key, key)) << key;
            EXPECT_FALSE(givesKey(" " + key, key)) << key;
        } else {
            EXPECT_TRUE(givesKey(!key.empty() && key.front() == '"' ? " " + key : key, key)) << key;
        }
        const auto onLine = kessa::keyTextOnLine(key);
        EXPECT_EQ(onLine.has_value(), !problem && !key.empty() && key.front() != '"') << key;
    }
    EXPECT_GT(refused, 3000u);
}

// A float's text gives it exactly, sign of zero included; where the rule says none, the texts
// that come closest give another number.
TEST(ValueText, FloatsAgainstTheReader) {
    std::vector<double> values = {0.0,       -0.0,
                                  1.0,       -1.5,
                                  0.1,       0.3,
                                  1e-6,      -1e-6,
                                  1.5e-6,    1e-7,
                                  -1e-7,     123.456,
                                  1e18,      1e20,
                                  -1e300,    1.7e308,
                                  5e-324,    4503599627370495.5,
                                  0.12345,   9.9999,
                                  0.1234567, 3.14159265358979};
    values.push_back(HUGE_VAL);
    values.push_back(-HUGE_VAL);
    std::mt19937_64 random(42);
    for (int i = 0; i != 20000; ++i) {
        const std::uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        values.push_back(value);
        // Decimals of up to seven places, near where six decimals stop keeping them.
        values.push_back(
            static_cast<double>(static_cast<std::int64_t>(random() % 20000001) - 10000000) /
            std::pow(10.0, static_cast<double>(random() % 8)));
    }
    for (const double value : values) {
        const kessa::NumberText text = kessa::floatText(value);
        if (!text.none) {
            const auto read = readsAsDouble(text.text);
            ASSERT_TRUE(read.has_value()) << text.text;
            EXPECT_TRUE(sameDouble(*read, value)) << text.text << " for " << value;
            continue;
        }
        EXPECT_EQ(*text.none,
                  std::isnan(value) ? FindingKind::NotANumber : FindingKind::FloatDigits);
        char buffer[64];
        for (const char* format : {"%.17g", "%.6f", "%.7f", "%.15g", "%a"}) {
            std::snprintf(buffer, sizeof buffer, format, value);
            const auto read = readsAsDouble(buffer);
            EXPECT_FALSE(read && sameDouble(*read, value)) << buffer;
        }
        const auto read = readsAsDouble(pelmo::formatFloat(value));
        EXPECT_FALSE(read && sameDouble(*read, value)) << value;
    }
}

// The words of a refusal: what the value is, and why no text gives it.
TEST(ValueText, WhyNoText) {
    const struct {
        FindingKind reason;
        std::string_view value, words;
    } rows[] = {
        {FindingKind::NoBoolean, "false",
         "false has no kessa text: the notation has no true or false (written so, it gives the "
         "string \"false\")"},
        {FindingKind::NumeralString, "007",
         "the string \"007\" has no kessa text: quoted or not, it reads as the number 7"},
        {FindingKind::NumeralString, "2.10",
         "the string \"2.10\" has no kessa text: quoted or not, it reads as the number 2.1"},
        {FindingKind::TabNeedsQuotes, "\tx",
         "the string \"\\x09x\" has no kessa text: the blank at its end needs quotes, and quotes "
         "drop its tab"},
        {FindingKind::QuoteNeedsQuotes, "a=\"b\"",
         "the string \"a=\\\"b\\\"\" has no kessa text: its equals sign needs quotes, and its "
         "double quote would end them"},
        {FindingKind::UnwritableKey, "x{y",
         "the key \"x{y\" has no kessa text: a key cannot hold = , { } or a line break"},
        {FindingKind::FloatDigits, "3.14159265",
         "the number 3.14159265 has no kessa text: floats keep six decimals, so it would become "
         "3.141593"},
        {FindingKind::BigInteger, "-9223372036854775809",
         "the integer -9223372036854775809 has no kessa text: beyond 64 bits, it would become "
         "-9223372036854775808"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(kessa::whyNoText(row.reason, row.value), row.words) << row.value;
    }
}
