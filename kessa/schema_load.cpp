// Loading a schema: its files read and parsed, checked against the meta-schema of their draft,
// and made ready for the validator. Every $ref to another file is resolved here, relative to the
// file that names it, and rewritten to name that file's document; remote ones are not fetched.
// What the validator would do differently from the draft (a pattern it cannot run, keywords of a
// later draft, formats) is taken out first, and said where it matters.

#include <nlohmann/json.hpp>
#include <valijson/adapters/nlohmann_json_adapter.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validation_results.hpp>
#include <valijson/validator.hpp>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "kessa/schema_impl.h"
#include "kessa/schema_meta.h"
#include "pelmo/file/file_uri.h"
#include "pelmo/file/input_file.h"
#include "pelmo/file/native_path.h"
#include "pelmo/file/utf8.h"

namespace kessa {

SchemaError::SchemaError(std::string file, std::optional<TextPosition> position, std::string reason)
    : pelmo::Exception(
          file +
          (position ? ":" + std::to_string(position->line) + ":" + std::to_string(position->column)
                    : std::string()) +
          ": " + reason),
      file_(std::move(file)),
      position_(position),
      reason_(std::move(reason)) {}

SchemaError::~SchemaError() = default;

Schema::Schema(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Schema::Schema(Schema&&) noexcept = default;
Schema& Schema::operator=(Schema&&) noexcept = default;
Schema::~Schema() = default;

const std::string& Schema::file() const {
    return impl_->documents.front().file;
}

std::vector<std::string> Schema::files() const {
    std::vector<std::string> files;
    for (const auto& document : impl_->documents) files.push_back(document.file);
    return files;
}

const std::vector<SchemaNotice>& Schema::notices() const {
    return impl_->notices;
}

std::pair<const Schema::Impl::Document*, std::string> Schema::Impl::locate(
    const std::string& pointer) const {
    const std::string prefix = "/" + std::string(kDocumentsKey) + "/";
    if (pointer.rfind(prefix, 0) != 0) return {&documents.front(), pointer};
    const std::size_t slash = pointer.find('/', prefix.size());
    const std::string index = pointer.substr(prefix.size(), slash - prefix.size());
    const std::size_t n = std::stoul(index) + 1;
    if (n >= documents.size()) return {&documents.front(), pointer};
    return {&documents[n], slash == std::string::npos ? std::string() : pointer.substr(slash)};
}

TextPosition positionOf(const Schema::Impl::Document& document, const std::string& pointer) {
    const auto place = document.places.places.find(pointer);
    return positionAt(document.text, place == document.places.places.end() ? 0 : place->second.key);
}

namespace {

using Json = nlohmann::json;
using Document = Schema::Impl::Document;

/// How deep a schema may nest: the validator's reading of a schema recurses per level.
constexpr std::size_t kMaxSchemaDepth = 200;

/// A pattern's length past which it is left unchecked: compiling one recurses per group.
constexpr std::size_t kMaxPatternLength = 2000;

std::string inQuotes(std::string_view text) {
    return Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool isRemote(std::string_view uri) {
    const std::size_t colon = uri.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;  // "C:" is a drive
    return uri.substr(0, 5) != "file:" &&
           uri.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+.-") == colon;
}

/// `reference`, a relative path, resolved against the folder of `from`, with "." and ".." taken
/// out as far as they go.
std::string resolvedPath(const std::string& from, std::string_view reference) {
    const std::string decoded = pelmo::detail::percentDecoded(reference);
    if (!decoded.empty() && (decoded.front() == '/' || decoded.find(':') == 1)) {
        return std::filesystem::path(decoded).lexically_normal().generic_string();
    }
    std::filesystem::path base = std::filesystem::path(from).parent_path();
    return (base / decoded).lexically_normal().generic_string();
}

/// A file's name as words show it: in double quotes, as it is, but for bytes that cannot be
/// printed.
std::string fileName(const std::string& file) {
    return "\"" + pelmo::detail::printable(file) + "\"";
}

bool existsAsFile(const std::string& file) {
    try {
        return pelmo::pathExists(pelmo::toNativePath(file));
    } catch (const std::exception&) {
        return false;
    }
}

std::string readFile(const std::string& file) {
    try {
        pelmo::InputFile input(pelmo::toNativePath(file));
        return std::string(input.read(true));
    } catch (const std::system_error& error) {
        throw SchemaError(file, std::nullopt, "cannot read the schema: " + error.code().message());
    }
}

/// The deepest nesting of brackets outside strings, and where it first passes `limit`.
std::optional<std::size_t> tooDeep(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > limit) return i;
        } else if ((c == '}' || c == ']') && depth != 0) {
            --depth;
        }
    }
    return std::nullopt;
}

Document parseDocument(std::string text, std::string file) {
    if (const auto at = tooDeep(text, kMaxSchemaDepth)) {
        throw SchemaError(
            file, positionAt(text, *at),
            "the schema nests deeper than " + std::to_string(kMaxSchemaDepth) + " levels");
    }
    // The JSON parser takes a NUL byte for the end of the text, and would read what comes before.
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos) {
        throw SchemaError(file, positionAt(text, nul), "not JSON: a NUL byte");
    }
    Document document;
    try {
        document.json = Json::parse(text);
    } catch (const Json::parse_error& error) {
        // "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error ..."
        std::string reason = error.what();
        const std::size_t colon = reason.find(": ", reason.find("parse error"));
        reason = colon == std::string::npos ? "not JSON" : "not JSON: " + reason.substr(colon + 2);
        const std::uint64_t at =
            error.byte == 0 ? 0 : std::min<std::uint64_t>(error.byte - 1, text.size());
        throw SchemaError(file, positionAt(text, at), reason);
    } catch (const Json::out_of_range& error) {
        // "... number overflow parsing '7e626'": a number beyond a double, placed where it stands.
        const std::string what = error.what();
        const std::size_t quote = what.find('\'');
        const std::string number =
            quote == std::string::npos ? "" : what.substr(quote + 1, what.rfind('\'') - quote - 1);
        const std::size_t at = number.empty() ? 0 : std::min(text.find(number), text.size());
        throw SchemaError(
            file, positionAt(text, at),
            "not JSON that can be read: the number " + number + " is beyond the range of a double");
    }
    document.places = detail::jsonPlaces(text);
    document.text = std::move(text);
    document.file = std::move(file);
    return document;
}

