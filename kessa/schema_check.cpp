// The check of a kessa text against a schema: the validator reads what the text becomes, and
// each fault it reports becomes a finding with a place in the text and words that say what the
// schema wants and, where the notation is the cause, why the text became what it did.

#include <valijson/adapters/std_string_adapter.hpp>
#include <valijson/validation_results.hpp>
#include <valijson/validation_visitor.hpp>

#include <algorithm>
#include <charconv>
#include <set>

#include "kessa/json_places.h"
#include "kessa/large_stack.h"
#include "kessa/scalar.h"
#include "kessa/schema.h"
#include "kessa/schema_adapter.h"
#include "kessa/schema_impl.h"
#include "kessa/schema_walk.h"
#include "pelmo/json/number_format.h"

namespace kessa {

namespace {

using Json = nlohmann::json;
using detail::Instance;

/// The validator recurses per level of the text where a schema follows it that deep, on a stack
/// of kStackSize; and each level copies the path to it, and each alternative (anyOf) the faults
/// of all below it, so its time grows with the cube of the depth: 0.2 s at kMaxCheckedDepth
/// levels of failing alternatives, 30 s at five times as many. Configuration nests far less.
constexpr std::size_t kStackSize = std::size_t{256} << 20;
constexpr std::size_t kMaxCheckedDepth = 200;

/// What a fault of the validator is, by the start of its description, and what to do with it.
enum class Role : std::uint8_t {
    Fault,         ///< a finding
    Wrapper,       ///< says again that an entry failed; its entry's own fault says why
    Alternatives,  ///< anyOf, oneOf: one finding, without the faults of each branch before it
    Conditional,   ///< if/then/else: its branch's faults say it
};

struct Rule {
    std::string_view start;
    FindingKind kind;
    std::string_view keyword;
    Role role;
};

constexpr Rule kRules[] = {
    {"Value type not permitted", FindingKind::SchemaType, "type", Role::Fault},
    {"Missing required property", FindingKind::SchemaRequired, "required", Role::Fault},
    {"Missing dependency", FindingKind::SchemaRequired, "dependencies", Role::Fault},
    {"Object contains a property that could not be validated", FindingKind::SchemaAdditional,
     "additionalProperties", Role::Fault},
    {"Array contains more items than allowed", FindingKind::SchemaAdditional, "additionalItems",
     Role::Fault},
    {"Cannot validate item #", FindingKind::SchemaAdditional, "additionalItems", Role::Fault},
    {"Failed to match against any enum values", FindingKind::SchemaEnum, "enum", Role::Fault},
    {"Failed to match expected value set by 'const'", FindingKind::SchemaEnum, "const",
     Role::Fault},
    {"Expected number less than or equal to", FindingKind::SchemaRange, "maximum", Role::Fault},
    {"Expected number less than", FindingKind::SchemaRange, "exclusiveMaximum", Role::Fault},
    {"Expected number greater than or equal to", FindingKind::SchemaRange, "minimum", Role::Fault},
    {"Expected number greater than", FindingKind::SchemaRange, "exclusiveMinimum", Role::Fault},
    {"Value should be a multiple of", FindingKind::SchemaRange, "multipleOf", Role::Fault},
    {"Value could not be converted", FindingKind::SchemaRange, "multipleOf", Role::Fault},
    {"String should be no more than", FindingKind::SchemaLength, "maxLength", Role::Fault},
    {"String should be no fewer than", FindingKind::SchemaLength, "minLength", Role::Fault},
    {"Failed to match regex specified by 'pattern'", FindingKind::SchemaPattern, "pattern",
     Role::Fault},
    {"Array should contain no more than", FindingKind::SchemaSize, "maxItems", Role::Fault},
    {"Array should contain no fewer than", FindingKind::SchemaSize, "minItems", Role::Fault},
    {"Object should have no more than", FindingKind::SchemaSize, "maxProperties", Role::Fault},
    {"Object should have no fewer than", FindingKind::SchemaSize, "minProperties", Role::Fault},
    {"Elements at indexes #", FindingKind::SchemaUnique, "uniqueItems", Role::Fault},
    {"Failed to any values against subschema in 'contains'", FindingKind::SchemaContains,
     "contains", Role::Fault},
    {"Target should not validate against schema specified in 'not'", FindingKind::SchemaCombination,
     "not", Role::Fault},
    {"Failed to validate against exactly one child schema", FindingKind::SchemaCombination, "oneOf",
     Role::Fault},
    {"Failed to validate against any schemas allowed by anyOf", FindingKind::SchemaCombination,
     "anyOf", Role::Alternatives},
    {"Failed to validate against any child schemas allowed by oneOf",
     FindingKind::SchemaCombination, "oneOf", Role::Alternatives},
    {"Failed to validate against a conditional schema", FindingKind::SchemaCombination, "if",
     Role::Conditional},
    {"Failed to validate against schema associated with property name '", FindingKind::SchemaFalse,
     "properties", Role::Wrapper},
    {"Failed to validate against schema associated with pattern '", FindingKind::SchemaFalse,
     "patternProperties", Role::Wrapper},
    {"Failed to validate against additional properties schema", FindingKind::SchemaFalse,
     "additionalProperties", Role::Wrapper},
    {"Failed to validate item #", FindingKind::SchemaFalse, "items", Role::Wrapper},
    {"Failed to validate against child schema #", FindingKind::SchemaFalse, "allOf", Role::Wrapper},
    {"Failed to validate against dependent schema", FindingKind::SchemaFalse, "dependencies",
     Role::Wrapper},
};

const Rule* ruleFor(const std::string& description) {
    for (const Rule& rule : kRules) {
        if (description.compare(0, rule.start.size(), rule.start) == 0) return &rule;
    }
    return nullptr;
}

/// The text between the first pair of single quotes of `description`: a key or a pattern.
std::string quotedName(const std::string& description) {
    const std::size_t open = description.find('\'');
    const std::size_t close = description.rfind('\'');
    if (open == std::string::npos || close <= open) return {};
    return description.substr(open + 1, close - open - 1);
}

std::string inQuotes(std::string_view text) {
    return Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

/// Shows `bytes` in double quotes, at most kBytesShown of them.
std::string shown(std::string_view bytes) {
    if (bytes.size() <= kBytesShown) return inQuotes(bytes);
    return inQuotes(bytes.substr(0, kBytesShown)) + "...";
}

/// "a", "b" and "c"; "a" or "b".
std::string listed(const std::vector<std::string>& items, std::string_view last) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i != 0) text += i + 1 == items.size() ? " " + std::string(last) + " " : ", ";
        text += items[i];
    }
    return text;
}

