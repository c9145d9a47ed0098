// The formatter's promise, held over every text the project knows and over generated ones: a text
// the conversion accepts is formatted to a text with the same JSON, byte for byte, which
// formatting leaves as it is, and in which the check finds what it found before, but for the
// traps that were the layout's alone; a text the conversion refuses, the formatter refuses with
// the same fault at the same place.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "findings_cases.h"
#include "kessa/conversion.h"
#include "kessa/findings.h"
#include "kessa/format.h"
#include "kessa_cases.h"
#include "pelmo/json/text_sink.h"

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

/// Texts made of the pieces where the notation does what its writer may not expect: every
/// separator, blanks and line ends around them, quotes in every place, numerals the typing
/// changes, a byte-order mark, bytes that are not UTF-8.
class TextMaker {
public:
    explicit TextMaker(std::uint64_t seed) : random_(seed) {}

    std::string make() {
        std::string text;
        if (below(40) == 0) text += "\xEF\xBB\xBF";
        if (below(3) == 0) {
            for (std::size_t n = below(24); n != 0; --n) text += pick(kPieces);
        } else {
            members(text, 0);
        }
        if (below(10) == 0) text += pick({"\"", "{", " ", "\r", "x"});
        return text;
    }

private:
    static constexpr std::string_view kPieces[] = {
        "=",        "{",        "}",    ",",        "\"",   "\n",   "\r\n", " ",  "\t",
        "a",        "k",        "x y",  "1",        "007",  "1.10", "1e3",  "-0", "\"q\"",
        "\"a,b}\"", "\"t\tt\"", "\"\"", "\xC3\xA9", "\xE9", "\x01", "{=}",  "{}", "a\"b"};

    std::size_t below(std::size_t n) { return random_() % n; }
    template <std::size_t N>
    std::string_view pick(const std::string_view (&options)[N]) {
        return options[below(N)];
    }
    std::string_view pick(std::initializer_list<std::string_view> options) {
        return options.begin()[below(options.size())];
    }

    std::string_view blanks() { return pick({"", "", "", " ", "\t", "  ", "\r", "\n", "\n\n"}); }

    std::string_view scalar() {
        return pick({"1",
                     "007",
                     "1.10",
                     "2.5",
                     "-0",
                     "1e999",
                     "0x1F",
                     "red",
                     "dark blue",
                     "\"dark blue\"",
                     "\"a,b}\"",
                     "\"12\"",
                     "\"\"",
                     "\"x\ny\"",
                     "\"t\tt\"",
                     "\"c\r\"",
                     "a\"b",
                     "\"q\"x",
                     "caf\xC3\xA9",
                     "caf\xE9",
                     "a\x01",
                     "true",
                     "0",
                     "http://x.io/a?b",
                     "12345678901234567890",
                     "3.14159265",
                     "+7",
                     "1.",
                     "1e-9",
                     "9007199254740993",
                     "\" 12\""});
    }

    void value(std::string& text, int depth) {
        text += blanks();
        if (depth < 5 && below(4) == 0) {
            if (below(8) == 0) text += pick({"x", "Hello "});
            text += '{';
            text += blanks();
            if (below(2) == 0) {
                members(text, depth + 1);
            } else {
                for (std::size_t n = below(6); n != 0; --n) {
                    value(text, depth + 1);
                    text += pick({",", ",", "\n", ",\n", ", ", ",,", " "});
                    if (below(12) == 0) text += "k=";
                }
            }
            text += blanks();
            text += '}';
        } else {
            text += scalar();
        }
        text += blanks();
    }

    void members(std::string& text, int depth) {
        for (std::size_t n = below(depth == 0 ? 8 : 5); n != 0; --n) {
            text += blanks();
            if (below(12) != 0) {
                text += pick({"a", "b", "name", " spaced key ", "", "k\xC3\xA9", "a\"b", "x\ry"});
                text += '=';
            }
            if (below(15) == 0) text += pick({"=", "k=", "\n"});
            value(text, depth);
            text += pick({"\n", "\n", "\r\n", ",", "\n\n", "\n \n"});
        }
    }

    std::mt19937_64 random_;
};

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(FormatProperty, ProjectTexts) {
    for (const auto& row : kAcceptedTexts) EXPECT_TRUE(holds(std::string(row.input)));
    for (const std::string_view text : kRejectedTexts) EXPECT_FALSE(holds(std::string(text)));
    for (const auto& row : kFindingRows) holds(row.input);
    for (const auto& row : kWordRows) holds(row.input);
    std::size_t files = 0;
    for (const char* folder : {KESSA2JSON_FUZZ_CORPUS, KESSA2JSON_EXAMPLES}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file()) continue;
            holds(slurp(entry.path()));
            ++files;
        }
    }
    EXPECT_GT(files, 40u);
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
