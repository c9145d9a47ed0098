#pragma once

// Internal to the kessa library: a loaded schema, as the check and the hints use it.

#include <nlohmann/json.hpp>
#include <valijson/schema.hpp>

#include <memory>
#include <regex>
#include <string>
#include <unordered_map>
#include <vector>

#include "kessa/json_places.h"
#include "kessa/schema.h"

namespace kessa {

/// The key of the merged document under which the other files' documents go.
constexpr std::string_view kDocumentsKey = "$kessa-documents";
/// The key of the merged document under which the schemas of propertyNames go.
constexpr std::string_view kNamesKey = "$kessa-property-names";

/// The drafts told apart; Later is any draft after 7, checked with the rules it shares with 7.
enum class Draft : std::uint8_t { Draft3, Draft4, Draft6, Draft7, Later };

struct Schema::Impl {
    /// One file of the schema: the schema's own first, then those its $refs name.
    struct Document {
        std::string file;  ///< as given, or as the $ref resolved it
        std::string text;
        /// As the validator reads it: every $ref rewritten to point into `merged`, and what is
        /// not checked taken out.
        nlohmann::json json;
        detail::JsonPlaces places;
    };

    std::vector<Document> documents;
    /// The first document with the others under kDocumentsKey: what the validator reads.
    nlohmann::json merged;
    Draft draft = Draft::Draft7;
    std::vector<SchemaNotice> notices;
    valijson::Schema compiled;
    /// The schema of each propertyNames, as `merged` holds them under kNamesKey, alone.
    std::vector<std::unique_ptr<valijson::Schema>> propertyNames;
    /// The patterns, compiled once, as the validator looks them up.
    std::unordered_map<std::string, std::regex> regexes;

    /// The document and the pointer in it of a pointer into `merged`.
    std::pair<const Document*, std::string> locate(const std::string& pointer) const;
};

namespace detail {
class Instance;
/// checkSchemaFindings for the value `root` of `instance` (0 for the text's top level).
void checkInstance(const Schema::Impl& schema, const Instance& instance, std::uint32_t root,
                   FindingHandler& handler);
}  // namespace detail

/// The place of the value at `pointer` in `document`, as a position for a reader of its file.
TextPosition positionOf(const Schema::Impl::Document& document, const std::string& pointer);

/// The kessa text that gives exactly the JSON value `value`, if there is one: the notation has
/// no true, false or null, and a string that reads as a number becomes one.
std::optional<std::string> kessaTextFor(const nlohmann::json& value);

}  // namespace kessa
