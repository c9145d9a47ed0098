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

/// A version of a document's text and its line index, for as long as a reader holds it.
struct Snapshot {
    std::shared_ptr<const std::string> text;
    std::shared_ptr<const LineIndex> lines;
};

/// One open document. Its text and line index are shared with whoever reads a version of them
/// (the analysis) and copied before an edit only while another reader holds them; edits are made
/// under the lock under which readers let go (Analyzer::holdSnapshots).
class Document {
public:
    Document(std::string text, std::int64_t version);

    Snapshot snapshot() const { return {text_, lines_}; }
    std::string_view text() const { return *text_; }
    const LineIndex& lines() const { return *lines_; }
    std::int64_t version() const { return version_; }
    void setVersion(std::int64_t version) { version_ = version; }

    /// Replaces the text within `range` (ends out of order are swapped) by `replacement`.
    void edit(const Range& range, std::string_view replacement, Encoding encoding);
    /// Replaces the whole text.
    void replace(std::string text);

    std::uint64_t offsetOf(Position position, Encoding encoding) const {
        return lsp::offsetOf(*text_, *lines_, position, encoding);
    }

private:
    std::shared_ptr<std::string> text_;
    std::shared_ptr<LineIndex> lines_;
    std::int64_t version_;
};

/// The open documents by URI.
using Documents = std::map<std::string, Document, std::less<>>;

}  // namespace lsp
