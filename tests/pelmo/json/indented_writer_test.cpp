#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pelmo/json/indented_writer.h"
#include "pelmo/json/node.h"
#include "pelmo/json/number_text.h"

using pelmo::IndentedWriter;
using namespace std::string_literals;

namespace {

/// One writer event; `text` is the key, string or number text, `integer` the integer or float.
struct Event {
    enum Kind {
        OpenObject,
        OpenArray,
        Key,
        String,
        Integer,
        Number,
        NumberText,
        CloseObject,
        CloseArray
    };
    Kind kind;
    std::string text;
    std::int64_t integer = 0;
    double number = 0;
};

const Event kOpenObject{Event::OpenObject, {}};
const Event kOpenArray{Event::OpenArray, {}};
const Event kCloseObject{Event::CloseObject, {}};
const Event kCloseArray{Event::CloseArray, {}};
Event key(std::string bytes) {
    return {Event::Key, std::move(bytes)};
}
Event string(std::string bytes) {
    return {Event::String, std::move(bytes)};
}
Event integer(std::int64_t value) {
    return {Event::Integer, {}, value};
}
Event number(double value) {
    return {Event::Number, {}, 0, value};
}
Event numberText(std::string text) {
    return {Event::NumberText, std::move(text)};
}

using Script = std::vector<Event>;

void play(const Script& script, IndentedWriter& writer) {
    for (const Event& event : script) {
        switch (event.kind) {
            case Event::OpenObject:
                writer.openObject();
                break;
            case Event::OpenArray:
                writer.openArray();
                break;
            case Event::Key:
                writer.key(event.text);
                break;
            case Event::String:
                writer.string(event.text);
                break;
            case Event::Integer:
                writer.integer(event.integer);
                break;
            case Event::Number:
                writer.number(event.number);
                break;
            case Event::NumberText:
                writer.numberText(event.text);
                break;
            case Event::CloseObject:
                writer.closeObject();
                break;
            case Event::CloseArray:
                writer.closeArray();
                break;
        }
    }
}

/// The script in one line, for failure messages: { [ k:key s:string i:1 f:0.5 t:text ] }.
std::string describe(const Script& script) {
    static const char* const kWords[] = {"{", "[", "k:", "s:", "i:", "f:", "t:", "}", "]"};
    std::string out;
    for (const Event& event : script) {
        out += kWords[event.kind];
        if (event.kind == Event::Integer) out += std::to_string(event.integer);
        if (event.kind == Event::Number) out += std::to_string(event.number);
        if (event.text.size() > 40) {
            out += event.text.substr(0, 40) + "...(" + std::to_string(event.text.size()) + ")";
        } else {
            out += event.text;
        }
        out += ' ';
    }
    return out;
}

/// Keeps every write apart; throws on write once `fail` is set.
class RecordingSink final : public pelmo::TextSink {
public:
    std::string text;
    std::vector<std::size_t> writes;
    bool fail = false;

    void write(const char* data, std::size_t size) override {
        if (fail) throw std::runtime_error("sink full");
        writes.push_back(size);
        text.append(data, size);
    }
};

std::string written(const Script& script, std::size_t depth = 0,
                    std::size_t chunk = IndentedWriter::kDefaultChunk) {
    std::string out;
    pelmo::StringSink sink(out);
    IndentedWriter writer(sink, depth, chunk);
    play(script, writer);
    writer.flush();
    return out;
}

/// The smallest chunk the writer takes: room for two number texts.
constexpr std::size_t kSmallestChunk = 2 * pelmo::detail::kNumberTextCapacity;

/// The JSON string of `bytes` as the compact encoder writes it, an independent escaper.
std::string quoted(const std::string& bytes) {
    std::string out;
    pelmo::JsonString(bytes).appendCompact(out);
    return out;
}

}  // namespace

