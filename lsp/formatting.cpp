// The layout comes whole from kessa::formatKessa, and the edits from kessa::lineEdits. A range
// finds its container by the order in which containers open, which formatting keeps: the k-th
// container of the text is the k-th of its layout. Putting one container's lines into a text
// laid out otherwise is checked by formatting the result: it must give the layout of the text,
// and so the same JSON, or the whole text is formatted instead.

#include "lsp/formatting.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

#include "kessa/format.h"
#include "kessa/line_edits.h"
#include "kessa/reader.h"
#include "lsp/layout.h"
#include "pelmo/json/text_sink.h"

namespace lsp {

namespace {

/// The most a formatted text may take beyond four times the text.
constexpr std::size_t kFormattedRoom = std::size_t{64} << 20;

std::string formatted(std::string_view text, const kessa::Layout& layout) {
    std::string out;
    pelmo::StringSink sink(out, kFormattedRoom + 4 * std::min(text.size(), kFormattedRoom),
                           "the formatted text would be over 4 times the document: it is nested "
                           "too deep to indent");
    kessa::formatKessa(text, sink, layout);
    return out;
}

/// Whether `text` has line feeds, each after a carriage return.
bool endsLinesWithCrLf(std::string_view text) {
    bool any = false;
    for (std::size_t at = text.find('\n'); at != std::string_view::npos;
         at = text.find('\n', at + 1)) {
        if (at == 0 || text[at - 1] != '\r') return false;
        any = true;
    }
    return any;
}

/// `text` with a carriage return before each line feed that has none.
std::string withCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t feed = text.find('\n', at);
        if (feed == std::string_view::npos) {
            out.append(text.substr(at));
            break;
        }
        out.append(text.substr(at, feed - at));
        if (feed == 0 || text[feed - 1] != '\r') out += '\r';
        out += '\n';
        at = feed + 1;
    }
    return out;
}

/// The text a document becomes: its layout, with the document's carriage returns before line
/// feeds where it ends every line so. Carriage returns outside quotes are dropped when read, and
/// in such a document every line feed inside quotes has its own already; still, that text must lay
/// out as the layout itself does, or the layout is taken as it is.
std::string targetOf(std::string_view text, const std::string& layout,
                     const kessa::Layout& choices) {
    if (!endsLinesWithCrLf(text)) return layout;
    std::string target = withCrLf(layout);
    if (formatted(target, choices) != layout) return layout;
    return target;
}

/// Appends the edits that turn `before`, the bytes of the document from `offset` on, into
/// `after`.
void addLineEdits(std::string_view before, std::uint64_t offset, std::string_view after,
                  std::vector<Edit>& edits) {
    const std::vector<std::string_view> old = kessa::splitLines(before);
    const std::vector<std::string_view> fresh = kessa::splitLines(after);
    const auto start = [](std::string_view text, const std::vector<std::string_view>& lines,
                          std::size_t line) -> std::uint64_t {
        return line < lines.size() ? static_cast<std::uint64_t>(lines[line].data() - text.data())
                                   : text.size();
    };
    for (const kessa::LineEdit& change : kessa::lineEdits(before, after)) {
        const std::uint64_t from = start(after, fresh, change.newStart);
        const std::uint64_t to = start(after, fresh, change.newStart + change.newCount);
        edits.push_back({offset + start(before, old, change.oldStart),
                         offset + start(before, old, change.oldStart + change.oldCount),
                         std::string(after.substr(from, to - from))});
    }
}

/// Whole lines of a text: [begin, end), end past a line feed or at the text's end; and whether
/// a comma stands before the container on its first line.
struct Lines {
    std::uint64_t begin = 0, end = 0;
    bool comma = false;
};

/// Reports, for each container that closes, its number in the order containers open (from 1)
/// and the lines it stands on where it has lines of its own: nothing but blanks before its key
/// on its first line (and one comma, the separator, before a container without a key) and
/// nothing but blanks after its right brace on its last.
class ContainerLines final : public LayoutVisitor {
public:
    ContainerLines(std::string_view text, std::function<void(std::uint64_t, const Lines*)> closed)
        : text_(text), closed_(std::move(closed)) {}

    void scalar(const Item&) override {}

    void open(const Item& item, bool) override {
        const bool keyless = item.inArray || item.keyBegin == item.valueBegin;
        bool comma = false;
        const std::uint64_t begin = firstLineStart(item.keyBegin, keyless, comma);
        open_.push_back({++opened_, begin, comma});
    }

