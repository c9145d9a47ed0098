// The JSON reader: each text with the events it gives, in a compact dump, or the fault and its
// place; and over generated documents, the same values as a second reader (nlohmann/json).

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "pelmo/json/json_reader.h"

namespace {

/// The events as one line: { } [ ] for containers, k:"key", s:"string" with a flag letter (c for
/// a raw control byte, u for bytes that are not UTF-8, l for half a surrogate pair), n:text,
/// w:word; each followed by @offset+length.
class Dump final : public pelmo::JsonHandler {
public:
    std::string out;

    void openObject(pelmo::JsonPlace p) override { add("{", p); }
    void closeObject() override { out += "} "; }
    void openArray(pelmo::JsonPlace p) override { add("[", p); }
    void closeArray() override { out += "] "; }
    void key(std::string_view b, unsigned f, pelmo::JsonPlace p) override { text("k", b, f, p); }
    void string(std::string_view b, unsigned f, pelmo::JsonPlace p) override { text("s", b, f, p); }
    void number(std::string_view t, pelmo::JsonPlace p) override { add("n:" + std::string(t), p); }
    void literal(std::string_view w, pelmo::JsonPlace p) override { add("w:" + std::string(w), p); }

private:
    void add(const std::string& event, pelmo::JsonPlace p) {
        out += event;
        out += '@';
        out += std::to_string(p.offset);
        out += '+';
        out += std::to_string(p.length);
        out += ' ';
    }
    void text(const char* kind, std::string_view bytes, unsigned flags, pelmo::JsonPlace p) {
        std::string event = kind;
        if (flags & pelmo::kRawControlByte) event += 'c';
        if (flags & pelmo::kNotUtf8) event += 'u';
        if (flags & pelmo::kLoneSurrogate) event += 'l';
        event += ":\"";
        event += bytes;
        event += '"';
        add(event, p);
    }
};

std::string dump(std::string_view text) {
    Dump d;
    try {
        pelmo::readJson(text, d);
    } catch (const pelmo::JsonSyntaxError& error) {
        return "error@" + std::to_string(error.offset()) + ": " + error.reason();
    }
    return d.out;
}

}  // namespace