// Each script's exact text: layout, escapes and the bytes that pass unchanged.
TEST(IndentedWriter, Scripts) {
    const struct {
        Script script;
        std::size_t depth;
        std::string text;
    } rows[] = {
        {{kOpenObject, kCloseObject}, 0, "{}"},
        {{kOpenArray, kCloseArray}, 0, "[]"},
        {{kOpenObject, key("a"), kOpenObject, kCloseObject, key("b"), kOpenArray, kCloseArray,
          kCloseObject},
         0,
         "{\n    \"a\": {},\n    \"b\": []\n}"},
        {{kOpenArray, kOpenArray, kCloseArray, kOpenArray, integer(1), kOpenArray, kCloseArray,
          kCloseArray, kCloseArray},
         0,
         "[\n    [],\n    [\n        1,\n        []\n    ]\n]"},
        {{kOpenObject, key("x"), kOpenArray, kOpenObject, key("y"), string("z"), kCloseObject,
          kCloseArray, kCloseObject},
         0,
         "{\n    \"x\": [\n        {\n            \"y\": \"z\"\n        }\n    ]\n}"},
        {{kOpenObject, key("\t\n\r\"\\"), string("a\tb\nc\rd\"e\\f"), kCloseObject},
         0,
         "{\n    \"\\t\\n\\r\\\"\\\\\": \"a\\tb\\nc\\rd\\\"e\\\\f\"\n}"},
        {{kOpenObject, key("\x01\x7f/\0"s), string("\x80\xc3\xa9\xff\x1f\x0b\x0c"), kCloseObject},
         0,
         "{\n    \"\x01\x7f/\0\": \"\x80\xc3\xa9\xff\x1f\x0b\x0c\"\n}"s},
        {{kOpenObject, key(""), string(""), kCloseObject}, 0, "{\n    \"\": \"\"\n}"},
        {{kOpenArray, integer(std::numeric_limits<std::int64_t>::min()),
          integer(std::numeric_limits<std::int64_t>::max()), integer(0), kCloseArray},
         0,
         "[\n    -9223372036854775808,\n    9223372036854775807,\n    0\n]"},
        {{kOpenArray, number(0.5), number(-2.0), number(std::numeric_limits<double>::infinity()),
          kCloseArray},
         0,
         "[\n    0.5,\n    -2.0,\n    1e999\n]"},
        {{kOpenArray, numberText("007.50"), numberText("-0"), kCloseArray},
         0,
         "[\n    007.50,\n    -0\n]"},
        {{kOpenObject, key("k"), numberText(std::string(400, '9')), kCloseObject},
         0,
         "{\n    \"k\": " + std::string(400, '9') + "\n}"},
        // A value at a starting depth: its items one level further in, its close at the depth.
        {{kOpenArray, integer(1), kCloseArray}, 2, "[\n            1\n        ]"},
        {{kOpenObject, key("a"), kOpenObject, kCloseObject, kCloseObject},
         1,
         "{\n        \"a\": {}\n    }"},
        {{kOpenArray, kCloseArray}, 3, "[]"},
        // A scalar on its own, at any depth, is its bare text.
        {{string("s")}, 0, "\"s\""},
        {{integer(-7)}, 5, "-7"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(written(row.script, row.depth), row.text)
            << "script: " << describe(row.script) << " depth " << row.depth;
    }
}

// Each escaped byte, and an ordinary one, at every place of strings of every length the quick
// copy treats apart (under 4, 4 to 7, 8 to 16, sixteen at a time and what is left), against an
// escape written out byte by byte here.
TEST(IndentedWriter, EveryEscapeAtEveryPlace) {
    const auto escaped = [](const std::string& bytes) {
        std::string out = "\"";
        for (const char c : bytes) {
            const char* const pairs[] = {"\\t", "\\n", "\\r", "\\\"", "\\\\"};
            const std::size_t which = std::string_view("\t\n\r\"\\").find(c);
            out += which == std::string_view::npos ? std::string(1, c) : pairs[which];
        }
        return out + '"';
    };
    std::vector<std::size_t> sizes = {64, 65};
    for (std::size_t size = 1; size <= 40; ++size) sizes.push_back(size);
    for (const std::size_t size : sizes) {
        for (const char c : {'\t', '\n', '\r', '"', '\\', '\x0b'}) {
            for (std::size_t at = 0; at < size; ++at) {
                std::string bytes(size, 'a');
                bytes[at] = c;
                ASSERT_EQ(written({string(bytes)}), escaped(bytes))
                    << "byte " << int(c) << " at " << at << " of " << size;
            }
        }
    }
}

// Text longer than the smallest chunk, split in any place, comes out as with one large chunk, and
// no write exceeds the chunk.
TEST(IndentedWriter, SmallestChunkSplitsNothingWrong) {
    const std::size_t chunk = kSmallestChunk;
    std::string withEscapes;
    for (std::size_t i = 0; i < 3000; ++i) withEscapes += "ab\"c\\d\te\nf\rg"[i % 13];
    Script deep;
    for (int level = 0; level < 300; ++level) deep.push_back(kOpenArray);
    deep.push_back(string(std::string(2000, 'x')));
    deep.push_back(integer(-1));
    for (int level = 0; level < 300; ++level) deep.push_back(kCloseArray);
    const Script rows[] = {
        {kOpenObject, key(std::string(5000, 'k')), string(std::string(7000, 'v')), kCloseObject},
        {kOpenObject, key(withEscapes), string(withEscapes), kCloseObject},
        // A string that just fits a chunk with its quotes, and one a byte longer.
        {kOpenArray, string(std::string(chunk - 2, 'a')), string(std::string(chunk - 1, 'b')),
         kCloseArray},
        {kOpenArray, numberText(std::string(chunk + 1, '1')), kCloseArray},
        deep,
    };
    for (const Script& script : rows) {
        RecordingSink sink;
        IndentedWriter writer(sink, 0, 1);  // below the smallest: the smallest is used
        play(script, writer);
        writer.flush();
        EXPECT_EQ(sink.text, written(script)) << "script: " << describe(script);
        for (const std::size_t size : sink.writes) {
            EXPECT_LE(size, chunk) << "script: " << describe(script);
        }
    }
}

// The chunked text is also right on its own terms: 300 levels of indentation (deeper than the
// fixed 64 spaces and than the chunk) and long escaped strings, against texts built here.
TEST(IndentedWriter, DeepAndLongTextAgainstBuiltText) {
    constexpr int kLevels = 300;
    const std::string value = std::string(1000, 'x') + "\"\\\t" + std::string(1000, 'y');
    Script script;
    std::string expected;
    for (int level = 0; level < kLevels; ++level) {
        script.push_back(kOpenObject);
        script.push_back(key("k"));
        if (level != 0) expected += ' ';
        expected += "{\n" + std::string(4 * (level + 1), ' ') + "\"k\":";
    }
    script.push_back(string(value));
    script.push_back(key("n"));
    script.push_back(integer(-1));
    expected += ' ' + quoted(value) + ",\n" + std::string(4 * kLevels, ' ') + "\"n\": -1";
    for (int level = kLevels; level > 0; --level) {
        script.push_back(kCloseObject);
        expected += '\n' + std::string(4 * (level - 1), ' ') + '}';
    }
    EXPECT_EQ(written(script, 0, 1), expected);
    EXPECT_EQ(written(script), expected);
}

// The writer holds text until flush() or until its chunk is full.
TEST(IndentedWriter, WritesOnlyOnFlushOrFullChunk) {
    RecordingSink sink;
    IndentedWriter writer(sink);
    writer.openObject();
    for (int i = 0; i < 1000; ++i) {
        writer.key("key" + std::to_string(i));
        writer.string(std::string(100, 'v'));
    }
    writer.closeObject();
    EXPECT_TRUE(sink.writes.empty());
    writer.flush();
    EXPECT_EQ(sink.writes.size(), 1u);
    writer.flush();  // nothing new: nothing written
    EXPECT_EQ(sink.writes.size(), 1u);

    RecordingSink small;
    IndentedWriter chunked(small, 0, kSmallestChunk);
    chunked.openArray();
    chunked.string(std::string(kSmallestChunk / 2, 'a'));
    EXPECT_TRUE(small.writes.empty());
    chunked.string(std::string(kSmallestChunk / 2, 'b'));  // no longer fits beside the first
    EXPECT_EQ(small.writes.size(), 1u);
}

// What the sink raises comes out of the event that filled the chunk, or out of flush().
TEST(IndentedWriter, SinkFailurePropagates) {
    RecordingSink sink;
    sink.fail = true;
    {
        IndentedWriter writer(sink);
        writer.openObject();
        writer.key("a");
        writer.integer(1);
        writer.closeObject();
        EXPECT_THROW(writer.flush(), std::runtime_error);
    }
    IndentedWriter writer(sink, 0, kSmallestChunk);
    writer.openArray();
    EXPECT_THROW(writer.string(std::string(3 * kSmallestChunk, 's')), std::runtime_error);
    EXPECT_TRUE(sink.writes.empty());
}
