#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "accepted_texts.h"
#include "kessa/reader.h"
#include "lsp/analysis.h"
#include "lsp/completion.h"
#include "lsp/cursor.h"
#include "lsp/layout.h"

namespace {

using Kind = lsp::CursorPlace::Kind;

/// A path as the tests write it: keys after dots, indices in brackets.
std::string shown(const kessa::InstancePath& path) {
    std::string text;
    for (const kessa::PathStep& step : path) {
        if (const auto* key = std::get_if<std::string>(&step)) {
            text.append(".").append(*key);
        } else {
            text.append("[").append(std::to_string(std::get<std::uint64_t>(step))).append("]");
        }
    }
    return text;
}

/// `marked` without its '|', and where it was.
std::pair<std::string, std::uint64_t> cursorIn(std::string marked) {
    const std::size_t at = marked.find('|');
    marked.erase(at, 1);
    return {marked, at};
}

const char* kSchema = R"({
    "type": "object",
    "required": ["port", "name"],
    "properties": {
        "name": {"type": "string", "title": "Name", "description": "The service's *name*."},
        "port": {"type": "integer", "maximum": 65535, "default": 8080, "examples": [70000, 443]},
        "mode": {"enum": ["fast", "safe", "dark blue", "a,b", "007", true, "x\"y"],
                 "examples": ["slow"]},
        "a=b": {"type": "string"},
        "server": {"type": "object", "properties": {"host": {}, "tls": {}}},
        "tags": {"type": "array", "items": {"enum": ["red", "green"]}},
        "list": {"type": "array", "items": {"type": "object", "properties": {"id": {}}}}
    }
})";

}  // namespace

// Where the cursor stands: a key or a value, of which path, what is typed of it, and the keys
// the object has elsewhere.
TEST(Cursor, Places) {
    const struct {
        const char* text;  // '|' is the cursor
        Kind kind;
        const char* path = "";
        const char* typed = "";
        std::vector<std::string> keys = {};
        bool undecided = false;
    } rows[] = {
        {"|", Kind::Key},
        {"a=1\n|", Kind::Key, "", "", {"a"}},
        {"a=1\npo|", Kind::Key, "", "po", {"a"}},
        {"a=1\npo|\nb=2\n", Kind::Key, "", "po", {"a", "b"}},
        {"po|rt=1\n", Kind::Key, "", "po"},  // the key under the cursor is not there yet
        {"a=1,|", Kind::Key, "", "", {"a"}},
        {"x,|", Kind::Key},
        {"\xC3\xA9=1\n\xC3\xA8|", Kind::Key, "", "\xC3\xA8", {"\xC3\xA9"}},
        {"port=|", Kind::Value, ".port"},
        {"port= |", Kind::Value, ".port"},
        {"port=80|", Kind::Value, ".port", "80"},
        {"port = 8|0\n", Kind::Value, ".port", "8"},
        {"=|", Kind::Value, "."},
        {"mode=\"da|", Kind::Value, ".mode", "\"da"},
        {"\"da|", Kind::None},  // a quoted value with no key
        {"port=80 |", Kind::None},
        {"a=\"x\"|", Kind::None},
        {"a=\"x\" |", Kind::None},
        {"}|", Kind::None},
        {"s={h=1\n|\n}\n", Kind::Key, ".s", "", {"h"}},
        {"s={h=1,|}\n", Kind::Key, ".s", "", {"h"}},
        {"s={|", Kind::Key, ".s", "", {}, true},
        {"s={re|", Kind::Key, ".s", "re", {}, true},
        {"s={a\nb|", Kind::Key, ".s", "b", {}, true},  // lines joined, the last one typed
        {"s={|\nh=1}\n", Kind::Key, ".s", "", {"h"}},
        {"s={\n|\n}\n", Kind::Value, ".s[0]"},  // {} is an array
        {"t={|a,b}\n", Kind::Value, ".t[0]"},
        {"t={a,|}\n", Kind::Value, ".t[1]"},
        {"t={a,b|}\n", Kind::Value, ".t[1]", "b"},
        {"t={{x=1},{|}}\n", Kind::Value, ".t[1][0]"},
        {"t={{x=1},{y|=2}}\n", Kind::Key, ".t[1]", "y"},
        {"t={a,\"b|", Kind::Value, ".t[1]", "\"b"},
        {"a={b={c=|", Kind::Value, ".a.b.c"},
        {"a={b={c=1}\n|\nd=2}\n", Kind::Key, ".a", "", {"b", "d"}},
        {"a={1,x=|", Kind::Value, ".a[1]"},  // an array takes no key
        {"a=1\r|", Kind::Key, "", "", {"a"}},
    };
    for (const auto& row : rows) {
        const auto [text, offset] = cursorIn(row.text);
        const lsp::CursorPlace place = lsp::cursorAt(text, offset);
        const std::string what = testing::PrintToString(std::string(row.text));
        EXPECT_EQ(place.kind, row.kind) << what;
        if (row.kind == Kind::None) continue;
        EXPECT_EQ(shown(place.path), row.path) << what;
        EXPECT_EQ(text.substr(place.begin, offset - place.begin), row.typed) << what;
        EXPECT_EQ(place.keys, row.keys) << what;
        EXPECT_EQ(place.undecided, row.undecided) << what;
    }
}