TEST(JsonReader, Rows) {
    const struct {
        std::string_view text, events;
    } rows[] = {
        {"{}", "{@0+1 } "},
        {" [ ] ", "[@1+1 ] "},
        {"{\"a\":1,\"b\":[true,false,null]}",
         "{@0+1 k:\"a\"@1+3 n:1@5+1 k:\"b\"@7+3 [@11+1 w:true@12+4 w:false@17+5 w:null@23+4 ] } "},
        {"\"x\"", "s:\"x\"@0+3 "},
        {"-0.5e+10", "n:-0.5e+10@0+8 "},
        {"123456789012345678901234567890", "n:123456789012345678901234567890@0+30 "},
        {"\xEF\xBB\xBF{}", "{@3+1 } "},  // a byte-order mark is skipped
        {"\"a\\n\\t\\\"\\\\\\/\\b\\f\\r\"", "s:\"a\n\t\"\\/\b\f\r\"@0+19 "},
        {"\"\\u00e9\\u20ac\\ud83d\\ude00\"", "s:\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"@0+26 "},
        {"\"\\u0000\"", std::string_view("s:\"\0\"@0+8 ", 10)},
        {"\"\\ud800\"", "sl:\"\xED\xA0\x80\"@0+8 "},
        {"\"\\ud800\\u0041\"",
         "sl:\"\xED\xA0\x80"
         "A\"@0+14 "},
        {"\"a\x01"
         "b\"",
         "sc:\"a\x01"
         "b\"@0+5 "},
        {"\"caf\xE9\"", "su:\"caf\xE9\"@0+6 "},
        {"{\"k\xE9\":\"x\ty\"}", "{@0+1 ku:\"k\xE9\"@1+4 sc:\"x\ty\"@6+5 } "},
        // What is not JSON
        {"", "error@0: the text holds no JSON value"},
        {"  ", "error@2: the text holds no JSON value"},
        {"[1,]", "error@3: a value was expected"},
        {"{\"a\":1,}", "error@7: a key, in double quotes, was expected"},
        {"{'a':1}", "error@1: a key, in double quotes, was expected"},
        {"{\"a\" 1}", "error@5: a colon was expected after the key"},
        {"[1 2]", "error@3: a comma or a closing bracket was expected"},
        {"{\"a\":1 \"b\":2}", "error@7: a comma or a closing brace was expected"},
        {"01", "error@1: text follows the JSON value"},
        {"1.", "error@2: a digit was expected after the decimal point"},
        {".5", "error@0: a value was expected"},
        {"+1", "error@0: a value was expected"},
        {"1e", "error@2: a digit was expected in the exponent"},
        {"NaN", "error@0: a value was expected"},
        {"tru", "error@0: a value was expected"},
        {"\"abc", "error@0: the string is never closed"},
        {"\"a\\x\"", "error@2: an unknown escape"},
        {"\"\\u12\"", "error@1: a \\u escape needs four hexadecimal digits"},
        {"[1", "error@2: the array is never closed"},
        {"{\"a\":[]", "error@7: the object is never closed"},
        {"{} {}", "error@3: text follows the JSON value"},
        {"// c\n{}", "error@0: a value was expected"},
    };
    for (const auto& row : rows) EXPECT_EQ(dump(row.text), row.events) << row.text;
}

// A million levels, read without recursion.
TEST(JsonReader, DeepNesting) {
    const std::size_t depth = 1'000'000;
    std::string text(depth, '[');
    text.append(depth, ']');
    struct Count final : pelmo::JsonHandler {
        std::size_t opened = 0, closed = 0;
        void openObject(pelmo::JsonPlace) override {}
        void closeObject() override {}
        void openArray(pelmo::JsonPlace) override { ++opened; }
        void closeArray() override { ++closed; }
        void key(std::string_view, unsigned, pelmo::JsonPlace) override {}
        void string(std::string_view, unsigned, pelmo::JsonPlace) override {}
        void number(std::string_view, pelmo::JsonPlace) override {}
        void literal(std::string_view, pelmo::JsonPlace) override {}
    } count;
    pelmo::readJson(text, count);
    EXPECT_EQ(count.opened, depth);
    EXPECT_EQ(count.closed, depth);
    text.pop_back();
    EXPECT_THROW(pelmo::readJson(text, count), pelmo::JsonSyntaxError);
}

// Generated documents, written by a second JSON library, read back to the same values.
TEST(JsonReader, SameValuesAsASecondReader) {
    using Json = nlohmann::ordered_json;
    /// Rebuilds the document from the events.
    struct Build final : pelmo::JsonHandler {
        std::vector<Json> stack{Json::array()};
        std::vector<std::string> keys;
        void add(Json value) {
            Json& top = stack.back();
            if (top.is_object()) {
                top[keys.back()] = std::move(value);
            } else {
                top.push_back(std::move(value));
            }
        }
        void openObject(pelmo::JsonPlace) override {
            stack.push_back(Json::object());
            keys.emplace_back();
        }
        void closeObject() override { close(); }
        void openArray(pelmo::JsonPlace) override { stack.push_back(Json::array()); }
        void closeArray() override { close(); }
        void close() {
            Json value = std::move(stack.back());
            stack.pop_back();
            if (value.is_object()) keys.pop_back();
            add(std::move(value));
        }
        void key(std::string_view b, unsigned, pelmo::JsonPlace) override {
            keys.back() = std::string(b);
        }
        void string(std::string_view b, unsigned, pelmo::JsonPlace) override {
            add(std::string(b));
        }
        void number(std::string_view t, pelmo::JsonPlace) override { add(Json::parse(t)); }
        void literal(std::string_view w, pelmo::JsonPlace) override { add(Json::parse(w)); }
    };
    std::mt19937_64 random(3);
    const auto scalar = [&]() -> Json {
        switch (random() % 6) {
            case 0:
                return static_cast<std::int64_t>(random());
            case 1:
                return static_cast<double>(static_cast<std::int64_t>(random() % 2000000) -
                                           1000000) /
                       64.0;
            case 2:
                return random() % 2 == 0;
            case 3:
                return nullptr;
            default: {
                std::string s;
                for (std::size_t n = random() % 8; n != 0; --n) {
                    const char* pieces[] = {
                        "a", "\"", "\\",  "\n", "\x01", "\xC3\xA9", "\xF0\x9F\x98\x80",
                        " ", "/",  "\x7F"};
                    s += pieces[random() % std::size(pieces)];
                }
                return s;
            }
        }
    };
    // Nested a few levels, by a generator of its own depth.
    std::function<Json(int)> make = [&](int depth) -> Json {
        if (depth == 0 || random() % 3 != 0) return scalar();
        Json value = random() % 2 ? Json::object() : Json::array();
        for (std::size_t n = random() % 5; n != 0; --n) {
            if (value.is_object()) {
                value[std::string(1, 'k').append(std::to_string(random() % 20))] = make(depth - 1);
            } else {
                value.push_back(make(depth - 1));
            }
        }
        return value;
    };
    for (int round = 0; round != 2000; ++round) {
        Json document = Json::object();
        for (std::size_t n = random() % 8; n != 0; --n) {
            document[std::string(1, 'm').append(std::to_string(random() % 10))] = make(4);
        }
        const std::string text = document.dump(random() % 2 ? 4 : -1);
        Build build;
        pelmo::readJson(text, build);
        ASSERT_EQ(build.stack.front().at(0), document) << text;
    }
}
