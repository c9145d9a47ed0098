#pragma once

// Reads the library's binary encoding back into a tree. It is written apart from the encoder, from
// the description of the format, so that the two check each other.

#include <cstdint>
#include <string_view>
#include <vector>

#include "pelmo/json/node.h"

/// Decodes exactly one node, with everything below it, from `bytes`. Returns null if the bytes are
/// anything else: truncated, followed by more bytes, malformed, or not in the shortest form (a
/// number or length that fits the lead byte but follows it, a variable-length number with a
/// needless group).
pelmo::JsonNodePtr decodeBinary(std::string_view bytes);

/// The bit patterns of the tree's floats, in document order.
std::vector<std::uint64_t> floatBits(const pelmo::JsonNode& top);
