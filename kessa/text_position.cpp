#include "kessa/text_position.h"

#include <algorithm>

#include "pelmo/file/utf8.h"

namespace kessa {

TextPosition positionAt(std::string_view text, std::uint64_t offset) {
    return PositionCounter(text).at(offset);
}

TextPosition PositionCounter::at(std::uint64_t offset) {
    offset = std::min<std::uint64_t>(offset, text_.size());
    const char* const base = text_.data();
    if (offset < counted_) {
        // Back within the line, or before it: count the line again from its start.
        if (offset < lineStart_) {
            const auto breaks = std::count(base + offset, base + lineStart_, '\n');
            line_ -= static_cast<std::uint64_t>(breaks);
            const std::size_t before = text_.rfind('\n', offset == 0 ? 0 : offset - 1);
            lineStart_ = before == std::string_view::npos || offset == 0 ? 0 : before + 1;
        }
        counted_ = lineStart_;
        column_ = 1;
    }
    // Whole lines between: only their line feeds count.
    const char* from = base + counted_;
    const char* const to = base + offset;
    const std::size_t last =
        std::string_view(from, static_cast<std::size_t>(to - from)).rfind('\n');
    if (last != std::string_view::npos) {
        line_ += static_cast<std::uint64_t>(std::count(from, to, '\n'));
        lineStart_ = counted_ + last + 1;
        counted_ = lineStart_;
        column_ = 1;
        from = base + counted_;
    }
    const auto size = static_cast<std::size_t>(to - from);
    if (pelmo::detail::asciiPrefix(std::string_view(from, size)) == size) {
        column_ += static_cast<std::uint64_t>(to - from);
        counted_ = offset;
        return {line_, column_};
    }
    std::uint64_t column = column_;
    const char* p = from;
    while (p < to) {
        const std::size_t length =
            static_cast<unsigned char>(*p) < 0x80
                ? 1
                : pelmo::detail::utf8SequenceLength(std::string_view(p, base + text_.size() - p));
        const std::size_t step = length == 0 ? 1 : length;
        ++column;
        if (p + step > to) {
            // The offset is inside this character: its column is the one after it, and the
            // count stays at the character's start.
            counted_ = static_cast<std::uint64_t>(p - base);
            column_ = column - 1;
            return {line_, column};
        }
        p += step;
    }
    counted_ = offset;
    column_ = column;
    return {line_, column_};
}

}  // namespace kessa
