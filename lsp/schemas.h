#pragma once

// The schemas the server has read, each read again once one of its files changed, and what they
// say of a document: its diagnostics, and the words of hovers and completion items.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/schema.h"
#include "lsp/diagnostics.h"
#include "lsp/settings.h"

namespace lsp {

/// The code of the diagnostic that says a schema cannot be used.
constexpr std::string_view kSchemaErrorCode = "schema-error";

/// A schema as the server holds it: loaded, or why it cannot be.
struct LoadedSchema {
    std::string name;                             // as the setting gives it
    std::string location;                         // the file read
    std::shared_ptr<const kessa::Schema> schema;  // null where it cannot be used
    std::string error;                            // then why: "FILE:LINE:COLUMN: REASON"
    std::vector<std::string> files;               // read or tried: the files to watch
};

class SchemaStore {
public:
    /// The schema of `association`: read the first time, and again once one of its files has
    /// changed since (its modification time or size, or its coming or going) or was said to.
    std::shared_ptr<const LoadedSchema> get(const SchemaAssociation& association);
    /// Marks the schemas that read the file at `path` to be read again; whether there were any.
    bool changed(std::string_view path);
    /// Forgets the schemas at other locations than these.
    void keepOnly(const std::vector<std::string>& locations);
    /// The files of the schemas held, sorted, each once.
    std::vector<std::string> files() const;

private:
    struct Stamp {
        std::string path;
        bool exists = false;
        std::filesystem::file_time_type time;
        std::uintmax_t size = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Entry {
        std::shared_ptr<const LoadedSchema> loaded;
        std::vector<Stamp> stamps;
        bool stale = false;
    };
    static Stamp stampOf(const std::string& path);

    std::map<std::string, Entry, std::less<>> entries_;  // by location
};

/// Adds what `schema` says of `text` to `list`: where it cannot be used, one error on the first
/// line that names it and says why; else what it says of itself (a remote $ref, keywords left
/// unchecked) on the first line, then each place where the text's JSON does not fit it. A
/// malformed text is not checked: its fault says why. Raises Superseded once `stale` is set.
void diagnoseSchema(std::string_view text, const LoadedSchema& schema, DiagnosticList& list,
                    const std::atomic<bool>* stale = nullptr);

/// What a hover or a completion item says of a place from a schema's hint: its title and
/// description and where the schema says it, as Markdown (the file a link to the place) or as
/// plain text. Empty where the hint has neither title nor description.
std::string hintText(const kessa::SchemaHint& hint, bool markdown);

/// `text` as Markdown shows it: its punctuation escaped, its line breaks kept.
std::string markdownEscaped(std::string_view text);

}  // namespace lsp
