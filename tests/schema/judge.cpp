// The validator as a filter, for the second judge (tests/schema/ajv): each line of standard input
// a JSON object {"draft": "7"|"2019-09"|"2020-12", "schema": ..., "instances": [...]}, each line
// of output {"valid": [true, ...]} in the same order, or {"refused": "why"} for a schema the
// validator refuses. Formats assert in every draft, as ajv-formats makes them.

#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

#include "schema/compile.h"
#include "schema/evaluate.h"
#include "schema/meta_schemas.h"

namespace {

using Json = nlohmann::json;

class MetaResolver final : public schema::Resolver {
public:
    std::optional<schema::SchemaDocument> fetch(const std::string& uri, const schema::Plan&,
                                                std::uint32_t, const std::string&,
                                                std::string_view) override {
        const auto text = schema::bundledMetaSchema(uri);
        if (!text) return std::nullopt;
        return schema::SchemaDocument{uri, uri, std::string(*text), Json::parse(*text)};
    }
};

}  // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        const Json request = Json::parse(line);
        const std::string draft = request.at("draft");
        schema::CompileOptions options;
        options.draft = draft == "2020-12"   ? schema::Draft::Draft2020
                        : draft == "2019-09" ? schema::Draft::Draft2019
                        : draft == "6"       ? schema::Draft::Draft6
                        : draft == "4"       ? schema::Draft::Draft4
                                             : schema::Draft::Draft7;
        options.formatAssertion = true;
        schema::Plan plan;
        Json answer;
        try {
            const Json& schemaJson = request.at("schema");
            plan.documents.push_back({"urn:judge:schema", "schema", schemaJson.dump(), schemaJson});
            MetaResolver resolver;
            schema::compile(plan, resolver, options);
            answer["valid"] = Json::array();
            for (const Json& instance : request.at("instances")) {
                const auto document = schema::JsonDocument::parse(instance.dump());
                answer["valid"].push_back(
                    schema::Evaluator<schema::JsonDocument>(plan, document, nullptr)
                        .run(document.root()));
            }
        } catch (const std::exception& error) {
            answer = {{"refused", error.what()}};
        }
        std::cout << answer.dump() << '\n' << std::flush;
    }
}
