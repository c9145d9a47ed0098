#pragma once

#include <string>

#include "pelmo/json/node.h"

namespace kessa {

/// Types a completed value token by its text alone: a JsonInteger when the whole token reads as a
/// base-10 integer (leading white space and a sign allowed, saturated to the 64-bit range); else a
/// JsonFloat when it begins like an integer and the whole token reads as a decimal or hexadecimal
/// floating-point number; else a JsonString that takes over the token's bytes. Reading stops at a
/// NUL byte, so a token holding one is a string. `token` is left valid but unspecified, for the
/// caller to clear. Never fails, apart from std::bad_alloc.
pelmo::JsonNodePtr makeScalar(std::string& token);

}  // namespace kessa
