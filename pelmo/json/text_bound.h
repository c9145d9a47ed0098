#pragma once

// Internal to the library: how much room a node's text needs, so that an encoder can reserve it
// once instead of growing the output step by step (each step copies the text and touches fresh
// memory, which on large documents costs more than the encoding itself).

#include <cstddef>

#include "pelmo/json/node.h"

namespace pelmo::detail {

/// An upper bound of the length of the node's compact text (exact unless it holds floats).
std::size_t compactTextBound(const JsonNode& node);

/// An upper bound of the length of the node's indented text at `level` (exact unless it holds
/// floats).
std::size_t indentedTextBound(const JsonNode& node, std::size_t level);

}  // namespace pelmo::detail
