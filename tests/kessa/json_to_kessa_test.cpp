// JSON to kessa, held to two promises. Every JSON the converter writes comes back: for each text
// it accepts, the kessa written for its JSON converts to that JSON byte for byte. And over
// generated JSON documents, either the kessa written gives the same document back, or each value
// that would differ is named with its pointer, and only those: a value is named if and only if no
// form the notation offers gives it, which a search of those forms against the reader decides.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kessa/conversion.h"
#include "kessa/format.h"
#include "kessa/json_to_kessa.h"
#include "kessa/parser.h"
#include "kessa/value_text.h"
#include "pelmo/json/number_format.h"
#include "pelmo/json/text_sink.h"
#include "project_texts.h"
#include "text_maker.h"

namespace {

using Json = nlohmann::ordered_json;

std::string json(std::string_view kessa) {
    std::string out;
    pelmo::StringSink sink(out);
    kessa::writeIndentedJson(kessa, sink);
    return out;
}

struct Result {
    std::string kessa;
    std::vector<kessa::JsonRefusal> refusals;
};

Result toKessa(std::string_view text, bool doubles = false) {
    struct Refusals final : kessa::JsonToKessaHandler {
        std::vector<kessa::JsonRefusal> list;
        void refused(const kessa::JsonRefusal& refusal) override { list.push_back(refusal); }
    } refusals;
    Result result;
    pelmo::StringSink sink(result.kessa);
    kessa::JsonToKessaOptions options;
    options.numbersAreDoubles = doubles;
    kessa::jsonToKessa(text, &sink, refusals, options);
    result.refusals = std::move(refusals.list);
    // Nothing of a document with a refused value reaches the sink.
    EXPECT_TRUE(result.refusals.empty() || result.kessa.empty()) << text;
    return result;
}

/// Holds the round trip for a kessa text the conversion accepts.
void comesBack(const std::string& text) {
    std::string before;
    try {
        before = json(text);
    } catch (const kessa::SyntaxError&) {
        return;
    }
    const Result result = toKessa(before);
    ASSERT_TRUE(result.refusals.empty())
        << testing::PrintToString(text) << " refused at " << result.refusals[0].pointer;
    EXPECT_EQ(json(result.kessa), before)
        << testing::PrintToString(text) << " wrote " << testing::PrintToString(result.kessa);
    EXPECT_EQ(kessa::formatKessa(result.kessa), result.kessa) << testing::PrintToString(text);
}

}  // namespace

TEST(JsonToKessa, EveryJsonOfTheConverterComesBack) {
    forEachProjectText(comesBack);
    TextMaker maker(42);
    for (int i = 0; i != 100000 && !HasFailure(); ++i) comesBack(maker.make());
}

TEST(JsonToKessa, Refusals) {
    const struct {
        std::string_view json;
        std::string_view refusals;  // "code pointer @offset+length", separated by "; "
    } rows[] = {
        {R"({"a":true,"b":null,"c":[false]})",
         "no-boolean /a @5+4; no-null /b @14+4; no-boolean /c/0 @24+5"},
        {R"({"zip":"01234","id":"1e3","n":" 12","ok":"12 "})",
         "numeral-string /zip @7+7; numeral-string /id @20+5; numeral-string /n @30+5"},
        {"{\"t\":\"a\\t, b\",\"q\":\"say \\\"hi\\\", then\"}",
         "tab-needs-quotes /t @5+8; quote-needs-quotes /q @18+18"},
        {R"({"a=b":1,"x/y~z":{" pad":2}})",
         "unwritable-key /a=b @1+5; unwritable-key /x~1y~0z/ pad @18+6"},
        {R"({"f":0.1234567,"g":1e-7,"h":0.5})", "float-digits /f @5+9; float-digits /g @19+4"},
        {R"({"big":18446744073709551616,"min":-9223372036854775809})",
         "big-integer /big @7+20; big-integer /min @34+20"},
        {R"({"s":"\ud800"})", "lone-surrogate /s @5+8"},
        {R"([1,2])", "root-not-object  @0+1"},
        {R"("text")", "root-not-object  @0+6"},
        // Writable: none refused
        {R"({"a":-0,"b":-0.0,"c":1e999,"d":"","e":{},"f":[],"g":"a\"b","h":"\"q\""})", ""},
        {R"({"":1,"k\"ey":{"a\"b":2},"x":9223372036854775807,"y":-9223372036854775808})", ""},
    };
    for (const auto& row : rows) {
        const Result result = toKessa(row.json);
        std::string seen;
        for (const kessa::JsonRefusal& refusal : result.refusals) {
            if (!seen.empty()) seen += "; ";
            seen.append(kessa::code(refusal.reason)).append(" ").append(refusal.pointer);
            seen.append(" @").append(std::to_string(refusal.place.offset));
            seen.append("+").append(std::to_string(refusal.place.length));
        }
        EXPECT_EQ(seen, row.refusals) << row.json;
    }
}

