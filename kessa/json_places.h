#pragma once

// Internal to the kessa library: where each value of a JSON text stands, by its JSON pointer, so
// that what is said of a schema can point into its file.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kessa::detail {

struct JsonPlace {
    std::uint64_t value = 0;   ///< the value's first byte
    std::uint64_t length = 0;  ///< the value's bytes (a container's up to its closing bracket)
    std::uint64_t key = 0;     ///< a member's key, at its opening quote; else the value's
};

struct JsonPlaces {
    std::unordered_map<std::string, JsonPlace> places;
    /// How deep the containers nest, the outermost being 1; 0 for a scalar document.
    std::size_t depth = 0;
};

/// The places of every value of `text`, a JSON document that a parser has accepted, by the JSON
/// pointer of each ("" for the document). Keys are decoded as JSON strings and escaped as
/// pointers escape them ("~0", "~1").
JsonPlaces jsonPlaces(std::string_view text);

/// `key` as one step of a JSON pointer: "/" then the key with "~" as "~0" and "/" as "~1".
void appendPointerStep(std::string& pointer, std::string_view key);

}  // namespace kessa::detail
