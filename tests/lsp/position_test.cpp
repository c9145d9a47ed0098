#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lsp/document.h"
#include "lsp/position.h"

namespace lsp {

// For the failure messages; found by argument-dependent lookup.
std::ostream& operator<<(std::ostream& out, const Position& position) {
    return out << position.line << ":" << position.character;
}

}  // namespace lsp

namespace {

using lsp::Encoding;
using lsp::LineIndex;
using lsp::Position;

/// The pieces random texts are made of: characters of one to four bytes, line breaks of each
/// kind, and bytes that are no part of a well-formed sequence (a lone continuation byte, a
/// truncated sequence, an encoded surrogate, an overlong form).
const std::vector<std::string> kPieces = {
    "a",    "=",    " ",    "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\r",           "\n",
    "\r\n", "\xFF", "\x80", "\xE2\x82", "\xED\xA0\x80", "\xC0\xAF",         "\xF0\x9F\x98",
};

std::string randomText(std::mt19937& random, std::size_t pieces) {
    std::string text;
    for (std::size_t i = 0; i < pieces; ++i) text += kPieces[random() % kPieces.size()];
    return text;
}

/// The model: the length of the well-formed UTF-8 sequence at `at` by its code point, or 0.
std::size_t sequenceAt(const std::string& text, std::size_t at) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const std::size_t length = b(0) < 0x80       ? 1
                               : b(0) >> 5 == 6  ? 2
                               : b(0) >> 4 == 14 ? 3
                               : b(0) >> 3 == 30 ? 4
                                                 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    unsigned long code = length == 1 ? b(0) : b(0) & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (b(i) >> 6 != 2) return 0;
        code = code << 6 | (b(i) & 0x3F);
    }
    const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

/// The model's position of every offset, character by character from the start.
std::vector<Position> modelPositions(const std::string& text, Encoding encoding) {
    std::vector<Position> positions;
    Position at;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = std::max<std::size_t>(sequenceAt(text, i), 1);
        for (std::size_t k = 0; k < length; ++k) positions.push_back(at);
        const bool lineBreak =
            text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
        if (lineBreak) {
            at = {at.line + 1, 0};
        } else {
            const std::size_t units = encoding == Encoding::Utf8 ? length : length == 4 ? 2 : 1;
            at.character += units;
        }
        i += length;
    }
    positions.push_back(at);
    return positions;
}

}  // namespace

// Positions count UTF-16 code units, or bytes where the client takes UTF-8; a byte that is not
// UTF-8 counts one either way; lines end at LF, CR LF or a lone CR.
TEST(Positions, OffsetsToPositions) {
    const struct {
        std::string text;
        std::uint64_t offset;
        Position utf16, utf8;
    } rows[] = {
        {"", 0, {0, 0}, {0, 0}},
        {"ab", 2, {0, 2}, {0, 2}},
        {"a\nb", 2, {1, 0}, {1, 0}},
        {"a\r\nb", 3, {1, 0}, {1, 0}},
        {"a\r\nb", 2, {0, 2}, {0, 2}},  // between CR and LF: still the first line
        {"a\rb", 2, {1, 0}, {1, 0}},
        {"\r\r\n\n", 4, {3, 0}, {3, 0}},
        {"\xC3\xA9x", 2, {0, 1}, {0, 2}},          // two bytes
        {"\xE2\x82\xACx", 3, {0, 1}, {0, 3}},      // three bytes
        {"\xF0\x9F\x98\x80x", 4, {0, 2}, {0, 4}},  // four bytes: a surrogate pair
        {"\xF0\x9F\x98\x80x", 2, {0, 0}, {0, 0}},  // inside a character: its start
        {"caf\xE9=1", 4, {0, 4}, {0, 4}},          // Latin-1: one byte, one unit
        {"\xE2\x82x", 2, {0, 2}, {0, 2}},          // a truncated sequence: two bytes
        {"\xED\xA0\x80x", 3, {0, 3}, {0, 3}},      // an encoded surrogate: three bytes
        {"a=\xC3\xA9\n\xF0\x9F\x98\x80=\"\xE2\x82\xAC\"", 12, {1, 4}, {1, 6}},
    };
    for (const auto& row : rows) {
        const LineIndex lines(row.text);
        EXPECT_EQ(lsp::positionOf(row.text, lines, row.offset, Encoding::Utf16), row.utf16)
            << row.text;
        EXPECT_EQ(lsp::positionOf(row.text, lines, row.offset, Encoding::Utf8), row.utf8)
            << row.text;
    }
}