Draft draftOf(const Json& root) {
    if (!root.is_object()) return Draft::Draft7;
    const auto declared = root.find("$schema");
    if (declared == root.end() || !declared->is_string()) return Draft::Draft7;
    const std::string& uri = declared->get_ref<const std::string&>();
    if (uri.find("json-schema.org/") == std::string::npos) return Draft::Draft7;
    if (uri.find("draft-03/") != std::string::npos) return Draft::Draft3;
    if (uri.find("draft-04/") != std::string::npos) return Draft::Draft4;
    if (uri.find("draft-06/") != std::string::npos) return Draft::Draft6;
    if (uri.find("draft-07/") != std::string::npos) return Draft::Draft7;
    if (uri.find("/schema") != std::string::npos) return Draft::Later;
    return Draft::Draft7;
}

/// Keywords of drafts after 7 that 7 has no way to check.
constexpr std::string_view kLaterKeywords[] = {
    "$dynamicRef", "$dynamicAnchor", "$recursiveRef",    "$recursiveAnchor",      "$vocabulary",
    "minContains", "maxContains",    "unevaluatedItems", "unevaluatedProperties", "contentSchema",
};

/// Keywords whose value is a schema, an array of schemas, or an object of them.
enum class Holds : std::uint8_t { Schema, Schemas, NamedSchemas, SchemaOrSchemas, Dependencies };
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
    {"extends", Holds::SchemaOrSchemas},
    {"disallow", Holds::Schemas},
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

/// Whether std::regex, as the validator uses it, can run `pattern`: it compiles, and is short.
/// The error's words otherwise.
std::optional<std::string> patternFault(const std::string& pattern,
                                        std::unordered_map<std::string, std::regex>& regexes) {
    if (pattern.size() > kMaxPatternLength) {
        return "is longer than " + std::to_string(kMaxPatternLength) + " characters";
    }
    if (regexes.count(pattern) != 0) return std::nullopt;
    try {
        // Matched by the automaton rather than by backtracking, which recurses per character.
        regexes.emplace(pattern, std::regex(pattern, std::regex::ECMAScript |
                                                         std::regex_constants::__polynomial));
    } catch (const std::regex_error& error) {
        return std::string("cannot be read as a regular expression here (") + error.what() + ")";
    }
    return std::nullopt;
}

