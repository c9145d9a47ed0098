#include "lsp/document.h"

#include <utility>

namespace lsp {

Document::Document(std::string text, std::int64_t version)
    : text_(std::make_shared<std::string>(std::move(text))), lines_(*text_), version_(version) {}

void Document::edit(const Range& range, std::string_view replacement, Encoding encoding) {
    std::uint64_t begin = offsetOf(range.start, encoding);
    std::uint64_t end = offsetOf(range.end, encoding);
    if (end < begin) std::swap(begin, end);
    // Only this object hands the text out, so a count of one means no reader holds it.
    if (text_.use_count() > 1) text_ = std::make_shared<std::string>(*text_);
    text_->replace(begin, end - begin, replacement);
    lines_.update(*text_, begin, end, replacement.size());
}

void Document::replace(std::string text) {
    text_ = std::make_shared<std::string>(std::move(text));
    lines_ = LineIndex(*text_);
}

}  // namespace lsp
