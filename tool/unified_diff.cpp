#include "tool/unified_diff.h"

#include <algorithm>
#include <vector>

#include "kessa/line_edits.h"

namespace tool {

namespace {

constexpr std::size_t kContext = 3;

/// How much of the diff is gathered before it goes to the sink.
constexpr std::size_t kChunk = std::size_t{1} << 20;

/// "START,COUNT" as diff -u writes a range of lines counted from 0: from 1, the count left out
/// when it is 1, and an empty range named by the line before it.
std::string range(std::size_t start, std::size_t count) {
    std::string text = std::to_string(count == 0 ? start : start + 1);
    if (count != 1) {
        text += ',';
        text += std::to_string(count);
    }
    return text;
}

/// Gathers the diff's text and hands it to the sink a chunk at a time.
class Writer {
public:
    explicit Writer(pelmo::TextSink& sink) : sink_(sink) {}

    void text(std::string_view text) {
        out_ += text;
        if (out_.size() >= kChunk) flush();
    }
    void line(char mark, std::string_view line) {
        out_ += mark;
        text(line);
        if (line.empty() || line.back() != '\n') text("\n\\ No newline at end of file\n");
    }
    void flush() {
        sink_.write(out_.data(), out_.size());
        out_.clear();
    }

private:
    pelmo::TextSink& sink_;
    std::string out_;
};

}  // namespace

void unifiedDiff(std::string_view name, std::string_view before, std::string_view after,
                 pelmo::TextSink& sink) {
    const std::vector<kessa::LineEdit> edits = kessa::lineEdits(before, after);
    if (edits.empty()) return;
    const std::vector<std::string_view> a = kessa::splitLines(before), b = kessa::splitLines(after);
    Writer out(sink);
    out.text("--- ");
    out.text(name);
    out.text("\n+++ ");
    out.text(name);
    out.text("\n");
    for (std::size_t first = 0; first != edits.size();) {
        // A hunk takes the edits whose kept lines between them are at most twice the context.
        std::size_t last = first;
        while (last + 1 != edits.size() &&
               edits[last + 1].oldStart - (edits[last].oldStart + edits[last].oldCount) <=
                   2 * kContext) {
            ++last;
        }
        // The kept lines around the edits are the same in both texts, and as many.
        const std::size_t lead = std::min(kContext, edits[first].oldStart);
        const std::size_t oldEnd = edits[last].oldStart + edits[last].oldCount;
        const std::size_t trail = std::min(kContext, a.size() - oldEnd);
        const std::size_t oldStart = edits[first].oldStart - lead;
        const std::size_t newStart = edits[first].newStart - lead;
        const std::size_t newEnd = edits[last].newStart + edits[last].newCount;
        out.text("@@ -" + range(oldStart, oldEnd + trail - oldStart) + " +" +
                 range(newStart, newEnd + trail - newStart) + " @@\n");
        std::size_t i = oldStart;
        for (std::size_t e = first; e <= last; ++e) {
            const kessa::LineEdit& edit = edits[e];
            for (; i != edit.oldStart; ++i) out.line(' ', a[i]);
            for (std::size_t k = 0; k != edit.oldCount; ++k) out.line('-', a[i + k]);
            for (std::size_t k = 0; k != edit.newCount; ++k) {
                out.line('+', b[edit.newStart + k]);
            }
            i += edit.oldCount;
        }
        for (; i != oldEnd + trail; ++i) out.line(' ', a[i]);
        first = last + 1;
    }
    out.flush();
}

}  // namespace tool