/// The number of characters (code points) of UTF-8 `text`.
std::size_t charactersOf(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

/// A finding before it is handed on, in document order.
struct Pending {
    FindingKind kind;
    std::string keyword;
    std::uint64_t offset;
    std::uint64_t length;
    std::string pointer;
    std::string message;
};

class Checker {
public:
    Checker(const Schema::Impl& schema, const Instance& instance, const Instance::Node& root)
        : schema_(schema), instance_(instance), root_(root) {}

    /// The findings of one run of the validator's faults, in document order.
    std::vector<Pending> findings(std::vector<valijson::ValidationResults::Error> errors) const {
        dropBranches(errors);
        std::vector<Pending> out;
        std::set<std::string> faulted;  // pointers with a finding of their own, or below them
        std::vector<const valijson::ValidationResults::Error*> wrappers;
        for (const auto& error : errors) {
            const Rule* rule = ruleFor(error.description);
            if (rule != nullptr && rule->role != Role::Fault && rule->role != Role::Alternatives) {
                if (rule->role == Role::Wrapper) wrappers.push_back(&error);
                continue;
            }
            const auto place = placeOf(error.context);
            if (!place) continue;
            const std::size_t before = out.size();
            if (rule == nullptr) {
                add(out, FindingKind::SchemaCombination, "", *place, error.description);
            } else {
                word(out, *rule, *place, error.description);
            }
            if (out.size() != before) markFaulted(faulted, place->pointer);
        }
        // An entry whose schema refused it without a word of its own: a false schema, say.
        for (const auto* wrapper : wrappers) {
            auto place = placeOf(wrapper->context);
            if (!place) continue;
            const auto entry = entryNamed(*place, wrapper->description);
            if (!entry || faulted.count(entry->pointer) != 0) continue;
            add(out, FindingKind::SchemaFalse, std::string(ruleFor(wrapper->description)->keyword),
                *entry, "the schema allows no value here");
            markFaulted(faulted, entry->pointer);
        }
        refusedKeys(out);
        std::stable_sort(out.begin(), out.end(),
                         [](const Pending& a, const Pending& b) { return a.offset < b.offset; });
        // A fault met through two branches of the schema is said once.
        out.erase(std::unique(out.begin(), out.end(),
                              [](const Pending& a, const Pending& b) {
                                  return a.offset == b.offset && a.kind == b.kind &&
                                         a.message == b.message;
                              }),
                  out.end());
        return out;
    }

    /// Each key that a propertyNames refuses, which the validator refuses without a word.
    void refusedKeys(std::vector<Pending>& out) const {
        if (schema_.propertyNames.empty()) return;
        struct Open {
            const Instance::Node* node;
            InstancePath path;
            std::string pointer;
        };
        std::vector<Open> pending{{&root_, {}, ""}};
        std::unordered_map<std::string, std::regex> regexes = schema_.regexes;
        std::string buffer;
        while (!pending.empty()) {
            const Open open = std::move(pending.back());
            pending.pop_back();
            const auto entries = instance_.entries(*open.node);
            const bool object = open.node->type == pelmo::JsonType::Object;
            if (object) {
                for (const FoundSchema& found : schemasAt(schema_, open.path)) {
                    const std::size_t index = namesIndex(*found.schema);
                    if (index == SIZE_MAX) continue;
                    for (const std::uint32_t entry : entries) {
                        const Instance::Node& member = instance_.node(entry);
                        if ((member.flags & Instance::kShadowed) != 0) continue;
                        const std::string key(instance_.key(member, buffer));
                        const valijson::adapters::StdStringAdapter name(key);
                        if (valijson::ValidationVisitor<valijson::adapters::StdStringAdapter>(
                                name, {"<root>"}, true, nullptr, regexes)
                                .validateSchema(*schema_.propertyNames[index])) {
                            continue;
                        }
                        Pending pending{
                            FindingKind::SchemaPropertyName,
                            "propertyNames",
                            member.keySize != 0 ? member.keyBegin : member.begin,
                            member.keySize != 0 ? member.keySize : 1,
                            open.pointer,
                            "the key " + shown(key) + " is one the schema's propertyNames refuses"};
                        detail::appendPointerStep(pending.pointer, key);
                        out.push_back(std::move(pending));
                    }
                }
            }
            std::uint64_t index = 0;
            for (const std::uint32_t entry : entries) {
                const Instance::Node& child = instance_.node(entry);
                const bool container =
                    child.type == pelmo::JsonType::Object || child.type == pelmo::JsonType::Array;
                if (container && (child.flags & Instance::kShadowed) == 0) {
                    Open next{&child, open.path, open.pointer};
                    if (object) {
                        const std::string key(instance_.key(child, buffer));
                        next.path.emplace_back(key);
                        detail::appendPointerStep(next.pointer, key);
                    } else {
                        next.path.emplace_back(index);
                        next.pointer += "/" + std::to_string(index);
                    }
                    pending.push_back(std::move(next));
                }
                ++index;
            }
        }
    }

    /// The index of the propertyNames of `schema` among those compiled alone, or SIZE_MAX.
    static std::size_t namesIndex(const Json& schema) {
        if (!schema.is_object()) return SIZE_MAX;
        const auto names = schema.find("propertyNames");
        if (names == schema.end() || !names->is_object()) return SIZE_MAX;
        const auto ref = names->find("$ref");
        if (ref == names->end() || !ref->is_string()) return SIZE_MAX;
        const std::string& text = ref->get_ref<const std::string&>();
        const std::string prefix = "#/" + std::string(kNamesKey) + "/";
        if (text.rfind(prefix, 0) != 0) return SIZE_MAX;
        return std::stoul(text.substr(prefix.size()));
    }

    /// A finding for a text the validator refused without naming a place: a key that
    /// propertyNames refuses is the one such fault.
    Pending unplaced() const {
        return {FindingKind::SchemaPropertyName,
                "propertyNames",
                0,
                firstLineLength(),
                "",
                "a key of the text is one the schema's propertyNames refuses"};
    }

private:
    struct Place {
        const Instance::Node* node;
        InstancePath path;
        std::string pointer;
    };

    /// Leaves out the faults of the branches of each anyOf and oneOf that no branch fits: the
    /// validator reports them right before the alternatives' own, at the same place or below.
    static void dropBranches(std::vector<valijson::ValidationResults::Error>& errors) {
        std::vector<valijson::ValidationResults::Error> kept;
        for (auto& error : errors) {
            const Rule* rule = ruleFor(error.description);
            if (rule != nullptr && rule->role == Role::Alternatives) {
                const auto below = [&](const valijson::ValidationResults::Error& branch) {
                    return branch.context.size() >= error.context.size() &&
                           std::equal(error.context.begin(), error.context.end(),
                                      branch.context.begin());
                };
                while (!kept.empty() && below(kept.back())) kept.pop_back();
            }
            kept.push_back(std::move(error));
        }
        errors = std::move(kept);
    }

    static void markFaulted(std::set<std::string>& faulted, std::string pointer) {
        while (faulted.insert(pointer).second && !pointer.empty()) {
            pointer.erase(pointer.rfind('/'));
        }
    }

    /// The value a context of the validator names: "<root>", then "[key]" or "[index]" steps.
    std::optional<Place> placeOf(const std::vector<std::string>& context) const {
        Place place{&root_, {}, ""};
        std::string buffer;
        for (std::size_t i = 1; i < context.size(); ++i) {
            const std::string& step = context[i];
            if (step.size() < 2) return std::nullopt;
            const std::string name = step.substr(1, step.size() - 2);
            if (!step_(place, name, buffer)) return std::nullopt;
        }
        return place;
    }

    /// Moves `place` to its entry `name`: a key of an object (the last member of that key), an
    /// index of an array.
    bool step_(Place& place, const std::string& name, std::string& buffer) const {
        const Instance::Node& node = *place.node;
        const auto entries = instance_.entries(node);
        if (node.type == pelmo::JsonType::Array) {
            std::uint64_t index = 0;
            const auto [end, error] =
                std::from_chars(name.data(), name.data() + name.size(), index);
            if (error != std::errc() || end != name.data() + name.size() ||
                index >= entries.size()) {
                return false;
            }
            place.node = &instance_.node(entries[index]);
            place.path.emplace_back(index);
            place.pointer += "/" + name;
            return true;
        }
        if (node.type != pelmo::JsonType::Object) return false;
        for (std::size_t i = entries.size(); i-- != 0;) {
            const Instance::Node& member = instance_.node(entries[i]);
            if (instance_.key(member, buffer) == name) {
                place.node = &member;
                place.path.emplace_back(name);
                detail::appendPointerStep(place.pointer, name);
                return true;
            }
        }
        return false;
    }

    /// The entry a wrapper's description names: "property name 'x'", "item #3".
    std::optional<Place> entryNamed(Place place, const std::string& description) const {
        std::string buffer;
        if (const std::size_t hash = description.find('#');
            hash != std::string::npos && description.find("item #") != std::string::npos) {
            std::size_t end = hash + 1;
            while (end < description.size() &&
                   std::isdigit(static_cast<unsigned char>(description[end])))
                ++end;
            if (!step_(place, description.substr(hash + 1, end - hash - 1), buffer))
                return std::nullopt;
            return place;
        }
        if (description.find("property name '") != std::string::npos) {
            if (!step_(place, quotedName(description), buffer)) return std::nullopt;
            return place;
        }
        return std::nullopt;
    }

    std::uint64_t firstLineLength() const {
        const std::string_view text = instance_.text();
        const std::size_t end = text.find('\n');
        return end == std::string_view::npos ? text.size() : end;
    }

    /// Where a finding about a whole value goes: a scalar's bytes; a container's key, or its
    /// left brace where it has no key, or the whole of braces with nothing between them.
    static void placeValue(const Instance::Node& node, Pending& pending) {
        const bool container =
            node.type == pelmo::JsonType::Object || node.type == pelmo::JsonType::Array;
        if (!container || node.count == 0) {
            pending.offset = node.begin;
            pending.length = node.end - node.begin;
        } else if ((node.flags & Instance::kHasKey) != 0 && node.keySize != 0) {
            pending.offset = node.keyBegin;
            pending.length = node.keySize;
        } else {
            pending.offset = node.begin;
            pending.length = 1;
        }
    }

    void add(std::vector<Pending>& out, FindingKind kind, std::string keyword, const Place& place,
             std::string message) const {
        Pending pending{kind, std::move(keyword), 0, 0, place.pointer, std::move(message)};
        if (place.node == &instance_.root()) {  // the text's top level
            pending.offset = 0;
            pending.length = firstLineLength();
        } else {
            placeValue(*place.node, pending);
        }
        out.push_back(std::move(pending));
    }

    /// The first value of `keyword` among the schemas at `path`.
    const Json* keywordAt(const InstancePath& path, std::string_view keyword) const {
        for (const FoundSchema& found : schemasAt(schema_, path)) {
            if (!found.schema->is_object()) continue;
            const auto value = found.schema->find(keyword);
            if (value != found.schema->end()) return &*value;
        }
        return nullptr;
    }

    std::string numberText(const Instance::Node& node) const {
        return node.type == pelmo::JsonType::Integer ? pelmo::formatInteger(node.integer)
                                                     : pelmo::formatFloat(node.number);
    }

    /// The value as the text writes it, in double quotes.
    std::string written(const Instance::Node& node) const {
        if (node.type == pelmo::JsonType::Object || node.type == pelmo::JsonType::Array) {
            return node.type == pelmo::JsonType::Object ? "the object" : "the array";
        }
        return shown(instance_.written(node));
    }

    /// The words for one fault of the validator.
    void word(std::vector<Pending>& out, const Rule& rule, const Place& place,
              const std::string& description) const {
        const Instance::Node& node = *place.node;
        const std::string keyword(rule.keyword);
        switch (rule.kind) {
            case FindingKind::SchemaType:
                add(out, rule.kind, keyword, place, typeWords(place));
                return;
            case FindingKind::SchemaRequired:
                add(out, rule.kind, keyword, place, requiredWords(place, quotedName(description)));
                return;
            case FindingKind::SchemaAdditional:
                if (keyword == "additionalProperties") {
                    additionalMembers(out, place, quotedName(description));
                } else {
                    additionalItems(out, place);
                }
                return;
            case FindingKind::SchemaEnum:
                add(out, rule.kind, keyword, place, enumWords(place, keyword));
                return;
            case FindingKind::SchemaRange:
                add(out, rule.kind, keyword, place, rangeWords(place, keyword));
                return;
            case FindingKind::SchemaLength: {
                std::string buffer;
                const std::size_t length = charactersOf(instance_.string(node, buffer));
                const Json* limit = keywordAt(place.path, keyword);
                add(out, rule.kind, keyword, place,
                    written(node) + " is " + std::to_string(length) + " characters long, " +
                        (keyword == "maxLength" ? "more than the " : "fewer than the ") +
                        (limit != nullptr ? limit->dump() : std::string("...")) +
                        " the schema allows");
                return;
            }
            case FindingKind::SchemaPattern: {
                const Json* pattern = keywordAt(place.path, keyword);
                add(out, rule.kind, keyword, place,
                    written(node) + " does not match the pattern " +
                        (pattern != nullptr && pattern->is_string()
                             ? inQuotes(pattern->get<std::string>())
                             : std::string("of the schema")));
                return;
            }
            case FindingKind::SchemaSize: {
                const bool array = node.type == pelmo::JsonType::Array;
                const std::size_t count = array ? node.count : node.kept;
                const Json* limit = keywordAt(place.path, keyword);
                const bool most = keyword == "maxItems" || keyword == "maxProperties";
                add(out, rule.kind, keyword, place,
                    std::string(array ? "the array has " : "the object has ") +
                        std::to_string(count) + (array ? " elements, " : " members, ") +
                        (most ? "more" : "fewer") + " than the " +
                        (limit != nullptr ? limit->dump() : std::string("...")) +
                        " the schema allows");
                return;
            }
            case FindingKind::SchemaUnique:
                add(out, rule.kind, keyword, place,
                    "the array holds equal elements (" +
                        description.substr(12, description.find(" violate") - 12) +
                        "), where the schema wants each element once");
                return;
            case FindingKind::SchemaContains:
                add(out, rule.kind, keyword, place,
                    "the array has no element that fits what the schema's contains asks for");
                return;
            case FindingKind::SchemaCombination:
                add(out, rule.kind, keyword, place,
                    keyword == "not" ? written(node) + " fits the schema of not, which it must not"
                    : rule.role == Role::Alternatives
                        ? written(node) + " fits none of the schemas " + keyword + " allows"
                        : written(node) +
                              " fits more than one of the schemas oneOf allows, and "
                              "must fit exactly one");
                return;
            default:
                add(out, rule.kind, keyword, place, description);
                return;
        }
    }

    std::string requiredWords(const Place& place, const std::string& member) const {
        std::string buffer;
        const Instance::Node& node = *place.node;
        std::string whose = "the text";
        if (place.node != &instance_.root()) {
            whose = (node.flags & Instance::kHasKey) != 0 && node.keySize != 0
                        ? "the object " + shown(instance_.key(node, buffer))
                        : "this object";
        }
        return whose + " has no member " + inQuotes(member) + ", which the schema requires";
    }

    /// Each member that no properties or patternProperties name, where the schema allows no other.
    void additionalMembers(std::vector<Pending>& out, const Place& place,
                           const std::string& first) const {
        std::set<std::string> named;
        std::vector<const std::regex*> patterns;
        bool closed = false;
        for (const FoundSchema& found : schemasAt(schema_, place.path)) {
            const Json& json = *found.schema;
            if (!json.is_object()) continue;
            const auto additional = json.find("additionalProperties");
            if (additional == json.end() || !additional->is_boolean() || additional->get<bool>())
                continue;
            closed = true;
            if (const auto properties = json.find("properties");
                properties != json.end() && properties->is_object()) {
                for (const auto& item : properties->items()) named.insert(item.key());
            }
            if (const auto more = json.find("patternProperties");
                more != json.end() && more->is_object()) {
                for (const auto& item : more->items()) {
                    const auto regex = schema_.regexes.find(item.key());
                    if (regex != schema_.regexes.end()) patterns.push_back(&regex->second);
                }
            }
        }
        std::string buffer;
        for (const std::uint32_t index : instance_.entries(*place.node)) {
            const Instance::Node& member = instance_.node(index);
            if ((member.flags & Instance::kShadowed) != 0) continue;
            const std::string key(instance_.key(member, buffer));
            const bool matched = closed
                                     ? named.count(key) != 0 ||
                                           std::any_of(patterns.begin(), patterns.end(),
                                                       [&](const std::regex* pattern) {
                                                           return std::regex_search(key, *pattern);
                                                       })
                                     : key != first;
            if (matched) continue;
            std::string message = "the schema allows no member " + inQuotes(key) + " here";
            std::string best;
            std::size_t distance = 3;
            for (const std::string& name : named) {
                const std::size_t d = editDistance(key, name);
                if (d < distance) {
                    distance = d;
                    best = name;
                }
            }
            if (!best.empty()) message += "; did you mean " + inQuotes(best) + "?";
            Pending pending{FindingKind::SchemaAdditional,
                            "additionalProperties",
                            member.keySize != 0 ? member.keyBegin : member.begin,
                            member.keySize != 0 ? member.keySize : member.end - member.begin,
                            place.pointer,
                            std::move(message)};
            detail::appendPointerStep(pending.pointer, key);
            out.push_back(std::move(pending));
        }
    }

    /// The first element past those items names, where additionalItems allows no more.
    void additionalItems(std::vector<Pending>& out, const Place& place) const {
        const Json* items = keywordAt(place.path, "items");
        const std::size_t allowed = items != nullptr && items->is_array() ? items->size() : 0;
        const auto entries = instance_.entries(*place.node);
        if (allowed >= entries.size()) return;
        Place entry{&instance_.node(entries[allowed]), place.path,
                    place.pointer + "/" + std::to_string(allowed)};
        add(out, FindingKind::SchemaAdditional, "additionalItems", entry,
            "the schema allows " + std::to_string(allowed) +
                " elements here, and this is element " + std::to_string(allowed + 1));
    }

    std::string enumWords(const Place& place, const std::string& keyword) const {
        const SchemaHint hint = hintAt(place.path);
        std::vector<std::string> values;
        for (const SchemaValue& value : hint.values) {
            if (values.size() == 8) {
                values.push_back("...");
                break;
            }
            values.push_back(value.kessa ? *value.kessa : value.json);
        }
        std::string text = written(*place.node);
        if (place.node->type == pelmo::JsonType::Integer ||
            place.node->type == pelmo::JsonType::Float) {
            text += ", which becomes " + numberText(*place.node) + ",";
        }
        if (keyword == "const" && values.size() == 1) {
            return text + " is not the one value the schema allows: " + values.front();
        }
        return text + " is none of the values the schema allows" +
               (values.empty() ? std::string() : ": " + listed(values, "or"));
    }

    std::string rangeWords(const Place& place, const std::string& keyword) const {
        const Json* limit = keywordAt(place.path, keyword);
        std::string bound = limit != nullptr && limit->is_number() ? limit->dump() : "its limit";
        // Draft 4 writes an exclusive bound as a flag beside maximum or minimum.
        std::string name = keyword;
        if (limit != nullptr && limit->is_boolean()) {
            name = keyword == "exclusiveMaximum" ? "maximum" : "minimum";
            const Json* other = keywordAt(place.path, name);
            bound = other != nullptr ? other->dump() : "its limit";
        } else if (limit == nullptr &&
                   (keyword == "exclusiveMaximum" || keyword == "exclusiveMinimum")) {
            name = keyword == "exclusiveMaximum" ? "maximum" : "minimum";
            const Json* other = keywordAt(place.path, name);
            if (other != nullptr) bound = other->dump();
        }
        const std::string value = numberText(*place.node);
        const std::string text = written(*place.node);
        const std::string became =
            text == inQuotes(value) ? text : text + ", which becomes " + value + ",";
        if (keyword == "multipleOf") return became + " is not a multiple of " + bound;
        if (keyword == "maximum") return became + " is above the maximum, " + bound;
        if (keyword == "minimum") return became + " is below the minimum, " + bound;
        return became + (keyword == "exclusiveMaximum" ? " is not below " : " is not above ") +
               bound + ", which the schema excludes";
    }

    SchemaHint hintAt(const InstancePath& path) const {
        // Through the public type, whose hint reads the same impl.
        SchemaHint hint;
        std::set<std::string> seen;
        for (const FoundSchema& found : schemasAt(schema_, path)) {
            const Json& json = *found.schema;
            if (!json.is_object()) continue;
            if (const auto type = json.find("type"); type != json.end()) {
                const auto addType = [&](const Json& name) {
                    if (name.is_string() && seen.insert(name.get<std::string>()).second) {
                        hint.types.push_back(name.get<std::string>());
                    }
                };
                if (type->is_array()) {
                    for (const Json& name : *type) addType(name);
                } else {
                    addType(*type);
                }
            }
            for (const char* keyword : {"enum", "const"}) {
                const auto values = json.find(keyword);
                if (values == json.end()) continue;
                const auto addValue = [&](const Json& value) {
                    hint.values.push_back(
                        {value.dump(-1, ' ', false, Json::error_handler_t::replace),
                         kessaTextFor(value)});
                };
                if (std::string_view(keyword) == "enum" && values->is_array()) {
                    for (const Json& value : *values) addValue(value);
                } else if (std::string_view(keyword) == "const") {
                    addValue(*values);
                }
            }
        }
        return hint;
    }

    /// A value of a type the schema does not want: what it is, and where the notation made it
    /// so, why, and whether any text gives what the schema wants.
    std::string typeWords(const Place& place) const {
        const Instance::Node& node = *place.node;
        const std::vector<std::string> wanted = hintAt(place.path).types;
        const auto wants = [&](std::string_view type) {
            return std::find(wanted.begin(), wanted.end(), type) != wanted.end();
        };
        const bool number = wants("number") || wants("integer");
        std::vector<std::string> names;
        for (const std::string& type : wanted)
            names.push_back(type == "integer"                     ? "an integer"
                            : type == "object" || type == "array" ? "an " + type
                            : type == "null"                      ? "null"
                                                                  : "a " + type);
        const std::string wantedWords = names.empty() ? "another type" : listed(names, "or");
        const bool writable = wants("string") || number || wants("object") || wants("array");
        if (!names.empty() && !writable) {
            return written(node) + " is " + kindOf(node) + ", where the schema wants " +
                   wantedWords +
                   ", which no kessa text can give: the notation has no true, false or null";
        }
        std::string buffer;
        switch (node.type) {
            case pelmo::JsonType::Integer:
            case pelmo::JsonType::Float: {
                const std::string value = numberText(node);
                std::string text = written(node) +
                                   " is read as a number, quoted or not: it becomes " + value +
                                   ", where the schema wants " + wantedWords;
                if (wants("string")) {
                    text +=
                        "; no kessa text keeps a numeral as text (there are no escapes), so "
                        "the schema and the notation disagree here";
                } else if (wants("integer") && node.type == pelmo::JsonType::Float) {
                    const double whole = std::trunc(node.number);
                    if (whole == node.number && std::fabs(whole) < 0x1p63) {
                        text += "; write " +
                                pelmo::formatInteger(static_cast<std::int64_t>(whole)) +
                                " for an integer";
                    }
                } else if (wants("array")) {
                    text +=
                        "; write {" + std::string(instance_.written(node)) + "} for an array of it";
                }
                return text;
            }
            case pelmo::JsonType::String: {
                const std::string_view bytes = instance_.string(node, buffer);
                std::string text = written(node) + " stays text";
                if (number) {
                    const std::optional<std::string> numeral = numeralFor(bytes);
                    text += ", where the schema wants " + wantedWords;
                    if (numeral) {
                        text += "; write " + *numeral;
                    } else {
                        text +=
                            "; a number is a numeral that begins with a digit or a sign, such as "
                            "42 or -1.5";
                    }
                    return text;
                }
                if (wants("array")) {
                    return text + ", where the schema wants " + wantedWords + "; write {" +
                           std::string(instance_.written(node)) + "} for an array of it";
                }
                return text + ", where the schema wants " + wantedWords;
            }
            case pelmo::JsonType::Array:
                if (wants("object")) {
                    if (node.count == 0) {
                        return "the braces " +
                               shown(instance_.text().substr(node.begin, node.end - node.begin)) +
                               " make an empty array, where the schema wants an object; write {=} "
                               "for "
                               "an empty object";
                    }
                    return "this is an array, where the schema wants an object: a brace makes an "
                           "object "
                           "only where an equals sign comes before any comma";
                }
                return "this is an array, where the schema wants " + wantedWords;
            case pelmo::JsonType::Object:
                return "this is an object, where the schema wants " + wantedWords +
                       (wants("array") ? "; a brace makes an array where no equals sign comes "
                                         "before the first comma"
                                       : "");
            default:
                return "the value is of a type the schema does not want";
        }
    }

    /// The numeral a text most likely meant: ".5" for 0.5, "1,5" for 1.5, " 12 " for 12.
    static std::optional<std::string> numeralFor(std::string_view bytes) {
        std::string text(bytes);
        const std::size_t first = text.find_first_not_of(" \t\r\n");
        if (first == std::string::npos) return std::nullopt;
        text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
        std::vector<std::string> tries{text};
        std::string comma = text;
        std::replace(comma.begin(), comma.end(), ',', '.');
        tries.push_back(comma);
        for (const std::string& one : std::vector<std::string>(tries)) {
            if (!one.empty() && one.front() == '.') tries.push_back("0" + one);
            if (one.size() > 1 && (one.front() == '-' || one.front() == '+') && one[1] == '.') {
                tries.push_back(one.substr(0, 1) + "0" + one.substr(1));
            }
        }
        for (const std::string& one : tries) {
            if (one != bytes && typeScalar(one).type != pelmo::JsonType::String) return one;
        }
        return std::nullopt;
    }

    std::string kindOf(const Instance::Node& node) const {
        switch (node.type) {
            case pelmo::JsonType::Integer:
                return "an integer";
            case pelmo::JsonType::Float:
                return "a number";
            case pelmo::JsonType::String:
                return "a string";
            case pelmo::JsonType::Array:
                return "an array";
            default:
                return "an object";
        }
    }

    const Schema::Impl& schema_;
    const Instance& instance_;
    const Instance::Node& root_;  // the value checked
};

}  // namespace