// As JavaScript holds numbers, an integer beyond 64 bits is a float like any other.
TEST(JsonToKessa, NumbersAsDoubles) {
    EXPECT_EQ(toKessa(R"({"n":100000000000000000000})", true).kessa, "n=100000000000000000000.0\n");
    EXPECT_EQ(toKessa(R"({"n":100000000000000000000})").refusals.size(), 1u);
    EXPECT_EQ(toKessa(R"({"n":12})", true).kessa, "n=12\n");
}

namespace {

/// Whether two documents are the same, types included (1 is not 1.0) and a float's sign.
bool same(const Json& a, const Json& b) {
    if (a.is_number_integer() && b.is_number_integer()) {
        // Signed or unsigned, as the library reads them: the same integer.
        if (a.is_number_unsigned() != b.is_number_unsigned()) {
            const Json& u = a.is_number_unsigned() ? a : b;
            const Json& i = a.is_number_unsigned() ? b : a;
            return i.get<std::int64_t>() >= 0 &&
                   static_cast<std::uint64_t>(i.get<std::int64_t>()) == u.get<std::uint64_t>();
        }
        return a == b;
    }
    if (a.type() != b.type()) return false;
    if (a.is_number_float())
        return std::signbit(a.get<double>()) == std::signbit(b.get<double>()) &&
               a.get<double>() == b.get<double>();
    if (a.is_object()) {
        if (a.size() != b.size()) return false;
        auto i = a.items().begin();
        auto j = b.items().begin();
        for (; i != a.items().end(); ++i, ++j) {
            if (i.key() != j.key() || !same(i.value(), j.value())) return false;
        }
        return true;
    }
    if (a.is_array()) {
        if (a.size() != b.size()) return false;
        for (std::size_t k = 0; k != a.size(); ++k) {
            if (!same(a[k], b[k])) return false;
        }
        return true;
    }
    return a == b;
}

/// The model: whether some form the notation offers gives `value` as the value of a key, found
/// by reading each candidate text.
bool someTextGives(const Json& value) {
    std::vector<std::string> candidates;
    if (value.is_string()) {
        const std::string& s = value.get_ref<const std::string&>();
        candidates = {s, " " + s, "\"" + s + "\""};
    } else if (value.is_number_integer()) {
        candidates = {value.dump()};
    } else if (value.is_number_float()) {
        const double d = value.get<double>();
        char buffer[64];
        for (const char* format : {"%.17g", "%.6f", "%.7f", "%.1f"}) {
            std::snprintf(buffer, sizeof buffer, format, d);
            candidates.emplace_back(buffer);
        }
        candidates.push_back(pelmo::formatFloat(d));
        if (d == 0) candidates.emplace_back(std::signbit(d) ? "-1e-7" : "0.0");
    } else {
        candidates = {value.dump()};  // true, false, null: read as strings
    }
    for (const std::string& candidate : candidates) {
        try {
            const std::string text = "k=" + candidate + "\n";
            const Json read = Json::parse(json(text)).at("k");
            if (same(read, value)) return true;
        } catch (const std::exception&) {
        }
    }
    return false;
}

/// Whether some text gives `key` as a key.
bool someTextGivesKey(const std::string& key) {
    for (const std::string& candidate : {key, " " + key}) {
        try {
            const Json read = Json::parse(json(candidate + "=1\n"));
            if (read.size() == 1 && read.begin().key() == key) return true;
        } catch (const std::exception&) {
        }
    }
    return false;
}

/// The pointers of the values and keys the model says no text gives.
void unwritable(const Json& value, const std::string& pointer, std::set<std::string>& out) {
    const auto escaped = [](const std::string& key) {
        std::string step;
        for (const char c : key) step += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
        return step;
    };
    if (value.is_object()) {
        for (const auto& [key, member] : value.items()) {
            const std::string at = pointer + "/" + escaped(key);
            if (!someTextGivesKey(key)) out.insert(at);
            unwritable(member, at, out);
        }
    } else if (value.is_array()) {
        for (std::size_t k = 0; k != value.size(); ++k) {
            unwritable(value[k], pointer + "/" + std::to_string(k), out);
        }
    } else if (!someTextGives(value)) {
        out.insert(pointer);
    }
}

}  // namespace

