#pragma once

// Internal to the kessa library: where each value of a JSON text stands, by its JSON pointer, so
// that what is said of a schema can point into its file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kessa::detail {

struct JsonPlace {
    std::uint64_t value = 0;   ///< the value's first byte
    std::uint64_t length = 0;  ///< the value's bytes (a container's up to its closing bracket)
    std::uint64_t key = 0;     ///< a member's key, at its opening quote; else the value's
};

/// The place of the value that the pointer of `steps` names in `text`, a JSON document that a
/// parser has accepted; none where there is none. One pass, its memory linear in the nesting.
std::optional<JsonPlace> findPlace(std::string_view text, const std::vector<std::string>& steps);

/// `key` as one step of a JSON pointer: "/" then the key with "~" as "~0" and "/" as "~1".
void appendPointerStep(std::string& pointer, std::string_view key);

}  // namespace kessa::detail