// A character beyond the line's end means the end; a line beyond the last, the text's end; half
// of a surrogate pair, the pair's start.
TEST(Positions, PositionsToOffsets) {
    const struct {
        std::string text;
        Position position;
        Encoding encoding;
        std::uint64_t offset;
    } rows[] = {
        {"ab\ncd", {0, 9}, Encoding::Utf16, 2},
        {"ab\r\ncd", {0, 9}, Encoding::Utf16, 2},
        {"ab\ncd", {7, 0}, Encoding::Utf16, 5},
        {"\xF0\x9F\x98\x80x", {0, 1}, Encoding::Utf16, 0},
        {"\xF0\x9F\x98\x80x", {0, 2}, Encoding::Utf16, 4},
        {"\xC3\xA9x", {0, 1}, Encoding::Utf8, 0},
        {"\xC3\xA9x", {0, 2}, Encoding::Utf8, 2},
        {"caf\xE9x", {0, 4}, Encoding::Utf16, 4},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(lsp::offsetOf(row.text, LineIndex(row.text), row.position, row.encoding),
                  row.offset)
            << row.text << " at " << row.position;
    }
}

// Every offset of random texts against the model, both ways, in both encodings.
TEST(Positions, AgreeWithTheModel) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        const std::string text = randomText(random, random() % 24);
        const LineIndex lines(text);
        for (const Encoding encoding : {Encoding::Utf16, Encoding::Utf8}) {
            const std::vector<Position> model = modelPositions(text, encoding);
            lsp::PositionCursor cursor(text, lines, encoding);
            for (std::uint64_t offset = 0; offset <= text.size(); ++offset) {
                ASSERT_EQ(lsp::positionOf(text, lines, offset, encoding), model[offset])
                    << testing::PrintToString(text) << " offset " << offset;
                ASSERT_EQ(cursor.at(offset), model[offset]) << testing::PrintToString(text);
                // Back from a position to the first offset at it: a character's start. The
                // place between a CR and its LF has no position of its own.
                if (offset > 0 && text[offset - 1] == '\r' && text[offset] == '\n') continue;
                const std::uint64_t back = lsp::offsetOf(text, lines, model[offset], encoding);
                ASSERT_TRUE(back <= offset && model[back] == model[offset])
                    << testing::PrintToString(text) << " offset " << offset;
            }
        }
    }
}

// The line index follows edits as one built anew from the edited text would be.
TEST(Positions, LineIndexFollowsEdits) {
    std::mt19937 random(11);
    for (int round = 0; round < 500; ++round) {
        std::string text = randomText(random, random() % 16);
        LineIndex lines(text);
        for (int edit = 0; edit < 6; ++edit) {
            const std::size_t begin = random() % (text.size() + 1);
            const std::size_t end = begin + random() % (text.size() - begin + 1);
            const std::string inserted = randomText(random, random() % 4);
            const std::string before = text;
            text.replace(begin, end - begin, inserted);
            lines.update(text, begin, end, inserted.size());
            ASSERT_EQ(lines, LineIndex(text))
                << testing::PrintToString(before) << " [" << begin << ", " << end << ") <- "
                << testing::PrintToString(inserted);
        }
    }
}

// Incremental changes: each range in the client's units is replaced in the text held.
TEST(Documents, IncrementalEdits) {
    const struct {
        std::string text;
        lsp::Range range;
        std::string replacement;
        Encoding encoding;
        std::string expected;
    } rows[] = {
        {"a=1\nb=2\n", {{1, 2}, {1, 3}}, "20", Encoding::Utf16, "a=1\nb=20\n"},
        {"a=1\nb=2\n", {{0, 3}, {1, 0}}, "", Encoding::Utf16, "a=1b=2\n"},
        {"a=1\r\nb=2", {{0, 3}, {1, 0}}, " ", Encoding::Utf16, "a=1 b=2"},
        {"k=\xF0\x9F\x98\x80!\n", {{0, 4}, {0, 5}}, "?", Encoding::Utf16, "k=\xF0\x9F\x98\x80?\n"},
        {"k=\xF0\x9F\x98\x80!\n", {{0, 6}, {0, 7}}, "?", Encoding::Utf8, "k=\xF0\x9F\x98\x80?\n"},
        {"k=caf\xE9!\n", {{0, 6}, {0, 7}}, "", Encoding::Utf16, "k=caf\xE9\n"},
        {"a=1\n", {{9, 0}, {9, 0}}, "b=2\n", Encoding::Utf16, "a=1\nb=2\n"},
        {"a=1\n", {{0, 3}, {0, 1}}, "", Encoding::Utf16, "a\n"},  // ends swapped
    };
    for (const auto& row : rows) {
        lsp::Document document(row.text, 1);
        document.edit(row.range, row.replacement, row.encoding);
        EXPECT_EQ(document.text(), row.expected) << testing::PrintToString(row.text);
        EXPECT_EQ(document.lines(), LineIndex(row.expected)) << testing::PrintToString(row.text);
    }
}

// A reader of an older version keeps it whole while the document changes.
TEST(Documents, SnapshotsStayAsTheyWere) {
    lsp::Document document("a=1\n", 1);
    const auto before = document.snapshot();
    document.edit({{0, 2}, {0, 3}}, "2", Encoding::Utf16);
    EXPECT_EQ(*before.text, "a=1\n");
    EXPECT_EQ(*before.lines, LineIndex("a=1\n"));
    EXPECT_EQ(document.text(), "a=2\n");
}
