#pragma once

// The kessa settings as the client configures them. kessa.schemas: which JSON Schema checks which
// documents; like the JSON and YAML servers' settings, it maps a schema's path or file: URI to
// glob patterns of the documents it checks. kessa.format.indent: the indentation of formatting.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/writer.h"
#include "lsp/protocol.h"
#include "pelmo/file/file_uri.h"

namespace lsp {

using pelmo::detail::pathOfUri;
using pelmo::detail::uriOfPath;

/// Whether `path` matches the glob `pattern`, both with '/' between folders: `*` is any run of
/// characters but '/', `?` one of them, `**` any run of folders (none included), `{a,b}` either
/// of its alternatives, `[abc]` and `[a-z]` one of those characters (`[!a]` any but them).
bool globMatches(std::string_view pattern, std::string_view path);

/// One schema and the documents it checks.
struct SchemaAssociation {
    std::string name;      // as the setting gives it
    std::string location;  // an absolute path, or the name itself where it is no local file
    std::vector<std::string> patterns;
    bool local = true;  // false for a URI of another scheme than file:
    bool operator==(const SchemaAssociation&) const = default;
};

class SchemaSettings {
public:
    SchemaSettings() = default;
    /// From the value of kessa.schemas: an object whose keys are schema paths or file: URIs and
    /// whose values are a glob pattern or a list of them. Relative paths are taken against
    /// `folder`, an absolute path (the server's working folder where it is empty); so are the
    /// patterns that hold a '/', while one without matches a file's name in any folder, and
    /// one that begins with '!' leaves out what it matches. Entries of another form are left
    /// out, each with a line in `problems`.
    SchemaSettings(const Json& value, const std::string& folder,
                   std::vector<std::string>& problems);

    /// The schemas that check the document at `uri`, in the order of their names.
    std::vector<const SchemaAssociation*> schemasFor(std::string_view uri) const;
    const std::vector<SchemaAssociation>& associations() const { return associations_; }

private:
    bool matches(const std::string& pattern, std::string_view path) const;

    std::string folder_;  // absolute, '/' between folders, no '/' at the end
    std::vector<SchemaAssociation> associations_;
};

/// The kessa.schemas value in a settings object as clients send it: {"kessa": {"schemas":
/// ...}}, {"kessa.schemas": ...}, or, as initializationOptions may hold it, {"schemas": ...}.
/// Null where it holds none.
const Json* schemasSetting(const Json& settings);

/// The kessa.format.indent value in a settings object, found as schemasSetting finds
/// kessa.schemas ({"kessa": {"format": {"indent": ...}}}, {"kessa.format.indent": ...},
/// {"format": {"indent": ...}}). Null where it holds none.
const Json* indentSetting(const Json& settings);

/// The layout that a kessa.format.indent value asks for, as kessafmt's --indent: "tab", or a
/// number of spaces from 1 to 16, as a number or its digits; null for the project's layout.
/// Nullopt, with the reason in `problem`, for any other value.
std::optional<kessa::Layout> layoutOfIndent(const Json& value, std::string& problem);

}  // namespace lsp
