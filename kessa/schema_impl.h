#pragma once

// Internal to the kessa library: a loaded schema, as the check and the hints use it: the
// validator's plan, with where each of its documents' values stands for the words.

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "kessa/json_places.h"
#include "kessa/schema.h"
#include "schema/plan.h"

namespace kessa {

struct Schema::Impl {
    schema::Plan plan;
    std::vector<SchemaNotice> notices;
    /// The files read, the schema's own first.
    std::vector<std::string> files;

    /// The document and position of a site of the plan, for words and hovers.
    std::pair<const schema::SchemaDocument*, TextPosition> locate(std::uint32_t site) const;
};

namespace detail {
class Instance;
/// checkSchemaFindings for the value `root` of `instance` (0 for the text's top level).
void checkInstance(const Schema::Impl& schema, const Instance& instance, std::uint32_t root,
                   FindingHandler& handler);
}  // namespace detail

/// The kessa text that gives exactly the JSON value `value`, if there is one: the notation has
/// no true, false or null, and a string that reads as a number becomes one.
std::optional<std::string> kessaTextFor(const nlohmann::json& value);

/// The nodes of the plan that speak of the value at `path`: reached through properties,
/// patternProperties, additionalProperties, prefixItems and items, each with what its $ref,
/// allOf, anyOf, oneOf, then and else bring in; the nearest first.
std::vector<std::uint32_t> schemasAt(const Schema::Impl& schema, const InstancePath& path);

}  // namespace kessa
