#include "lsp/analysis.h"

#include <algorithm>
#include <array>

#include "kessa/reader.h"
#include "kessa/scalar.h"
#include "lsp/layout.h"
#include "pelmo/file/utf8.h"
#include "pelmo/json/node.h"

namespace lsp {

namespace {

/// How many bytes of a value or a path a hover shows.
constexpr std::size_t kShown = 200;

/// The length of the character at `offset`: one byte for one that is no part of a sequence,
/// none at the end.
std::uint64_t characterAt(std::string_view text, std::uint64_t offset) {
    if (offset >= text.size()) return 0;
    const std::size_t length = pelmo::detail::utf8SequenceLength(text.substr(offset));
    return length == 0 ? 1 : length;
}

/// `bytes` cut to at most `size` bytes, not inside a UTF-8 sequence, with "..." if cut.
std::string cut(std::string_view bytes, std::size_t size) {
    if (bytes.size() <= size) return std::string(bytes);
    for (int back = 0; back < 3 && size > 0 && (bytes[size] & 0xC0) == 0x80; ++back) --size;
    return std::string(bytes.substr(0, size)) + "...";
}

/// Calls `found` for each finding of `text`; false if a malformed text's fault ended them.
template <class Found>
bool eachFinding(std::string_view text, Found found) {
    struct Handler final : kessa::FindingHandler {
        explicit Handler(Found& f) : f(f) {}
        void found(const kessa::Finding& finding) override { f(finding); }
        Found& f;
    } handler(found);
    try {
        kessa::checkKessaFindings(text, handler);
    } catch (const kessa::SyntaxError&) {
        return false;
    }
    return true;
}

}  // namespace

Diagnostic diagnosticOf(const kessa::Finding& finding) {
    return {finding.offset, finding.bytes.size(), finding.severity(), finding.code(),
            kessa::describe(finding)};
}

void DiagnosticCollector::found(const kessa::Finding& finding) {
    if (stale_ != nullptr && stale_->load(std::memory_order_relaxed)) throw Superseded{};
    // Only the findings kept get their words.
    if (list_.keeps(finding.offset)) {
        list_.add(diagnosticOf(finding));
    } else {
        list_.skip();
    }
}

void diagnose(std::string_view text, DiagnosticList& list, const std::atomic<bool>* stale) {
    DiagnosticCollector collect(list, stale);
    try {
        kessa::checkKessaFindings(text, collect);
    } catch (const kessa::SyntaxError& error) {
        list.pin({error.offset(), characterAt(text, error.offset()), kessa::Severity::Error,
                  kessa::kMalformedCode, error.describe()});
    }
    if (stale != nullptr && stale->load()) throw Superseded{};
}

namespace {

/// An element's name in the outline and in paths: its index in brackets.
std::string indexName(std::uint64_t index) {
    std::string name(1, '[');
    name.append(std::to_string(index)).append(1, ']');
    return name;
}

/// The name a member shows in the outline and in paths: its key as the JSON has it.
std::string keyName(const Item& item) {
    return keptBytes(item.key, false);
}

SymbolKind kindOf(const Item& item) {
    const kessa::Scalar scalar = kessa::typeScalar(keptBytes(item.token, item.quoted));
    return scalar.type == pelmo::JsonType::String ? SymbolKind::String : SymbolKind::Number;
}

class OutlineBuilder final : public LayoutVisitor {
public:
    explicit OutlineBuilder(std::vector<Symbol>& symbols) : symbols_(symbols) {}

    void scalar(const Item& item) override { add(item, kindOf(item)); }
    void open(const Item& item, bool object) override {
        open_.push_back(add(item, object ? SymbolKind::Object : SymbolKind::Array));
    }
    void close(std::uint64_t end) override {
        if (open_.back() != kNone) symbols_[open_.back()].end = end;
        open_.pop_back();
    }

    /// Containers never closed end where the text does.
    void finish(std::uint64_t end) {
        for (const std::size_t index : open_) {
            if (index != kNone) symbols_[index].end = end;
        }
    }

private:
    static constexpr std::size_t kNone = ~std::size_t{0};

    std::size_t add(const Item& item, SymbolKind kind) {
        if (open_.size() >= kOutlineDepth || symbols_.size() >= kOutlineSymbols) return kNone;
        Symbol symbol;
        if (item.inArray) {
            symbol.name = indexName(item.index);
        } else {
            symbol.name = keyName(item);
            if (symbol.name.empty()) symbol.name = "\"\"";
        }
        symbol.kind = kind;
        symbol.begin = item.keyBegin;
        symbol.end = item.valueEnd;
        if (item.inArray) {
            symbol.nameBegin = item.valueBegin;
            symbol.nameEnd = item.valueEnd;
        } else {
            symbol.nameBegin = item.keyBegin;
            symbol.nameEnd = item.keyEnd;
        }
        symbol.depth = open_.size();
        symbols_.push_back(std::move(symbol));
        return symbols_.size() - 1;
    }