/// A $ref met in a document, to resolve once every file is read.
struct Reference {
    std::size_t document;
    std::string pointer;  ///< of the schema object that holds it
    std::string base;     ///< the absolute $id it lies under, if any
};

/// A place named by an $id.
struct Identified {
    std::size_t document;
    std::string pointer;
};

/// `reference` resolved against the absolute URI `base`, as far as an $id needs: an absolute
/// reference as it is, one from "/" from the base's host on, any other beside the base's last
/// segment.
std::string resolvedUri(const std::string& base, const std::string& reference) {
    if (reference.find("://") != std::string::npos || base.empty()) return reference;
    const std::size_t host = base.find("://");
    if (!reference.empty() && reference.front() == '/') {
        const std::size_t path = base.find('/', host + 3);
        return base.substr(0, path) + reference;
    }
    return base.substr(0, base.rfind('/') + 1) + reference;
}

class Loader {
public:
    explicit Loader(Schema::Impl& out) : out_(out) {}

    void load(Document root) {
        tried_.push_back(root.file);
        files_.emplace(std::filesystem::path(root.file).lexically_normal().generic_string(), 0);
        out_.documents.push_back(std::move(root));
        out_.draft = draftOf(out_.documents.front().json);
        checkAgainstMetaSchema(out_.documents.front());
        // Each document's $refs to files are read once it is walked, when its $ids are known.
        for (std::size_t i = 0; i < out_.documents.size(); ++i) {
            const std::size_t first = references_.size();
            walk(i);
            for (std::size_t r = first; r < references_.size(); ++r) loadFile(references_[r]);
        }
        // In document order, so that what is said once is said at the first place.
        std::stable_sort(references_.begin(), references_.end(),
                         [this](const Reference& a, const Reference& b) {
                             return a.document < b.document ||
                                    (a.document == b.document && placeOf(a) < placeOf(b));
                         });
        for (const Reference& reference : references_) rewrite(reference);
        noteLaterKeywords();
        merge();
        std::stable_sort(out_.notices.begin(), out_.notices.end(),
                         [](const auto& a, const auto& b) {
                             return a.file < b.file || (a.file == b.file && a.offset < b.offset);
                         });
        compile();
    }

private:
    /// Refuses the schema for the value at `pointer`, placed at that value.
    [[noreturn]] void fail(const Document& document, const std::string& pointer,
                           std::string reason) {
        const auto place = document.places.places.find(pointer);
        const std::uint64_t at = place == document.places.places.end() ? 0 : place->second.value;
        throw SchemaError(document.file, positionAt(document.text, at), std::move(reason));
    }

    void notice(FindingKind kind, const Document& document, const std::string& pointer,
                std::string message) {
        const auto place = document.places.places.find(pointer);
        SchemaNotice notice{kind, document.file, {}, {}, 0, 0, std::move(message)};
        if (place != document.places.places.end()) {
            notice.offset = place->second.key;
            notice.length = place->second.value + place->second.length - place->second.key;
        }
        notice.start = positionAt(document.text, notice.offset);
        notice.end = positionAt(document.text, notice.offset + notice.length);
        out_.notices.push_back(std::move(notice));
    }

    std::uint64_t placeOf(const Reference& reference) const {
        const auto& places = out_.documents[reference.document].places.places;
        const auto place = places.find(reference.pointer);
        return place == places.end() ? 0 : place->second.value;
    }

