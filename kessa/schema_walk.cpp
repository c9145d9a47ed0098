// Which parts of a schema speak of a place of the instance: for hovers and completion. It follows
// the compiled plan's keywords that lead to a member or an element, and takes every branch where
// the schema offers several; the validator alone decides what fits.

#include <algorithm>
#include <set>

#include "kessa/schema_impl.h"

#include "kessa/json_places.h"
#include "kessa/scalar.h"
#include "kessa/value_text.h"
#include "pelmo/json/number_format.h"

namespace kessa {

namespace {

using Json = nlohmann::json;
using schema::Op;

/// How many schemas one place may gather: a bound for schemas that refer to themselves.
constexpr std::size_t kMaxGathered = 4096;

/// Adds `node` and all it brings in at the same place: $ref, allOf, anyOf, oneOf, then, else.
void gather(const schema::Plan& plan, std::uint32_t node, std::vector<std::uint32_t>& out,
            std::set<std::uint32_t>& seen) {
    std::vector<std::uint32_t> pending{node};
    while (!pending.empty() && out.size() < kMaxGathered) {
        const std::uint32_t id = pending.back();
        pending.pop_back();
        if (!seen.insert(id).second) continue;
        out.push_back(id);
        const schema::Node& n = plan.nodes[id];
        // In reverse, so that the first branch comes out first.
        for (std::uint32_t pc = n.first + n.count; pc-- != n.first;) {
            const schema::Instruction& in = plan.code[pc];
            switch (in.op) {
                case Op::Ref:
                case Op::DynamicRef:
                    pending.push_back(in.a);
                    break;
                case Op::AllOf:
                case Op::AnyOf:
                case Op::OneOf:
                    for (std::uint32_t i = in.b; i-- != 0;) pending.push_back(plan.lists[in.a + i]);
                    break;
                case Op::If:
                    if (in.c != schema::kNone) pending.push_back(in.c);
                    if (in.b != schema::kNone) pending.push_back(in.b);
                    break;
                default:
                    break;
            }
        }
    }
}

}  // namespace

std::vector<std::uint32_t> schemasAt(const Schema::Impl& schema, const InstancePath& path) {
    const schema::Plan& plan = schema.plan;
    std::vector<std::uint32_t> current;
    std::set<std::uint32_t> seen;
    gather(plan, plan.root, current, seen);
    for (const PathStep& step : path) {
        std::vector<std::uint32_t> next;
        std::set<std::uint32_t> nextSeen;
        for (const std::uint32_t id : current) {
            const schema::Node& n = plan.nodes[id];
            for (std::uint32_t pc = n.first; pc < n.first + n.count; ++pc) {
                const schema::Instruction& in = plan.code[pc];
                if (const auto* key = std::get_if<std::string>(&step)) {
                    if (in.op != Op::Members) continue;
                    bool named = false;
                    const auto& properties = plan.propertyMaps[in.a];
                    const auto found = std::lower_bound(
                        properties.begin(), properties.end(), *key,
                        [](const auto& entry, const std::string& k) { return entry.first < k; });
                    if (found != properties.end() && found->first == *key) {
                        gather(plan, found->second, next, nextSeen);
                        named = true;
                    }
                    const std::uint32_t patterns = in.c == schema::kNone ? 0 : in.c;
                    for (std::uint32_t p = 0; p < patterns; ++p) {
                        if (plan.regexes[plan.lists[in.b + 2 * p]]->search(*key)) {
                            gather(plan, plan.lists[in.b + 2 * p + 1], next, nextSeen);
                            named = true;
                        }
                    }
                    const auto additional = static_cast<std::uint32_t>(in.n);
                    if (!named && additional != schema::kNone)
                        gather(plan, additional, next, nextSeen);
                } else {
                    if (in.op != Op::Items) continue;
                    const std::uint64_t index = std::get<std::uint64_t>(step);
                    if (index < in.b) {
                        gather(plan, plan.lists[in.a + index], next, nextSeen);
                    } else if (in.c != schema::kNone) {
                        gather(plan, in.c, next, nextSeen);
                    }
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

/// The JSON type names a value has, for a schema that names no type.
std::string typeNameOf(const Json& value) {
    switch (value.type()) {
        case Json::value_t::object:
            return "object";
        case Json::value_t::array:
            return "array";
        case Json::value_t::string:
            return "string";
        case Json::value_t::boolean:
            return "boolean";
        case Json::value_t::null:
            return "null";
        case Json::value_t::number_float:
            return "number";
        default:
            return "integer";
    }
}

SchemaHint hintOf(const Schema::Impl& schema, const std::vector<std::uint32_t>& found) {
    SchemaHint hint;
    std::set<std::string> types, valueTypes, values;
    bool typed = false;
    const auto addValue = [&](const Json& value, bool named) {
        if (named) valueTypes.insert(typeNameOf(value));
        std::string json = value.dump(-1, ' ', false, Json::error_handler_t::replace);
        if (values.insert(json).second) {
            hint.values.push_back({std::move(json), kessaTextFor(value)});
        }
    };
    const auto placeOf = [&](std::uint32_t node) {
        const auto [document, position] = schema.locate(schema.plan.nodes[node].site);
        hint.file = document->name;
        hint.position = position;
    };
    for (const std::uint32_t node : found) {
        const Json* value = schema.plan.sites[schema.plan.nodes[node].site].value;
        if (value == nullptr || !value->is_object()) continue;
        const Json& json = *value;
        const auto text = [&](const char* keyword, std::string& into) {
            const auto found = json.find(keyword);
            if (into.empty() && found != json.end() && found->is_string()) {
                into = found->get<std::string>();
                if (hint.file.empty()) placeOf(node);
            }
        };
        text("title", hint.title);
        text("description", hint.description);
        if (const auto type = json.find("type"); type != json.end()) {
            typed = true;
            if (type->is_string()) types.insert(type->get<std::string>());
            if (type->is_array()) {
                for (const Json& name : *type) {
                    if (name.is_string()) types.insert(name.get<std::string>());
                }
            }
        }
        if (const auto enumerated = json.find("enum");
            enumerated != json.end() && enumerated->is_array()) {
            for (const Json& item : *enumerated) addValue(item, true);
        }
        if (const auto constant = json.find("const"); constant != json.end()) {
            addValue(*constant, true);
        }
    }
    for (const std::uint32_t node : found) {
        const Json* value = schema.plan.sites[schema.plan.nodes[node].site].value;
        if (value == nullptr || !value->is_object()) continue;
        if (const auto fallback = value->find("default"); fallback != value->end()) {
            addValue(*fallback, false);
        }
        if (const auto examples = value->find("examples");
            examples != value->end() && examples->is_array()) {
            for (const Json& item : *examples) addValue(item, false);
        }
    }
    // A schema that names only values: their types are the ones it allows.
    hint.types.assign(typed ? types.begin() : valueTypes.begin(),
                      typed ? types.end() : valueTypes.end());
    if (hint.file.empty() && !found.empty()) placeOf(found.front());
    return hint;
}

}  // namespace

SchemaHint Schema::hint(const InstancePath& path) const {
    return hintOf(*impl_, schemasAt(*impl_, path));
}

std::vector<SchemaProperty> Schema::properties(const InstancePath& path) const {
    const std::vector<std::uint32_t> found = schemasAt(*impl_, path);
    std::vector<SchemaProperty> properties;
    std::set<std::string> named, required;
    for (const std::uint32_t node : found) {
        const Json* value = impl_->plan.sites[impl_->plan.nodes[node].site].value;
        if (value == nullptr || !value->is_object()) continue;
        const Json& json = *value;
        if (const auto list = json.find("required"); list != json.end() && list->is_array()) {
            for (const Json& name : *list) {
                if (name.is_string()) required.insert(name.get<std::string>());
            }
        }
        const auto members = json.find("properties");
        if (members == json.end() || !members->is_object()) continue;
        for (const auto& [name, member] : members->items()) {
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
