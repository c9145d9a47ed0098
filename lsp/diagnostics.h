#pragma once

// The diagnostics of one version of a document, capped as they are collected: an editor shows
// no more than a screenful, and a text with a finding on every line would otherwise cost a
// message and memory in proportion to its size after every keystroke.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/finding_kinds.h"

namespace lsp {

/// One problem to show, over bytes of the text.
struct Diagnostic {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    kessa::Severity severity = kessa::Severity::Error;
    std::string_view code;  // a string that lives as long as the program; empty for none
    std::string message;
};

/// How many diagnostics of a document are published at most, besides the one that counts the
/// rest.
constexpr std::size_t kDiagnosticCap = 1000;

/// Collects the diagnostics of a document from every source, in any order, and keeps the first
/// `cap` in document order (by offset, then as they came); the others are only counted.
class DiagnosticList {
public:
    explicit DiagnosticList(std::size_t cap = kDiagnosticCap);

    /// Whether a diagnostic at `offset` would be kept now. One that would not is counted with
    /// skip(), so that its message need not be made.
    bool keeps(std::uint64_t offset) const;
    void add(Diagnostic diagnostic);
    void skip() { ++left_; }
    /// A diagnostic shown whatever the cap, such as the fault that ends a malformed text's
    /// findings; where the list is full it takes the place of the last one kept.
    void pin(Diagnostic diagnostic);

    /// The command that lists all the findings, which the note names: "kessa2json --check
    /// --format json" unless told otherwise (with the schema that checks the document, say).
    void setLister(std::string command) { lister_ = std::move(command); }

    /// The diagnostics kept, in document order, then, where some were left out, a note at the
    /// start of the first line that says how many and what lists them all. Empties the list.
    std::vector<Diagnostic> take();

private:
    struct Entry {
        Diagnostic diagnostic;
        std::uint64_t order;  // as it came
    };
    static bool before(const Entry& a, const Entry& b);
    std::size_t room() const;
    void trim();

    std::size_t cap_;
    std::vector<Entry> kept_;  // a heap of the unpinned, the last in document order on top
    std::vector<Entry> pinned_;
    std::uint64_t came_ = 0;
    std::uint64_t left_ = 0;
    std::string lister_ = "kessa2json --check --format json";
};

}  // namespace lsp
