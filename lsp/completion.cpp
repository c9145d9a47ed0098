#include "lsp/completion.h"

#include <algorithm>
#include <optional>
#include <set>

#include "kessa/json_places.h"
#include "kessa/reader.h"
#include "lsp/cursor.h"
#include "lsp/schemas.h"

namespace lsp {

namespace {

/// How many values are tried against the schemas, and up to which array index a value's place
/// is written out for that.
constexpr std::size_t kMaxTried = 500;
constexpr std::uint64_t kMaxIndexTried = 1000;

/// A text that holds `value` at `path` and as little else as it can, with the value's JSON
/// pointer; none where the path cannot be written.
std::optional<std::pair<std::string, std::string>> placed(const kessa::InstancePath& path,
                                                          std::string_view value) {
    if (path.empty() || !std::holds_alternative<std::string>(path.front())) return std::nullopt;
    std::string text, pointer;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (i > 0) text += '{';
        if (const auto* key = std::get_if<std::string>(&path[i])) {
            const std::optional<std::string> written = kessa::keyTextOnLine(*key);
            if (!written) return std::nullopt;
            text.append(*written).append(1, '=');
            kessa::detail::appendPointerStep(pointer, *key);
        } else {
            const std::uint64_t index = std::get<std::uint64_t>(path[i]);
            if (index > kMaxIndexTried) return std::nullopt;
            for (std::uint64_t k = 0; k < index; ++k) text += "{=},";  // elements before it
            kessa::detail::appendPointerStep(pointer, std::to_string(index));
        }
    }
    text.append(value).append(path.size() - 1, '}').append(1, '\n');
    return std::make_pair(std::move(text), std::move(pointer));
}

/// Whether a schema finds fault with `value` at `path`: with the value itself or what is in it.
bool refused(const kessa::Schema& schema, const kessa::InstancePath& path, std::string_view value) {
    const auto text = placed(path, value);
    if (!text) return false;
    struct Faults final : kessa::FindingHandler {
        explicit Faults(const std::string& pointer) : pointer(pointer) {}
        void found(const kessa::Finding& finding) override {
            const std::string_view at = finding.pointer;
            any = any || at == pointer ||
                  (at.size() > pointer.size() && at.substr(0, pointer.size()) == pointer &&
                   at[pointer.size()] == '/');
        }
        const std::string& pointer;
        bool any = false;
    } faults(text->second);
    try {
        kessa::checkSchemaFindings(text->first, schema, faults);
    } catch (const kessa::SyntaxError&) {
        return false;
    }
    return faults.any;
}

std::string typesText(const std::vector<std::string>& types) {
    std::string text;
    for (const std::string& type : types) text.append(text.empty() ? "" : " or ").append(type);
    return text.empty() ? "any type" : text;
}

}  // namespace

std::vector<Completion> completionsAt(std::string_view text, std::uint64_t offset,
                                      const std::vector<const kessa::Schema*>& schemas,
                                      bool markdown) {
    std::vector<Completion> items;
    if (schemas.empty()) return items;
    CursorPlace place = cursorAt(text, offset);
    if (place.kind == CursorPlace::Kind::None) return items;
    offset = std::min<std::uint64_t>(offset, text.size());
    std::set<std::string> offered;
    if (place.kind == CursorPlace::Kind::Key) {
        std::vector<std::pair<bool, Completion>> keys;  // with whether it is required
        bool named = false;
        for (const kessa::Schema* schema : schemas) {
            for (const kessa::SchemaProperty& property : schema->properties(place.path)) {
                named = true;
                const std::optional<std::string> written = kessa::keyTextOnLine(property.name);
                const bool present = std::find(place.keys.begin(), place.keys.end(),
                                               property.name) != place.keys.end();
                if (!written || present || !offered.insert(property.name).second) continue;
                Completion item;
                item.kind = Completion::Kind::Key;
                item.label = property.name;
                item.detail =
                    typesText(property.hint.types) + (property.required ? ", required" : "");
                item.documentation = hintText(property.hint, markdown);
                item.text = *written + "=";
                item.begin = place.begin;
                item.end = offset;
                keys.emplace_back(property.required, std::move(item));
            }
        }
        std::stable_partition(keys.begin(), keys.end(), [](const auto& key) { return key.first; });
        for (auto& key : keys) {
            if (items.size() == kMaxCompletions) break;
            items.push_back(std::move(key.second));
        }
        // A brace that may yet hold an array, and names no member: its first value.
        if (named || !place.undecided) return items;
        place.path.emplace_back(std::uint64_t{0});
    }
    std::size_t tried = 0;
    for (const kessa::Schema* schema : schemas) {
        const kessa::SchemaHint hint = schema->hint(place.path);
        for (const kessa::SchemaValue& value : hint.values) {
            if (items.size() == kMaxCompletions) return items;
            if (!value.kessa || !offered.insert(*value.kessa).second) continue;
            if (tried++ < kMaxTried &&
                std::any_of(schemas.begin(), schemas.end(), [&](const kessa::Schema* each) {
                    return refused(*each, place.path, *value.kessa);
                })) {
                continue;
            }
            Completion item;
            item.kind = Completion::Kind::Value;
            item.label = *value.kessa;
            item.detail = value.json;
            item.documentation = hintText(hint, markdown);
            item.text = *value.kessa;
            item.begin = place.begin;
            item.end = offset;
            items.push_back(std::move(item));
        }
    }
    return items;
}

}  // namespace lsp
