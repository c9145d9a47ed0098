#pragma once

// Where a cursor stands in a kessa text being typed, as the reader sees it there: at a key or a
// value, of which container, and what has been typed of it. Completion starts from this.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/schema.h"

namespace lsp {

struct CursorPlace {
    enum class Kind { None, Key, Value };
    Kind kind = Kind::None;
    /// Key: the object's path; Value: the value's.
    kessa::InstancePath path;
    /// What a completion replaces: what has been typed of the key or value on the cursor's line,
    /// from `begin` up to the cursor.
    std::uint64_t begin = 0;
    /// Key: the keys the object has elsewhere in the text, the one under the cursor left out.
    std::vector<std::string> keys;
    /// Key: a brace whose kind no separator has decided yet, in the whole text: its container
    /// may be an array instead, whose first value is at path + 0.
    bool undecided = false;
};

/// The place of the cursor at `offset` in `text`: within a key or value, what is before the
/// cursor counts as typed. None after a value on the cursor's line, in a quoted value that no
/// key takes, and after a stray right brace.
CursorPlace cursorAt(std::string_view text, std::uint64_t offset);

}  // namespace lsp
