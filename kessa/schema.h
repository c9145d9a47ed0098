#pragma once

// What the program that reads the JSON expects: a JSON Schema (drafts 4, 6, 7, 2019-09 and
// 2020-12), and the check of what a kessa text becomes against it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kessa/findings.h"
#include "kessa/text_position.h"
#include "kessa/value_text.h"
#include "pelmo/exception.h"

namespace kessa {

/// A schema that cannot be used: a file that cannot be read, text that is not JSON, or JSON that
/// is not a schema. what() is "FILE:LINE:COLUMN: REASON", or "FILE: REASON" where no place in the
/// file is to blame.
class SchemaError : public pelmo::Exception {
public:
    SchemaError(std::string file, std::optional<TextPosition> position, std::string reason);
    ~SchemaError() override;

    /// The file, as the schema's location or a $ref named it.
    const std::string& file() const noexcept { return file_; }
    const std::optional<TextPosition>& position() const noexcept { return position_; }
    const std::string& reason() const noexcept { return reason_; }
    /// Each file the load read or tried to read before the fault, the schema's own first: those
    /// whose change may mend it, such as a missing file that a $ref names.
    const std::vector<std::string>& files() const noexcept { return files_; }

private:
    friend class Schema;
    std::vector<std::string> files_;
    std::string file_;
    std::optional<TextPosition> position_;
    std::string reason_;
};

/// Something said once about the schema itself, not about a text it checks: a remote $ref left
/// unresolved, a format not known here. A finding in the schema's own file.
struct SchemaNotice {
    FindingKind kind;
    std::string file;
    TextPosition start, end;
    std::uint64_t offset = 0, length = 0;
    std::string message;
};

/// A step from a value to one of its entries: a member's key, or an element's index.
using PathStep = std::variant<std::string, std::uint64_t>;
using InstancePath = std::vector<PathStep>;

/// A value a schema names (enum, const, default, examples) and how to write it.
struct SchemaValue {
    /// As JSON, such as "\"fast\"" or "8080".
    std::string json;
    /// The kessa text that gives exactly that value, such as "fast"; none where no text can
    /// (true, false, null, a string that reads as a number).
    std::optional<std::string> kessa;
};

/// What the schema says of a place: for hovers and completion.
struct SchemaHint {
    std::string title;
    std::string description;
    /// The JSON types it allows ("string", "integer", ...); empty for any.
    std::vector<std::string> types;
    /// enum and const values first, then default and examples, each once.
    std::vector<SchemaValue> values;
    /// Where the schema that says it is: its file and the position in it.
    std::string file;
    TextPosition position;
};

/// A member a schema names for an object.
struct SchemaProperty {
    std::string name;
    bool required = false;
    SchemaHint hint;
};

/// The drafts a schema can be read as.
enum class SchemaDraft : std::uint8_t { Draft4, Draft6, Draft7, Draft2019_09, Draft2020_12 };

/// Gives the text of the schema at an http: or https: URL, adding to `notes` what is to be said
/// of how (such as a cached copy used offline); raises SchemaError where it cannot.
using SchemaFetch = std::function<std::string(const std::string& url, std::vector<std::string>& notes)>;

/// How a schema is read.
struct SchemaOptions {
    /// The draft of a schema that names none with $schema.
    SchemaDraft draft = SchemaDraft::Draft7;
    /// Schema files, or folders of them, each taken for the URI of its $id before any fetch.
    std::vector<std::string> resolve;
    /// How URLs are fetched; none leaves a remote $ref unchecked, with a notice.
    SchemaFetch fetch;
};

/// The draft a name gives: "4", "draft-04", "2019-09", "2020-12" and the like.
std::optional<SchemaDraft> schemaDraftOfName(std::string_view name);

class Schema {
public:
    /// Reads the schema at `location`, a path (UTF-8), a file: URI, or an http: or https: URL
    /// that options.fetch gives, with the files its $refs name, relative to the one that names
    /// them, and the meta-schemas of the drafts, which the library carries. A $ref to a URL is
    /// taken from options.resolve, else fetched; without options.fetch it accepts anything, and a
    /// notice says so. A remote schema's $ref never reads a local file. Raises SchemaError, or
    /// bad_alloc.
    static Schema load(std::string_view location, const SchemaOptions& options = {});
    /// The schema in `text`, as if read from `file`, which names it in errors and resolves its
    /// relative $refs.
    static Schema parse(std::string_view text, std::string file, const SchemaOptions& options = {});

    Schema(Schema&&) noexcept;
    Schema& operator=(Schema&&) noexcept;
    ~Schema();

    /// The schema's file as it was given.
    const std::string& file() const;
    /// The files read: the schema's, then those its $refs name.
    std::vector<std::string> files() const;
    /// What is said once about the schema, in the order of its files and places.
    const std::vector<SchemaNotice>& notices() const;

    /// What the schemas that apply at `path` say of the value there: the first title and
    /// description found, the types (those of its enum and const values where no type is
    /// named), the values they name. Follows properties, patternProperties,
    /// additionalProperties, prefixItems, items and $ref, and takes every branch of allOf, anyOf,
    /// oneOf and if/then/else.
    SchemaHint hint(const InstancePath& path) const;
    /// The members the schemas at `path` name for an object there: required ones first, then in
    /// the schema's order.
    std::vector<SchemaProperty> properties(const InstancePath& path) const;

    struct Impl;
    /// The library's own view of it.
    const Impl& impl() const { return *impl_; }

private:
    explicit Schema(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    friend void checkSchemaFindings(std::string_view, const Schema&, FindingHandler&);
};

/// The kessa text that writes `name` as a key on a line of its own: keyTextOnLine, kept here for
/// the callers of release 1.2.
inline std::optional<std::string> kessaKeyText(std::string_view name) {
    return keyTextOnLine(name);
}

/// Checks what `text` becomes, the values as its JSON gives them to a reader, against `schema`,
/// and reports each place where it does not fit to `handler`, in document order: a finding of a
/// schema kind, whose message, pointer and keyword are set. An object's repeated key counts once,
/// with its last value, as JSON readers keep it. Raises SyntaxError for malformed text, before
/// any finding, and whatever the handler raises.
void checkSchemaFindings(std::string_view text, const Schema& schema, FindingHandler& handler);

}  // namespace kessa