    /// The root document against the meta-schema of its draft: the first fault, at its place.
    void checkAgainstMetaSchema(const Document& document) {
        const valijson::Schema* meta = detail::metaSchema(out_.draft == Draft::Draft4 ? 4 : 7);
        if (out_.draft == Draft::Draft3 || meta == nullptr) return;
        valijson::Validator validator;
        valijson::ValidationResults results;
        if (validator.validate(*meta, valijson::adapters::NlohmannJsonAdapter(document.json),
                               &results)) {
            return;
        }
        // The deepest fault says most; an alternative's own fault comes after its branches'.
        valijson::ValidationResults::Error error, deepest;
        while (results.popError(error)) {
            if (error.context.size() > deepest.context.size()) deepest = error;
        }
        std::string pointer;
        for (std::size_t i = 1; i < deepest.context.size(); ++i) {
            const std::string& step = deepest.context[i];
            detail::appendPointerStep(pointer, std::string_view(step).substr(1, step.size() - 2));
        }
        fail(document, pointer,
             "not a valid schema: " + describePointer(pointer) + " " +
                 detail::metaFaultWords(document.json, pointer, deepest.description));
    }

    static std::string describePointer(const std::string& pointer) {
        return pointer.empty() ? "the schema" : "the value at " + pointer;
    }

    /// Walks the schemas of one document: notes its $refs, anchors and later keywords, takes out
    /// what the validator cannot check. Its own stack: schemas may nest deep.
    void walk(std::size_t index) {
        struct Step {
            Json* schema;
            std::string pointer;
            std::string base;  // the absolute $id it lies under
        };
        std::vector<Step> pending{{&out_.documents[index].json, "", ""}};
        while (!pending.empty()) {
            Step step = std::move(pending.back());
            pending.pop_back();
            if (!step.schema->is_object()) continue;
            Json& schema = *step.schema;
            Document& document = out_.documents[index];
            schema.erase("format");  // an annotation; the validator's checks recurse per byte
            notePattern(document, schema, step.pointer);
            if (const auto anchor = schema.find("$anchor");
                anchor != schema.end() && anchor->is_string()) {
                anchors_[{index, anchor->get<std::string>()}] = step.pointer;
            }
            for (const char* id : {"$id", "id"}) {
                const auto found = schema.find(id);
                if (found == schema.end() || !found->is_string()) continue;
                const std::string& text = found->get_ref<const std::string&>();
                if (text.size() > 1 && text.front() == '#') {
                    anchors_[{index, text.substr(1)}] = step.pointer;
                    continue;
                }
                const std::string uri = resolvedUri(step.base, text.substr(0, text.find('#')));
                if (uri.find("://") != std::string::npos) {
                    step.base = uri;
                    ids_.emplace(uri, Identified{index, step.pointer});
                }
            }
            // The validator would take an id as the scope of the $refs below it; they are all
            // resolved here.
            schema.erase("id");
            if (out_.draft == Draft::Draft3 || out_.draft == Draft::Draft4) {
                // Words of later drafts, which the validator would refuse rather than ignore.
                schema.erase("propertyNames");
                schema.erase("if");
            }
            if (out_.draft == Draft::Later) {
                translateLater(schema);
                for (const std::string_view keyword : kLaterKeywords) {
                    if (schema.contains(keyword))
                        laterKeywords_.emplace(keyword, Reference{index, step.pointer, {}});
                }
            }
            if (schema.contains("propertyNames")) names_.push_back({index, step.pointer, {}});
            if (const auto ref = schema.find("$ref"); ref != schema.end() && ref->is_string()) {
                references_.push_back({index, step.pointer, step.base});
            }
            for (const auto& [keyword, holds] : kSubschemaKeywords) {
                const auto found = schema.find(keyword);
                if (found == schema.end()) continue;
                std::string pointer = step.pointer;
                detail::appendPointerStep(pointer, keyword);
                Json& value = *found;
                const bool many = holds == Holds::Schemas ||
                                  (holds == Holds::SchemaOrSchemas && value.is_array());
                if (many && value.is_array()) {
                    for (std::size_t i = 0; i < value.size(); ++i) {
                        pending.push_back(
                            {&value[i], pointer + "/" + std::to_string(i), step.base});
                    }
                } else if ((holds == Holds::NamedSchemas || holds == Holds::Dependencies) &&
                           value.is_object()) {
                    for (auto& [name, member] : value.items()) {
                        if (holds == Holds::Dependencies && member.is_array()) continue;
                        std::string named = pointer;
                        detail::appendPointerStep(named, name);
                        pending.push_back({&member, std::move(named), step.base});
                    }
                } else if (!many) {
                    pending.push_back({&value, std::move(pointer), step.base});
                }
            }
        }
    }

