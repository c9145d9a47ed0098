// The validator over kessa texts, against fixed schemas that use every kind of keyword of the
// drafts (references that recurse, dynamic ones, unevaluated*, formats, patterns): whatever the
// text, the check ends, without a crash or a stall, and every finding is placed in the text and
// worded.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "kessa/reader.h"
#include "kessa/schema.h"

namespace {

constexpr const char* kSchemas[] = {
    R"({"$schema": "https://json-schema.org/draft/2020-12/schema",
        "$defs": {"node": {"$dynamicAnchor": "n", "anyOf": [
            {"type": ["integer", "string"], "minLength": 1, "maxLength": 8, "pattern": "^\\p{L}",
             "format": "date-time", "multipleOf": 0.5, "minimum": -5, "exclusiveMaximum": 1e9},
            {"type": "array", "prefixItems": [{"$dynamicRef": "#n"}], "items": {"$ref": "#/$defs/node"},
             "contains": {"type": "integer"}, "minContains": 0, "maxContains": 3,
             "uniqueItems": true, "unevaluatedItems": false},
            {"type": "object", "properties": {"a": {"$ref": "#/$defs/node"}},
             "patternProperties": {"^[b-d]+$": {"const": 1}}, "propertyNames": {"maxLength": 5},
             "dependentRequired": {"a": ["b"]}, "dependentSchemas": {"c": {"required": ["d"]}},
             "if": {"required": ["x"]}, "then": {"minProperties": 2}, "else": {"maxProperties": 9},
             "unevaluatedProperties": {"$ref": "#/$defs/node"}}]}},
        "$ref": "#/$defs/node"})",
    R"({"$schema": "https://json-schema.org/draft/2019-09/schema", "$recursiveAnchor": true,
        "type": "object", "additionalProperties": {"oneOf": [{"$recursiveRef": "#"},
        {"type": "array", "items": [{"enum": [1, "x", [1]]}], "additionalItems": {"not": {}}},
        {"type": "number"}, {"type": "string", "format": "ipv6"}]}})",
    R"({"$schema": "http://json-schema.org/draft-04/schema#", "type": "object",
        "properties": {"n": {"maximum": 3, "exclusiveMaximum": true}},
        "dependencies": {"n": ["m"], "m": {"properties": {"n": {"type": "integer"}}}},
        "additionalProperties": {"$ref": "#"}})",
};

struct Check final : kessa::FindingHandler {
    std::string_view text;
    void found(const kessa::Finding& finding) override {
        if (finding.offset + finding.bytes.size() > text.size()) __builtin_trap();
        if (kessa::describe(finding).empty()) __builtin_trap();
    }
};

const std::vector<kessa::Schema>& schemas() {
    static const std::vector<kessa::Schema> compiled = [] {
        std::vector<kessa::Schema> out;
        for (const char* text : kSchemas) out.push_back(kessa::Schema::parse(text, "fuzz.json"));
        return out;
    }();
    return compiled;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Check check;
    check.text = text;
    for (const kessa::Schema& schema : schemas()) {
        try {
            kessa::checkSchemaFindings(text, schema, check);
        } catch (const kessa::SyntaxError&) {
            return 0;  // malformed: refused before any finding, by every schema alike
        }
    }
    return 0;
}
