#pragma once

// The meta-schemas of the drafts, built into the library: their $schema URIs resolve without a
// network, and a schema is checked against the meta-schema of its draft.

#include <optional>
#include <string_view>

namespace schema {

/// The text of the meta-schema at `uri` (http or https, with or without a trailing "#"), if it is
/// one of those built in.
std::optional<std::string_view> bundledMetaSchema(std::string_view uri);

}  // namespace schema