    /// pattern and the keys of patternProperties, where std::regex cannot run them, are left out.
    void notePattern(const Document& document, Json& schema, const std::string& pointer) {
        if (const auto pattern = schema.find("pattern");
            pattern != schema.end() && pattern->is_string()) {
            if (const auto fault = patternFault(pattern->get<std::string>(), out_.regexes)) {
                notice(FindingKind::SchemaUnchecked, document, pointer + "/pattern",
                       "the pattern " + inQuotes(pattern->get<std::string>()) + " " + *fault +
                           ", so it is not checked");
                schema.erase("pattern");
            }
        }
        const auto patterns = schema.find("patternProperties");
        if (patterns == schema.end() || !patterns->is_object()) return;
        std::vector<std::string> unusable;
        for (const auto& [pattern, subschema] : patterns->items()) {
            if (const auto fault = patternFault(pattern, out_.regexes)) {
                std::string at = pointer + "/patternProperties";
                detail::appendPointerStep(at, pattern);
                notice(FindingKind::SchemaUnchecked, document, at,
                       "the pattern " + inQuotes(pattern) + " " + *fault +
                           ", so the members it names are not checked");
                unusable.push_back(pattern);
            }
        }
        for (const std::string& pattern : unusable) patterns->erase(pattern);
    }

    /// Keywords of later drafts that say what a draft 7 keyword says, in its words.
    void translateLater(Json& schema) {
        if (const auto prefix = schema.find("prefixItems");
            prefix != schema.end() && prefix->is_array()) {
            Json items = *prefix;
            if (const auto rest = schema.find("items"); rest != schema.end())
                schema["additionalItems"] = *rest;
            schema["items"] = std::move(items);
            schema.erase("prefixItems");
        }
        for (const char* keyword : {"dependentRequired", "dependentSchemas"}) {
            const auto found = schema.find(keyword);
            if (found == schema.end() || !found->is_object()) continue;
            Json& dependencies = schema["dependencies"];
            if (!dependencies.is_object()) dependencies = Json::object();
            for (const auto& [name, value] : found->items()) dependencies[name] = value;
            schema.erase(found);
        }
        // From 2019-09 on a $ref applies beside the keywords next to it, as allOf has it.
        const auto ref = schema.find("$ref");
        if (ref != schema.end() && schema.size() > 1) {
            Json all = Json::array({Json{{"$ref", *ref}}});
            if (const auto before = schema.find("allOf");
                before != schema.end() && before->is_array()) {
                for (const Json& item : *before) all.push_back(item);
            }
            schema.erase("$ref");
            schema["allOf"] = std::move(all);
        }
    }

    /// The place an $id names for the URI of `reference`, if one does.
    const Identified* identified(const Reference& reference, const std::string& uri) const {
        const auto found = ids_.find(resolvedUri(reference.base, uri));
        return found == ids_.end() ? nullptr : &found->second;
    }

    /// Reads the file a $ref names, once, if it names a local one; a meta-schema of drafts 4
    /// and 7 is at hand without a fetch.
    void loadFile(const Reference& reference) {
        const Document& from = out_.documents[reference.document];
        const std::string text =
            from.json.at(Json::json_pointer(reference.pointer)).at("$ref").get<std::string>();
        const std::string uri = text.substr(0, text.find('#'));
        if (uri.empty() || identified(reference, uri) != nullptr) return;
        if (const auto meta = detail::metaSchemaText(uri)) {
            files_.emplace(uri, out_.documents.size());
            out_.documents.push_back(parseDocument(std::string(*meta), uri));
            return;
        }
        if (isRemote(uri) || files_.count(fileFor(reference.document, uri)) != 0) return;
        const std::string file = fileFor(reference.document, uri);
        // Under an $id, a relative $ref names a URI; a file beside this one by that name is
        // taken for it, and without one the URI is remote.
        if (!reference.base.empty() && !existsAsFile(file)) return;
        files_.emplace(file, out_.documents.size());
        tried_.push_back(file);
        std::string content;
        try {
            content = readFile(file);
        } catch (const SchemaError& error) {
            fail(from, reference.pointer + "/$ref",
                 "the $ref " + inQuotes(text) + " names " + fileName(file) + ", which " +
                     (error.reason().rfind("cannot read the schema: ", 0) == 0
                          ? "cannot be read: " + error.reason().substr(24)
                          : error.reason()));
        }
        out_.documents.push_back(parseDocument(std::move(content), file));
    }

