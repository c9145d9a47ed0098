#pragma once

// What the server says about a document, in its own terms (byte offsets and text): the findings
// as diagnostics, the outline, hovers and quick fixes. Nothing here knows the protocol.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/findings.h"
#include "kessa/schema.h"
#include "lsp/diagnostics.h"

namespace lsp {

/// Raised by diagnose when the text it reads has been superseded.
struct Superseded {};

/// The diagnostic of a finding: its bytes, severity, code and the tool's words.
Diagnostic diagnosticOf(const kessa::Finding& finding);

/// Hands each finding it receives to a list as a diagnostic, making the words of only those the
/// list keeps. Raises Superseded as soon as it sees `stale` set.
class DiagnosticCollector final : public kessa::FindingHandler {
public:
    DiagnosticCollector(DiagnosticList& list, const std::atomic<bool>* stale)
        : list_(list), stale_(stale) {}
    void found(const kessa::Finding& finding) override;

private:
    DiagnosticList& list_;
    const std::atomic<bool>* stale_;
};

/// Adds the findings of `text` to `list` and, for a malformed text, pins its fault (code
/// kessa::kMalformedCode), which follows the findings before it. Raises Superseded as soon as it
/// sees `stale` set.
void diagnose(std::string_view text, DiagnosticList& list,
              const std::atomic<bool>* stale = nullptr);

enum class SymbolKind { Object, Array, Number, String };

/// One entry of the outline: a member by its key or an array element by its index.
struct Symbol {
    std::string name;
    SymbolKind kind = SymbolKind::String;
    /// The whole member, from its key to the end of its value.
    std::uint64_t begin = 0, end = 0;
    /// The key, or for an element its value's first byte or token.
    std::uint64_t nameBegin = 0, nameEnd = 0;
    /// How many containers hold it, below the root.
    std::size_t depth = 0;
};

/// How deep and how large the outline gets: a client can neither show nor hold more.
constexpr std::size_t kOutlineDepth = 64;
constexpr std::size_t kOutlineSymbols = 50'000;

/// The outline of `text` in document order, each symbol after its container (a well-formed
/// text's prefix for a malformed one). Members deeper than kOutlineDepth, and all after the
/// first kOutlineSymbols, are left out.
std::vector<Symbol> outline(std::string_view text);

/// What a hover shows: the text and the bytes it is about.
struct HoverText {
    std::string text;
    std::uint64_t begin = 0, end = 0;
    /// The key's member, or the value, as a schema finds it.
    kessa::InstancePath path;
};

/// On a value, what it becomes in the JSON (`1234 (integer)`) and why (the findings about it);
/// on a key, its path (`server.ports[1]`) and the findings about the key. Nothing elsewhere.
std::optional<HoverText> hoverAt(std::string_view text, std::uint64_t offset);

/// A change of the text: the bytes [begin, end) replaced by `text`.
struct Edit {
    std::uint64_t begin = 0, end = 0;
    std::string text;
    bool operator==(const Edit&) const = default;
};

/// A quick fix for one finding.
struct Fix {
    std::string title;
    kessa::Finding finding;  // its bytes are a view of the text asked about
    Edit edit;
};

/// The text with `edit` applied.
std::string applied(std::string_view text, const Edit& edit);

/// The quick fixes for the findings whose bytes touch [begin, end]. Each is offered only where,
/// applied, it leaves a well-formed text with fewer findings of its kind and no more of any
/// other.
std::vector<Fix> fixesWithin(std::string_view text, std::uint64_t begin, std::uint64_t end);

}  // namespace lsp
