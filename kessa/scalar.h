#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pelmo/json/node.h"

namespace kessa {

/// What a value token is, by its text alone: its kind and, for a number, its value.
struct Scalar {
    /// JsonType::Integer, JsonType::Float or JsonType::String.
    pelmo::JsonType type = pelmo::JsonType::String;
    /// The value of an integer, saturated to the 64-bit range.
    std::int64_t integer = 0;
    /// The value of a float, correctly rounded; beyond the double range an infinity or a zero.
    double number = 0;
};

/// Types a completed value token by its text alone, without allocating: an integer when the whole
/// token reads as a base-10 integer (leading white space and a sign allowed, saturated to the
/// 64-bit range); else a float when it begins like an integer and the whole token reads as a
/// decimal or hexadecimal floating-point number; else a string. Reading stops at a NUL byte, so a
/// token holding one is a string, and so is the empty token. Never fails.
Scalar typeScalar(std::string_view token);

/// A value token as a program reading the tool's output gets it: as typeScalar types it, with a
/// float rounded as its text is written (pelmo::writtenDouble): to six decimals, negative zero as
/// zero, an infinity beyond the double range. Quick for the plain numerals most values are.
Scalar typeAsWritten(std::string_view token);

/// The node for a value token as typeScalar types it; a JsonString takes over the token's bytes,
/// leaving `token` valid but unspecified, for the caller to clear. Raises only std::bad_alloc.
pelmo::JsonNodePtr makeScalar(std::string& token);

/// The node for a value token as typeScalar types it; a JsonString copies the token's bytes.
/// Raises only std::bad_alloc.
pelmo::JsonNodePtr makeScalar(std::string_view token);

}  // namespace kessa