    std::string fileFor(std::size_t from, const std::string& uri) const {
        if (const auto file = pelmo::detail::pathOfUri(uri)) return *file;
        return resolvedPath(out_.documents[from].file, uri);
    }

    /// Makes the $ref at `reference` name its document as the validator finds it, or takes it
    /// out where it is remote.
    void rewrite(const Reference& reference) {
        Document& document = out_.documents[reference.document];
        Json& schema = document.json.at(Json::json_pointer(reference.pointer));
        const std::string text = schema.at("$ref").get<std::string>();
        const std::size_t hash = text.find('#');
        const std::string uri = text.substr(0, hash);
        std::string fragment = hash == std::string::npos ? "" : text.substr(hash + 1);
        std::size_t target = reference.document;
        if (!uri.empty()) {
            if (const Identified* known = identified(reference, uri)) {
                target = known->document;
                if (fragment.empty() || fragment.front() == '/')
                    fragment = known->pointer + fragment;
            } else if (const auto meta = files_.find(uri); meta != files_.end()) {
                target = meta->second;
            } else if (const auto file = isRemote(uri)
                                             ? files_.end()
                                             : files_.find(fileFor(reference.document, uri));
                       file != files_.end()) {
                target = file->second;
            } else {
                if (remote_.insert(uri).second) {
                    notice(FindingKind::SchemaRemoteRef, document, reference.pointer + "/$ref",
                           "the $ref " + inQuotes(text) +
                               " names a remote schema, which is not fetched: what it describes "
                               "is not checked; save it beside this file and name it by its path");
                }
                schema = Json::object();
                return;
            }
        }
        if (!fragment.empty() && fragment.front() != '/') {
            const auto anchor = anchors_.find({target, fragment});
            if (anchor == anchors_.end()) {
                fail(document, reference.pointer + "/$ref",
                     "the $ref " + inQuotes(text) + " names an anchor that " +
                         fileName(out_.documents[target].file) + " does not have");
            }
            fragment = anchor->second;
        }
        if (!resolves(out_.documents[target].json, fragment)) {
            fail(document, reference.pointer + "/$ref",
                 "the $ref " + inQuotes(text) + " points at nothing in " +
                     fileName(out_.documents[target].file));
        }
        // Every file goes into the first one's document (see merge), so every $ref is local.
        std::string local = "#";
        if (target != 0) {
            local += "/" + std::string(kDocumentsKey) + "/" + std::to_string(target - 1);
        }
        schema["$ref"] = local + fragment;
    }

    /// The other files' documents, under a key of the first one's, so that the validator reads
    /// one document with one scope: its caches are keyed by pointers alone.
    void merge() {
        out_.merged = out_.documents.front().json;
        if (!out_.merged.is_object()) return;
        if (out_.documents.size() > 1) {
            Json& others = out_.merged[std::string(kDocumentsKey)];
            others = Json::array();
            for (std::size_t i = 1; i < out_.documents.size(); ++i) {
                others.push_back(out_.documents[i].json);
            }
        }
        hoistPropertyNames();
    }

    /// The validator files the schema of a propertyNames under its parent's place, where the
    /// parent's own schema may already be: then it checks keys against the parent. A $ref in its
    /// stead files it under the place the $ref names, one of its own.
    void hoistPropertyNames() {
        if (names_.empty()) return;
        std::vector<std::string> pointers;
        for (const Reference& at : names_) {
            pointers.push_back((at.document == 0 ? std::string()
                                                 : "/" + std::string(kDocumentsKey) + "/" +
                                                       std::to_string(at.document - 1)) +
                               at.pointer);
        }
        // The deepest first, so that moving one leaves the places of the others as they were.
        std::stable_sort(
            pointers.begin(), pointers.end(), [](const std::string& a, const std::string& b) {
                return std::count(a.begin(), a.end(), '/') > std::count(b.begin(), b.end(), '/');
            });
        Json& hoisted = out_.merged[std::string(kNamesKey)];
        hoisted = Json::array();
        for (const std::string& pointer : pointers) {
            Json& schema = out_.merged.at(Json::json_pointer(pointer));
            const std::string target =
                "#/" + std::string(kNamesKey) + "/" + std::to_string(hoisted.size());
            hoisted.push_back(std::move(schema["propertyNames"]));
            schema["propertyNames"] = Json{{"$ref", target}};
        }
    }

