// Loading a schema: its files read and parsed, the root checked against the meta-schema of its
// draft, and the whole compiled by the validator (schema/), which asks for each other document a
// reference names. Local files are read here, relative to the file that names them; the
// meta-schemas come from the library; a remote schema that no file gives is not fetched.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>

#include "kessa/schema_impl.h"
#include "pelmo/file/file_uri.h"
#include "pelmo/file/input_file.h"
#include "pelmo/file/native_path.h"
#include "pelmo/file/utf8.h"
#include "schema/compile.h"
#include "schema/evaluate.h"
#include "schema/meta_schemas.h"
#include "schema/uri.h"

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
    return impl_->plan.documents.front().name;
}

std::vector<std::string> Schema::files() const {
    return impl_->files;
}

const std::vector<SchemaNotice>& Schema::notices() const {
    return impl_->notices;
}

std::pair<const schema::SchemaDocument*, TextPosition> Schema::Impl::locate(
    std::uint32_t site) const {
    const schema::Site& where = plan.sites[site];
    const schema::SchemaDocument& document = plan.documents[where.document];
    const auto place = detail::findPlace(document.text, plan.steps(where.path));
    return {&document, positionAt(document.text, place ? place->key : 0)};
}

std::optional<SchemaDraft> schemaDraftOfName(std::string_view name) {
    constexpr std::pair<std::string_view, SchemaDraft> kNames[] = {
        {"4", SchemaDraft::Draft4},
        {"draft-04", SchemaDraft::Draft4},
        {"draft4", SchemaDraft::Draft4},
        {"6", SchemaDraft::Draft6},
        {"draft-06", SchemaDraft::Draft6},
        {"draft6", SchemaDraft::Draft6},
        {"7", SchemaDraft::Draft7},
        {"draft-07", SchemaDraft::Draft7},
        {"draft7", SchemaDraft::Draft7},
        {"2019-09", SchemaDraft::Draft2019_09},
        {"2020-12", SchemaDraft::Draft2020_12},
    };
    for (const auto& [known, draft] : kNames) {
        if (known == name) return draft;
    }
    return std::nullopt;
}

