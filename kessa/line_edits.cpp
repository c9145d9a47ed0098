// Line edits: a patience-style match of the lines each text holds once, and between those anchors
// the shortest edit script (Myers' greedy algorithm), bounded so that two texts that differ
// everywhere cost no more than a replacement.

#include "kessa/line_edits.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>

namespace kessa {

namespace {

using Lines = std::vector<std::string_view>;

/// Past this many differences a stretch between anchors is replaced whole: the greedy search
/// costs the stretch's length times the differences.
constexpr std::size_t kMaxDifferences = 256;
/// Lines on both sides of a stretch up to which the search alone is cheaper than the anchors.
constexpr std::size_t kShortStretch = 64;

class Matcher {
public:
    Matcher(const Lines& a, const Lines& b) : a_(a), b_(b) {}

    /// The edits for a[aBegin, aEnd) against b[bBegin, bEnd), appended in order.
    void match(std::size_t aBegin, std::size_t aEnd, std::size_t bBegin, std::size_t bEnd) {
        // Work stays on a stack of stretches, not on the call stack.
        std::vector<Stretch> stack{{aBegin, aEnd, bBegin, bEnd}};
        while (!stack.empty()) {
            Stretch s = stack.back();
            stack.pop_back();
            while (s.aBegin != s.aEnd && s.bBegin != s.bEnd && a_[s.aBegin] == b_[s.bBegin]) {
                ++s.aBegin;
                ++s.bBegin;
            }
            while (s.aBegin != s.aEnd && s.bBegin != s.bEnd && a_[s.aEnd - 1] == b_[s.bEnd - 1]) {
                --s.aEnd;
                --s.bEnd;
            }
            if (s.aBegin == s.aEnd || s.bBegin == s.bEnd) {
                add(s.aBegin, s.aEnd - s.aBegin, s.bBegin, s.bEnd - s.bBegin);
                continue;
            }
            // A short stretch goes straight to the search, which finds its fewest changes at
            // less cost than counting its lines.
            if ((s.aEnd - s.aBegin) + (s.bEnd - s.bBegin) <= kShortStretch) {
                shortest(s);
                continue;
            }
            const std::vector<std::pair<std::size_t, std::size_t>> anchors = uniqueAnchors(s);
            if (anchors.empty()) {
                shortest(s);
                continue;
            }
            // The stretches between the anchors, pushed last first so that they come out in
            // order.
            std::size_t aNext = s.aEnd, bNext = s.bEnd;
            for (auto anchor = anchors.rbegin(); anchor != anchors.rend(); ++anchor) {
                stack.push_back({anchor->first + 1, aNext, anchor->second + 1, bNext});
                aNext = anchor->first;
                bNext = anchor->second;
            }
            stack.push_back({s.aBegin, aNext, s.bBegin, bNext});
        }
    }

    std::vector<LineEdit> edits;

private:
    struct Stretch {
        std::size_t aBegin, aEnd, bBegin, bEnd;
    };

    void add(std::size_t aStart, std::size_t aCount, std::size_t bStart, std::size_t bCount) {
        if (aCount == 0 && bCount == 0) return;
        if (!edits.empty()) {
            LineEdit& last = edits.back();
            if (last.oldStart + last.oldCount == aStart &&
                last.newStart + last.newCount == bStart) {
                last.oldCount += aCount;
                last.newCount += bCount;
                return;
            }
        }
        edits.push_back({aStart, aCount, bStart, bCount});
    }

    /// The lines that stand once in each side of the stretch, matched in the longest run that
    /// keeps their order on both sides.
    std::vector<std::pair<std::size_t, std::size_t>> uniqueAnchors(const Stretch& s) const {
        // The lines of a counted in a table of their own, open addressing with no allocation per
        // line: on a long text that is most of the time the anchors take.
        struct Count {
            std::size_t line = SIZE_MAX;  // the place in a of the line the slot counts
            std::size_t inA = 0, inB = 0, atB = 0;
        };
        std::size_t capacity = 16;
        while (capacity < 2 * (s.aEnd - s.aBegin)) capacity *= 2;
        std::vector<Count> table(capacity);
        const std::hash<std::string_view> hash;
        const auto slotOf = [&](std::string_view line) {
            std::size_t at = hash(line) & (capacity - 1);
            while (table[at].line != SIZE_MAX && a_[table[at].line] != line) {
                at = (at + 1) & (capacity - 1);
            }
            return at;
        };
        std::vector<std::size_t> slots(s.aEnd - s.aBegin);
        for (std::size_t i = s.aBegin; i != s.aEnd; ++i) {
            Count& c = table[slots[i - s.aBegin] = slotOf(a_[i])];
            c.line = i;
            ++c.inA;
        }
        for (std::size_t j = s.bBegin; j != s.bEnd; ++j) {
            Count& c = table[slotOf(b_[j])];
            if (c.line == SIZE_MAX) continue;
            ++c.inB;
            c.atB = j;
        }
        // The pairs in the order of a, and the longest rising run of their places in b
        // (patience sorting).
        std::vector<std::pair<std::size_t, std::size_t>> pairs;
        for (std::size_t i = s.aBegin; i != s.aEnd; ++i) {
            const Count& c = table[slots[i - s.aBegin]];
            if (c.inA == 1 && c.inB == 1) pairs.emplace_back(i, c.atB);
        }
        std::vector<std::size_t> tails, previous(pairs.size(), SIZE_MAX);
        for (std::size_t k = 0; k != pairs.size(); ++k) {
            const auto place = std::lower_bound(
                tails.begin(), tails.end(), pairs[k].second,
                [&](std::size_t tail, std::size_t b) { return pairs[tail].second < b; });
            if (place != tails.begin()) previous[k] = *(place - 1);
            if (place == tails.end()) {
                tails.push_back(k);
            } else {
                *place = k;
            }
        }
        std::vector<std::pair<std::size_t, std::size_t>> run;
        for (std::size_t k = tails.empty() ? SIZE_MAX : tails.back(); k != SIZE_MAX;
             k = previous[k]) {
            run.push_back(pairs[k]);
        }
        std::reverse(run.begin(), run.end());
        return run;
    }