    /// Whether the JSON pointer `fragment`, %-escapes and all, names a value of `json`.
    static bool resolves(const Json& json, const std::string& fragment) {
        try {
            return json.contains(Json::json_pointer(pelmo::detail::percentDecoded(fragment)));
        } catch (const Json::exception&) {
            return false;
        }
    }

    void noteLaterKeywords() {
        if (laterKeywords_.empty()) return;
        std::string names;
        for (const auto& [keyword, where] : laterKeywords_) {
            if (!names.empty()) names += ", ";
            names += keyword;
        }
        notice(FindingKind::SchemaUnchecked, out_.documents.front(), "/$schema",
               "this schema declares a draft after 7; it is checked with the rules that draft "
               "shares with draft 7, and these keywords are not checked: " +
                   names);
    }

    void compile() {
        const auto version = out_.draft == Draft::Draft3   ? valijson::SchemaParser::kDraft3
                             : out_.draft == Draft::Draft4 ? valijson::SchemaParser::kDraft4
                                                           : valijson::SchemaParser::kDraft7;
        valijson::SchemaParser parser(version);
        try {
            parser.populateSchema(valijson::adapters::NlohmannJsonAdapter(out_.merged),
                                  out_.compiled);
        } catch (const std::runtime_error& error) {
            throw SchemaError(out_.documents.front().file, std::nullopt,
                              std::string("not a schema that can be checked: ") + error.what());
        } catch (const std::logic_error& error) {
            throw SchemaError(out_.documents.front().file, std::nullopt,
                              std::string("not a schema that can be checked: ") + error.what());
        }
        // Each propertyNames alone as well: the validator says nothing of the key it refuses.
        const auto names = out_.merged.find(std::string(kNamesKey));
        if (names == out_.merged.end()) return;
        for (std::size_t i = 0; i < names->size(); ++i) {
            Json entry = out_.merged;
            entry["$ref"] = "#/" + std::string(kNamesKey) + "/" + std::to_string(i);
            auto& schema = out_.propertyNames.emplace_back(std::make_unique<valijson::Schema>());
            parser.populateSchema(valijson::adapters::NlohmannJsonAdapter(entry), *schema);
        }
    }

public:
    const std::vector<std::string>& tried() const { return tried_; }

private:
    Schema::Impl& out_;
    std::vector<Reference> references_;
    std::vector<Reference> names_;              // the schemas that have a propertyNames
    std::map<std::string, std::size_t> files_;  // read, by path
    std::vector<std::string> tried_;            // each file read or tried, in order
    std::map<std::string, Identified> ids_;     // places by their absolute $id
    std::map<std::pair<std::size_t, std::string>, std::string> anchors_;  // to pointers
    std::set<std::string> remote_;
    std::map<std::string_view, Reference> laterKeywords_;
};

}  // namespace

Schema Schema::parse(std::string_view text, std::string file) {
    auto impl = std::make_unique<Impl>();
    Loader loader(*impl);
    try {
        try {
            loader.load(parseDocument(std::string(text), file));
        } catch (SchemaError& error) {
            error.files_ = loader.tried();
            if (error.files_.empty()) error.files_.push_back(file);
            throw;
        }
    } catch (const Json::exception& error) {
        // What the JSON library refuses past the parse, such as a pointer it cannot follow.
        throw SchemaError(std::move(file), std::nullopt,
                          std::string("not a schema that can be checked: ") + error.what());
    }
    return Schema(std::move(impl));
}

Schema Schema::load(std::string_view location) {
    std::string file = pelmo::detail::pathOfUri(location).value_or(std::string(location));
    if (file.empty()) throw SchemaError(std::string(location), std::nullopt, "the path is empty");
    std::string text;
    try {
        text = readFile(file);
    } catch (SchemaError& error) {
        error.files_ = {file};
        throw;
    }
    return parse(text, std::move(file));
}

}  // namespace kessa
