// Depth: documents and schemas nested far deeper than any stack allows recursion for, evaluated
// and compiled with their own stacks.

#include <gtest/gtest.h>

#include <string>

#include "schema/compile.h"
#include "schema/evaluate.h"

namespace {

class NoResolver final : public schema::Resolver {
public:
    std::optional<schema::SchemaDocument> fetch(const std::string&, const schema::Plan&,
                                                std::uint32_t, const std::string&,
                                                std::string_view) override {
        return std::nullopt;
    }
};

void compiled(schema::Plan& plan, const std::string& text) {
    plan.documents.push_back({"urn:test", "test", text, nlohmann::json::parse(text)});
    NoResolver resolver;
    schema::compile(plan, resolver, {schema::Draft::Draft2020, false});
}

bool fits(const schema::Plan& plan, const std::string& text) {
    const auto document = schema::JsonDocument::parse(text);
    return schema::Evaluator<schema::JsonDocument>(plan, document, nullptr).run(document.root());
}

// A million levels against a schema that refers to itself, and one that also gathers what its
// subschemas evaluated (unevaluatedItems) at every level, with a fault at the bottom.
TEST(Deep, MillionLevelDocuments) {
    constexpr std::size_t kLevels = 1'000'000;
    const std::string nested = std::string(kLevels, '[') + std::string(kLevels, ']');
    const std::string bottom = std::string(kLevels, '[') + "\"x\"" + std::string(kLevels, ']');
    schema::Plan plan;
    compiled(plan, R"({"$defs": {"n": {"type": "array", "items": {"$ref": "#/$defs/n"}}},
                      "$ref": "#/$defs/n"})");
    EXPECT_TRUE(fits(plan, nested));
    EXPECT_FALSE(fits(plan, bottom));
    schema::Plan dynamic;
    compiled(dynamic, R"({"$dynamicAnchor": "n", "type": "array",
                         "prefixItems": [{"$dynamicRef": "#n"}], "unevaluatedItems": false})");
    EXPECT_TRUE(fits(dynamic, nested));
    EXPECT_FALSE(fits(dynamic, bottom));
    std::vector<schema::Fault> faults;
    const auto document = schema::JsonDocument::parse(bottom);
    EXPECT_FALSE(
        schema::Evaluator<schema::JsonDocument>(dynamic, document, &faults).run(document.root()));
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].depth, kLevels);
}

TEST(Deep, DeepSchemas) {
    constexpr std::size_t kLevels = 100'000;
    std::string text;
    for (std::size_t i = 0; i < kLevels; ++i) text += "{\"items\": ";
    text += "{\"type\": \"integer\"}" + std::string(kLevels, '}');
    schema::Plan plan;
    compiled(plan, text);
    EXPECT_TRUE(fits(plan, std::string(kLevels, '[') + "1" + std::string(kLevels, ']')));
    EXPECT_FALSE(fits(plan, std::string(kLevels, '[') + "1.5" + std::string(kLevels, ']')));
}

// A schema that leads back to the same value without end is refused where it loops.
TEST(Deep, EndlessReferencesAreRefused) {
    schema::Plan plan;
    try {
        compiled(
            plan,
            R"({"$defs": {"a": {"allOf": [{"$ref": "#"}]}}, "anyOf": [{"$ref": "#/$defs/a"}]})");
        ADD_FAILURE() << "compiled";
    } catch (const schema::CompileError& error) {
        EXPECT_EQ(error.pointer, "/$defs/a/allOf/0/$ref");
    }
}

}  // namespace
