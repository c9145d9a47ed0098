#pragma once

// Completion from the schemas that check a document: the members an object may still take at
// a key, and the values a schema names at a value, written as the notation needs them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/schema.h"

namespace lsp {

/// One item to offer.
struct Completion {
    enum class Kind { Key, Value };
    Kind kind = Kind::Key;
    /// A key's name, or the kessa text of a value.
    std::string label;
    /// A key's types (and whether the object requires it), or the JSON a value gives.
    std::string detail;
    /// What the schema says of it (hintText), Markdown or plain as asked.
    std::string documentation;
    /// What replaces the bytes [begin, end): "name=" for a key, the value's text for a value.
    std::string text;
    std::uint64_t begin = 0, end = 0;
};

/// How many items a completion offers at most.
constexpr std::size_t kMaxCompletions = 1000;

/// The items for the cursor at `offset` of `text` from `schemas`, in their order: at a key, the
/// members the schemas name that the object does not have yet and that a kessa key can write,
/// required ones first; at a value, the values they name (enum, const, default, examples) that
/// a kessa text gives exactly and that the schemas accept there.
std::vector<Completion> completionsAt(std::string_view text, std::uint64_t offset,
                                      const std::vector<const kessa::Schema*>& schemas,
                                      bool markdown);

}  // namespace lsp
