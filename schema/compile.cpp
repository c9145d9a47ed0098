#include "schema/compile.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <unordered_map>

#include "schema/format.h"
#include "schema/uri.h"

namespace schema {

namespace {

using Json = nlohmann::json;

/// The vocabularies of drafts 2019-09 and 2020-12, as bits.
enum Vocabulary : std::uint16_t {
    kCore = 1,
    kApplicator = 2,
    kValidation = 4,
    kUnevaluated = 8,
    kFormatAssertion = 16,
    kContent = 32,
    kMetaData = 64,
    kStandard = kCore | kApplicator | kValidation | kUnevaluated | kContent | kMetaData,
};

struct Dialect {
    Draft draft;
    std::uint16_t vocabularies = kStandard;
};

/// Where a schema object stands and what it is read as.
struct Location {
    std::uint32_t document;
    std::uint32_t path;
    std::string base;
    Dialect dialect;
    std::uint32_t resource;
};

/// What a keyword's value holds, for the walk that finds identifiers.
enum class Holds : std::uint8_t { Schema, Schemas, SchemaOrSchemas, NamedSchemas, Dependencies };

constexpr std::pair<std::string_view, Holds> kSubschemaKeywords[] = {
    {"additionalItems", Holds::Schema},
    {"additionalProperties", Holds::Schema},
    {"not", Holds::Schema},
    {"if", Holds::Schema},
    {"then", Holds::Schema},
    {"else", Holds::Schema},
    {"contains", Holds::Schema},
    {"propertyNames", Holds::Schema},
    {"unevaluatedItems", Holds::Schema},
    {"unevaluatedProperties", Holds::Schema},
    {"contentSchema", Holds::Schema},
    {"items", Holds::SchemaOrSchemas},
    {"allOf", Holds::Schemas},
    {"anyOf", Holds::Schemas},
    {"oneOf", Holds::Schemas},
    {"prefixItems", Holds::Schemas},
    {"properties", Holds::NamedSchemas},
    {"patternProperties", Holds::NamedSchemas},
    {"definitions", Holds::NamedSchemas},
    {"$defs", Holds::NamedSchemas},
    {"dependentSchemas", Holds::NamedSchemas},
    {"dependencies", Holds::Dependencies},
};

std::string inQuotes(std::string_view text) {
    return Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

const char* typeName(const Json& json) {
    switch (json.type()) {
        case Json::value_t::object:
            return "an object";
        case Json::value_t::array:
            return "an array";
        case Json::value_t::string:
            return "a string";
        case Json::value_t::boolean:
            return "a boolean";
        case Json::value_t::null:
            return "null";
        default:
            return "a number";
    }
}

Number numberOf(const Json& json) {
    if (json.is_number_unsigned()) return Number::ofUnsigned(json.get<std::uint64_t>());
    if (json.is_number_integer()) return Number::ofInteger(json.get<std::int64_t>());
    return Number::ofReal(json.get<double>());
}

std::uint16_t vocabularyOf(std::string_view uri) {
    constexpr std::pair<std::string_view, std::uint16_t> kKnown[] = {
        {"https://json-schema.org/draft/2020-12/vocab/core", kCore},
        {"https://json-schema.org/draft/2020-12/vocab/applicator", kApplicator},
        {"https://json-schema.org/draft/2020-12/vocab/unevaluated", kUnevaluated},
        {"https://json-schema.org/draft/2020-12/vocab/validation", kValidation},
        {"https://json-schema.org/draft/2020-12/vocab/meta-data", kMetaData},
        {"https://json-schema.org/draft/2020-12/vocab/format-annotation", 0},
        {"https://json-schema.org/draft/2020-12/vocab/format-assertion", kFormatAssertion},
        {"https://json-schema.org/draft/2020-12/vocab/content", kContent},
        {"https://json-schema.org/draft/2019-09/vocab/core", kCore},
        {"https://json-schema.org/draft/2019-09/vocab/applicator", kApplicator | kUnevaluated},
        {"https://json-schema.org/draft/2019-09/vocab/validation", kValidation},
        {"https://json-schema.org/draft/2019-09/vocab/meta-data", kMetaData},
        {"https://json-schema.org/draft/2019-09/vocab/format", 0},
        {"https://json-schema.org/draft/2019-09/vocab/content", kContent},
    };
    for (const auto& [name, bits] : kKnown) {
        if (name == uri) return bits == 0 ? 0x8000 : bits;  // 0x8000: known, adds nothing
    }
    return 0;
}

class Compiler {
public:
    Compiler(Plan& plan, Resolver& resolver, const CompileOptions& options)
        : plan_(plan), resolver_(resolver), options_(options) {}

    void run() {
        plan_.constants.openArray();
        dynamicNameIds_.emplace("", 0);  // $recursiveAnchor's
        plan_.dynamicNames = 1;
        registerDocument(0, Dialect{options_.draft, kStandard});
        plan_.draft = locations_.at(&plan_.documents[0].json).dialect.draft;
        plan_.root = nodeFor(&plan_.documents[0].json);
        while (!pending_.empty()) {
            const std::uint32_t node = pending_.front();
            pending_.pop_front();
            compileNode(node);
        }
        plan_.resources.resize(resourceAnchors_.size());
        for (std::size_t r = 0; r < resourceAnchors_.size(); ++r) {
            Resource& resource = plan_.resources[r];
            resource.uri = resourceUris_[r];
            resource.firstAnchor = static_cast<std::uint32_t>(plan_.dynamicAnchors.size());
            for (const auto& [name, json] : resourceAnchors_[r]) {
                plan_.dynamicAnchors.emplace_back(name, nodeOf_.at(json));
            }
            resource.anchorCount =
                static_cast<std::uint32_t>(plan_.dynamicAnchors.size()) - resource.firstAnchor;
        }
        checkLoops();
        for (Node& node : plan_.nodes) {
            node.simple = !node.tracksMembers && !node.tracksItems;
            for (std::uint32_t pc = node.first; pc < node.first + node.count; ++pc) {
                if (plan_.code[pc].op >= Op::AllOf) node.simple = false;
            }
            node.refOnly = node.count == 1 && plan_.code[node.first].op == Op::Ref &&
                           !node.tracksMembers && !node.tracksItems;
        }
    }

private:
    // ---- Finding resources and anchors ----------------------------------------------------

    [[noreturn]] void fail(std::uint32_t document, std::uint32_t path, std::string reason) {
        throw CompileError(document, plan_.pointer(path), std::move(reason));
    }

    /// The dialect a $schema names, reading a meta-schema of one's own for its vocabularies.
    Dialect dialectOf(const Json& uriJson, std::uint32_t document, std::uint32_t at,
                      Dialect inherited) {
        if (!uriJson.is_string()) return inherited;
        const std::string uri = splitFragment(uriJson.get<std::string>()).first;
        if (const auto draft = draftOfUri(uri)) return Dialect{*draft, kStandard};
        // A meta-schema of one's own: its $vocabulary says which keywords count.
        std::string meta = uri;
        for (int hops = 0; hops < 8; ++hops) {
            const Json* root = findResource(meta, document, at, meta);
            if (root == nullptr || !root->is_object()) break;
            Dialect dialect{inherited.draft, kStandard};
            const auto declared = root->find("$schema");
            std::optional<Draft> draft;
            if (declared != root->end() && declared->is_string()) {
                draft = draftOfUri(splitFragment(declared->get<std::string>()).first);
            }
            if (draft) dialect.draft = *draft;
            const auto vocabulary = root->find("$vocabulary");
            if (vocabulary != root->end() && vocabulary->is_object()) {
                dialect.vocabularies = 0;
                for (const auto& [name, required] : vocabulary->items()) {
                    const std::uint16_t bits = vocabularyOf(name);
                    if (bits == 0 && required.is_boolean() && required.get<bool>()) {
                        fail(document, at,
                             "the meta-schema " + inQuotes(meta) + " requires the vocabulary " +
                                 inQuotes(name) + ", which is not known here");
                    }
                    dialect.vocabularies |= bits & 0x7FFF;
                }
            }
            if (draft) return dialect;
            if (declared == root->end() || !declared->is_string()) return dialect;
            meta = splitFragment(declared->get<std::string>()).first;
        }
        return inherited;
    }

    std::uint32_t newResource(const std::string& uri) {
        resourceUris_.push_back(uri);
        resourceAnchors_.emplace_back();
        return static_cast<std::uint32_t>(resourceUris_.size() - 1);
    }

    std::uint32_t dynamicName(const std::string& name) {
        const auto [at, added] = dynamicNameIds_.emplace(name, plan_.dynamicNames);
        if (added) ++plan_.dynamicNames;
        return at->second;
    }

    /// Walks a document's schemas: notes where each stands, its base URI and dialect, and the
    /// resources and anchors it defines.
    void registerDocument(std::uint32_t index, Dialect inherited) {
        const SchemaDocument& document = plan_.documents[index];
        const Json& root = document.json;
        if (root.is_object() && root.contains("$schema")) {
            inherited = dialectOf(root["$schema"], index, plan_.addPath(0, "$schema"), inherited);
        }
        const std::uint32_t rootResource = newResource(document.uri);
        resources_.emplace(document.uri, &root);
        struct Step {
            const Json* json;
            std::uint32_t path;
            std::string base;
            Dialect dialect;
            std::uint32_t resource;
        };
        std::vector<Step> pending{{&root, 0, document.uri, inherited, rootResource}};
        while (!pending.empty()) {
            Step step = std::move(pending.back());
            pending.pop_back();
            const Json& schema = *step.json;
            if (!schema.is_object()) {
                locations_.emplace(
                    step.json, Location{index, step.path, step.base, step.dialect, step.resource});
                continue;
            }
            const Draft draft = step.dialect.draft;
            const bool refAlone = draft <= Draft::Draft7 && schema.contains("$ref");
            const char* idKeyword = draft == Draft::Draft4 ? "id" : "$id";
            if (const auto id = schema.find(idKeyword);
                !refAlone && id != schema.end() && id->is_string()) {
                const std::string& text = id->get_ref<const std::string&>();
                const auto [uri, fragment] = splitFragment(resolveUri(step.base, text));
                if (text.empty() || text.front() != '#') {
                    if (step.json != &root && schema.contains("$schema")) {
                        step.dialect = dialectOf(schema["$schema"], index,
                                                 plan_.addPath(step.path, "$schema"), step.dialect);
                    }
                    step.base = uri;
                    if (step.json != &root || uri != document.uri) {
                        step.resource = step.json == &root && uri == document.uri
                                            ? step.resource
                                            : newResource(uri);
                    }
                    resources_.emplace(uri, step.json);
                    resourceUris_[step.resource] = uri;
                }
                if (!fragment.empty() && draft <= Draft::Draft7) {
                    anchors_.emplace(uri + "#" + fragment, step.json);
                }
            }
            if (draft >= Draft::Draft2019) {
                if (const auto anchor = schema.find("$anchor");
                    anchor != schema.end() && anchor->is_string()) {
                    anchors_.emplace(step.base + "#" + anchor->get<std::string>(), step.json);
                }
            }
            if (draft == Draft::Draft2020) {
                if (const auto anchor = schema.find("$dynamicAnchor");
                    anchor != schema.end() && anchor->is_string()) {
                    const std::string name = anchor->get<std::string>();
                    anchors_.emplace(step.base + "#" + name, step.json);
                    dynamicAnchors_.insert(step.base + "#" + name);
                    resourceAnchors_[step.resource].emplace_back(dynamicName(name), step.json);
                }
            }
            if (draft == Draft::Draft2019) {
                if (const auto anchor = schema.find("$recursiveAnchor");
                    anchor != schema.end() && anchor->is_boolean() && anchor->get<bool>()) {
                    resourceAnchors_[step.resource].emplace_back(0, step.json);
                }
            }
            locations_.emplace(step.json,
                               Location{index, step.path, step.base, step.dialect, step.resource});
            if (refAlone) continue;  // its other keywords are not read
            for (const auto& [keyword, holds] : kSubschemaKeywords) {
                const auto found = schema.find(keyword);
                if (found == schema.end()) continue;
                const std::uint32_t path = plan_.addPath(step.path, std::string(keyword));
                const Json& value = *found;
                const auto add = [&](const Json& child, std::uint32_t at) {
                    pending.push_back({&child, at, step.base, step.dialect, step.resource});
                };
                if ((holds == Holds::Schemas || holds == Holds::SchemaOrSchemas) &&
                    value.is_array()) {
                    for (std::size_t i = 0; i < value.size(); ++i) {
                        add(value[i], plan_.addPath(path, std::to_string(i)));
                    }
                } else if ((holds == Holds::NamedSchemas || holds == Holds::Dependencies) &&
                           value.is_object()) {
                    for (const auto& [name, member] : value.items()) {
                        if (holds == Holds::Dependencies && member.is_array()) continue;
                        add(member, plan_.addPath(path, name));
                    }
                } else if (holds == Holds::Schema || holds == Holds::SchemaOrSchemas) {
                    add(value, path);
                }
            }
        }
        // The targets of dynamic anchors are compiled whether or not a reference names them.
        for (std::size_t r = rootResource; r < resourceAnchors_.size(); ++r) {
            for (const auto& [name, json] : resourceAnchors_[r]) nodeFor(json);
        }
    }

    /// The schema resource at `uri`, read through the resolver the first time.
    const Json* findResource(const std::string& uri, std::uint32_t from, std::uint32_t at,
                             std::string_view reference) {
        if (const auto found = resources_.find(uri); found != resources_.end())
            return found->second;
        if (tried_.count(uri) != 0) return nullptr;
        tried_.insert(uri);
        std::optional<SchemaDocument> document =
            resolver_.fetch(uri, plan_, from, plan_.pointer(at), reference);
        if (!document) return nullptr;
        document->uri = document->uri.empty() ? uri : splitFragment(document->uri).first;
        plan_.documents.push_back(std::move(*document));
        const auto index = static_cast<std::uint32_t>(plan_.documents.size() - 1);
        Dialect inherited{options_.draft, kStandard};
        if (from < plan_.documents.size()) {
            const auto at = locations_.find(&plan_.documents[from].json);
            if (at != locations_.end()) inherited = at->second.dialect;
        }
        registerDocument(index, inherited);
        resources_.emplace(uri, &plan_.documents[index].json);
        return &plan_.documents[index].json;
    }

    // ---- Compiling ------------------------------------------------------------------------

    std::uint32_t nodeFor(const Json* json) {
        const auto found = nodeOf_.find(json);
        if (found != nodeOf_.end()) return found->second;
        const auto id = static_cast<std::uint32_t>(plan_.nodes.size());
        plan_.nodes.emplace_back();
        nodeOf_.emplace(json, id);
        jsonOf_.push_back(json);
        pending_.push_back(id);
        return id;
    }

    std::uint32_t site(const Location& at, std::string_view keyword, const Json* value) {
        const std::uint32_t path =
            keyword.empty() ? at.path : plan_.addPath(at.path, std::string(keyword));
        plan_.sites.push_back({at.document, path, value});
        return static_cast<std::uint32_t>(plan_.sites.size() - 1);
    }

    /// The schema `value` at `pointer` below `at`, as a node.
    std::uint32_t child(const Location& at, std::uint32_t path, const Json& value) {
        if (locations_.count(&value) == 0) {
            locations_.emplace(&value,
                               Location{at.document, path, at.base, at.dialect, at.resource});
        }
        return nodeFor(&value);
    }

    std::uint32_t below(const Location& at, std::string_view keyword) {
        return plan_.addPath(at.path, std::string(keyword));
    }

    std::uint64_t count(const Location& at, std::string_view keyword, const Json& value) {
        if (value.is_number_unsigned()) return value.get<std::uint64_t>();
        if (value.is_number_integer() && value.get<std::int64_t>() >= 0) {
            return static_cast<std::uint64_t>(value.get<std::int64_t>());
        }
        if (value.is_number_float() && value.get<double>() >= 0 && numberOf(value).integral()) {
            return value.get<double>() >= 0x1p64 ? UINT64_MAX
                                                 : static_cast<std::uint64_t>(value.get<double>());
        }
        fail(at.document, below(at, keyword),
             "the value of " + std::string(keyword) + " is " + value.dump() +
                 ", where it must be an integer 0 or above");
    }

    std::uint32_t constant(const Json& value) {
        const std::uint32_t index = plan_.constants.valueCount();
        struct Open {
            const Json* json;
            Json::const_iterator next;
        };
        std::vector<Open> open;
        const auto scalar = [&](const Json& json) {
            switch (json.type()) {
                case Json::value_t::null:
                    plan_.constants.null();
                    break;
                case Json::value_t::boolean:
                    plan_.constants.boolean(json.get<bool>());
                    break;
                case Json::value_t::string:
                    plan_.constants.string(json.get_ref<const std::string&>());
                    break;
                default:
                    plan_.constants.number(numberOf(json));
                    break;
            }
        };
        const auto enter = [&](const Json& json) {
            if (json.is_object()) {
                plan_.constants.openObject();
                open.push_back({&json, json.begin()});
            } else if (json.is_array()) {
                plan_.constants.openArray();
                open.push_back({&json, json.begin()});
            } else {
                scalar(json);
            }
        };
        enter(value);
        while (!open.empty()) {
            Open& top = open.back();
            if (top.next == top.json->end()) {
                plan_.constants.close();
                open.pop_back();
                continue;
            }
            const auto item = top.next++;
            if (top.json->is_object()) plan_.constants.key(item.key());
            enter(*item);
        }
        return index;
    }

    std::uint32_t regex(const Location& at, std::uint32_t pointer, const std::string& pattern) {
        if (const auto found = regexIds_.find(pattern); found != regexIds_.end())
            return found->second;
        std::string fault;
        std::unique_ptr<Regex> compiled = Regex::compile(pattern, fault);
        if (!compiled) fail(at.document, pointer, "the pattern " + inQuotes(pattern) + " " + fault);
        plan_.regexes.push_back(std::move(compiled));
        const auto id = static_cast<std::uint32_t>(plan_.regexes.size() - 1);
        regexIds_.emplace(pattern, id);
        return id;
    }

    void emit(Instruction instruction) { plan_.code.push_back(instruction); }

    std::uint32_t listOfNodes(const Location& at, std::string_view keyword, const Json& array) {
        std::vector<std::uint32_t> nodes;
        const std::uint32_t pointer = below(at, keyword);
        for (std::size_t i = 0; i < array.size(); ++i) {
            nodes.push_back(child(at, plan_.addPath(pointer, std::to_string(i)), array[i]));
        }
        const auto first = static_cast<std::uint32_t>(plan_.lists.size());
        plan_.lists.insert(plan_.lists.end(), nodes.begin(), nodes.end());
        return first;
    }

    std::uint32_t string(const std::string& text) {
        plan_.strings.push_back(text);
        return static_cast<std::uint32_t>(plan_.strings.size() - 1);
    }

    /// Resolves a reference; kNone where it names a remote schema that is not to be had.
    std::uint32_t reference(const Location& at, std::string_view keyword, const std::string& text,
                            std::string* dynamicFragment = nullptr) {
        const std::uint32_t pointer = below(at, keyword);
        const auto [uri, fragment] = splitFragment(resolveUri(at.base, text));
        const Json* root = findResource(uri, at.document, pointer, text);
        if (root == nullptr) {
            if (remote_.insert(uri).second) {
                plan_.notices.push_back(
                    {Notice::Kind::UnresolvedRemote, site(at, keyword, nullptr),
                     "the " + std::string(keyword) + " " + inQuotes(text) +
                         " names a remote schema, which is not fetched: what it describes is not "
                         "checked; save it beside this file and name it by its path"});
            }
            return kNone;
        }
        const Json* target = root;
        if (!fragment.empty() && fragment.front() == '/') {
            const auto steps = pointerSteps(fragment);
            if (!steps)
                fail(at.document, pointer,
                     "the " + std::string(keyword) + " " + inQuotes(text) +
                         " holds a malformed JSON pointer");
            const auto rootAt = locations_.find(root);
            Location location = rootAt != locations_.end() ? rootAt->second : at;
            for (const std::string& step : *steps) {
                const Json* next = nullptr;
                if (target->is_object()) {
                    const auto member = target->find(step);
                    if (member != target->end()) next = &*member;
                } else if (target->is_array() && !step.empty() &&
                           step.find_first_not_of("0123456789") == std::string::npos &&
                           (step == "0" || step.front() != '0') && step.size() < 10 &&
                           std::stoul(step) < target->size()) {
                    next = &(*target)[std::stoul(step)];
                }
                if (next == nullptr) {
                    fail(at.document, pointer,
                         "the " + std::string(keyword) + " " + inQuotes(text) +
                             " points at nothing in " +
                             inQuotes(plan_.documents[location.document].name));
                }
                target = next;
                location.path = plan_.addPath(location.path, step);
                if (const auto known = locations_.find(target); known != locations_.end()) {
                    location = known->second;
                }
            }
            locations_.emplace(target, location);
        } else if (!fragment.empty()) {
            const auto anchor = anchors_.find(uri + "#" + fragment);
            if (anchor == anchors_.end()) {
                fail(at.document, pointer,
                     "the " + std::string(keyword) + " " + inQuotes(text) +
                         " names an anchor that " + inQuotes(uri) + " does not have");
            }
            target = anchor->second;
            if (dynamicFragment != nullptr && dynamicAnchors_.count(uri + "#" + fragment) != 0) {
                *dynamicFragment = fragment;
            }
        }
        return nodeFor(target);
    }

    void compileNode(std::uint32_t id) {
        const Json& schema = *jsonOf_[id];
        const Location at = locations_.at(&schema);
        Node node;
        node.resource = at.resource;
        node.site = site(at, "", &schema);
        node.first = static_cast<std::uint32_t>(plan_.code.size());
        node.wholeIsInteger = at.dialect.draft != Draft::Draft4;
        node.contributesContains = at.dialect.draft == Draft::Draft2020;
        if (schema.is_boolean()) {
            if (!schema.get<bool>()) emit({Op::False, 0, 0, kNone, 0, 0, node.site});
        } else if (schema.is_object()) {
            keywords(schema, at, node);
        } else {
            fail(at.document, at.path,
                 std::string("the schema is ") + typeName(schema) +
                     ", where a schema is an object or a boolean");
        }
        node.count = static_cast<std::uint32_t>(plan_.code.size()) - node.first;
        plan_.nodes[id] = node;
    }

    void keywords(const Json& schema, const Location& at, Node& node) {
        const Draft draft = at.dialect.draft;
        const std::uint16_t vocabularies = at.dialect.vocabularies;
        const bool validation = draft < Draft::Draft2019 || (vocabularies & kValidation);
        const bool applicator = draft < Draft::Draft2019 || (vocabularies & kApplicator);
        const bool unevaluated = draft >= Draft::Draft2019 && (vocabularies & kUnevaluated);
        const auto get = [&](std::string_view keyword) -> const Json* {
            const auto found = schema.find(keyword);
            return found == schema.end() ? nullptr : &*found;
        };
        const auto at_ = [&](std::string_view keyword, const Json* value) {
            return site(at, keyword, value);
        };

        if (draft <= Draft::Draft7) {
            if (const Json* ref = get("$ref"); ref != nullptr && ref->is_string()) {
                // A $ref stands alone: the keywords beside it are not read.
                const std::uint32_t target = reference(at, "$ref", ref->get<std::string>());
                if (target != kNone) emit({Op::Ref, target, 0, kNone, 0, 0, at_("$ref", ref)});
                return;
            }
        }

        if (validation) {
            if (const Json* type = get("type")) {
                std::uint32_t mask = 0;
                const auto add = [&](const Json& name) {
                    if (!name.is_string()) return;
                    const std::string& text = name.get_ref<const std::string&>();
                    constexpr std::pair<std::string_view, Type> kTypes[] = {
                        {"null", Type::Null},       {"boolean", Type::Boolean},
                        {"integer", Type::Integer}, {"number", Type::Number},
                        {"string", Type::String},   {"array", Type::Array},
                        {"object", Type::Object}};
                    for (const auto& [typeName, type] : kTypes) {
                        if (text == typeName) mask |= bitOf(type);
                    }
                    if (text == "any") mask = 0xFF;
                };
                if (type->is_array()) {
                    for (const Json& name : *type) add(name);
                } else {
                    add(*type);
                }
                emit({Op::Type, mask, 0, kNone, 0, 0, at_("type", type)});
            }
            if (const Json* value = get("const"); value != nullptr && draft >= Draft::Draft6) {
                emit({Op::Const, constant(*value), 0, kNone, 0, 0, at_("const", value)});
            }
            if (const Json* values = get("enum"); values != nullptr && values->is_array()) {
                std::vector<std::uint32_t> refs;
                for (const Json& value : *values) refs.push_back(constant(value));
                const auto first = static_cast<std::uint32_t>(plan_.lists.size());
                plan_.lists.insert(plan_.lists.end(), refs.begin(), refs.end());
                emit({Op::Enum, first, static_cast<std::uint32_t>(refs.size()), kNone, 0, 0,
                      at_("enum", values)});
            }
            numeric(schema, at, draft);
            if (const Json* n = get("minLength")) {
                emit({Op::MinLength, 0, 0, kNone, count(at, "minLength", *n), 0,
                      at_("minLength", n)});
            }
            if (const Json* n = get("maxLength")) {
                emit({Op::MaxLength, 0, 0, kNone, count(at, "maxLength", *n), 0,
                      at_("maxLength", n)});
            }
            if (const Json* pattern = get("pattern"); pattern != nullptr && pattern->is_string()) {
                emit({Op::Pattern, regex(at, below(at, "pattern"), pattern->get<std::string>()), 0,
                      kNone, 0, 0, at_("pattern", pattern)});
            }
        }
        if (const Json* format = get("format");
            format != nullptr && format->is_string() && options_.formats) {
            const std::string& name = format->get_ref<const std::string&>();
            if (auto known = formatOfName(name)) {
                if (*known == Format::Hostname && draft <= Draft::Draft6)
                    known = Format::Rfc1123Hostname;
                const bool asserts = draft <= Draft::Draft7 || options_.formatAssertion ||
                                     (vocabularies & kFormatAssertion);
                emit({Op::Format, static_cast<std::uint32_t>(*known), asserts ? 1u : 0u, kNone, 0,
                      0, at_("format", format)});
                if (!asserts) plan_.annotatesFormats = true;
            } else if (unknownFormats_.insert(name).second) {
                plan_.notices.push_back({Notice::Kind::UnknownFormat, at_("format", format),
                                         "the format " + inQuotes(name) +
                                             " is not one known here, so it is not checked"});
            }
        }
        if (validation) {
            for (const auto& [keyword, op] :
                 {std::pair<std::string_view, Op>{"minItems", Op::MinItems},
                  {"maxItems", Op::MaxItems},
                  {"minProperties", Op::MinProperties},
                  {"maxProperties", Op::MaxProperties}}) {
                if (const Json* n = get(keyword)) {
                    emit({op, 0, 0, kNone, count(at, keyword, *n), 0, at_(keyword, n)});
                }
            }
            if (const Json* unique = get("uniqueItems");
                unique != nullptr && unique->is_boolean() && unique->get<bool>()) {
                emit({Op::UniqueItems, 0, 0, kNone, 0, 0, at_("uniqueItems", unique)});
            }
            if (const Json* required = get("required");
                required != nullptr && required->is_array()) {
                std::vector<std::string> names;
                for (const Json& name : *required) {
                    if (name.is_string()) names.push_back(name.get<std::string>());
                }
                std::sort(names.begin(), names.end());
                names.erase(std::unique(names.begin(), names.end()), names.end());
                if (!names.empty()) {
                    const auto first = static_cast<std::uint32_t>(plan_.lists.size());
                    for (const std::string& name : names) plan_.lists.push_back(string(name));
                    emit({Op::Required, first, static_cast<std::uint32_t>(names.size()), kNone, 0,
                          0, at_("required", required)});
                }
            }
        }
        // dependencies: draft 7's, still read in later drafts, as most validators do.
        const auto dependencies = [&](std::string_view keyword, bool names, bool schemas) {
            const Json* value = get(keyword);
            if (value == nullptr || !value->is_object()) return;
            std::vector<Plan::Dependency> required, schemaDependencies;
            for (const auto& [name, dependency] : value->items()) {
                if (dependency.is_array() && names) {
                    const auto first = static_cast<std::uint32_t>(plan_.lists.size());
                    for (const Json& other : dependency) {
                        if (other.is_string())
                            plan_.lists.push_back(string(other.get<std::string>()));
                    }
                    required.push_back({string(name), first,
                                        static_cast<std::uint32_t>(plan_.lists.size()) - first});
                } else if (!dependency.is_array() && schemas) {
                    schemaDependencies.push_back(
                        {string(name),
                         child(at, plan_.addPath(below(at, keyword), name), dependency), 0});
                }
            }
            if (!required.empty()) {
                const auto first = static_cast<std::uint32_t>(plan_.dependencies.size());
                plan_.dependencies.insert(plan_.dependencies.end(), required.begin(),
                                          required.end());
                emit({Op::DependentRequired, first, static_cast<std::uint32_t>(required.size()),
                      kNone, 0, 0, at_(keyword, value)});
            }
            if (!schemaDependencies.empty()) {
                const auto first = static_cast<std::uint32_t>(plan_.dependencies.size());
                plan_.dependencies.insert(plan_.dependencies.end(), schemaDependencies.begin(),
                                          schemaDependencies.end());
                emit({Op::DependentSchemas, first,
                      static_cast<std::uint32_t>(schemaDependencies.size()), kNone, 0, 0,
                      at_(keyword, value)});
            }
        };
        if (validation || applicator) dependencies("dependencies", validation, applicator);
        if (draft >= Draft::Draft2019) {
            if (validation) dependencies("dependentRequired", true, false);
            if (applicator) dependencies("dependentSchemas", false, true);
        }

        if (const Json* ref = get("$ref"); ref != nullptr && ref->is_string()) {
            const std::uint32_t target = reference(at, "$ref", ref->get<std::string>());
            if (target != kNone) emit({Op::Ref, target, 0, kNone, 0, 0, at_("$ref", ref)});
        }
        if (draft == Draft::Draft2019) {
            if (const Json* ref = get("$recursiveRef"); ref != nullptr && ref->is_string()) {
                const std::uint32_t target =
                    reference(at, "$recursiveRef", ref->get<std::string>());
                if (target != kNone) {
                    const Json& json = *jsonOf_[target];
                    const bool dynamic = json.is_object() && json.contains("$recursiveAnchor") &&
                                         json["$recursiveAnchor"] == true;
                    emit({Op::DynamicRef, target, dynamic ? 0u : kNone, kNone, 0, 0,
                          at_("$recursiveRef", ref)});
                }
            }
        }
        if (draft == Draft::Draft2020) {
            if (const Json* ref = get("$dynamicRef"); ref != nullptr && ref->is_string()) {
                std::string fragment;
                const std::uint32_t target =
                    reference(at, "$dynamicRef", ref->get<std::string>(), &fragment);
                if (target != kNone) {
                    emit({Op::DynamicRef, target, fragment.empty() ? kNone : dynamicName(fragment),
                          kNone, 0, 0, at_("$dynamicRef", ref)});
                }
            }
        }
        if (!applicator) {
            unevaluatedKeywords(schema, at, node, unevaluated);
            return;
        }
        for (const auto& [keyword, op] : {std::pair<std::string_view, Op>{"allOf", Op::AllOf},
                                          {"anyOf", Op::AnyOf},
                                          {"oneOf", Op::OneOf}}) {
            if (const Json* list = get(keyword); list != nullptr && list->is_array()) {
                const std::uint32_t first = listOfNodes(at, keyword, *list);
                emit({op, first, static_cast<std::uint32_t>(list->size()), kNone, 0, 0,
                      at_(keyword, list)});
            }
        }
        if (const Json* no = get("not")) {
            emit({Op::Not, child(at, below(at, "not"), *no), 0, kNone, 0, 0, at_("not", no)});
        }
        if (const Json* condition = get("if"); condition != nullptr && draft >= Draft::Draft7) {
            const Json* then = get("then");
            const Json* otherwise = get("else");
            {
                emit({Op::If, child(at, below(at, "if"), *condition),
                      then != nullptr ? child(at, below(at, "then"), *then) : kNone,
                      otherwise != nullptr ? child(at, below(at, "else"), *otherwise) : kNone, 0, 0,
                      at_("if", condition)});
            }
        }
        members(schema, at, get);
        if (const Json* names = get("propertyNames"); names != nullptr && draft >= Draft::Draft6) {
            emit({Op::PropertyNames, child(at, below(at, "propertyNames"), *names), 0, kNone, 0, 0,
                  at_("propertyNames", names)});
        }
        itemKeywords(at, draft, get);
        unevaluatedKeywords(schema, at, node, unevaluated);
    }

    template <class Get>
    void members(const Json&, const Location& at, const Get& get) {
        const Json* properties = get("properties");
        const Json* patterns = get("patternProperties");
        const Json* additional = get("additionalProperties");
        if (properties == nullptr && patterns == nullptr && additional == nullptr) return;
        std::vector<std::pair<std::string, std::uint32_t>> map;
        if (properties != nullptr && properties->is_object()) {
            for (const auto& [name, value] : properties->items()) {
                map.emplace_back(name,
                                 child(at, plan_.addPath(below(at, "properties"), name), value));
            }
        }
        std::sort(map.begin(), map.end());
        std::vector<std::uint32_t> patternList;
        if (patterns != nullptr && patterns->is_object()) {
            for (const auto& [pattern, value] : patterns->items()) {
                const std::uint32_t pointer =
                    plan_.addPath(below(at, "patternProperties"), pattern);
                patternList.push_back(regex(at, pointer, pattern));
                patternList.push_back(child(at, pointer, value));
            }
        }
        plan_.propertyMaps.push_back(std::move(map));
        const auto first = static_cast<std::uint32_t>(plan_.lists.size());
        plan_.lists.insert(plan_.lists.end(), patternList.begin(), patternList.end());
        const std::uint32_t extra = additional != nullptr
                                        ? child(at, below(at, "additionalProperties"), *additional)
                                        : kNone;
        const Json* where = properties != nullptr ? properties
                            : patterns != nullptr ? patterns
                                                  : additional;
        const char* keyword = properties != nullptr ? "properties"
                              : patterns != nullptr ? "patternProperties"
                                                    : "additionalProperties";
        emit({Op::Members, static_cast<std::uint32_t>(plan_.propertyMaps.size() - 1), first,
              static_cast<std::uint32_t>(patternList.size() / 2), extra, 0,
              site(at, keyword, where)});
    }

    template <class Get>
    void itemKeywords(const Location& at, Draft draft, const Get& get) {
        const Json* items = get("items");
        const Json* prefix = draft == Draft::Draft2020 ? get("prefixItems") : nullptr;
        const Json* additional = draft <= Draft::Draft2019 ? get("additionalItems") : nullptr;
        std::uint32_t first = 0, leading = 0, rest = kNone;
        const Json* where = nullptr;
        const char* keyword = "items";
        if (prefix != nullptr && prefix->is_array()) {
            first = listOfNodes(at, "prefixItems", *prefix);
            leading = static_cast<std::uint32_t>(prefix->size());
            where = prefix;
            keyword = "prefixItems";
        }
        if (items != nullptr && items->is_array() && prefix == nullptr) {
            first = listOfNodes(at, "items", *items);
            leading = static_cast<std::uint32_t>(items->size());
            where = items;
            if (additional != nullptr) {
                rest = child(at, below(at, "additionalItems"), *additional);
            }
        } else if (items != nullptr && !items->is_array()) {
            rest = child(at, below(at, "items"), *items);
            if (where == nullptr) where = items;
        }
        if (where != nullptr) {
            emit({Op::Items, first, leading, rest, 0, 0, site(at, keyword, where)});
        }
        if (const Json* contains = get("contains"); contains != nullptr && draft >= Draft::Draft6) {
            std::uint64_t least = 1, most = UINT64_MAX;
            if (draft >= Draft::Draft2019) {
                if (const Json* n = get("minContains")) least = count(at, "minContains", *n);
                if (const Json* n = get("maxContains")) most = count(at, "maxContains", *n);
            }
            emit({Op::Contains, child(at, below(at, "contains"), *contains), 0, kNone, least, most,
                  site(at, "contains", contains)});
        }
    }

    void unevaluatedKeywords(const Json& schema, const Location& at, Node& node, bool enabled) {
        if (!enabled) return;
        if (const auto items = schema.find("unevaluatedItems"); items != schema.end()) {
            emit({Op::UnevaluatedItems, child(at, below(at, "unevaluatedItems"), *items), 0, kNone,
                  0, 0, site(at, "unevaluatedItems", &*items)});
            node.tracksItems = true;
        }
        if (const auto properties = schema.find("unevaluatedProperties");
            properties != schema.end()) {
            emit({Op::UnevaluatedProperties,
                  child(at, below(at, "unevaluatedProperties"), *properties), 0, kNone, 0, 0,
                  site(at, "unevaluatedProperties", &*properties)});
            node.tracksMembers = true;
        }
    }

    void numeric(const Json& schema, const Location& at, Draft draft) {
        const auto number = [&](std::string_view keyword) -> const Json* {
            const auto found = schema.find(keyword);
            if (found == schema.end()) return nullptr;
            if (!found->is_number()) {
                if (found->is_boolean() && draft == Draft::Draft4) return nullptr;
                fail(at.document, below(at, keyword),
                     "the value of " + std::string(keyword) + " is " + typeName(*found) +
                         ", where it must be a number");
            }
            return &*found;
        };
        const auto add = [&](Op op, std::string_view keyword, const Json* value) {
            plan_.numbers.push_back(numberOf(*value));
            emit({op, static_cast<std::uint32_t>(plan_.numbers.size() - 1), 0, kNone, 0, 0,
                  site(at, keyword, value)});
        };
        const Json* maximum = number("maximum");
        const Json* minimum = number("minimum");
        if (draft == Draft::Draft4) {
            const auto flag = [&](const char* keyword) {
                const auto found = schema.find(keyword);
                return found != schema.end() && found->is_boolean() && found->get<bool>();
            };
            if (maximum != nullptr) {
                add(flag("exclusiveMaximum") ? Op::ExclusiveMaximum : Op::Maximum, "maximum",
                    maximum);
            }
            if (minimum != nullptr) {
                add(flag("exclusiveMinimum") ? Op::ExclusiveMinimum : Op::Minimum, "minimum",
                    minimum);
            }
        } else {
            if (maximum != nullptr) add(Op::Maximum, "maximum", maximum);
            if (minimum != nullptr) add(Op::Minimum, "minimum", minimum);
            if (const Json* bound = number("exclusiveMaximum")) {
                add(Op::ExclusiveMaximum, "exclusiveMaximum", bound);
            }
            if (const Json* bound = number("exclusiveMinimum")) {
                add(Op::ExclusiveMinimum, "exclusiveMinimum", bound);
            }
        }
        if (const Json* divisor = number("multipleOf")) {
            if (!(compare(numberOf(*divisor), Number::ofInteger(0)) > 0)) {
                fail(
                    at.document, below(at, "multipleOf"),
                    "the value of multipleOf is " + divisor->dump() + ", where it must be above 0");
            }
            add(Op::MultipleOf, "multipleOf", divisor);
        }
    }

    /// Refuses a schema that leads back to the same value without end: a cycle of $ref, allOf,
    /// anyOf, oneOf, not, if and dependentSchemas that never moves to a member or element.
    void checkLoops() {
        const std::size_t count = plan_.nodes.size();
        std::vector<std::uint8_t> state(count, 0);  // 0 new, 1 on the path, 2 done
        struct Open {
            std::uint32_t node;
            std::vector<std::pair<std::uint32_t, std::uint32_t>> next;  // (node, instruction)
            std::size_t at = 0;
        };
        const auto successors = [&](std::uint32_t id) {
            std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
            const Node& node = plan_.nodes[id];
            for (std::uint32_t pc = node.first; pc < node.first + node.count; ++pc) {
                const Instruction& in = plan_.code[pc];
                switch (in.op) {
                    case Op::Ref:
                    case Op::Not:
                        out.emplace_back(in.a, pc);
                        break;
                    case Op::DynamicRef:
                        out.emplace_back(in.a, pc);
                        if (in.b != kNone) {
                            for (const auto& [name, target] : plan_.dynamicAnchors) {
                                if (name == in.b) out.emplace_back(target, pc);
                            }
                        }
                        break;
                    case Op::AllOf:
                    case Op::AnyOf:
                    case Op::OneOf:
                        for (std::uint32_t i = 0; i < in.b; ++i)
                            out.emplace_back(plan_.lists[in.a + i], pc);
                        break;
                    case Op::If:
                        for (const std::uint32_t branch : {in.a, in.b, in.c}) {
                            if (branch != kNone) out.emplace_back(branch, pc);
                        }
                        break;
                    case Op::DependentSchemas:
                        for (std::uint32_t i = 0; i < in.b; ++i) {
                            out.emplace_back(plan_.dependencies[in.a + i].first, pc);
                        }
                        break;
                    default:
                        break;
                }
            }
            return out;
        };
        for (std::uint32_t start = 0; start < count; ++start) {
            if (state[start] != 0) continue;
            std::vector<Open> path;
            path.push_back({start, successors(start)});
            state[start] = 1;
            while (!path.empty()) {
                Open& top = path.back();
                if (top.at == top.next.size()) {
                    state[top.node] = 2;
                    path.pop_back();
                    continue;
                }
                const auto [next, pc] = top.next[top.at++];
                if (state[next] == 1) {
                    const Site& where = plan_.sites[plan_.code[pc].site];
                    fail(where.document, where.path,
                         "this keyword leads back to a schema it is applied from, to the same "
                         "value, without end");
                }
                if (state[next] == 0) {
                    state[next] = 1;
                    path.push_back({next, successors(next)});
                }
            }
        }
    }

    Plan& plan_;
    Resolver& resolver_;
    const CompileOptions& options_;
    std::unordered_map<const Json*, Location> locations_;
    std::map<std::string, const Json*> resources_;
    std::map<std::string, const Json*> anchors_;
    std::set<std::string> dynamicAnchors_;
    std::set<std::string> tried_, remote_, unknownFormats_;
    std::map<std::string, std::uint32_t> dynamicNameIds_;
    std::vector<std::string> resourceUris_;
    std::vector<std::vector<std::pair<std::uint32_t, const Json*>>> resourceAnchors_;
    std::unordered_map<const Json*, std::uint32_t> nodeOf_;
    std::vector<const Json*> jsonOf_;
    std::deque<std::uint32_t> pending_;
    std::map<std::string, std::uint32_t> regexIds_;
};

}  // namespace

std::optional<Draft> draftOfUri(std::string_view uri) {
    if (uri.substr(0, 7) == "http://") {
        uri.remove_prefix(7);
    } else if (uri.substr(0, 8) == "https://") {
        uri.remove_prefix(8);
    } else {
        return std::nullopt;
    }
    if (!uri.empty() && uri.back() == '#') uri.remove_suffix(1);
    if (uri == "json-schema.org/draft-04/schema") return Draft::Draft4;
    if (uri == "json-schema.org/draft-06/schema") return Draft::Draft6;
    if (uri == "json-schema.org/draft-07/schema") return Draft::Draft7;
    if (uri == "json-schema.org/draft/2019-09/schema") return Draft::Draft2019;
    if (uri == "json-schema.org/draft/2020-12/schema") return Draft::Draft2020;
    if (uri == "json-schema.org/schema") return Draft::Draft2020;
    return std::nullopt;
}

std::string Plan::pointer(std::uint32_t path) const {
    std::string out;
    for (const std::string& step : steps(path)) appendStep(out, step);
    return out;
}

void compile(Plan& plan, Resolver& resolver, const CompileOptions& options) {
    Compiler(plan, resolver, options).run();
}

}  // namespace schema
