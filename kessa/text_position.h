#pragma once

#include <cstdint>
#include <string_view>

namespace kessa {

/// A place in a text as editors show it: the line and the column, both from 1. Lines end at line
/// feeds; the column counts characters: each well-formed UTF-8 sequence counts one, and so does
/// each byte that is not part of one.
struct TextPosition {
    std::uint64_t line = 1;
    std::uint64_t column = 1;
    friend bool operator==(const TextPosition& a, const TextPosition& b) {
        return a.line == b.line && a.column == b.column;
    }
    friend bool operator!=(const TextPosition& a, const TextPosition& b) { return !(a == b); }
};

/// The position of the byte at `offset` in `text` (at most text.size(), which is just past the
/// end). An offset inside a UTF-8 sequence has the column just after that character.
TextPosition positionAt(std::string_view text, std::uint64_t offset);

/// Positions in one text, for offsets asked for mostly in rising order: each call then counts
/// only the bytes since the last one, so a whole text's worth of findings costs one pass.
/// An offset before the last one asked for is counted again from the start of its line.
class PositionCounter {
public:
    explicit PositionCounter(std::string_view text) : text_(text) {}

    /// The position of the byte at `offset` (at most text.size()).
    TextPosition at(std::uint64_t offset);

private:
    std::string_view text_;
    std::uint64_t lineStart_ = 0;  // the offset where line_ begins
    std::uint64_t line_ = 1;
    std::uint64_t counted_ = 0;  // characters of the line counted up to here, a character's start
    std::uint64_t column_ = 1;   // the column at counted_
};

}  // namespace kessa
