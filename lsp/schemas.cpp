#include "lsp/schemas.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "kessa/reader.h"
#include "kessa/schema_fetch.h"
#include "lsp/analysis.h"
#include "pelmo/file/native_path.h"

namespace lsp {

namespace {

/// The folder of a path, '/' between folders.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string inQuotes(std::string_view text) {
    std::string out(1, '"');
    out.append(text).append(1, '"');
    return out;
}

/// The first line of a text: where a diagnostic about the whole document stands.
std::uint64_t firstLineLength(std::string_view text) {
    const std::size_t end = text.find_first_of("\r\n");
    return end == std::string_view::npos ? text.size() : end;
}

}  // namespace

SchemaStore::Stamp SchemaStore::stampOf(const std::string& path) {
    Stamp stamp;
    stamp.path = path;
    try {
        const std::filesystem::path native = pelmo::toNativePath(path);
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::status(native, error);
        if (error || !std::filesystem::exists(status)) return stamp;
        stamp.exists = true;
        stamp.time = std::filesystem::last_write_time(native, error);
        if (std::filesystem::is_regular_file(status)) {
            stamp.size = std::filesystem::file_size(native, error);
        }
    } catch (const std::system_error&) {
        // A path the system cannot name: as good as missing.
    }
    return stamp;
}

std::shared_ptr<const LoadedSchema> SchemaStore::get(const SchemaAssociation& association) {
    const auto found = entries_.find(association.location);
    if (found != entries_.end() && !found->second.stale) {
        const std::vector<Stamp>& stamps = found->second.stamps;
        const bool same = std::all_of(stamps.begin(), stamps.end(), [](const Stamp& stamp) {
            return stampOf(stamp.path) == stamp;
        });
        if (same) return found->second.loaded;
    }
    auto loaded = std::make_shared<LoadedSchema>();
    loaded->name = association.name;
    loaded->location = association.location;
    std::vector<std::string> watched;
    try {
        const bool url = association.location.rfind("http://", 0) == 0 ||
                         association.location.rfind("https://", 0) == 0;
        if (!association.local && !url) {
            throw kessa::SchemaError(association.location, std::nullopt,
                                     "the server reads schemas from local files and http(s) "
                                     "URLs only");
        }
        kessa::SchemaOptions options;
        options.fetch = kessa::httpSchemaFetch();
        auto schema =
            std::make_shared<kessa::Schema>(kessa::Schema::load(association.location, options));
        loaded->files = schema->files();
        loaded->schema = std::move(schema);
        watched = loaded->files;
    } catch (const kessa::SchemaError& error) {
        loaded->error = error.what();
        loaded->files = {association.location};
        for (const std::string& file : error.files()) {
            if (std::find(loaded->files.begin(), loaded->files.end(), file) == loaded->files.end())
                loaded->files.push_back(file);
        }
        if (std::find(loaded->files.begin(), loaded->files.end(), error.file()) ==
            loaded->files.end())
            loaded->files.push_back(error.file());
        // A file that is missing, here or behind a $ref, may yet be made: its folder changes.
        watched = loaded->files;
        for (const std::string& file : loaded->files) watched.push_back(folderOf(file));
    } catch (const std::bad_alloc&) {
        loaded->error = association.location + ": out of memory";
        loaded->files = {association.location};
        watched = loaded->files;
    }
    Entry entry;
    entry.loaded = std::move(loaded);
    for (const std::string& path : watched) entry.stamps.push_back(stampOf(path));
    const std::shared_ptr<const LoadedSchema> result = entry.loaded;
    entries_.insert_or_assign(association.location, std::move(entry));
    return result;
}

bool SchemaStore::changed(std::string_view path) {
    bool any = false;
    for (auto& [location, entry] : entries_) {
        const std::vector<std::string>& files = entry.loaded->files;
        const bool reads = std::find(files.begin(), files.end(), path) != files.end() ||
                           std::any_of(entry.stamps.begin(), entry.stamps.end(),
                                       [&](const Stamp& stamp) { return stamp.path == path; });
        if (reads) entry.stale = any = true;
    }
    return any;
}

void SchemaStore::keepOnly(const std::vector<std::string>& locations) {
    std::erase_if(entries_, [&](const auto& entry) {
        return std::find(locations.begin(), locations.end(), entry.first) == locations.end();
    });
}

std::vector<std::string> SchemaStore::files() const {
    std::set<std::string> files;
    for (const auto& [location, entry] : entries_) {
        for (const std::string& file : entry.loaded->files) {
            // A URL is no file to watch: the cache revalidates it when the schema is read again.
            if (file.rfind("http://", 0) != 0 && file.rfind("https://", 0) != 0) files.insert(file);
        }
    }
    return {files.begin(), files.end()};
}

void diagnoseSchema(std::string_view text, const LoadedSchema& schema, DiagnosticList& list,
                    const std::atomic<bool>* stale) {
    const std::uint64_t firstLine = firstLineLength(text);
    if (!schema.schema) {
        list.pin({0, firstLine, kessa::Severity::Error, kSchemaErrorCode,
                  "the schema " + inQuotes(schema.name) + " cannot be used: " + schema.error});
        return;
    }
    for (const kessa::SchemaNotice& notice : schema.schema->notices()) {
        const kessa::Finding finding{notice.kind, 0, {}};
        list.add({0, firstLine, finding.severity(), finding.code(),
                  "the schema " + inQuotes(schema.name) + ": " + notice.message + " (" +
                      notice.file + ":" + std::to_string(notice.start.line) + ":" +
                      std::to_string(notice.start.column) + ")"});
    }
    DiagnosticCollector collect(list, stale);
    try {
        kessa::checkSchemaFindings(text, *schema.schema, collect);
    } catch (const kessa::SyntaxError&) {
        // The notation's own diagnostics pin the fault.
    } catch (const std::length_error&) {
        list.pin({0,
                  firstLine,
                  kessa::Severity::Note,
                  {},
                  "the document holds too many values to be checked against the schema " +
                      inQuotes(schema.name)});
    }
}

std::string markdownEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        if (c == '\n') {
            out += "  \n";  // a line break, not a space
        } else if (std::string_view("\\`*_[]<>#|~").find(c) != std::string_view::npos) {
            out.append(1, '\\').append(1, c);
        } else {
            out += c;
        }
    }
    return out;
}

std::string hintText(const kessa::SchemaHint& hint, bool markdown) {
    if (hint.title.empty() && hint.description.empty()) return {};
    const std::string line = std::to_string(hint.position.line);
    const std::string column = std::to_string(hint.position.column);
    std::string text;
    if (!markdown) {
        text = hint.title;
        if (!hint.description.empty()) {
            text.append(text.empty() ? "" : "\n").append(hint.description);
        }
        return text.append("\nFrom ").append(hint.file).append(":" + line + ":" + column);
    }
    if (!hint.title.empty()) text.append("**").append(markdownEscaped(hint.title)).append("**");
    if (!hint.description.empty()) {
        text.append(text.empty() ? "" : "\n\n").append(markdownEscaped(hint.description));
    }
    // Editors open a file: link with #L<line>,<column> at that place.
    const std::size_t slash = hint.file.find_last_of('/');
    const std::string name = slash == std::string::npos ? hint.file : hint.file.substr(slash + 1);
    return text.append("\n\nFrom [")
        .append(markdownEscaped(name + ":" + line))
        .append("](")
        .append(uriOfPath(hint.file))
        .append("#L" + line + "," + column + ")");
}

}  // namespace lsp