/// The items of a text, as the layout reports them.
class Items final : public lsp::LayoutVisitor {
public:
    void scalar(const lsp::Item& item) override { items.push_back(item); }
    void open(const lsp::Item&, bool) override {}
    void close(std::uint64_t) override {}
    std::vector<lsp::Item> items;
};

// At the end of a member's unquoted value the cursor is at that value, with the path a hover
// there gives; after a quoted one, nowhere; at the end of its key, where no other key is left
// waiting before it, at a key of its object. Over every accepted text of the readers' table and
// random ones.
TEST(Cursor, AgreesWithHovers) {
    const std::vector<std::string> texts = acceptedTexts(2000, 11);
    for (const std::string& text : texts) {
        Items layout;
        lsp::walkLayout(text, layout);
        for (const lsp::Item& item : layout.items) {
            if (item.valueEnd == item.valueBegin) continue;  // an empty element
            const std::string what =
                testing::PrintToString(text) + " at " + std::to_string(item.valueBegin);
            const std::optional<lsp::HoverText> hover = lsp::hoverAt(text, item.valueBegin);
            ASSERT_TRUE(hover) << what;
            const bool keyGiven = item.keyBegin != item.valueBegin || item.keyEnd != item.keyBegin;
            const lsp::CursorPlace atValue = lsp::cursorAt(text, item.valueEnd);
            if (item.quoted) {
                EXPECT_EQ(atValue.kind, Kind::None) << what;
            } else if (item.inArray || keyGiven) {
                EXPECT_EQ(atValue.kind, Kind::Value) << what;
                EXPECT_EQ(atValue.path, hover->path) << what;
            }
            if (item.inArray || item.keyEnd == item.keyBegin ||
                lsp::cursorAt(text, item.keyBegin).kind != Kind::Key) {
                continue;
            }
            const lsp::CursorPlace atKey = lsp::cursorAt(text, item.keyEnd);
            kessa::InstancePath parent = hover->path;
            parent.pop_back();
            EXPECT_EQ(atKey.kind, Kind::Key) << what;
            EXPECT_EQ(atKey.path, parent) << what;
        }
    }
}

