#pragma once

// Internal to the kessa library: whether a schema is one, by the meta-schema of its draft.

#include <nlohmann/json.hpp>
#include <valijson/schema.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace kessa::detail {

/// The meta-schema of draft 4 or 7, compiled once; none for another draft.
const valijson::Schema* metaSchema(int draft);

/// The text of the meta-schema of draft 4 or 7 where `uri` names it (with http or https, with
/// or without its "#").
std::optional<std::string_view> metaSchemaText(std::string_view uri);

/// Why the value at `pointer` of the schema `document` makes it no schema, in a few words that
/// follow "the value at POINTER", from the validator's `description` of the fault.
std::string metaFaultWords(const nlohmann::json& document, const std::string& pointer,
                           const std::string& description);

}  // namespace kessa::detail
