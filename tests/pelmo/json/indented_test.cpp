#include <gtest/gtest.h>

#include "kessa/parser.h"
#include "pelmo/json/node.h"

using namespace pelmo;

namespace {

/// Parses kessa text and returns the root's compact and indented texts.
std::pair<std::string, std::string> render(std::string_view kessaText) {
    const auto root = kessa::KessaParser().parse(kessaText);
    std::string compact;
    root->appendCompact(compact);
    return {compact, root->toIndentedString()};
}

}  // namespace

// The indented layout, one expected output line per literal, beside the compact text of the same
// tree. No line break follows the last bracket.
TEST(Indented, Layouts) {
    const struct {
        const char* input;
        const char* compact;
        const char* indented;
    } rows[] = {
        {"", "{}", "{}"},
        {"a=1\n", R"({"a":1})",
         "{\n"
         "    \"a\": 1\n"
         "}"},
        {"a={{},{{}}}\nb={{x={}}}\n", R"({"a":[[],[[]]],"b":[{"x":[]}]})",
         "{\n"
         "    \"a\": [\n"
         "        [],\n"
         "        [\n"
         "            []\n"
         "        ]\n"
         "    ],\n"
         "    \"b\": [\n"
         "        {\n"
         "            \"x\": []\n"
         "        }\n"
         "    ]\n"
         "}"},
        {"k\"\tx=\"a\nb\\\"\n", R"({"k\"\tx":"a\nb\\"})",
         "{\n"
         "    \"k\\\"\\tx\": \"a\\nb\\\\\"\n"
         "}"},
    };
    for (const auto& row : rows) {
        const auto [compact, indented] = render(row.input);
        EXPECT_EQ(compact, row.compact) << "input: " << row.input;
        EXPECT_EQ(indented, row.indented) << "input: " << row.input;
    }
}

TEST(Indented, WorkedExample) {
    JsonObject root;
    root.add("name", std::make_unique<JsonString>("demo"));
    root.add("count", std::make_unique<JsonInteger>(3));
    root.add("empty", std::make_unique<JsonObject>());
    auto list = std::make_unique<JsonArray>();
    list->push(std::make_unique<JsonInteger>(1));
    list->push(std::make_unique<JsonString>("two"));
    list->push(std::make_unique<JsonArray>());
    auto kv = std::make_unique<JsonObject>();
    kv->add("k", std::make_unique<JsonString>("v"));
    list->push(std::move(kv));
    root.add("list", std::move(list));
    auto deep = std::make_unique<JsonObject>();
    deep->add("deep", std::make_unique<JsonInteger>(7));
    auto nested = std::make_unique<JsonObject>();
    nested->add("inner", std::move(deep));
    root.add("nested", std::move(nested));

    EXPECT_EQ(root.toIndentedString(),
              "{\n"
              "    \"name\": \"demo\",\n"
              "    \"count\": 3,\n"
              "    \"empty\": {},\n"
              "    \"list\": [\n"
              "        1,\n"
              "        \"two\",\n"
              "        [],\n"
              "        {\n"
              "            \"k\": \"v\"\n"
              "        }\n"
              "    ],\n"
              "    \"nested\": {\n"
              "        \"inner\": {\n"
              "            \"deep\": 7\n"
              "        }\n"
              "    }\n"
              "}");
}

// A node at a given depth closes at that depth's indentation; a scalar ignores the depth.
TEST(Indented, StartingDepthAndScalars) {
    JsonArray array;
    array.push(std::make_unique<JsonFloat>(0.5));
    std::string out = "x";
    array.appendIndented(out, 2);
    EXPECT_EQ(out, "x[\n            0.5\n        ]");
    EXPECT_EQ(JsonString("a\"b").toIndentedString(), R"("a\"b")");
    EXPECT_EQ(JsonFloat(2.0).toIndentedString(), "2.0");
    EXPECT_EQ(JsonObject().toIndentedString(), "{}");
}