// What completion offers: the members still missing, required first, and the values the schema
// names that a text can give and the schema accepts there.
TEST(Completion, Offers) {
    const kessa::Schema schema = kessa::Schema::parse(kSchema, "/s/service.schema.json");
    const struct {
        const char* text;
        std::vector<std::string> labels;
    } rows[] = {
        // Required first; "a=b" cannot be a key.
        {"|", {"name", "port", "list", "mode", "server", "tags"}},
        {"name=x\n|", {"port", "list", "mode", "server", "tags"}},
        {"name=x\nmo|", {"port", "list", "mode", "server", "tags"}},
        // Neither 007 nor true, which no text gives, nor slow, which the enum refuses.
        {"mode=|", {"fast", "safe", "dark blue", "\"a,b\"", "x\"y"}},
        {"mode=\"|", {"fast", "safe", "dark blue", "\"a,b\"", "x\"y"}},
        {"port=|", {"8080", "443"}},  // not 70000, above the maximum
        {"server={|", {"host", "tls"}},
        {"server={host=a\n|\n}\n", {"tls"}},
        {"tags={|", {"red", "green"}},  // braces that make no object yet: their first element
        {"tags={red,|}\n", {"red", "green"}},
        {"list={{|", {"id"}},
        {"list={{|}}\n", {}},  // {} is an empty array
        {"name=x\nname=|", {}},
        {"other=|", {}},
        {"port=80 |", {}},
    };
    for (const auto& row : rows) {
        const auto [text, offset] = cursorIn(row.text);
        std::vector<std::string> labels;
        for (const lsp::Completion& item : lsp::completionsAt(text, offset, {&schema}, true)) {
            labels.push_back(item.label);
            EXPECT_EQ(item.end, offset) << row.text;
        }
        EXPECT_EQ(labels, row.labels) << testing::PrintToString(std::string(row.text));
    }
    EXPECT_TRUE(lsp::completionsAt("a=1\n", 4, {}, true).empty());
}

// Each item: what it replaces and with what, and what the schema says of it.
TEST(Completion, Items) {
    const kessa::Schema schema = kessa::Schema::parse(kSchema, "/s/service.schema.json");
    const std::vector<lsp::Completion> keys = lsp::completionsAt("na", 2, {&schema}, true);
    ASSERT_EQ(keys.size(), 6u);
    const lsp::Completion& name = keys[0];
    EXPECT_EQ(name.label, "name");
    EXPECT_EQ(name.kind, lsp::Completion::Kind::Key);
    EXPECT_EQ(name.text, "name=");
    EXPECT_EQ(name.begin, 0u);
    EXPECT_EQ(name.end, 2u);
    EXPECT_EQ(name.detail, "string, required");
    EXPECT_EQ(name.documentation,
              "**Name**\n\nThe service's \\*name\\*.\n\n"
              "From [service.schema.json:5](file:///s/service.schema.json#L5,9)");
    EXPECT_EQ(keys[3].label, "mode");
    // An enum alone: the types of its values.
    EXPECT_EQ(keys[3].detail, "boolean or string");
    EXPECT_EQ(keys[3].documentation, "");
    const std::vector<lsp::Completion> plain = lsp::completionsAt("na", 2, {&schema}, false);
    EXPECT_EQ(plain[0].documentation,
              "Name\nThe service's *name*.\nFrom /s/service.schema.json:5:9");
    const std::vector<lsp::Completion> values = lsp::completionsAt("mode=\"a", 7, {&schema}, true);
    ASSERT_EQ(values.size(), 5u);
    EXPECT_EQ(values[3].kind, lsp::Completion::Kind::Value);
    EXPECT_EQ(values[3].text, "\"a,b\"");
    EXPECT_EQ(values[3].detail, "\"a,b\"");
    EXPECT_EQ(values[3].begin, 5u);
    // Two schemas: the members of both, each once, required first.
    const kessa::Schema other = kessa::Schema::parse(
        R"({"properties": {"name": {}, "extra": {}}, "required": ["extra"]})", "/s/other.json");
    std::vector<std::string> labels;
    for (const lsp::Completion& item : lsp::completionsAt("", 0, {&schema, &other}, true)) {
        labels.push_back(item.label);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"name", "port", "extra", "list", "mode", "server",
                                                "tags"}));
}