namespace {

using Json = nlohmann::json;

std::string inQuotes(std::string_view text) {
    return Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
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

/// The URI a file is known by: its absolute path as a file: URI.
std::string uriOfFile(const std::string& file) {
    std::string path = std::filesystem::path(file).lexically_normal().generic_string();
    if (path.empty() || (path.front() != '/' && !pelmo::detail::isDrive(path))) {
        std::error_code error;
        const std::string here = std::filesystem::current_path(error).generic_string();
        if (!error) path = (std::filesystem::path(here) / path).lexically_normal().generic_string();
    }
    return pelmo::detail::uriOfPath(path);
}

/// The text parsed as JSON, or SchemaError with the place of the fault.
Json parseJson(const std::string& text, const std::string& file) {
    // The JSON parser takes a NUL byte for the end of the text, and would read what comes before.
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos) {
        throw SchemaError(file, positionAt(text, nul), "not JSON: a NUL byte");
    }
    try {
        return Json::parse(text);
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
}

schema::Draft draftOf(SchemaDraft draft) {
    switch (draft) {
        case SchemaDraft::Draft4:
            return schema::Draft::Draft4;
        case SchemaDraft::Draft6:
            return schema::Draft::Draft6;
        case SchemaDraft::Draft7:
            return schema::Draft::Draft7;
        case SchemaDraft::Draft2019_09:
            return schema::Draft::Draft2019;
        default:
            return schema::Draft::Draft2020;
    }
}

constexpr const char* kMetaUris[] = {
    "http://json-schema.org/draft-04/schema",       "http://json-schema.org/draft-06/schema",
    "http://json-schema.org/draft-07/schema",       "https://json-schema.org/draft/2019-09/schema",
    "https://json-schema.org/draft/2020-12/schema",
};

/// The meta-schemas alone: the library's own, nothing else.
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

/// The meta-schema of a draft, compiled once for the process; its formats are not checked.
const schema::Plan& metaPlan(schema::Draft draft) {
    static std::once_flag once[5];
    static schema::Plan plans[5];
    const auto index = static_cast<std::size_t>(draft);
    std::call_once(once[index], [&] {
        schema::Plan& plan = plans[index];
        const std::string uri = kMetaUris[index];
        const std::string text(*schema::bundledMetaSchema(uri));
        plan.documents.push_back({uri, uri, text, Json::parse(text)});
        MetaResolver resolver;
        schema::CompileOptions options;
        options.draft = draft;
        options.formats = false;
        schema::compile(plan, resolver, options);
    });
    return plans[index];
}

std::string kindOf(const schema::JsonDocument& document, schema::Ref ref) {
    switch (document.type(ref)) {
        case schema::Type::Object:
            return "an object";
        case schema::Type::Array:
            return "an array";
        case schema::Type::String:
            return "a string";
        case schema::Type::Boolean:
            return "a boolean";
        case schema::Type::Null:
            return "null";
        case schema::Type::Number:
            return "a number with a fraction";
        default:
            return document.number(ref).approximate() < 0 ? "a negative integer" : "an integer";
    }
}

/// The pointer of one value of a document, by the parents of all.
std::string pointerOf(const schema::JsonDocument& document, std::uint32_t index) {
    std::vector<std::uint32_t> parent(document.valueCount(), schema::kNone),
        position(parent.size());
    for (std::uint32_t i = 0; i < document.valueCount(); ++i) {
        const schema::Ref ref{i, false};
        const schema::Type type = document.type(ref);
        if (type != schema::Type::Object && type != schema::Type::Array) continue;
        for (std::uint32_t k = 0; k < document.size(ref); ++k) {
            parent[document.entry(ref, k).index] = i;
            position[document.entry(ref, k).index] = k;
        }
    }
    std::vector<std::string> steps;
    std::string buffer;
    for (std::uint32_t at = index; parent[at] != schema::kNone; at = parent[at]) {
        if (document.type(schema::Ref{parent[at], false}) == schema::Type::Object) {
            steps.emplace_back(document.string(schema::Ref{at, true}, buffer));
        } else {
            steps.push_back(std::to_string(position[at]));
        }
    }
    std::string pointer;
    for (std::size_t i = steps.size(); i-- != 0;) schema::appendStep(pointer, steps[i]);
    return pointer;
}

bool isHttp(std::string_view uri) {
    return uri.rfind("http://", 0) == 0 || uri.rfind("https://", 0) == 0;
}

class Loader final : public schema::Resolver {
public:
    Loader(Schema::Impl& out, const SchemaOptions& options) : out_(out), options_(options) {}

    /// What a fetch said of how it went, to say once of the schema.
    std::vector<std::pair<std::string, std::string>> fetchNotes;  // (URL, words)

    /// The files of options.resolve by the URI of their $id.
    void readResolved() {
        for (const std::string& given : options_.resolve) {
            std::vector<std::string> files;
            std::error_code error;
            const std::filesystem::path native = pelmo::toNativePath(given);
            if (std::filesystem::is_directory(native, error)) {
                for (auto it = std::filesystem::recursive_directory_iterator(native, error);
                     !error && it != std::filesystem::recursive_directory_iterator();
                     it.increment(error)) {
                    if (it->path().extension() == ".json")
                        files.push_back(it->path().generic_string());
                }
                std::sort(files.begin(), files.end());
            } else {
                files.push_back(given);
            }
            for (const std::string& file : files) {
                const std::string text = readFile(file);
                const Json json = parseJson(text, file);
                std::string id;
                for (const char* keyword : {"$id", "id"}) {
                    if (json.is_object() && json.contains(keyword) && json[keyword].is_string()) {
                        id = schema::splitFragment(json[keyword].get<std::string>()).first;
                        break;
                    }
                }
                if (id.empty() || !schema::hasScheme(id)) {
                    throw SchemaError(file, std::nullopt,
                                      "a schema given to resolve names no absolute URI with $id");
                }
                resolved_.emplace(id, file);
            }
        }
    }

    void load(std::string text, std::string file) {
        readResolved();
        const SchemaOptions& options = options_;
        out_.files.push_back(file);
        Json json = parseJson(text, file);
        const std::string uri =
            schema::hasScheme(file) && !pelmo::detail::isDrive(file) && file.rfind("file:", 0) != 0
                ? file
                : uriOfFile(file);
        out_.plan.documents.push_back({uri, file, std::move(text), std::move(json)});
        const schema::SchemaDocument& root = out_.plan.documents.front();
        schema::Draft draft = draftOf(options.draft);
        bool known = true;
        if (root.json.is_object() && root.json.contains("$schema") &&
            root.json["$schema"].is_string()) {
            const std::string declared = root.json["$schema"].get<std::string>();
            const auto named = schema::draftOfUri(schema::splitFragment(declared).first);
            if (named) {
                draft = *named;
            } else {
                known = false;
                if (declared.find("json-schema.org/draft-03/") != std::string::npos) draft3_ = true;
            }
        }
        if (known) checkAgainstMetaSchema(draft);
        schema::CompileOptions compileOptions;
        compileOptions.draft = draft3_ ? schema::Draft::Draft4 : draftOf(options.draft);
        try {
            schema::compile(out_.plan, *this, compileOptions);
        } catch (const schema::CompileError& error) {
            fail(error.document, error.pointer, error.reason);
        }
        notices();
    }

    const std::vector<std::string>& tried() const { return out_.files; }

    std::optional<schema::SchemaDocument> fetch(const std::string& uri, const schema::Plan& plan,
                                                std::uint32_t from, const std::string& pointer,
                                                std::string_view reference) override {
        if (const auto meta = schema::bundledMetaSchema(uri)) {
            return schema::SchemaDocument{uri, uri, std::string(*meta), Json::parse(*meta)};
        }
        const schema::SchemaDocument& referring = plan.documents[from];
        const std::string wanted(reference.substr(0, reference.find('#')));
        std::string file;
        const bool remoteBase = !isLocal(referring);
        if (const auto found = resolved_.find(uri); found != resolved_.end()) {
            file = found->second;
        } else if (remoteBase && pelmo::detail::pathOfUri(uri)) {
            fail(from, pointer,
                 "the $ref " + inQuotes(reference) + " of a remote schema names a local file, " +
                     fileName(*pelmo::detail::pathOfUri(uri)) +
                     ", which a remote schema may not read");
        } else if (isHttp(uri) && options_.fetch) {
            std::vector<std::string> notes;
            std::string text;
            try {
                text = options_.fetch(uri, notes);
            } catch (const SchemaError& error) {
                fail(from, pointer,
                     "the $ref " + inQuotes(reference) + " names " + uri + ", which " +
                         (error.reason().rfind("cannot fetch the schema: ", 0) == 0
                              ? "cannot be fetched: " + error.reason().substr(25)
                              : error.reason()));
            }
            for (std::string& note : notes) fetchNotes.emplace_back(uri, std::move(note));
            out_.files.push_back(uri);
            Json json = parseJson(text, uri);
            return schema::SchemaDocument{uri, uri, std::move(text), std::move(json)};
        } else if (const auto path = pelmo::detail::pathOfUri(uri)) {
            // A reference by a relative path keeps the words of the file that names it.
            file = schema::hasScheme(wanted) ? *path : resolvedPath(referring.name, wanted);
        } else if (!wanted.empty() && !schema::hasScheme(wanted) && !remoteBase &&
                   existsAsFile(resolvedPath(referring.name, wanted))) {
            // Under an $id, a relative reference names a URI; a file beside this one by that
            // name is taken for it.
            file = resolvedPath(referring.name, wanted);
        } else {
            return std::nullopt;
        }
        out_.files.push_back(file);
        std::string text;
        try {
            text = readFile(file);
        } catch (const SchemaError& error) {
            fail(from, pointer,
                 "the $ref " + inQuotes(reference) + " names " + fileName(file) + ", which " +
                     (error.reason().rfind("cannot read the schema: ", 0) == 0
                          ? "cannot be read: " + error.reason().substr(24)
                          : error.reason()));
        }
        Json json = parseJson(text, file);
        return schema::SchemaDocument{uri, file, std::move(text), std::move(json)};
    }

private:
    bool isLocal(const schema::SchemaDocument& document) const {
        return pelmo::detail::pathOfUri(document.uri).has_value();
    }

    /// Refuses the schema for the value at `pointer` of a document, placed at that value.
    [[noreturn]] void fail(std::uint32_t index, const std::string& pointer, std::string reason) {
        const schema::SchemaDocument& document = out_.plan.documents[index];
        const auto steps = schema::pointerSteps(pointer);
        const auto place = steps ? detail::findPlace(document.text, *steps) : std::nullopt;
        const std::uint64_t at = place ? place->value : 0;
        throw SchemaError(document.name, positionAt(document.text, at), std::move(reason));
    }

    /// The root document against the meta-schema of its draft: the deepest fault, at its place.
    void checkAgainstMetaSchema(schema::Draft draft) {
        const schema::SchemaDocument& root = out_.plan.documents.front();
        const schema::JsonDocument document = schema::JsonDocument::parse(root.text);
        const schema::Plan& meta = metaPlan(draft);
        if (schema::Evaluator<schema::JsonDocument>(meta, document, nullptr).run(document.root())) {
            return;
        }
        std::vector<schema::Fault> faults;
        schema::Evaluator<schema::JsonDocument>(meta, document, &faults).run(document.root());
        const schema::Fault* deepest = nullptr;
        for (const schema::Fault& fault : faults) {
            if (deepest == nullptr || fault.depth > deepest->depth) deepest = &fault;
        }
        if (deepest == nullptr) return;
        const schema::Ref at = deepest->instance;
        const std::string pointer = pointerOf(document, at.index);
        const schema::Op op = meta.code[deepest->instruction].op;
        const std::string keyword = pointer.substr(pointer.rfind('/') + 1);
        const bool underType = keyword == "type" || pointer.find("/type/") != std::string::npos;
        std::string words;
        std::string buffer;
        if (pointer.empty() && (op == schema::Op::Type || op == schema::Op::False)) {
            words = "is " + kindOf(document, at) + ", where a schema is an object";
        } else if (underType && document.type(at) == schema::Type::String) {
            words = "names the type " + inQuotes(document.string(at, buffer)) +
                    ", which is none of array, boolean, integer, null, number, object and string";
        } else if (op == schema::Op::Type || op == schema::Op::AnyOf || op == schema::Op::OneOf) {
            words = "is " + kindOf(document, at) + ", which the keyword \"" + keyword +
                    "\" does not take";
        } else if (op == schema::Op::Minimum || op == schema::Op::ExclusiveMinimum) {
            words = "is " + document.number(at).text() + ", below what the keyword \"" + keyword +
                    "\" takes";
        } else if (op == schema::Op::UniqueItems) {
            words = "repeats a value";
        } else if (op == schema::Op::MinItems) {
            words = "is an empty array, which the keyword \"" + keyword + "\" does not take";
        } else {
            words = "does not fit the keyword \"" + keyword + "\" as the meta-schema has it";
        }
        fail(0, pointer,
             "not a valid schema: " +
                 (pointer.empty() ? std::string("the schema") : "the value at " + pointer) + " " +
                 words);
    }

    void notices() {
        const auto add = [&](FindingKind kind, std::uint32_t site, std::string message) {
            const schema::Site& where = out_.plan.sites[site];
            const schema::SchemaDocument& document = out_.plan.documents[where.document];
            const auto place = detail::findPlace(document.text, out_.plan.steps(where.path));
            SchemaNotice notice{kind, document.name, {}, {}, 0, 0, std::move(message)};
            if (place) {
                notice.offset = place->key;
                notice.length = place->value + place->length - place->key;
            }
            notice.start = positionAt(document.text, notice.offset);
            notice.end = positionAt(document.text, notice.offset + notice.length);
            out_.notices.push_back(std::move(notice));
        };
        for (const schema::Notice& notice : out_.plan.notices) {
            add(notice.kind == schema::Notice::Kind::UnknownFormat ? FindingKind::SchemaUnchecked
                                                                   : FindingKind::SchemaRemoteRef,
                notice.site, notice.message);
        }
        for (const auto& [url, words] : fetchNotes) {
            SchemaNotice notice{FindingKind::SchemaCached, url, {1, 1}, {1, 1}, 0, 0, words};
            out_.notices.push_back(std::move(notice));
        }
        if (draft3_) {
            out_.plan.sites.push_back({0, out_.plan.addPath(0, "$schema"), nullptr});
            add(FindingKind::SchemaUnchecked,
                static_cast<std::uint32_t>(out_.plan.sites.size() - 1),
                "this schema declares draft 3, which is read here as draft 4: the keywords only "
                "draft 3 has (extends, disallow, divisibleBy, required beside a property) are not "
                "checked");
        }
        std::stable_sort(out_.notices.begin(), out_.notices.end(),
                         [](const auto& a, const auto& b) {
                             return a.file < b.file || (a.file == b.file && a.offset < b.offset);
                         });
    }

    Schema::Impl& out_;
    const SchemaOptions& options_;
    std::map<std::string, std::string> resolved_;  // files by the URI of their $id
    bool draft3_ = false;
};

}  // namespace

Schema Schema::parse(std::string_view text, std::string file, const SchemaOptions& options) {
    auto impl = std::make_unique<Impl>();
    Loader loader(*impl, options);
    try {
        loader.load(std::string(text), file);
    } catch (SchemaError& error) {
        error.files_ = loader.tried();
        if (error.files_.empty()) error.files_.push_back(file);
        throw;
    } catch (const Json::exception& error) {
        // What the JSON library refuses past the parse, such as a pointer it cannot follow.
        throw SchemaError(std::move(file), std::nullopt,
                          std::string("not a schema that can be checked: ") + error.what());
    }
    return Schema(std::move(impl));
}

Schema Schema::load(std::string_view location, const SchemaOptions& options) {
    if (isHttp(location)) {
        const std::string url(location);
        if (!options.fetch) {
            throw SchemaError(url, std::nullopt,
                              "cannot fetch the schema: fetching is not offered here; name its "
                              "file instead");
        }
        std::vector<std::string> notes;
        std::string text;
        try {
            text = options.fetch(url, notes);
        } catch (SchemaError& error) {
            error.files_ = {url};
            throw;
        }
        Schema schema = parse(text, url, options);
        for (std::string& note : notes) {
            schema.impl_->notices.insert(
                schema.impl_->notices.begin(),
                {FindingKind::SchemaCached, url, {1, 1}, {1, 1}, 0, 0, std::move(note)});
        }
        return schema;
    }
    std::string file = pelmo::detail::pathOfUri(location).value_or(std::string(location));
    if (file.empty()) throw SchemaError(std::string(location), std::nullopt, "the path is empty");
    std::string text;
    try {
        text = readFile(file);
    } catch (SchemaError& error) {
        error.files_ = {file};
        throw;
    }
    return parse(text, std::move(file), options);
}

}  // namespace kessa
