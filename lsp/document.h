#pragma once

// The documents the client has open: their text, as the client's edits leave it.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "lsp/position.h"

namespace lsp {

/// A part of a document, from `start` up to `end`.
struct Range {
    Position start;
    Position end;
    bool operator==(const Range&) const = default;
};

/// One open document. Its text is shared with whoever reads a version of it (the analysis) and
/// copied before an edit only while another reader holds it.
class Document {
public:
    Document(std::string text, std::int64_t version);

    /// The current text, for as long as the caller holds it.
    std::shared_ptr<const std::string> snapshot() const { return text_; }
    std::string_view text() const { return *text_; }
    const LineIndex& lines() const { return lines_; }
    std::int64_t version() const { return version_; }
    void setVersion(std::int64_t version) { version_ = version; }

    /// Replaces the text within `range` (ends out of order are swapped) by `replacement`.
    void edit(const Range& range, std::string_view replacement, Encoding encoding);
    /// Replaces the whole text.
    void replace(std::string text);

    std::uint64_t offsetOf(Position position, Encoding encoding) const {
        return lsp::offsetOf(*text_, lines_, position, encoding);
    }

private:
    std::shared_ptr<std::string> text_;
    LineIndex lines_;
    std::int64_t version_;
};

/// The open documents by URI.
using Documents = std::map<std::string, Document, std::less<>>;

}  // namespace lsp
