#pragma once

// A schema compiled: every schema object a node with a flat run of instructions, each keyword
// read once, its references resolved to nodes and its patterns compiled. The evaluator follows
// the plan and never reads a keyword again.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "schema/instance.h"
#include "schema/number.h"
#include "schema/regex.h"

namespace schema {

/// The drafts told apart, oldest first.
enum class Draft : std::uint8_t { Draft4, Draft6, Draft7, Draft2019, Draft2020 };

constexpr std::uint32_t kNone = 0xFFFFFFFF;

/// One JSON text of a schema: the root's, or one a reference names.
struct SchemaDocument {
    std::string uri;   ///< absolute, without a fragment: what references resolve against
    std::string name;  ///< as words name it: a path as given, or the URI
    std::string text;
    nlohmann::json json;
};

enum class Op : std::uint8_t {
    False,  // the schema false: nothing fits
    Type,   // a: set of type bits; b: 1 where a number with no fraction is an integer
    Const,  // a: constant
    Enum,   // a, b: constants in lists
    Minimum,
    Maximum,
    ExclusiveMinimum,
    ExclusiveMaximum,  // a: number
    MultipleOf,        // a: number
    MinLength,
    MaxLength,  // n: count
    Pattern,    // a: regex
    Format,     // a: Format; b: 1 where it asserts
    MinItems,
    MaxItems,
    UniqueItems,
    MinProperties,
    MaxProperties,      // n
    Required,           // a, b: strings in lists, sorted
    DependentRequired,  // a, b: pairs (name string, list of strings, count) in dependencies
    AllOf,
    AnyOf,
    OneOf,             // a, b: nodes in lists
    Not,               // a: node
    If,                // a: if; b: then; c: else (kNone for none)
    Ref,               // a: node
    DynamicRef,        // a: node as written; b: dynamic name, kNone where it stays as written
    DependentSchemas,  // a, b: pairs (name string, node) in dependencies
    Members,           // a: property map; b, c: patterns (regex, node) in lists; n: additional node
    PropertyNames,     // a: node
    Items,             // a, b: the leading nodes in lists; c: the node of the rest
    Contains,          // a: node; n: at least; m: at most
    UnevaluatedProperties,
    UnevaluatedItems,  // a: node
};

struct Instruction {
    Op op;
    std::uint32_t a = 0, b = 0, c = kNone;
    std::uint64_t n = 0, m = 0;
    /// Where the keyword stands: sites[site].
    std::uint32_t site = kNone;
};

/// A place in a schema's documents.
struct Site {
    std::uint32_t document;
    std::uint32_t path;  ///< in Plan::paths: the JSON pointer from the document's root
    const nlohmann::json* value;
};

/// One step of a JSON pointer after the pointer `parent`: pointers share their beginnings, so
/// that a schema nested deep keeps memory linear in its size.
struct PathStep {
    std::uint32_t parent;
    std::string step;
};

struct Node {
    std::uint32_t first = 0, count = 0;  ///< code[first, first + count)
    std::uint32_t resource = 0;
    std::uint32_t site = kNone;
    /// Whether the node's instructions read the members or elements other keywords evaluated
    /// (unevaluatedProperties, unevaluatedItems).
    bool tracksMembers = false, tracksItems = false;
    /// Whether a number with no fraction is an integer here (not in draft 4).
    bool wholeIsInteger = true;
    bool contributesContains = true;  ///< whether contains marks items evaluated (2020-12)
    /// Whether the node asserts only, applying no other schema: evaluated without a frame.
    bool simple = false;
    /// Whether the node is a $ref alone, which stands for its target.
    bool refOnly = false;
};

/// A schema resource: a document, or a schema with an identifier of its own.
struct Resource {
    std::string uri;
    /// Its dynamic anchors: (name, node) in dynamicAnchors.
    std::uint32_t firstAnchor = 0, anchorCount = 0;
};

/// Something said once of the schema, not of a value: an unknown format, a remote reference left
/// unresolved.
struct Notice {
    enum class Kind : std::uint8_t { UnknownFormat, UnresolvedRemote } kind;
    std::uint32_t site;
    std::string message;
};

struct Plan {
    Draft draft = Draft::Draft7;  ///< the root's
    std::deque<SchemaDocument> documents;
    std::vector<Node> nodes;
    std::vector<Instruction> code;
    std::vector<Site> sites;
    std::vector<std::uint32_t> lists;
    std::vector<std::string> strings;
    std::vector<Number> numbers;
    std::vector<std::unique_ptr<Regex>> regexes;
    /// The properties of each Members, sorted by name.
    std::vector<std::vector<std::pair<std::string, std::uint32_t>>> propertyMaps;
    /// Dependencies: (name, first, count) of DependentRequired, (name, node, 0) of
    /// DependentSchemas.
    struct Dependency {
        std::uint32_t name, first, count;
    };
    std::vector<Dependency> dependencies;
    JsonDocument constants;  ///< the values of const and enum, each a Ref into it
    std::vector<Resource> resources;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> dynamicAnchors;
    std::uint32_t dynamicNames = 0;
    std::uint32_t root = 0;
    std::vector<Notice> notices;
    /// Whether a format is an annotation somewhere: its faults are told though the value fits.
    bool annotatesFormats = false;
    /// The pointers of sites, by steps; 0 is the root's, "".
    std::vector<PathStep> paths{{kNone, ""}};

    std::uint32_t addPath(std::uint32_t parent, std::string step) {
        paths.push_back({parent, std::move(step)});
        return static_cast<std::uint32_t>(paths.size() - 1);
    }
    /// The steps of a path, from the root.
    std::vector<std::string> steps(std::uint32_t path) const {
        std::vector<std::string> out;
        for (; path != 0 && path != kNone; path = paths[path].parent)
            out.push_back(paths[path].step);
        return {out.rbegin(), out.rend()};
    }
    /// A path as a JSON pointer.
    std::string pointer(std::uint32_t path) const;
};

}  // namespace schema
