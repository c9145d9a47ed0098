// Which parts of a schema speak of a place of the instance: for the words of a finding, hovers
// and completion. It follows the keywords that lead to a member or an element, and takes every
// branch where the schema offers several; the validator alone decides what fits.

#include "kessa/schema_walk.h"

#include <set>

#include "kessa/json_places.h"
#include "kessa/scalar.h"
#include "kessa/value_text.h"
#include "pelmo/json/number_format.h"

namespace kessa {

namespace {

using Json = nlohmann::json;

/// How many schemas one place may gather: a bound for schemas that refer to themselves.
constexpr std::size_t kMaxGathered = 4096;

/// `pointer` with its %-escapes decoded, as a $ref's fragment writes it.
std::string unescapedFragment(std::string_view fragment) {
    std::string out;
    for (std::size_t i = 0; i < fragment.size(); ++i) {
        if (fragment[i] == '%' && i + 2 < fragment.size() &&
            std::isxdigit(static_cast<unsigned char>(fragment[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(fragment[i + 2]))) {
            out +=
                static_cast<char>(std::stoi(std::string(fragment.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += fragment[i];
        }
    }
    return out;
}

class Gatherer {
public:
    Gatherer(const Schema::Impl& schema, std::vector<FoundSchema>& out)
        : schema_(schema), out_(out) {}

    /// Adds `schema` at `pointer` and all it brings in: $ref, allOf, anyOf, oneOf, then, else.
    void add(const Json* schema, std::string pointer) {
        std::vector<FoundSchema> pending{{schema, std::move(pointer)}};
        while (!pending.empty() && out_.size() < kMaxGathered) {
            FoundSchema found = std::move(pending.back());
            pending.pop_back();
            if (!seen_.insert(found.pointer).second) continue;
            out_.push_back(found);
            const Json& json = *found.schema;
            if (!json.is_object()) continue;
            if (const auto ref = json.find("$ref"); ref != json.end() && ref->is_string()) {
                const std::string& text = ref->get_ref<const std::string&>();
                if (!text.empty() && text.front() == '#') {
                    const std::string target = unescapedFragment(text.substr(1));
                    try {
                        pending.push_back({&schema_.merged.at(Json::json_pointer(target)), target});
                    } catch (const Json::exception&) {
                    }
                }
            }
            // In reverse, so that the first branch comes out first.
            for (const char* keyword : {"else", "then", "oneOf", "anyOf", "allOf", "extends"}) {
                const auto branch = json.find(keyword);
                if (branch == json.end()) continue;
                std::string at = found.pointer;
                detail::appendPointerStep(at, keyword);
                if (branch->is_array()) {
                    for (std::size_t i = branch->size(); i-- != 0;) {
                        pending.push_back({&(*branch)[i], at + "/" + std::to_string(i)});
                    }
                } else {
                    pending.push_back({&*branch, at});
                }
            }
        }
    }

private:
    const Schema::Impl& schema_;
    std::vector<FoundSchema>& out_;
    std::set<std::string> seen_;
};

}  // namespace

std::vector<FoundSchema> schemasAt(const Schema::Impl& schema, const InstancePath& path) {
    std::vector<FoundSchema> current;
    Gatherer(schema, current).add(&schema.merged, "");
    for (const PathStep& step : path) {
        std::vector<FoundSchema> next;
        Gatherer gatherer(schema, next);
        for (const FoundSchema& found : current) {
            const Json& json = *found.schema;
            if (!json.is_object()) continue;
            const auto child = [&](const Json& value, const std::string& keyword,
                                   std::optional<std::string> name = std::nullopt) {
                std::string pointer = found.pointer;
                detail::appendPointerStep(pointer, keyword);
                if (name) detail::appendPointerStep(pointer, *name);
                gatherer.add(&value, std::move(pointer));
            };
            if (const auto* key = std::get_if<std::string>(&step)) {
                bool named = false;
                if (const auto properties = json.find("properties");
                    properties != json.end() && properties->is_object()) {
                    if (const auto property = properties->find(*key);
                        property != properties->end()) {
                        child(*property, "properties", *key);
                        named = true;
                    }
                }
                if (const auto patterns = json.find("patternProperties");
                    patterns != json.end() && patterns->is_object()) {
                    for (const auto& [pattern, value] : patterns->items()) {
                        const auto regex = schema.regexes.find(pattern);
                        if (regex != schema.regexes.end() &&
                            std::regex_search(*key, regex->second)) {
                            child(value, "patternProperties", pattern);
                            named = true;
                        }
                    }
                }
                if (const auto additional = json.find("additionalProperties");
                    !named && additional != json.end() && additional->is_object()) {
                    child(*additional, "additionalProperties");
                }
            } else {
                const std::uint64_t index = std::get<std::uint64_t>(step);
                const auto items = json.find("items");
                if (items == json.end()) continue;
                if (items->is_object() || items->is_boolean()) {
                    child(*items, "items");
                } else if (items->is_array() && index < items->size()) {
                    child((*items)[index], "items", std::to_string(index));
                } else if (const auto additional = json.find("additionalItems");
                           items->is_array() && additional != json.end()) {
                    child(*additional, "additionalItems");
                }
            }
        }
        current = std::move(next);
    }
    return current;
}

std::optional<std::string> kessaTextFor(const Json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > INT64_MAX) return {};
        return pelmo::formatInteger(value.get<std::int64_t>());
    }
    if (value.is_number_float()) {
        NumberText written = floatText(value.get<double>());
        if (written.none) return {};
        return std::move(written.text);
    }
    if (value.is_string()) return stringValueText(value.get_ref<const std::string&>());
    if (value.is_array() || value.is_object()) {
        if (value.empty()) return value.is_array() ? "{}" : "{=}";
        std::string text = "{";
        for (const auto& [key, item] : value.items()) {
            const auto written = kessaTextFor(item);
            if (!written) return {};
            if (text.size() > 1) text += ',';
            if (value.is_object()) {
                // The first key decides the braces: one with a double quote would make an array.
                const auto keyText = keyTextOnLine(key);
                if (!keyText || keyText->find('"') != std::string::npos) return {};
                text += *keyText + "=";
            }
            text += *written;
        }
        return text + "}";
    }
    return {};  // true, false and null: the notation has none of them
}

namespace {

SchemaHint hintOf(const Schema::Impl& schema, const std::vector<FoundSchema>& found) {
    SchemaHint hint;
    std::set<std::string> types, values;
    const auto addValue = [&](const Json& value) {
        std::string json = value.dump(-1, ' ', false, Json::error_handler_t::replace);
        if (values.insert(json).second)
            hint.values.push_back({std::move(json), kessaTextFor(value)});
    };
    for (const FoundSchema& one : found) {
        const Json& json = *one.schema;
        if (!json.is_object()) continue;
        const auto text = [&](const char* keyword, std::string& into) {
            const auto found = json.find(keyword);
            if (into.empty() && found != json.end() && found->is_string()) {
                into = found->get<std::string>();
                if (hint.file.empty()) {
                    const auto [document, pointer] = schema.locate(one.pointer);
                    hint.file = document->file;
                    hint.position = positionOf(*document, pointer);
                }
            }
        };
        text("title", hint.title);
        text("description", hint.description);
        if (const auto type = json.find("type"); type != json.end()) {
            if (type->is_string()) types.insert(type->get<std::string>());
            if (type->is_array()) {
                for (const Json& name : *type) {
                    if (name.is_string()) types.insert(name.get<std::string>());
                }
            }
        }
        if (const auto enumerated = json.find("enum");
            enumerated != json.end() && enumerated->is_array()) {
            for (const Json& value : *enumerated) addValue(value);
        }
        if (const auto constant = json.find("const"); constant != json.end()) addValue(*constant);
    }
    for (const FoundSchema& one : found) {
        const Json& json = *one.schema;
        if (!json.is_object()) continue;
        if (const auto fallback = json.find("default"); fallback != json.end()) addValue(*fallback);
        if (const auto examples = json.find("examples");
            examples != json.end() && examples->is_array()) {
            for (const Json& value : *examples) addValue(value);
        }
    }
    hint.types.assign(types.begin(), types.end());
    if (hint.file.empty() && !found.empty()) {
        const auto [document, pointer] = schema.locate(found.front().pointer);
        hint.file = document->file;
        hint.position = positionOf(*document, pointer);
    }
    return hint;
}

}  // namespace

SchemaHint Schema::hint(const InstancePath& path) const {
    return hintOf(*impl_, schemasAt(*impl_, path));
}

std::vector<SchemaProperty> Schema::properties(const InstancePath& path) const {
    const std::vector<FoundSchema> found = schemasAt(*impl_, path);
    std::vector<SchemaProperty> properties;
    std::set<std::string> named, required;
    for (const FoundSchema& one : found) {
        const Json& json = *one.schema;
        if (!json.is_object()) continue;
        if (const auto list = json.find("required"); list != json.end() && list->is_array()) {
            for (const Json& name : *list) {
                if (name.is_string()) required.insert(name.get<std::string>());
            }
        }
        const auto members = json.find("properties");
        if (members == json.end() || !members->is_object()) continue;
        for (const auto& [name, value] : members->items()) {
            if (!named.insert(name).second) continue;
            InstancePath at = path;
            at.emplace_back(name);
            properties.push_back({name, false, hint(at)});
        }
    }
    for (SchemaProperty& property : properties)
        property.required = required.count(property.name) != 0;
    std::stable_partition(properties.begin(), properties.end(),
                          [](const SchemaProperty& property) { return property.required; });
    return properties;
}

}  // namespace kessa
