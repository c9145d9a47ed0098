#pragma once

// Where the keys and values of a kessa text stand: the reader's events with their byte spans,
// for the outline and for hovers.

#include <cstdint>
#include <string>
#include <string_view>

namespace lsp {

/// A key and its value, or an element of an array, as the text holds them.
struct Item {
    /// An element of an array, `index` its place; otherwise a member with a key.
    bool inArray = false;
    std::uint64_t index = 0;
    /// The key's bytes (dropped line breaks included) and where they stand. An empty key has an
    /// empty span at its equals sign, or at the value when no key was given at all.
    std::string_view key;
    std::uint64_t keyBegin = 0, keyEnd = 0;
    /// Where the value stands: a scalar's token (with its quotes), or a container's left brace
    /// (the container's end comes with its close).
    std::uint64_t valueBegin = 0, valueEnd = 0;
    /// A scalar's bytes, the part inside the quotes of a quoted one; and whether it is quoted.
    std::string_view token;
    bool quoted = false;
};

/// Receives the items of a text in document order; the root object is not reported.
class LayoutVisitor {
public:
    virtual ~LayoutVisitor();
    virtual void scalar(const Item& item) = 0;
    virtual void open(const Item& item, bool object) = 0;
    /// The innermost open container closes; `end` is just past its right brace.
    virtual void close(std::uint64_t end) = 0;
};

/// Reads `text` once and reports its items to `visitor`. Raises kessa::SyntaxError for malformed
/// text once the items before the fault have been reported, and whatever the visitor raises.
void walkLayout(std::string_view text, LayoutVisitor& visitor);

/// The bytes of `span` that the conversion keeps: unquoted text loses carriage returns and line
/// feeds, quoted text its tabs.
std::string keptBytes(std::string_view span, bool quoted);

}  // namespace lsp