    std::vector<Symbol>& symbols_;
    std::vector<std::size_t> open_;  // the open containers' symbols, or kNone
};

}  // namespace

std::vector<Symbol> outline(std::string_view text) {
    std::vector<Symbol> symbols;
    OutlineBuilder builder(symbols);
    try {
        walkLayout(text, builder);
    } catch (const kessa::SyntaxError&) {
        builder.finish(text.size());
    }
    return symbols;
}

namespace {

/// Whether a key can stand in a path as it is, between dots.
bool plainKey(std::string_view key) {
    if (key.empty()) return false;
    for (std::size_t i = 0; i < key.size();) {
        const auto byte = static_cast<unsigned char>(key[i]);
        if (byte <= ' ' || byte == 0x7F || byte == '.' || byte == '[' || byte == ']' ||
            byte == '"' || byte == '\\') {
            return false;
        }
        const std::size_t length = pelmo::detail::utf8SequenceLength(key.substr(i));
        if (length == 0) return false;
        i += length;
    }
    return true;
}

/// The JSON text of a string.
std::string jsonString(std::string_view bytes) {
    std::string out;
    pelmo::JsonString(std::string(bytes)).appendCompact(out);
    return out;
}

/// Where the hover is: a key or a value, with the path to it.
struct Spot {
    bool onKey = false;
    Item item;
    std::string path;
    kessa::InstancePath steps;
};

/// Walks the layout up to the item at an offset, keeping the path to it.
class SpotFinder final : public LayoutVisitor {
public:
    struct Found {};
    struct Passed {};

    explicit SpotFinder(std::uint64_t offset) : offset_(offset) {}

    void scalar(const Item& item) override {
        check(item);
        if (offset_ >= item.valueBegin && offset_ < item.valueEnd) found(item, false);
    }
    void open(const Item& item, bool) override {
        check(item);
        path_.push_back(segment(item));
        steps_.push_back(step(item));
    }
    void close(std::uint64_t) override {
        path_.pop_back();
        steps_.pop_back();
    }

    std::optional<Spot> spot;

private:
    void check(const Item& item) {
        if (item.keyBegin > offset_) throw Passed{};
        const bool onKey = item.keyEnd > item.keyBegin
                               ? offset_ < item.keyEnd
                               : offset_ == item.keyBegin && item.keyBegin < item.valueBegin;
        if (!item.inArray && onKey) found(item, true);
    }

    [[noreturn]] void found(const Item& item, bool onKey) {
        std::string path;
        for (const std::string& part : path_) path += part;
        path += segment(item);
        if (!path.empty() && path[0] == '.') path.erase(0, 1);
        if (path.size() > kShown) path = "..." + path.substr(path.size() - kShown);
        steps_.push_back(step(item));
        spot = Spot{onKey, item, std::move(path), std::move(steps_)};
        throw Found{};
    }

    static kessa::PathStep step(const Item& item) {
        if (item.inArray) return item.index;
        return keyName(item);
    }

    static std::string segment(const Item& item) {
        if (item.inArray) return indexName(item.index);
        const std::string key = keyName(item);
        // Built piece by piece: g++ 12 warns wrongly about "." + string.
        std::string segment(1, plainKey(key) ? '.' : '[');
        segment.append(plainKey(key) ? key : jsonString(key));
        if (!plainKey(key)) segment += ']';
        return segment;
    }