namespace detail {

void checkInstance(const Schema::Impl& impl, const Instance& instance, std::uint32_t root,
                   FindingHandler& handler) {
    std::vector<Pending> findings;
    if (instance.depth() > kMaxCheckedDepth) {
        findings.push_back(
            {FindingKind::SchemaTooDeep, "", 0, 0, "",
             "the text nests " + std::to_string(instance.depth()) +
                 " levels deep, deeper than the " + std::to_string(kMaxCheckedDepth) +
                 " a schema check follows, so it is not checked against the schema"});
    } else {
        detail::runOnLargeStack(kStackSize, [&] {
            auto regexes = impl.regexes;
            const bool wholeFloats = impl.draft != Draft::Draft3 && impl.draft != Draft::Draft4;
            const InstanceAdapter adapter(InstanceRef{&instance, root, wholeFloats});
            const std::vector<std::string> context(1, "<root>");
            // Told without words first, which is many times faster; a text that fails is
            // checked again for every fault and its place.
            if (valijson::ValidationVisitor<InstanceAdapter>(adapter, context, true, nullptr,
                                                             regexes)
                    .validateSchema(impl.compiled)) {
                return;
            }
            valijson::ValidationResults results;
            valijson::ValidationVisitor<InstanceAdapter>(adapter, context, true, &results, regexes)
                .validateSchema(impl.compiled);
            std::vector<valijson::ValidationResults::Error> errors;
            valijson::ValidationResults::Error error;
            while (results.popError(error)) errors.push_back(std::move(error));
            const Checker checker(impl, instance, instance.node(root));
            findings = checker.findings(std::move(errors));
            if (findings.empty()) findings.push_back(checker.unplaced());
        });
    }
    const std::string_view text = instance.text();
    for (const Pending& pending : findings) {
        Finding finding{pending.kind, pending.offset, text.substr(pending.offset, pending.length)};
        finding.message = pending.message;
        finding.pointer = pending.pointer;
        finding.keyword = pending.keyword;
        handler.found(finding);
    }
}

}  // namespace detail

void checkSchemaFindings(std::string_view text, const Schema& schema, FindingHandler& handler) {
    const Instance instance(text);
    detail::checkInstance(*schema.impl_, instance, 0, handler);
}

}  // namespace kessa
