// The check of a kessa text against a schema: the validator (schema/) evaluates what the text
// becomes, and each fault it keeps becomes a finding with a place in the text and words that say
// what the schema wants and, where the notation is the cause, why the text became what it did.

#include <algorithm>
#include <cmath>
#include <set>

#include "kessa/json_places.h"
#include "kessa/scalar.h"
#include "kessa/schema.h"
#include "kessa/schema_impl.h"
#include "kessa/schema_instance.h"
#include "pelmo/json/number_format.h"
#include "schema/evaluate.h"
#include "schema/format.h"

namespace kessa {

namespace {

using Json = nlohmann::json;
using detail::Instance;
using schema::Fault;
using schema::Op;
using schema::Ref;

/// The instance as the validator reads it: the values as the JSON text gives them.
class KessaDocument {
public:
    KessaDocument(const Instance& instance, std::uint32_t root) : in_(instance), root_(root) {}

    Ref root() const { return {root_, false}; }
    schema::Type type(Ref ref) const {
        if (ref.key) return schema::Type::String;
        switch (in_.node(ref.index).type) {
            case pelmo::JsonType::Integer:
                return schema::Type::Integer;
            case pelmo::JsonType::Float:
                return schema::Type::Number;
            case pelmo::JsonType::String:
                return schema::Type::String;
            case pelmo::JsonType::Array:
                return schema::Type::Array;
            default:
                return schema::Type::Object;
        }
    }
    schema::Number number(Ref ref) const {
        const Instance::Node& node = in_.node(ref.index);
        return node.type == pelmo::JsonType::Integer ? schema::Number::ofInteger(node.integer)
                                                     : schema::Number::ofReal(node.number);
    }
    bool boolean(Ref) const { return false; }
    std::string_view string(Ref ref, std::string& buffer) const {
        const Instance::Node& node = in_.node(ref.index);
        return ref.key ? in_.key(node, buffer) : in_.string(node, buffer);
    }
    std::uint32_t size(Ref ref) const { return in_.node(ref.index).count; }
    Ref entry(Ref ref, std::uint32_t i) const {
        return {in_.entries(in_.node(ref.index))[i], false};
    }
    bool shadowed(Ref ref) const { return (in_.node(ref.index).flags & Instance::kShadowed) != 0; }
    std::uint32_t kept(Ref ref) const { return in_.node(ref.index).kept; }

private:
    const Instance& in_;
    std::uint32_t root_;
};

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

std::string ordinal(std::uint64_t n) {
    constexpr const char* kWords[] = {"first", "second",  "third",  "fourth", "fifth",
                                      "sixth", "seventh", "eighth", "ninth",  "tenth"};
    if (n >= 1 && n <= 10) return kWords[n - 1];
    return "#" + std::to_string(n);
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

class Reporter {
public:
    Reporter(const Schema::Impl& schema, const Instance& instance, std::uint32_t root)
        : plan_(schema.plan), instance_(instance), root_(root) {}

    std::vector<Pending> findings(const std::vector<Fault>& faults) {
        std::vector<Pending> out;
        // A fault with the faults of its closest branch before it: those are said instead where
        // they lie deeper than its value, where the author mends them; else it says their first.
        std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges{
            {0, static_cast<std::uint32_t>(faults.size())}};
        while (!ranges.empty()) {
            const auto [begin, end] = ranges.back();
            ranges.pop_back();
            for (std::uint32_t i = end; i > begin;) {
                --i;
                const Fault& fault = faults[i];
                if (fault.childEnd > fault.childBegin) {
                    std::uint32_t deepest = 0;
                    for (std::uint32_t c = fault.childBegin; c < fault.childEnd; ++c) {
                        deepest = std::max(deepest, faults[c].depth);
                    }
                    if (deepest > fault.depth) {
                        ranges.emplace_back(fault.childBegin, fault.childEnd);
                    } else {
                        out.push_back(finding(fault, &faults[fault.childEnd - 1]));
                    }
                    i = fault.childBegin;
                    continue;
                }
                out.push_back(finding(fault, nullptr));
            }
        }
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

private:
    const schema::Instruction& instruction(const Fault& fault) const {
        return plan_.code[fault.instruction];
    }
    const Json* value(const Fault& fault) const {
        return plan_.sites[instruction(fault).site].value;
    }
    /// The keyword whose value a site is.
    std::string keywordOf(std::uint32_t site) const {
        const std::uint32_t path = plan_.sites[site].path;
        return path == 0 ? std::string() : plan_.paths[path].step;
    }
    /// The keyword that holds the schema a site is: "properties" for /properties/a, "items" for
    /// /items.
    std::string holderOf(std::uint32_t site) const {
        const std::uint32_t path = plan_.sites[site].path;
        if (path == 0) return "";
        const std::string& last = plan_.paths[path].step;
        const std::uint32_t up = plan_.paths[path].parent;
        const std::string parent = up == 0 ? std::string() : plan_.paths[up].step;
        const bool named = parent == "properties" || parent == "patternProperties" ||
                           parent == "$defs" || parent == "definitions" ||
                           parent == "dependentSchemas" || parent == "dependencies";
        const bool indexed =
            !last.empty() && last.find_first_not_of("0123456789") == std::string::npos;
        return named || indexed ? parent : last;
    }

    void parents() {
        if (!parent_.empty()) return;
        parent_.assign(instance_.size(), UINT32_MAX);
        position_.assign(parent_.size(), 0);
        for (std::uint32_t i = 0; i < parent_.size(); ++i) {
            const Instance::Node& node = instance_.node(i);
            if (node.type != pelmo::JsonType::Object && node.type != pelmo::JsonType::Array)
                continue;
            const auto entries = instance_.entries(node);
            for (std::uint32_t k = 0; k < entries.size(); ++k) {
                parent_[entries[k]] = i;
                position_[entries[k]] = k;
            }
        }
    }

    /// The JSON pointer of a value, from the value checked.
    std::string pointerOf(std::uint32_t index) {
        parents();
        std::vector<std::uint32_t> chain;
        for (std::uint32_t at = index; at != root_ && at != UINT32_MAX; at = parent_[at]) {
            chain.push_back(at);
        }
        std::string pointer, buffer;
        for (std::size_t i = chain.size(); i-- != 0;) {
            const std::uint32_t at = chain[i];
            const Instance::Node& up = instance_.node(parent_[at]);
            if (up.type == pelmo::JsonType::Object) {
                detail::appendPointerStep(pointer, instance_.key(instance_.node(at), buffer));
            } else {
                pointer += "/" + std::to_string(position_[at]);
            }
        }
        return pointer;
    }

    std::uint64_t firstLineLength() const {
        const std::string_view text = instance_.text();
        const std::size_t end = text.find('\n');
        return end == std::string_view::npos ? text.size() : end;
    }

    /// Where a finding about a whole value goes: a scalar's bytes; a container's key, or its
    /// left brace where it has no key, or the whole of braces with nothing between them; the
    /// first line for the text's top level.
    void place(std::uint32_t index, Pending& pending) const {
        const Instance::Node& node = instance_.node(index);
        if (index == 0) {
            pending.offset = 0;
            pending.length = firstLineLength();
            return;
        }
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
    /// A member's key, or its value where it has none.
    void placeKey(std::uint32_t index, Pending& pending) const {
        const Instance::Node& member = instance_.node(index);
        pending.offset = member.keySize != 0 ? member.keyBegin : member.begin;
        pending.length = member.keySize != 0
                             ? member.keySize
                             : std::max<std::uint64_t>(member.end - member.begin, 1);
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

    std::string keyText(std::uint32_t member) const {
        std::string buffer;
        return std::string(instance_.key(instance_.node(member), buffer));
    }

    Pending finding(const Fault& fault, const Fault* closest) {
        const schema::Instruction& in = instruction(fault);
        Pending out{FindingKind::SchemaCombination, keywordOf(in.site), 0, 0, "", ""};
        const std::uint32_t index = fault.instance.index;
        out.pointer = pointerOf(index);
        if (fault.instance.key) {
            placeKey(index, out);
        } else {
            place(index, out);
        }
        out.message = words(fault, out);
        if (closest != nullptr) {
            Pending reason = finding(*closest, nullptr);
            out.message += "; the closest, the " + ordinal(fault.extra + 1) +
                           " schema, fails: " + reason.message;
        }
        return out;
    }

    std::string words(const Fault& fault, Pending& out) {
        const schema::Instruction& in = instruction(fault);
        const Instance::Node& node = instance_.node(fault.instance.index);
        std::string buffer;
        switch (in.op) {
            case Op::False:
                out.kind = FindingKind::SchemaFalse;
                out.keyword = holderOf(in.site);
                return "the schema allows no value here";
            case Op::Type:
                out.kind = FindingKind::SchemaType;
                return typeWords(node, wantedTypes(*value(fault)));
            case Op::Const:
            case Op::Enum:
                out.kind = FindingKind::SchemaEnum;
                return enumWords(node, *value(fault), in.op == Op::Const);
            case Op::Minimum:
            case Op::Maximum:
            case Op::ExclusiveMinimum:
            case Op::ExclusiveMaximum:
            case Op::MultipleOf: {
                out.kind = FindingKind::SchemaRange;
                const std::string bound = value(fault)->dump();
                const std::string number = numberText(node);
                const std::string text = written(node);
                const std::string became =
                    text == inQuotes(number) ? text : text + ", which becomes " + number + ",";
                switch (in.op) {
                    case Op::MultipleOf:
                        return became + " is not a multiple of " + bound;
                    case Op::Maximum:
                        return became + " is above the maximum, " + bound;
                    case Op::Minimum:
                        return became + " is below the minimum, " + bound;
                    case Op::ExclusiveMaximum:
                        out.keyword = "exclusiveMaximum";
                        return became + " is not below " + bound + ", which the schema excludes";
                    default:
                        out.keyword = "exclusiveMinimum";
                        return became + " is not above " + bound + ", which the schema excludes";
                }
            }
            case Op::MinLength:
            case Op::MaxLength:
                out.kind = FindingKind::SchemaLength;
                return written(node) + " is " + std::to_string(fault.detail) +
                       " characters long, " +
                       (in.op == Op::MaxLength ? "more than the " : "fewer than the ") +
                       std::to_string(in.n) + " the schema allows";
            case Op::Pattern:
                out.kind = FindingKind::SchemaPattern;
                return written(node) + " does not match the pattern " +
                       inQuotes(value(fault)->get<std::string>());
            case Op::Format: {
                out.kind =
                    in.b != 0 ? FindingKind::SchemaFormatAssertion : FindingKind::SchemaFormat;
                const std::string name = value(fault)->get<std::string>();
                return written(node) + " is not " +
                       (std::string("aeiou").find(name[0]) != std::string::npos ? "an " : "a ") +
                       name +
                       (in.b != 0 ? ", which the schema's format asks for"
                                  : ", which the schema's format names (an annotation "
                                    "here, which does not make the value wrong)");
            }
            case Op::MinItems:
            case Op::MaxItems:
            case Op::MinProperties:
            case Op::MaxProperties: {
                out.kind = FindingKind::SchemaSize;
                const bool array = in.op == Op::MinItems || in.op == Op::MaxItems;
                const bool most = in.op == Op::MaxItems || in.op == Op::MaxProperties;
                return std::string(array ? "the array has " : "the object has ") +
                       std::to_string(fault.detail) + (array ? " elements, " : " members, ") +
                       (most ? "more" : "fewer") + " than the " + std::to_string(in.n) +
                       " the schema allows";
            }
            case Op::UniqueItems:
                out.kind = FindingKind::SchemaUnique;
                return "the array holds equal elements (indexes #" + std::to_string(fault.detail) +
                       " and #" + std::to_string(fault.extra) +
                       "), where the schema wants each element once";
            case Op::Required: {
                out.kind = FindingKind::SchemaRequired;
                std::string whose = "the text";
                if (fault.instance.index != 0) {
                    whose = (node.flags & Instance::kHasKey) != 0 && node.keySize != 0
                                ? "the object " + shown(instance_.key(node, buffer))
                                : "this object";
                }
                return whose + " has no member " + inQuotes(plan_.strings[fault.detail]) +
                       ", which the schema requires";
            }
            case Op::DependentRequired:
                out.kind = FindingKind::SchemaRequired;
                return "the member " + shown(keyText(fault.instance.index)) +
                       " requires a member " + inQuotes(plan_.strings[fault.detail]) +
                       " beside it, which its object does not have";
            case Op::Members: {
                out.kind = FindingKind::SchemaAdditional;
                out.keyword = "additionalProperties";
                placeKey(fault.instance.index, out);
                const std::string key = keyText(fault.instance.index);
                std::string message = "the schema allows no member " + inQuotes(key) + " here";
                std::string best;
                std::size_t distance = 3;
                for (const auto& [name, target] : plan_.propertyMaps[in.a]) {
                    const std::size_t d = editDistance(key, name);
                    if (d < distance) {
                        distance = d;
                        best = name;
                    }
                }
                if (!best.empty()) message += "; did you mean " + inQuotes(best) + "?";
                return message;
            }
            case Op::Items: {
                out.kind = FindingKind::SchemaAdditional;
                const std::uint32_t refusing =
                    fault.detail < in.b ? plan_.lists[in.a + fault.detail] : in.c;
                out.keyword = holderOf(plan_.nodes[refusing].site);
                return "the schema allows " + std::to_string(fault.detail) +
                       " elements here, and this is element " + std::to_string(fault.detail + 1);
            }
            case Op::UnevaluatedProperties:
                out.kind = FindingKind::SchemaAdditional;
                placeKey(fault.instance.index, out);
                return "the schema allows no member " + inQuotes(keyText(fault.instance.index)) +
                       " here: no keyword beside unevaluatedProperties names it";
            case Op::UnevaluatedItems:
                out.kind = FindingKind::SchemaAdditional;
                return "no keyword of the schema takes element " +
                       std::to_string(fault.detail + 1) +
                       " of this array, and unevaluatedItems allows no other";
            case Op::Contains:
                out.kind = FindingKind::SchemaContains;
                if (in.n == 1 && in.m == UINT64_MAX) {
                    return "the array has no element that fits what the schema's contains asks for";
                }
                return "the array has " + std::to_string(fault.detail) +
                       " elements that fit what the schema's contains asks for, where it wants " +
                       (fault.detail < in.n ? "at least " + std::to_string(in.n)
                                            : "at most " + std::to_string(in.m));
            case Op::PropertyNames:
                out.kind = FindingKind::SchemaPropertyName;
                return "the key " + shown(keyText(fault.instance.index)) +
                       " is one the schema's propertyNames refuses";
            case Op::Not:
                return written(node) + " fits the schema of not, which it must not";
            case Op::OneOf:
                if (fault.detail > 1) {
                    return written(node) +
                           " fits more than one of the schemas oneOf allows, and must fit exactly "
                           "one";
                }
                return written(node) + " fits none of the schemas oneOf allows";
            case Op::AnyOf:
                return written(node) + " fits none of the schemas anyOf allows";
            default:
                return "the value does not fit the schema";
        }
    }

    static std::vector<std::string> wantedTypes(const Json& type) {
        std::vector<std::string> names;
        if (type.is_string()) names.push_back(type.get<std::string>());
        if (type.is_array()) {
            for (const Json& name : type) {
                if (name.is_string()) names.push_back(name.get<std::string>());
            }
        }
        return names;
    }

    std::string enumWords(const Instance::Node& node, const Json& allowed, bool constant) const {
        std::vector<std::string> values;
        const auto add = [&](const Json& value) {
            if (values.size() == 8) {
                if (values.back() != "...") values.push_back("...");
                return;
            }
            const auto kessa = kessaTextFor(value);
            values.push_back(kessa ? *kessa
                                   : value.dump(-1, ' ', false, Json::error_handler_t::replace));
        };
        if (constant) {
            add(allowed);
        } else if (allowed.is_array()) {
            for (const Json& value : allowed) add(value);
        }
        std::string text = written(node);
        if (node.type == pelmo::JsonType::Integer || node.type == pelmo::JsonType::Float) {
            text += ", which becomes " + numberText(node) + ",";
        }
        if (constant) return text + " is not the one value the schema allows: " + values.front();
        return text + " is none of the values the schema allows" +
               (values.empty() ? std::string() : ": " + listed(values, "or"));
    }

    /// A value of a type the schema does not want: what it is, and where the notation made it
    /// so, why, and whether any text gives what the schema wants.
    std::string typeWords(const Instance::Node& node,
                          const std::vector<std::string>& wanted) const {
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
                               "for an empty object";
                    }
                    return "this is an array, where the schema wants an object: a brace makes an "
                           "object only where an equals sign comes before any comma";
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

    static std::string kindOf(const Instance::Node& node) {
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

    const schema::Plan& plan_;
    const Instance& instance_;
    std::uint32_t root_;
    std::vector<std::uint32_t> parent_, position_;
};

}  // namespace

namespace detail {

void checkInstance(const Schema::Impl& impl, const Instance& instance, std::uint32_t root,
                   FindingHandler& handler) {
    const KessaDocument document(instance, root);
    std::vector<Pending> findings;
    // Told without words first, which is faster; a text that fails, or whose formats the schema
    // names as annotations, is evaluated again for every fault and its place.
    if (!schema::Evaluator<KessaDocument>(impl.plan, document, nullptr).run(document.root()) ||
        impl.plan.annotatesFormats) {
        std::vector<Fault> faults;
        schema::Evaluator<KessaDocument>(impl.plan, document, &faults).run(document.root());
        findings = Reporter(impl, instance, root).findings(faults);
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
