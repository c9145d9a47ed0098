#pragma once

// Internal to the kessa library: what a kessa text becomes as a program reading its JSON gets it,
// with where each value and key stands in the text. A schema checks this.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/large_pages.h"
#include "pelmo/json/node.h"

namespace kessa::detail {

class Instance {
public:
    /// Flags of a node.
    static constexpr std::uint8_t kQuoted = 1;    ///< a value written between double quotes
    static constexpr std::uint8_t kShadowed = 2;  ///< a member whose key comes again later
    static constexpr std::uint8_t kHasKey = 4;    ///< a member of an object
    /// The key's or the value's bytes are the run of text they stand in, none of it dropped, so
    /// reading them copies nothing and scans nothing.
    static constexpr std::uint8_t kKeyWhole = 8;
    static constexpr std::uint8_t kValueWhole = 16;

    struct Node {
        /// The value's bytes in the text: from its opening quote or brace, or its first byte, to
        /// just past its closing quote or brace, or its last byte. The root spans the text.
        std::uint64_t begin;
        std::uint64_t end;
        /// A member's key in the text, trimmed; an empty key stands at its equals sign, or at the
        /// value where no equals sign gave one.
        std::uint64_t keyBegin;
        std::uint32_t keySize;
        /// A container's entries: children()[first, first + count).
        std::uint32_t count;
        union {
            std::int64_t integer;
            double number;  ///< as the JSON text gives it back: six decimals at most
            std::uint64_t first;
        };
        pelmo::JsonType type;
        std::uint8_t flags;
        /// An object's members whose key does not come again: what a JSON reader keeps.
        std::uint32_t kept;
    };

    /// Reads `text`; raises SyntaxError for malformed text, std::length_error past 2^32 - 1
    /// values. `text` must outlive the instance.
    explicit Instance(std::string_view text);

    const Node& root() const { return nodes_.front(); }
    const Node& node(std::uint32_t index) const { return nodes_[index]; }
    /// How many values there are, the root's first.
    std::uint32_t size() const { return static_cast<std::uint32_t>(nodes_.size()); }
    std::uint32_t indexOf(const Node& node) const {
        return static_cast<std::uint32_t>(&node - nodes_.data());
    }
    /// A container's entries, in document order (shadowed members included).
    std::span<const std::uint32_t> entries(const Node& node) const {
        return {children_.data() + node.first, node.count};
    }
    /// The key of a member as the JSON has it (the line breaks of a pending brace dropped); a
    /// view of the text, or of `buffer`.
    std::string_view key(const Node& node, std::string& buffer) const;
    /// The bytes of a string value as the JSON has it; a view of the text, or of `buffer`.
    std::string_view string(const Node& node, std::string& buffer) const;
    /// The value's bytes as the text has them (inside the quotes of a quoted one).
    std::string_view written(const Node& node) const;
    std::string_view text() const { return text_; }
    /// How deep containers nest, the root being 1.
    std::size_t depth() const { return depth_; }

private:
    friend class InstanceBuilder;
    std::string_view text_;
    std::vector<Node, LargePageAllocator<Node>> nodes_;
    std::vector<std::uint32_t, LargePageAllocator<std::uint32_t>> children_;
    std::size_t depth_ = 1;
};

}  // namespace kessa::detail