    void close(std::uint64_t end) override {
        const Open container = open_.back();
        open_.pop_back();
        std::uint64_t at = end;
        while (at < text_.size() && (text_[at] == ' ' || text_[at] == '\t' || text_[at] == '\r')) {
            ++at;
        }
        if (container.begin == kNone || (at < text_.size() && text_[at] != '\n')) {
            closed_(container.number, nullptr);
            return;
        }
        const Lines lines{container.begin, at < text_.size() ? at + 1 : at, container.comma};
        closed_(container.number, &lines);
    }

private:
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};

    /// Where the line of `first` starts, if only blanks (and for a container without a key one
    /// comma, then `comma`) stand before it there.
    std::uint64_t firstLineStart(std::uint64_t first, bool keyless, bool& comma) const {
        std::uint64_t at = first;
        while (at != 0) {
            const char c = text_[at - 1];
            if (c == '\n') break;
            if (c == ',' && keyless && !comma) {
                comma = true;
            } else if (c != ' ' && c != '\t') {
                return kNone;
            }
            --at;
        }
        return at;
    }

    struct Open {
        std::uint64_t number;
        std::uint64_t begin;  // of its first line, or kNone
        bool comma;
    };

    std::string_view text_;
    std::function<void(std::uint64_t, const Lines*)> closed_;
    std::vector<Open> open_;
    std::uint64_t opened_ = 0;
};

/// A container that holds the range: its number and its lines in the text.
struct Holder {
    std::uint64_t number;
    Lines lines;
};

}  // namespace

std::vector<Edit> formattingEdits(std::string_view text, const kessa::Layout& layout) {
    const std::string target = targetOf(text, formatted(text, layout), layout);
    std::vector<Edit> edits;
    if (target != text) addLineEdits(text, 0, target, edits);  // what a save mostly finds
    return edits;
}

std::vector<Edit> rangeFormattingEdits(std::string_view text, std::uint64_t begin,
                                       std::uint64_t end, const kessa::Layout& layout) {
    const std::string whole = formatted(text, layout);
    const std::string target = targetOf(text, whole, layout);

    // The containers on lines of their own that hold the range, the innermost first: a point
    // at the start of a line is held by the container that starts there, not the one before.
    std::vector<Holder> holders;
    ContainerLines inText(text, [&](std::uint64_t number, const Lines* lines) {
        if (lines != nullptr && lines->begin <= begin && end <= lines->end &&
            (begin < lines->end || lines->end == text.size())) {
            holders.push_back({number, *lines});
        }
    });
    walkLayout(text, inText);

    // Their lines in the layout, where they have lines of their own there too.
    std::vector<std::uint64_t> numbers;
    for (const Holder& holder : holders) numbers.push_back(holder.number);
    std::sort(numbers.begin(), numbers.end());
    std::vector<std::optional<Lines>> laidOut(numbers.size());
    ContainerLines inTarget(target, [&](std::uint64_t number, const Lines* lines) {
        const auto found = std::lower_bound(numbers.begin(), numbers.end(), number);
        if (lines != nullptr && found != numbers.end() && *found == number) {
            laidOut[static_cast<std::size_t>(found - numbers.begin())] = *lines;
        }
    });
    walkLayout(target, inTarget);

    std::vector<Edit> edits;
    for (const Holder& holder : holders) {
        const auto found = std::lower_bound(numbers.begin(), numbers.end(), holder.number);
        const std::optional<Lines>& lines =
            laidOut[static_cast<std::size_t>(found - numbers.begin())];
        // Else the container around it: a separator put in or left out would change the text.
        if (!lines || lines->comma != holder.lines.comma) continue;
        const std::string_view before =
            text.substr(holder.lines.begin, holder.lines.end - holder.lines.begin);
        const std::string_view after =
            std::string_view(target).substr(lines->begin, lines->end - lines->begin);
        std::string put;
        put.reserve(text.size() - before.size() + after.size());
        put.append(text.substr(0, holder.lines.begin))
            .append(after)
            .append(text.substr(holder.lines.end));
        try {
            if (formatted(put, layout) != whole) break;
        } catch (const kessa::SyntaxError&) {
            break;
        } catch (const FormattedTooLarge&) {
            break;
        }
        addLineEdits(before, holder.lines.begin, after, edits);
        return edits;
    }
    addLineEdits(text, 0, target, edits);
    return edits;
}

}  // namespace lsp
