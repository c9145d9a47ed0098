// Line edits: applied to the first text they give the second, they touch only lines that differ,
// and what formatting changes comes out as the few edits an editor expects.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "kessa/line_edits.h"

namespace {

using kessa::LineEdit;

/// `before` with `edits` applied, the new lines taken from `after`; fails the test where an edit
/// is out of order, overlaps another or keeps a line that differs.
std::string applied(std::string_view before, std::string_view after,
                    const std::vector<LineEdit>& edits) {
    const auto a = kessa::splitLines(before), b = kessa::splitLines(after);
    std::string out;
    std::size_t i = 0, j = 0;
    for (const LineEdit& edit : edits) {
        EXPECT_GE(edit.oldStart, i);
        EXPECT_GT(edit.oldCount + edit.newCount, 0u);
        EXPECT_EQ(edit.oldStart - i, edit.newStart - j);  // the kept lines between edits
        if (edit.oldStart < i || edit.oldStart - i != edit.newStart - j) return {};
        for (; i != edit.oldStart; ++i, ++j) {
            EXPECT_EQ(a[i], b[j]);
            out += a[i];
        }
        for (std::size_t k = 0; k != edit.newCount; ++k) out += b[edit.newStart + k];
        i += edit.oldCount;
        j += edit.newCount;
    }
    EXPECT_EQ(a.size() - i, b.size() - j);
    for (; i < a.size() && j < b.size(); ++i, ++j) {
        EXPECT_EQ(a[i], b[j]);
        out += a[i];
    }
    return out;
}

}  // namespace

TEST(LineEdits, Rows) {
    const struct {
        std::string_view before, after;
        std::vector<LineEdit> edits;
    } rows[] = {
        {"", "", {}},
        {"a\nb\n", "a\nb\n", {}},
        {"", "a\n", {{0, 0, 0, 1}}},
        {"a\n", "", {{0, 1, 0, 0}}},
        {"a\nb", "a\nb\n", {{1, 1, 1, 1}}},  // the line feed added to the last line
        {"a\nx\nc\n", "a\ny\nc\n", {{1, 1, 1, 1}}},
        {"k=1\nbox={w=1\nh=2\n}\nz=3\n", "k=1\nbox={\n    w=1\n    h=2\n}\nz=3\n", {{1, 2, 1, 3}}},
        {"a=1\r\nb=2\r\n", "a=1\nb=2\n", {{0, 2, 0, 2}}},
        {"a\nb\nc\nd\n", "a\nc\nd\ne\n", {{1, 1, 1, 0}, {4, 0, 3, 1}}},
        {"}\n}\n}\n", "}\n}\n", {{2, 1, 2, 0}}},
    };
    for (const auto& row : rows) {
        const auto edits = kessa::lineEdits(row.before, row.after);
        EXPECT_EQ(edits, row.edits) << row.before << "|" << row.after;
        EXPECT_EQ(applied(row.before, row.after, edits), row.after);
    }
}

// Generated texts alike in part, lines repeated or not: the edits always give the second text.
TEST(LineEdits, GiveTheSecondText) {
    std::mt19937_64 random(11);
    const std::string_view pool[] = {"}\n", "    a=1\n", "b=2\n", "x\n", "", "{\n", "q\n"};
    for (int round = 0; round != 3000; ++round) {
        std::string before, after;
        const std::size_t lines = random() % 40;
        for (std::size_t i = 0; i != lines; ++i) {
            // Built by appending: g++ 12 warns wrongly about "line" + string.
            std::string line(pool[random() % std::size(pool)]);
            if (random() % 3 != 0)
                line.assign("line").append(std::to_string(random() % 60)) += '\n';
            if (line.empty()) line.push_back('\n');
            before += line;
            switch (random() % 5) {
                case 0:
                    break;  // dropped
                case 1:
                    after.append("new").append(std::to_string(random() % 9)) += '\n';
                    after += line;
                    break;
                default:
                    after += line;
            }
        }
        if (random() % 4 == 0 && !after.empty()) after.pop_back();  // no line feed at the end
        EXPECT_EQ(applied(before, after, kessa::lineEdits(before, after)), after)
            << before << "|" << after;
        if (HasFailure()) break;
    }
}

// Two texts that share no line cost one replacement, however long.
TEST(LineEdits, UnlikeTextsAreOneEdit) {
    std::string before, after;
    for (int i = 0; i != 20000; ++i) {
        before.append("a").append(std::to_string(i % 7)) += '\n';
        after.append("b").append(std::to_string(i % 5)) += '\n';
    }
    EXPECT_EQ(kessa::lineEdits(before, after), (std::vector<LineEdit>{{0, 20000, 0, 20000}}));
}