    /// The fewest lines changed between the two sides of the stretch, by the greedy search of
    /// the furthest reaching paths; the stretch replaced whole past kMaxDifferences.
    void shortest(const Stretch& s) {
        const auto n = static_cast<std::ptrdiff_t>(s.aEnd - s.aBegin);
        const auto m = static_cast<std::ptrdiff_t>(s.bEnd - s.bBegin);
        const std::ptrdiff_t limit = std::min<std::ptrdiff_t>(n + m, kMaxDifferences);
        const std::ptrdiff_t offset = limit + 1;
        std::vector<std::ptrdiff_t> reach(static_cast<std::size_t>(2 * offset + 1), 0);
        // What reach held for k in [-d, d] as each round d began: the rounds before it are
        // walked back through these, kept without copying the whole of reach each round.
        std::vector<std::ptrdiff_t> trace;
        std::ptrdiff_t found = -1;
        for (std::ptrdiff_t d = 0; d <= limit && found < 0; ++d) {
            trace.insert(trace.end(), reach.begin() + (offset - d),
                         reach.begin() + (offset + d + 1));
            for (std::ptrdiff_t k = -d; k <= d; k += 2) {
                std::ptrdiff_t x;
                if (k == -d || (k != d && reach[offset + k - 1] < reach[offset + k + 1])) {
                    x = reach[offset + k + 1];  // a line of b inserted
                } else {
                    x = reach[offset + k - 1] + 1;  // a line of a deleted
                }
                std::ptrdiff_t y = x - k;
                while (x < n && y < m && a_[s.aBegin + x] == b_[s.bBegin + y]) {
                    ++x;
                    ++y;
                }
                reach[offset + k] = x;
                if (x >= n && y >= m) {
                    found = d;
                    break;
                }
            }
        }
        if (found < 0) {
            add(s.aBegin, s.aEnd - s.aBegin, s.bBegin, s.bEnd - s.bBegin);
            return;
        }
        // Walk the trace back from the end: each step deleted a line of a or inserted one of b,
        // at the places (x, y) it started from.
        struct Step {
            bool deleted;
            std::ptrdiff_t x, y;
        };
        std::vector<Step> steps;
        std::ptrdiff_t x = n, y = m;
        for (std::ptrdiff_t d = found; d > 0; --d) {
            // Round d's slice starts after those of rounds 0 to d - 1, d * d entries.
            const std::ptrdiff_t* before = trace.data() + d * d + d;  // at k = 0
            const std::ptrdiff_t k = x - y;
            const bool inserted = k == -d || (k != d && before[k - 1] < before[k + 1]);
            const std::ptrdiff_t previousK = inserted ? k + 1 : k - 1;
            x = before[previousK];
            y = x - previousK;
            steps.push_back({!inserted, x, y});
        }
        for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
            add(s.aBegin + static_cast<std::size_t>(step->x), step->deleted ? 1 : 0,
                s.bBegin + static_cast<std::size_t>(step->y), step->deleted ? 0 : 1);
        }
    }

    const Lines& a_;
    const Lines& b_;
};

}  // namespace

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t size = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, size));
        text.remove_prefix(size);
    }
    return lines;
}

std::vector<LineEdit> lineEdits(std::string_view before, std::string_view after) {
    const Lines a = splitLines(before), b = splitLines(after);
    Matcher matcher(a, b);
    matcher.match(0, a.size(), 0, b.size());
    return std::move(matcher.edits);
}

}  // namespace kessa
