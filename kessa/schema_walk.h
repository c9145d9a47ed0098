#pragma once

// Internal to the kessa library: the parts of a schema that speak of a place of the instance.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

#include "kessa/schema_impl.h"

namespace kessa {

/// A schema found for a place, with its pointer in the merged document.
struct FoundSchema {
    const nlohmann::json* schema;
    std::string pointer;
};

/// The schemas that speak of the value at `path`: reached through properties, patternProperties,
/// additionalProperties, items and additionalItems, each with what its $ref, allOf, anyOf,
/// oneOf, then and else bring in; the nearest first.
std::vector<FoundSchema> schemasAt(const Schema::Impl& schema, const InstancePath& path);

}  // namespace kessa