    std::uint64_t offset_;
    std::vector<std::string> path_;
    kessa::InstancePath steps_;
};

std::optional<Spot> spotAt(std::string_view text, std::uint64_t offset) {
    SpotFinder finder(offset);
    try {
        walkLayout(text, finder);
    } catch (const SpotFinder::Found&) {
    } catch (const SpotFinder::Passed&) {
    } catch (const kessa::SyntaxError&) {
    }
    return std::move(finder.spot);
}

}  // namespace

std::optional<HoverText> hoverAt(std::string_view text, std::uint64_t offset) {
    const std::optional<Spot> spot = spotAt(text, offset);
    if (!spot) return std::nullopt;
    const Item& item = spot->item;
    HoverText hover;
    hover.path = spot->steps;
    if (spot->onKey) {
        hover.text = spot->path;
        hover.begin = item.keyBegin;
        hover.end = item.keyEnd;
    } else {
        const std::string kept = keptBytes(item.token, item.quoted);
        const pelmo::JsonNodePtr node = kessa::makeScalar(std::string_view(kept));
        std::string json;
        node->appendCompact(json);
        const char* type = node->type == pelmo::JsonType::Integer ? "integer"
                           : node->type == pelmo::JsonType::Float ? "float"
                                                                  : "string";
        hover.text = cut(json, kShown) + " (" + type + ")";
        hover.begin = item.valueBegin;
        hover.end = item.valueEnd;
    }
    // The findings whose bytes lie in the key or value.
    bool first = true;
    eachFinding(text, [&](const kessa::Finding& finding) {
        const std::uint64_t end = finding.offset + finding.bytes.size();
        const bool within = finding.bytes.empty()
                                ? finding.offset >= hover.begin && finding.offset <= hover.end
                                : finding.offset < hover.end && end > hover.begin;
        if (!within) return;
        hover.text += first ? ": " : "\n";
        hover.text += kessa::describe(finding);
        first = false;
    });
    return hover;
}

std::string applied(std::string_view text, const Edit& edit) {
    std::string out;
    out.reserve(text.size() - (edit.end - edit.begin) + edit.text.size());
    out.append(text.substr(0, edit.begin));
    out += edit.text;
    out.append(text.substr(edit.end));
    return out;
}

namespace {

using Counts = std::array<std::size_t, kessa::kFindingKindCount>;

/// Counts the findings of `text` by kind; false for a malformed text.
bool count(std::string_view text, Counts& counts) {
    counts = {};
    return eachFinding(text, [&counts](const kessa::Finding& finding) {
        ++counts[static_cast<std::size_t>(finding.kind)];
    });
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

/// The edit that the words of `finding` ask for, where they ask for one.
std::optional<Fix> candidateFor(std::string_view text, const kessa::Finding& finding) {
    using kessa::FindingKind;
    const std::uint64_t at = finding.offset;
    const std::uint64_t end = at + finding.bytes.size();
    switch (finding.kind) {
        case FindingKind::ByteOrderMark:
            return Fix{"Remove the byte-order mark", finding, {0, 3, ""}};
        case FindingKind::BlankBeforeQuote: {
            std::uint64_t begin = at;
            while (begin > 0 && isBlank(text[begin - 1])) --begin;
            if (begin == at) return std::nullopt;
            return Fix{"Remove the blank before the double quote", finding, {begin, at, ""}};
        }
        case FindingKind::KeyReplaced:
        case FindingKind::WaitingKey: {
            std::uint64_t equals = end;
            while (equals < text.size() && isBlank(text[equals])) ++equals;
            if (equals == text.size() || text[equals] != '=') return std::nullopt;
            return Fix{
                "Give the key an empty value, \"\"", finding, {equals + 1, equals + 1, "\"\""}};
        }
        case FindingKind::EmptyBraces:
            return Fix{"Write {=} for an empty object", finding, {at, end, "{=}"}};
        case FindingKind::DroppedEquals:
            return Fix{"Remove the equals sign", finding, {at, end, ""}};
        case FindingKind::EmptyElement:
            return Fix{"Remove the extra comma", finding, {at, end, ""}};
        case FindingKind::OpenAtEnd:
            return Fix{finding.bytes == "{" ? "Remove the left brace at the end"
                                            : "Remove the double quote at the end",
                       finding,
                       {at, end, ""}};
        case FindingKind::TextAfterQuote: {
            // Between the quotes of two quoted elements, or in front of an unquoted one.
            const bool quoted = at >= 2 && text[at - 1] == '"' && text[at - 2] == '"';
            const std::uint64_t comma = quoted ? at - 1 : at;
            return Fix{"Put a comma between the elements", finding, {comma, comma, ","}};
        }
        case FindingKind::JoinedLines: {
            const std::size_t lineBreak = finding.bytes.find_first_of("\r\n");
            if (lineBreak == std::string_view::npos) return std::nullopt;
            return Fix{"Add a comma after the first element",
                       finding,
                       {at + lineBreak, at + lineBreak, ","}};
        }
        case FindingKind::DiscardedText: {
            std::uint64_t lineEnd = text.find('\n', at);
            if (lineEnd == std::string_view::npos) return std::nullopt;
            while (lineEnd > at && (isBlank(text[lineEnd - 1]) || text[lineEnd - 1] == '\r')) {
                --lineEnd;
            }
            const std::string_view value = text.substr(at, lineEnd - at);
            if (value.find_first_of("\"\t") != std::string_view::npos) return std::nullopt;
            std::string quoted(1, '"');
            quoted.append(value).append(1, '"');
            return Fix{"Quote the whole value", finding, {at, lineEnd, std::move(quoted)}};
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

std::vector<Fix> fixesWithin(std::string_view text, std::uint64_t begin, std::uint64_t end) {
    std::vector<kessa::Finding> touching;
    Counts before{};
    const bool wellFormed = eachFinding(text, [&](const kessa::Finding& finding) {
        ++before[static_cast<std::size_t>(finding.kind)];
        if (finding.offset <= end && finding.offset + finding.bytes.size() >= begin) {
            touching.push_back(finding);
        }
    });
    std::vector<Fix> fixes;
    // In a malformed text no edit of one finding makes the text well-formed.
    if (!wellFormed) return fixes;
    for (const kessa::Finding& finding : touching) {
        std::optional<Fix> fix = candidateFor(text, finding);
        if (!fix) continue;
        // Two findings about one key (left waiting, then replaced) ask for the same edit.
        const auto same = [&fix](const Fix& other) { return other.edit == fix->edit; };
        if (std::any_of(fixes.begin(), fixes.end(), same)) continue;
        Counts after;
        if (!count(applied(text, fix->edit), after)) continue;
        bool holds = true;
        for (std::size_t kind = 0; kind < before.size(); ++kind) {
            const bool own = kind == static_cast<std::size_t>(finding.kind);
            holds = holds && (own ? after[kind] < before[kind] : after[kind] <= before[kind]);
        }
        if (holds) fixes.push_back(std::move(*fix));
    }
    return fixes;
}

}  // namespace lsp
