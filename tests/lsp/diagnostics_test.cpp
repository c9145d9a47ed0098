#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "lsp/diagnostics.h"

namespace {

/// What the list must give, from all it was handed: pinned ones always, the others in document
/// order while there is room, each told by its message; and the count of those left out.
struct Model {
    struct Given {
        std::uint64_t offset;
        std::size_t order;
        bool pinned;
    };
    std::vector<Given> given;

    std::pair<std::vector<std::string>, std::size_t> expected(std::size_t cap) const {
        std::vector<Given> sorted = given;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const Given& a, const Given& b) { return a.offset < b.offset; });
        const auto pinned = static_cast<std::size_t>(
            std::count_if(given.begin(), given.end(), [](const Given& g) { return g.pinned; }));
        std::size_t room = cap > pinned ? cap - pinned : 0;
        std::vector<std::string> shown;
        std::size_t left = 0;
        for (const Given& g : sorted) {
            if (g.pinned || room > 0) {
                shown.push_back(std::to_string(g.order));
                room -= g.pinned ? 0 : 1;
            } else {
                ++left;
            }
        }
        return {shown, left};
    }
};

}  // namespace

// Whatever the order the diagnostics come in, the first `cap` in document order are kept, the
// pinned ones always, and the rest are counted in a note at the start of the text.
TEST(DiagnosticList, KeepsTheFirstInDocumentOrder) {
    std::mt19937_64 random(29);
    for (int round = 0; round < 1000; ++round) {
        const std::size_t cap = std::vector<std::size_t>{0, 1, 2, 3, 8, 1000}[random() % 6];
        const std::size_t count = random() % (round % 10 == 0 ? 2500 : 3 * cap + 4);
        lsp::DiagnosticList list(cap);
        Model model;
        std::uint64_t offset = 0;
        for (std::size_t i = 0; i < count; ++i) {
            // Mostly rising, with ties and some that come late, as a repeated key does.
            const auto roll = random() % 8;
            const std::uint64_t at = roll == 0 ? random() % (offset + 1) : offset += roll / 2;
            const bool pinned = random() % 50 == 0;
            model.given.push_back({at, i, pinned});
            lsp::Diagnostic diagnostic{at, 1, kessa::Severity::Warning, "x", std::to_string(i)};
            if (pinned) {
                list.pin(std::move(diagnostic));
            } else if (random() % 2 == 0) {
                list.add(std::move(diagnostic));
            } else if (list.keeps(at)) {
                list.add(std::move(diagnostic));
            } else {
                list.skip();
            }
        }
        const auto [shown, left] = model.expected(cap);
        std::vector<lsp::Diagnostic> taken = list.take();
        const std::string row = "cap " + std::to_string(cap) + ", round " + std::to_string(round);
        ASSERT_EQ(taken.size(), shown.size() + (left > 0 ? 1 : 0)) << row;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            ASSERT_EQ(taken[i].message, shown[i]) << row << ", diagnostic " << i;
        }
        if (left > 0) {
            const lsp::Diagnostic& note = taken.back();
            EXPECT_EQ(note.offset, 0u) << row;
            EXPECT_EQ(note.length, 0u) << row;
            EXPECT_EQ(note.severity, kessa::Severity::Note) << row;
            EXPECT_EQ(note.code, "") << row;
            EXPECT_EQ(note.message, std::to_string(left) +
                                        (left == 1 ? " more finding is" : " more findings are") +
                                        " not shown, only the first " +
                                        std::to_string(shown.size()) +
                                        "; kessa2json --check --format json lists them all")
                << row;
        }
        EXPECT_TRUE(list.take().empty()) << row;  // taken, the list starts again
    }
}
