#include "lsp/position.h"

#include <algorithm>
#include <cstring>

#include "pelmo/file/utf8.h"

namespace lsp {

namespace {

/// Whether a line starts at `offset` (0 < offset <= text.size()): after a line feed, or after a
/// carriage return that no line feed follows.
bool startsLine(std::string_view text, std::uint64_t offset) {
    const char before = text[offset - 1];
    return before == '\n' || (before == '\r' && (offset == text.size() || text[offset] != '\n'));
}

/// Appends the line starts in [from, to] (from >= 1) to `out`.
void collectStarts(std::string_view text, std::uint64_t from, std::uint64_t to,
                   std::vector<std::uint64_t>& out) {
    // A line starts only after a line feed or a carriage return: find those with memchr-speed
    // scans instead of testing every byte.
    std::uint64_t at = from - 1;  // the byte that would end the previous line
    const char* const end = text.data() + to;
    const char* lf = nullptr;  // the next line feed at or after `at`, or `end`
    while (at < to) {
        const char* base = text.data() + at;
        if (lf == nullptr || lf < base) {
            lf = static_cast<const char*>(
                std::memchr(base, '\n', static_cast<std::size_t>(end - base)));
            if (lf == nullptr) lf = end;
        }
        const char* cr =
            static_cast<const char*>(std::memchr(base, '\r', static_cast<std::size_t>(lf - base)));
        const char* hit = cr != nullptr ? cr : lf;
        if (hit == end) break;
        at = static_cast<std::uint64_t>(hit - text.data()) + 1;
        if (startsLine(text, at)) out.push_back(at);
    }
}

/// How many units the character at `text[at]` counts, and its length in bytes.
struct Step {
    std::size_t bytes;
    std::uint64_t units;
};
Step stepAt(std::string_view text, std::uint64_t at, Encoding encoding) {
    if (static_cast<unsigned char>(text[at]) < 0x80) return {1, 1};
    const std::size_t length = pelmo::detail::utf8SequenceLength(text.substr(at));
    if (length == 0) return {1, 1};  // a byte that is no part of a sequence
    if (encoding == Encoding::Utf8) return {length, length};
    return {length, length == 4 ? 2u : 1u};  // beyond the BMP: a surrogate pair
}

}  // namespace

LineIndex::LineIndex(std::string_view text) {
    starts_.push_back(0);
    if (!text.empty()) collectStarts(text, 1, text.size(), starts_);
}

std::size_t LineIndex::lineOf(std::uint64_t offset) const {
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                                    starts_.begin()) -
           1;
}

std::uint64_t LineIndex::lineEnd(std::string_view text, std::size_t line) const {
    if (line + 1 == starts_.size()) return text.size();
    std::uint64_t end = starts_[line + 1] - 1;  // the line feed or the lone carriage return
    if (text[end] == '\n' && end > starts_[line] && text[end - 1] == '\r') --end;
    return end;
}

void LineIndex::update(std::string_view text, std::uint64_t begin, std::uint64_t oldEnd,
                       std::uint64_t insertedSize) {
    // A start at q depends on the bytes at q - 1 and q only: the starts in [begin, oldEnd] may
    // change, those before stay, and those after move with the bytes behind them.
    const std::uint64_t newEnd = begin + insertedSize;
    const auto first = std::lower_bound(starts_.begin() + 1, starts_.end(), begin);
    const auto last = std::upper_bound(first, starts_.end(), oldEnd);
    std::vector<std::uint64_t> fresh;
    collectStarts(text, std::max<std::uint64_t>(begin, 1),
                  std::min<std::uint64_t>(newEnd, text.size()), fresh);
    const std::size_t at = static_cast<std::size_t>(first - starts_.begin());
    std::vector<std::uint64_t> moved(last, starts_.end());
    starts_.resize(at);
    starts_.insert(starts_.end(), fresh.begin(), fresh.end());
    for (const std::uint64_t start : moved) starts_.push_back(start - oldEnd + newEnd);
}

std::uint64_t offsetOf(std::string_view text, const LineIndex& lines, Position position,
                       Encoding encoding) {
    if (position.line >= lines.lineCount()) return text.size();
    const auto line = static_cast<std::size_t>(position.line);
    std::uint64_t at = lines.lineStart(line);
    const std::uint64_t end = lines.lineEnd(text, line);
    std::uint64_t units = 0;
    while (at < end) {
        const Step step = stepAt(text, at, encoding);
        if (units + step.units > position.character) break;
        units += step.units;
        at += step.bytes;
    }
    return at;
}

Position positionOf(std::string_view text, const LineIndex& lines, std::uint64_t offset,
                    Encoding encoding) {
    return PositionCursor(text, lines, encoding).at(offset);
}

Position PositionCursor::at(std::uint64_t offset) {
    offset = std::min<std::uint64_t>(offset, text_.size());
    const std::size_t line = lines_.lineOf(offset);
    if (line != line_ || offset < counted_) {
        line_ = line;
        counted_ = lines_.lineStart(line);
        character_ = 0;
    }
    // Whole characters up to the offset; one that holds it counts from its start.
    while (counted_ < offset) {
        const Step step = stepAt(text_, counted_, encoding_);
        if (counted_ + step.bytes > offset) break;
        counted_ += step.bytes;
        character_ += step.units;
    }
    return {line_, character_};
}

}  // namespace lsp
