#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kessa/text_position.h"
#include "value_model.h"

namespace {

using kessa::TextPosition;

/// The position of `offset` counted plainly from the start: a line per line feed, and a column
/// per character, a character being the shortest well-formed UTF-8 sequence at a place, or else
/// one byte.
TextPosition modelPosition(std::string_view text, std::size_t offset) {
    TextPosition position;
    for (std::size_t i = 0; i < offset;) {
        if (text[i] == '\n') {
            ++position.line;
            position.column = 1;
            ++i;
            continue;
        }
        std::size_t length = 1;
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            for (std::size_t n = 2; n <= 4 && i + n <= text.size(); ++n) {
                if (value_model::isUtf8(text.substr(i, n))) {
                    length = n;
                    break;
                }
            }
        }
        ++position.column;
        i += length;
    }
    return position;
}

}  // namespace

namespace kessa {
std::ostream& operator<<(std::ostream& out, const TextPosition& position) {
    return out << position.line << ":" << position.column;
}
}  // namespace kessa

// Lines from line feeds alone; columns in characters, as editors count them.
TEST(TextPosition, LinesAndColumns) {
    const struct {
        std::string text;
        std::uint64_t offset;
        TextPosition position;
    } rows[] = {
        {"", 0, {1, 1}},
        {"a=1\nb=2\n", 4, {2, 1}},
        {"a=1\nb=2\n", 3, {1, 4}},
        {"a=1\nb=2\n", 8, {3, 1}},   // just past the end
        {"a=1\nb=2\n", 99, {3, 1}},  // beyond it: the end
        {"a\r\nb", 3, {2, 1}},       // a carriage return is a character of its line
        {"a\r\nb", 2, {1, 3}},
        {"\t\tx", 2, {1, 3}},
        {"caf\xC3\xA9=1", 5, {1, 5}},               // two bytes, one character
        {"\xE6\x97\xA5\xE6\x9C\xAC=1", 6, {1, 3}},  // three bytes each
        {"\xF0\x9F\x98\x80x", 4, {1, 2}},           // four bytes
        {"caf\xE9x", 4, {1, 5}},                    // a Latin-1 byte counts one
        {"\x80\x80x", 2, {1, 3}},                   // stray continuation bytes, one each
        {"\xE6\x97x", 2, {1, 3}},                   // a sequence cut short: each byte one
        {"\xED\xA0\x80x", 3, {1, 4}},               // a surrogate is no character
        {"\xC0\xAFx", 2, {1, 3}},                   // nor an overlong form
        {"\xF4\x90\x80\x80x", 4, {1, 5}},           // nor anything above U+10FFFF
        {"\xC3\xA9", 1, {1, 2}},                    // inside a character: the column after it
    };
    for (const auto& row : rows) {
        EXPECT_EQ(kessa::positionAt(row.text, row.offset), row.position)
            << ::testing::PrintToString(row.text) << " at " << row.offset;
    }
}

// A counter asked in any order agrees with counting from the start each time.
TEST(TextPosition, CounterAgreesWithCountingAfresh) {
    const std::uint64_t seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937_64 random(seed);
    const std::string_view pieces[] = {"a",
                                       "=",
                                       "1",
                                       "\n",
                                       "\r",
                                       "\t",
                                       "\xC3\xA9",
                                       "\xE6\x97\xA5",
                                       "\xF0\x9F\x98\x80",
                                       "\xE9",
                                       "\x80",
                                       "\xE6\x97",
                                       "  "};
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (std::size_t n = random() % 80; n != 0; --n)
            text += pieces[random() % std::size(pieces)];
        kessa::PositionCounter counter(text);
        std::size_t offset = 0;
        for (int ask = 0; ask < 40; ++ask) {
            // Mostly forward, as findings come, sometimes back.
            if (random() % 5 == 0) {
                offset = random() % (text.size() + 1);
            } else {
                offset = std::min(text.size(), offset + random() % 6);
            }
            ASSERT_EQ(counter.at(offset), modelPosition(text, offset))
                << ::testing::PrintToString(text) << " at " << offset;
        }
    }
}
