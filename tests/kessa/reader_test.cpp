#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "kessa/conversion.h"
#include "kessa/parser.h"
#include "kessa/reader.h"
#include "kessa_cases.h"

namespace {

using kessa::Fault;

/// The events a reader reports, one word each: k:key, s:token, { [ } ] and . for the end.
class EventLog final : public kessa::KessaHandler {
public:
    std::string text;

    void key(std::string_view key) override { add(std::string("k:").append(key)); }
    void scalar(std::string_view token) override { add(std::string("s:").append(token)); }
    void openObject() override { add("{"); }
    void openArray() override { add("["); }
    void closeObject() override { add("}"); }
    void closeArray() override { add("]"); }
    void end() override { add("."); }

private:
    void add(const std::string& word) {
        if (!text.empty()) text += ' ';
        text += word;
    }
};

std::string events(std::string_view input) {
    EventLog log;
    kessa::readKessa(input, log);
    return log.text;
}

std::string streamed(std::string_view input) {
    std::string out;
    pelmo::StringSink sink(out);
    kessa::writeIndentedJson(input, sink);
    return out;
}

}  // namespace

// The checker and the streaming conversion accept exactly what the tree builder accepts, and the
// streamed text is the tree's indented text, byte for byte.
TEST(Reader, EveryReaderAgrees) {
    for (const auto& row : kAcceptedTexts) {
        EXPECT_NO_THROW(kessa::checkKessa(row.input)) << "input: " << row.input;
        EXPECT_EQ(streamed(row.input), kessa::KessaParser().parse(row.input)->toIndentedString())
            << "input: " << row.input;
    }
    for (const std::string_view input : kRejectedTexts) {
        EXPECT_THROW(kessa::checkKessa(input), kessa::SyntaxError) << input;
        EXPECT_THROW(streamed(input), kessa::SyntaxError) << input;
    }
}

// Tokens arrive untyped, with the bytes the notation drops taken out, whether the value is one
// run of the text or not.
TEST(Reader, Events) {
    const struct {
        std::string_view input;
        std::string_view events;
    } rows[] = {
        {"", "{ } ."},
        {"a=1\n", "{ k:a s:1 } ."},
        {"a={x=1\n}\nb={2, 3}\n", "{ k:a { k:x s:1 } k:b [ s:2 s:3 ] } ."},
        {"a={}\n", "{ k:a [ ] } ."},
        {"a=x\r\ry\r\n", "{ k:a s:xy } ."},
        {"k\r\r1=2\n", "{ k:k1 s:2 } ."},
        {"a=\"x\ty\tz\"", "{ k:a s:xyz } ."},
        {"a={\n1\n2\n}\n", "{ k:a [ s:12 ] } ."},
        {"a={1,x=2}\n3\n", "{ k:a [ s:1 s:2 ] k:x s:3 } ."},
        {"a=1,2\n", "{ k:a s:1 k: s:2 } ."},
        {"a={{1},{x=2}}\n", "{ k:a [ [ s:1 ] { k:x s:2 } ] } ."},
    };
    for (const auto& row : rows) EXPECT_EQ(events(row.input), row.events) << row.input;
}

// Each rejection says which fault it is and where.
TEST(Reader, Faults) {
    for (const auto& row : kFaultRows) {
        // The checker and the tree builder raise the same error.
        for (const bool check : {true, false}) {
            try {
                if (check) {
                    kessa::checkKessa(row.input);
                } else {
                    kessa::KessaParser().parse(row.input);
                }
                ADD_FAILURE() << "accepted: " << row.input;
            } catch (const kessa::SyntaxError& error) {
                EXPECT_EQ(error.fault(), row.fault) << row.input;
                EXPECT_EQ(error.offset(), row.offset) << row.input;
                EXPECT_EQ(error.length(row.input), row.length) << row.input;
                EXPECT_EQ(error.describe(), row.words) << row.input;
                EXPECT_STREQ(error.what(), kessa::SyntaxError::kMessage) << row.input;
            }
        }
    }
}

// A long key is kept in part only.
TEST(Reader, KeyWithoutValueKeepsItsStart) {
    const std::string key(1000, 'k');
    try {
        kessa::checkKessa(key + "=\n");
        ADD_FAILURE() << "accepted";
    } catch (const kessa::SyntaxError& error) {
        EXPECT_EQ(error.key(), key.substr(0, kessa::SyntaxError::kKeyShown));
        EXPECT_EQ(error.length(key + "=\n"), kessa::SyntaxError::kKeyShown);
    }
}

// Numerals take a quick route to their text in the streamed conversion; it must give what the
// tree writes from the values, on both sides of every limit of that route.
TEST(Reader, NumeralsStreamAsTheTreeWritesThem) {
    std::vector<std::string> tokens = {"0",
                                       "-0",
                                       "+0",
                                       "007",
                                       "-007.50",
                                       "0.000",
                                       "-0.000",
                                       "1.",
                                       "-1.",
                                       "123456789.123456",
                                       "999999999.5",
                                       "1234567890.5",
                                       "0.0000005",
                                       "0.000001",
                                       "-0.0000001",
                                       "100000000000000000",
                                       "999999999999999999",
                                       "1000000000000000000",
                                       "9223372036854775807",
                                       "9223372036854775808",
                                       "-9223372036854775809",
                                       "000000000000000000000001",
                                       "4503599627370495.5",
                                       "0.1",
                                       "2.675",
                                       "1/2",  // bytes just outside the digits
                                       "12:30",
                                       "1.5/",
                                       "1.5:"};
    std::mt19937_64 random(7);
    const auto digits = [&random](std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) text += static_cast<char>('0' + random() % 10);
        return text;
    };
    for (int i = 0; i < 20'000; ++i) {
        std::string token = i % 3 == 0 ? "-" : (i % 7 == 0 ? "+" : "");
        token += digits(1 + random() % 12);
        if (i % 2 == 0) token.append(".").append(digits(random() % 9));
        tokens.push_back(token);
    }
    for (const std::string& token : tokens) {
        // Text after the numeral lets the sixteen-byte test run on it, and the end of the text
        // keeps it from running.
        const std::string line = std::string("a=").append(token).append("\n");
        for (const std::string& text : {line, line + "b=0123456789abcdef\n"}) {
            ASSERT_EQ(streamed(text), kessa::KessaParser().parse(text)->toIndentedString())
                << token;
        }
    }
}

// The sixteen-byte test of a numeral reads nothing past the text: texts that end in a numeral at
// every distance from their end are placed to end right where an unreadable page begins.
TEST(Reader, NumeralsNearTheEndReadOnlyTheText) {
#ifdef _WIN32
    GTEST_SKIP() << "the guard page is made with mmap";
#else
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    void* const pages =
        ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    char* const guard = static_cast<char*>(pages) + page;
    ASSERT_EQ(::mprotect(guard, page, PROT_NONE), 0);
    for (std::size_t digits = 1; digits <= 17; ++digits) {
        for (std::size_t breaks = 1; breaks <= 16; ++breaks) {
            const std::string text = "b=" + std::string(digits, '7') + std::string(breaks, '\n');
            std::memcpy(guard - text.size(), text.data(), text.size());
            EXPECT_EQ(streamed(std::string_view(guard - text.size(), text.size())),
                      kessa::KessaParser().parse(text)->toIndentedString())
                << digits << " digits, " << breaks << " line breaks";
        }
    }
    ::munmap(pages, 2 * page);
#endif
}