TEST(JsonToKessa, RefusedIfAndOnlyIfNoTextGivesIt) {
    std::mt19937_64 random(9);
    const auto bytes = [&] {
        static const std::string_view kClasses[] = {"ab", "0123456789", ".+-eE",    " ", "\t",
                                                    "\n", "\r",         ",",        "=", "{",
                                                    "}",  "\"",         "\xC3\xA9", "~/"};
        std::string s;
        for (std::size_t n = random() % 5; n != 0; --n) {
            const std::string_view chars = kClasses[random() % std::size(kClasses)];
            // A character of two bytes stays whole: the documents are UTF-8.
            if (chars == "\xC3\xA9") {
                s += chars;
            } else {
                s += chars[random() % chars.size()];
            }
        }
        return s;
    };
    const auto scalar = [&]() -> Json {
        switch (random() % 9) {
            case 0:
                return static_cast<std::int64_t>(random()) >> (random() % 64);
            case 1: {
                const double choices[] = {0.5,  0.1,  1e-6, 1e-7,    0.1234567,
                                          1e20, -0.0, 0.0,  1.5e300, 123.456789};
                return choices[random() % std::size(choices)];
            }
            case 2:
                return random() % 2 == 0;
            case 3:
                return nullptr;
            case 4:
                return Json::parse(random() % 2 ? "18446744073709551615" : "-9223372036854775808");
            default:
                return bytes();
        }
    };
    std::function<Json(int)> make = [&](int depth) -> Json {
        if (depth == 0 || random() % 3 != 0) return scalar();
        Json value = random() % 2 ? Json::object() : Json::array();
        for (std::size_t n = random() % 4; n != 0; --n) {
            if (value.is_object()) {
                value[bytes()] = make(depth - 1);
            } else {
                value.push_back(make(depth - 1));
            }
        }
        return value;
    };
    int writable = 0;
    for (int round = 0; round != 3000 && !HasFailure(); ++round) {
        Json document = Json::object();
        for (std::size_t n = random() % 5; n != 0; --n) document[bytes()] = make(3);
        const std::string text = document.dump();
        const Result result = toKessa(text);
        std::set<std::string> refused;
        for (const auto& refusal : result.refusals) refused.insert(refusal.pointer);
        std::set<std::string> model;
        unwritable(document, "", model);
        EXPECT_EQ(refused, model) << text;
        if (!result.refusals.empty()) continue;
        ++writable;
        EXPECT_TRUE(same(Json::parse(json(result.kessa)), document))
            << text << " wrote " << result.kessa;
    }
    EXPECT_GT(writable, 300);
}

// A numeral is written as the double a JSON reader gets from it: the quick route that writes
// short decimals as they stand, held to that rule near its limits (six decimals, fifteen
// digits, trailing zeros, zeros, signs, exponents).
TEST(JsonToKessa, NumeralsAsTheirDoubles) {
    std::mt19937_64 random(5);
    const auto digits = [&](std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i != count; ++i) text += static_cast<char>('0' + random() % 10);
        return text;
    };
    for (int i = 0; i != 20000; ++i) {
        std::string numeral = random() % 3 == 0 ? "-" : "";
        std::string whole = digits(random() % 11);
        while (whole.size() > 1 && whole.front() == '0') whole.erase(0, 1);
        numeral += whole.empty() ? "0" : whole;
        // Appended piece by piece: g++ 12 warns wrongly about "." + string.
        if (random() % 5 != 0) numeral.append(".").append(digits(1 + random() % 8));
        if (random() % 6 == 0) {
            numeral.append("e").append(std::to_string(static_cast<int>(random() % 40) - 20));
        }
        const Result result = toKessa(std::string("{\"n\":").append(numeral).append("}"));
        const bool integral = numeral.find_first_of(".e") == std::string::npos;
        std::string expected;
        if (integral) {
            expected.append("n=").append(std::to_string(std::stoll(numeral))).append("\n");
        } else {
            const kessa::NumberText text = kessa::floatText(std::strtod(numeral.c_str(), nullptr));
            if (!text.none) expected.append("n=").append(text.text).append("\n");
        }
        EXPECT_EQ(result.kessa, expected) << numeral;
        EXPECT_EQ(result.refusals.empty(), !expected.empty()) << numeral;
    }
}
