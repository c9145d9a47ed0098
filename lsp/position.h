#pragma once

// Places in a document as an editor names them: a line and a character within it, counted in
// UTF-16 code units or in bytes, as the client and the server agreed.

#include <cstdint>
#include <string_view>
#include <vector>

namespace lsp {

/// What a position's character counts: UTF-16 code units (the protocol's default) or UTF-8
/// bytes. Either way a byte that is not part of a well-formed UTF-8 sequence counts one, as the
/// one replacement character an editor shows for it.
enum class Encoding { Utf16, Utf8 };

/// A line (from 0) and a character within it (from 0), as the protocol has them.
struct Position {
    std::uint64_t line = 0;
    std::uint64_t character = 0;
    bool operator==(const Position&) const = default;
};

/// Where the lines of a text start. A line ends at a line feed, a carriage return and line feed,
/// or a carriage return alone, as editors split text; the last line runs to the end.
class LineIndex {
public:
    explicit LineIndex(std::string_view text = {});

    std::size_t lineCount() const { return starts_.size(); }
    /// The offset where `line` starts (line < lineCount()).
    std::uint64_t lineStart(std::size_t line) const { return starts_[line]; }
    /// The line that holds the byte at `offset`.
    std::size_t lineOf(std::uint64_t offset) const;
    /// Where `line` ends in `text`, before its line break.
    std::uint64_t lineEnd(std::string_view text, std::size_t line) const;

    /// Follows an edit of the text: the bytes [begin, oldEnd) were replaced by `insertedSize`
    /// bytes; `text` is the text after the edit. Costs one pass over the inserted bytes and the
    /// line starts after them.
    void update(std::string_view text, std::uint64_t begin, std::uint64_t oldEnd,
                std::uint64_t insertedSize);

    bool operator==(const LineIndex&) const = default;

private:
    std::vector<std::uint64_t> starts_;  // rising; the first is 0
};

/// The offset of `position` in `text`. A character beyond its line's end means the line's end,
/// a line beyond the last the text's end, and a character inside a UTF-8 sequence (half of a
/// surrogate pair) the start of that sequence.
std::uint64_t offsetOf(std::string_view text, const LineIndex& lines, Position position,
                       Encoding encoding);

/// The position of the byte at `offset` (at most text.size()). An offset inside a UTF-8 sequence
/// counts as that sequence's start.
Position positionOf(std::string_view text, const LineIndex& lines, std::uint64_t offset,
                    Encoding encoding);

/// Positions of offsets asked for in rising order: within a line each call counts only the
/// characters since the last one, so a long line with many findings is read once.
class PositionCursor {
public:
    PositionCursor(std::string_view text, const LineIndex& lines, Encoding encoding)
        : text_(text), lines_(lines), encoding_(encoding) {}

    /// The position of the byte at `offset`; any order works, rising order is cheapest.
    Position at(std::uint64_t offset);

private:
    std::string_view text_;
    const LineIndex& lines_;
    Encoding encoding_;
    std::size_t line_ = 0;
    std::uint64_t counted_ = 0;    // an offset on line_, at a sequence's start
    std::uint64_t character_ = 0;  // the character at counted_
};

}  // namespace lsp
