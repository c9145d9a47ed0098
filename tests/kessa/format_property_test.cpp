// The formatter's promise, held over every text the project knows and over generated ones: a text
// the conversion accepts is formatted to a text with the same JSON, byte for byte, which
// formatting leaves as it is, and in which the check finds what it found before, but for the
// traps that were the layout's alone; a text the conversion refuses, the formatter refuses with
// the same fault at the same place.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "findings_cases.h"
#include "kessa/conversion.h"
#include "kessa/findings.h"
#include "kessa/format.h"
#include "pelmo/json/text_sink.h"
#include "project_texts.h"
#include "text_maker.h"

namespace {

using Counts = std::array<int, kessa::kFindingKindCount>;

/// The traps that were the layout's alone, which formatting may take away.
bool isLayoutTrap(FindingKind kind) {
    return kind == FindingKind::JoinedLines || kind == FindingKind::EmptyElement ||
           kind == FindingKind::TextAfterQuote || kind == FindingKind::OpenAtEnd ||
           kind == FindingKind::ByteOrderMark;
}

Counts findingsOf(std::string_view text) {
    struct Counter final : kessa::FindingHandler {
        Counts counts{};
        void found(const kessa::Finding& finding) override {
            ++counts[static_cast<std::size_t>(finding.kind)];
        }
    } counter;
    kessa::checkKessaFindings(text, counter);
    return counter.counts;
}

std::string json(std::string_view text) {
    std::string out;
    pelmo::StringSink sink(out);
    kessa::writeIndentedJson(text, sink);
    return out;
}

/// The kinds found in the texts held so far, to show that the texts reach them all.
Counts seen{};

/// Holds the promise for `text`; returns whether the conversion accepts it.
bool holds(const std::string& text, const kessa::Layout& layout = {}) {
    std::string before;
    try {
        before = json(text);
    } catch (const kessa::SyntaxError& refused) {
        try {
            kessa::formatKessa(text, layout);
            ADD_FAILURE() << "formatted a refused text: " << testing::PrintToString(text);
        } catch (const kessa::SyntaxError& error) {
            EXPECT_EQ(error.fault(), refused.fault()) << testing::PrintToString(text);
            EXPECT_EQ(error.offset(), refused.offset()) << testing::PrintToString(text);
        }
        return false;
    }
    const std::string formatted = kessa::formatKessa(text, layout);
    const auto shown = [&] {
        return testing::PrintToString(text) + " formatted " + testing::PrintToString(formatted);
    };
    std::string after;
    try {
        after = json(formatted);
    } catch (const kessa::SyntaxError& error) {
        ADD_FAILURE() << "refused once formatted: " << shown() << ": " << error.describe();
        return true;
    }
    EXPECT_EQ(after, before) << shown();
    EXPECT_EQ(kessa::formatKessa(formatted, layout), formatted) << shown();
    const Counts was = findingsOf(text), is = findingsOf(formatted);
    for (std::size_t i = 0; i != kessa::kFindingKindCount; ++i) {
        seen[i] += was[i];
        const auto kind = static_cast<FindingKind>(i);
        if (isLayoutTrap(kind)) {
            EXPECT_LE(is[i], was[i]) << kessa::code(kind) << " in " << shown();
        } else {
            EXPECT_EQ(is[i], was[i]) << kessa::code(kind) << " in " << shown();
        }
    }
    return true;
}

}  // namespace

TEST(FormatProperty, ProjectTexts) {
    for (const auto& row : kFindingRows) holds(row.input);
    for (const auto& row : kWordRows) holds(row.input);
    EXPECT_GT(forEachProjectText([](const std::string& text) { holds(text); }), 40u);
}

TEST(FormatProperty, GeneratedTexts) {
    TextMaker maker(20261210);
    std::size_t accepted = 0;
    constexpr int kTexts = 100000;
    seen = {};
    for (int i = 0; i != kTexts && !HasFailure(); ++i) accepted += holds(maker.make());
    EXPECT_GT(accepted, kTexts / 3);
    // Every trap of the notation is among them.
    for (std::size_t i = 0; i != kessa::kNotationKindCount; ++i) {
        EXPECT_GT(seen[i], 0) << kessa::code(static_cast<FindingKind>(i));
    }
}

// The other layouts keep the promise too.
TEST(FormatProperty, OtherLayouts) {
    TextMaker maker(5);
    kessa::Layout tabs, narrow;
    tabs.tabs = true;
    narrow.indent = 1;
    narrow.width = 12;
    for (int i = 0; i != 5000 && !HasFailure(); ++i) {
        const std::string text = maker.make();
        holds(text, tabs);
        holds(text, narrow);
    }
}
