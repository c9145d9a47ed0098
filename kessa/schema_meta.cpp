// The meta-schemas of drafts 4 and 7, which tell whether a schema is one: the JSON Schema
// project's own, without their format keywords (which no check here uses).

#include "kessa/schema_meta.h"

#include <nlohmann/json.hpp>
#include <valijson/adapters/nlohmann_json_adapter.hpp>
#include <valijson/schema_parser.hpp>

#include <memory>

namespace kessa::detail {

namespace {

constexpr const char* kDraft7 =
    R"json({"$schema":"http://json-schema.org/draft-07/schema#",)json"
    R"json("$id":"http://json-schema.org/draft-07/schema#","title":"Core schema meta-schema",)json"
    R"json("definitions":{"schemaArray":{"type":"array","minItems":1,"items":{"$ref":"#"}},)json"
    R"json("nonNegativeInteger":{"type":"integer","minimum":0},)json"
    R"json("nonNegativeIntegerDefault0":{"allOf":[{"$ref":"#/definitions/nonNegativeInteger"},)json"
    R"json({"default":0}]},"simpleTypes":{"enum":["array","boolean","integer","null","number",)json"
    R"json("object","string"]},"stringArray":{"type":"array","items":{"type":"string"},)json"
    R"json("uniqueItems":true,"default":[]}},"type":["object","boolean"],)json"
    R"json("properties":{"$id":{"type":"string"},"$schema":{"type":"string"},)json"
    R"json("$ref":{"type":"string"},"$comment":{"type":"string"},"title":{"type":"string"},)json"
    R"json("description":{"type":"string"},"default":true,"readOnly":{"type":"boolean",)json"
    R"json("default":false},"examples":{"type":"array","items":true},)json"
    R"json("multipleOf":{"type":"number","exclusiveMinimum":0},"maximum":{"type":"number"},)json"
    R"json("exclusiveMaximum":{"type":"number"},"minimum":{"type":"number"},)json"
    R"json("exclusiveMinimum":{"type":"number"},)json"
    R"json("maxLength":{"$ref":"#/definitions/nonNegativeInteger"},)json"
    R"json("minLength":{"$ref":"#/definitions/nonNegativeIntegerDefault0"},)json"
    R"json("pattern":{"type":"string"},"additionalItems":{"$ref":"#"},)json"
    R"json("items":{"anyOf":[{"$ref":"#"},{"$ref":"#/definitions/schemaArray"}],)json"
    R"json("default":true},"maxItems":{"$ref":"#/definitions/nonNegativeInteger"},)json"
    R"json("minItems":{"$ref":"#/definitions/nonNegativeIntegerDefault0"},)json"
    R"json("uniqueItems":{"type":"boolean","default":false},"contains":{"$ref":"#"},)json"
    R"json("maxProperties":{"$ref":"#/definitions/nonNegativeInteger"},)json"
    R"json("minProperties":{"$ref":"#/definitions/nonNegativeIntegerDefault0"},)json"
    R"json("required":{"$ref":"#/definitions/stringArray"},"additionalProperties":{"$ref":"#"},)json"
    R"json("definitions":{"type":"object","additionalProperties":{"$ref":"#"},"default":{}},)json"
    R"json("properties":{"type":"object","additionalProperties":{"$ref":"#"},"default":{}},)json"
    R"json("patternProperties":{"type":"object","additionalProperties":{"$ref":"#"},)json"
    R"json("propertyNames":{},"default":{}},"dependencies":{"type":"object",)json"
    R"json("additionalProperties":{"anyOf":[{"$ref":"#"},)json"
    R"json({"$ref":"#/definitions/stringArray"}]}},"propertyNames":{"$ref":"#"},"const":true,)json"
    R"json("enum":{"type":"array","items":true},)json"
    R"json("type":{"anyOf":[{"$ref":"#/definitions/simpleTypes"},{"type":"array",)json"
    R"json("items":{"$ref":"#/definitions/simpleTypes"},"minItems":1,"uniqueItems":true}]},)json"
    R"json("contentMediaType":{"type":"string"},"contentEncoding":{"type":"string"},)json"
    R"json("if":{"$ref":"#"},"then":{"$ref":"#"},"else":{"$ref":"#"},)json"
    R"json("allOf":{"$ref":"#/definitions/schemaArray"},)json"
    R"json("anyOf":{"$ref":"#/definitions/schemaArray"},)json"
    R"json("oneOf":{"$ref":"#/definitions/schemaArray"},"not":{"$ref":"#"}},"default":true})json";

constexpr const char* kDraft4 =
    R"json({"id":"http://json-schema.org/draft-04/schema#",)json"
    R"json("$schema":"http://json-schema.org/draft-04/schema#",)json"
    R"json("description":"Core schema meta-schema",)json"
    R"json("definitions":{"schemaArray":{"type":"array","minItems":1,"items":{"$ref":"#"}},)json"
    R"json("positiveInteger":{"type":"integer","minimum":0},)json"
    R"json("positiveIntegerDefault0":{"allOf":[{"$ref":"#/definitions/positiveInteger"},)json"
    R"json({"default":0}]},"simpleTypes":{"enum":["array","boolean","integer","null","number",)json"
    R"json("object","string"]},"stringArray":{"type":"array","items":{"type":"string"},)json"
    R"json("minItems":1,"uniqueItems":true}},"type":"object",)json"
    R"json("properties":{"id":{"type":"string"},"$schema":{"type":"string"},)json"
    R"json("title":{"type":"string"},"description":{"type":"string"},"default":{},)json"
    R"json("multipleOf":{"type":"number","minimum":0,"exclusiveMinimum":true},)json"
    R"json("maximum":{"type":"number"},"exclusiveMaximum":{"type":"boolean","default":false},)json"
    R"json("minimum":{"type":"number"},"exclusiveMinimum":{"type":"boolean","default":false},)json"
    R"json("maxLength":{"$ref":"#/definitions/positiveInteger"},)json"
    R"json("minLength":{"$ref":"#/definitions/positiveIntegerDefault0"},)json"
    R"json("pattern":{"type":"string"},"additionalItems":{"anyOf":[{"type":"boolean"},)json"
    R"json({"$ref":"#"}],"default":{}},"items":{"anyOf":[{"$ref":"#"},)json"
    R"json({"$ref":"#/definitions/schemaArray"}],"default":{}},)json"
    R"json("maxItems":{"$ref":"#/definitions/positiveInteger"},)json"
    R"json("minItems":{"$ref":"#/definitions/positiveIntegerDefault0"},)json"
    R"json("uniqueItems":{"type":"boolean","default":false},)json"
    R"json("maxProperties":{"$ref":"#/definitions/positiveInteger"},)json"
    R"json("minProperties":{"$ref":"#/definitions/positiveIntegerDefault0"},)json"
    R"json("required":{"$ref":"#/definitions/stringArray"},)json"
    R"json("additionalProperties":{"anyOf":[{"type":"boolean"},{"$ref":"#"}],"default":{}},)json"
    R"json("definitions":{"type":"object","additionalProperties":{"$ref":"#"},"default":{}},)json"
    R"json("properties":{"type":"object","additionalProperties":{"$ref":"#"},"default":{}},)json"
    R"json("patternProperties":{"type":"object","additionalProperties":{"$ref":"#"},)json"
    R"json("default":{}},"dependencies":{"type":"object",)json"
    R"json("additionalProperties":{"anyOf":[{"$ref":"#"},)json"
    R"json({"$ref":"#/definitions/stringArray"}]}},"enum":{"type":"array"},)json"
    R"json("type":{"anyOf":[{"$ref":"#/definitions/simpleTypes"},{"type":"array",)json"
    R"json("items":{"$ref":"#/definitions/simpleTypes"},"minItems":1,"uniqueItems":true}]},)json"
    R"json("allOf":{"$ref":"#/definitions/schemaArray"},)json"
    R"json("anyOf":{"$ref":"#/definitions/schemaArray"},)json"
    R"json("oneOf":{"$ref":"#/definitions/schemaArray"},"not":{"$ref":"#"}},)json"
    R"json("dependencies":{"exclusiveMaximum":["maximum"],"exclusiveMinimum":["minimum"]},)json"
    R"json("default":{}})json";

std::unique_ptr<valijson::Schema> compiled(const char* text,
                                           valijson::SchemaParser::Version version) {
    auto schema = std::make_unique<valijson::Schema>();
    const nlohmann::json document = nlohmann::json::parse(text);
    valijson::SchemaParser(version).populateSchema(
        valijson::adapters::NlohmannJsonAdapter(document), *schema);
    return schema;
}

}  // namespace

std::optional<std::string_view> metaSchemaText(std::string_view uri) {
    if (uri.substr(0, 7) == "http://") {
        uri.remove_prefix(7);
    } else if (uri.substr(0, 8) == "https://") {
        uri.remove_prefix(8);
    } else {
        return std::nullopt;
    }
    if (!uri.empty() && uri.back() == '#') uri.remove_suffix(1);
    if (uri == "json-schema.org/draft-07/schema") return kDraft7;
    if (uri == "json-schema.org/draft-04/schema") return kDraft4;
    return std::nullopt;
}

const valijson::Schema* metaSchema(int draft) {
    static const auto draft4 = compiled(kDraft4, valijson::SchemaParser::kDraft4);
    static const auto draft7 = compiled(kDraft7, valijson::SchemaParser::kDraft7);
    if (draft == 4) return draft4.get();
    if (draft == 7) return draft7.get();
    return nullptr;
}

std::string metaFaultWords(const nlohmann::json& document, const std::string& pointer,
                           const std::string& description) {
    const nlohmann::json* value = nullptr;
    try {
        value = &document.at(nlohmann::json::json_pointer(pointer));
    } catch (const nlohmann::json::exception&) {
        return description;
    }
    const std::string keyword = pointer.substr(pointer.rfind('/') + 1);
    const bool underType = keyword == "type" || pointer.find("/type/") != std::string::npos;
    const auto kind = [](const nlohmann::json& json) -> std::string {
        switch (json.type()) {
            case nlohmann::json::value_t::object:
                return "an object";
            case nlohmann::json::value_t::array:
                return "an array";
            case nlohmann::json::value_t::string:
                return "a string";
            case nlohmann::json::value_t::boolean:
                return "a boolean";
            case nlohmann::json::value_t::null:
                return "null";
            case nlohmann::json::value_t::number_float:
                return "a number with a fraction";
            default:
                return json.get<double>() < 0 ? "a negative integer" : "an integer";
        }
    };
    if (underType && value->is_string()) {
        return "names the type " + value->dump() +
               ", which is none of array, boolean, integer, null, number, object and string";
    }
    if (pointer.empty()) return "is " + kind(*value) + ", where a schema is an object";
    if (description.rfind("Value type not permitted", 0) == 0 ||
        description.rfind("Failed to validate against any schemas allowed by anyOf", 0) == 0) {
        return "is " + kind(*value) + ", which the keyword \"" + keyword + "\" does not take";
    }
    if (description.rfind("Expected number greater", 0) == 0) {
        return "is " + value->dump() + ", below what the keyword \"" + keyword + "\" takes";
    }
    if (description.rfind("Elements at indexes", 0) == 0) return "repeats a value";
    if (description.rfind("Array should contain no fewer", 0) == 0) {
        return "is an empty array, which the keyword \"" + keyword + "\" does not take";
    }
    return "does not fit its keyword (" + description + ")";
}

}  // namespace kessa::detail
