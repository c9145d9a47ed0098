#include <gtest/gtest.h>

#include "kessa/parser.h"
#include "pelmo/exception.h"
#include "pelmo/json/byte_writer.h"

// A million levels of nesting must parse, encode, compare and be destroyed without using the call
// stack once per level; run under the default stack, recursion would overflow it.
TEST(Deep, MillionLevels) {
    constexpr std::size_t kDepth = 1'000'000;
    const std::string text =
        "a=" + std::string(kDepth, '{') + "1" + std::string(kDepth, '}') + "\n";
    kessa::KessaParser parser;
    auto root = parser.parse(text);

    std::string compact;
    root->appendCompact(compact);
    // Every brace becomes an array of one element; the innermost holds the 1.
    const std::string expected =
        "{\"a\":" + std::string(kDepth, '[') + "1" + std::string(kDepth, ']') + "}";
    EXPECT_EQ(compact, expected);

    std::string bytes;
    pelmo::StringByteWriter writer(bytes);
    EXPECT_TRUE(root->appendBinary(writer));
    EXPECT_EQ(bytes,
              "\x06\x0a"
              "a" +
                  std::string(kDepth, '\x05') + "\x08" + std::string(kDepth, '\x07') + "\x07");

    auto twin = parser.parse(text);
    EXPECT_TRUE(root->isEqual(*twin));
    root.reset();
    twin.reset();

    // An unclosed document of the same depth is rejected, and its partial tree destroyed.
    EXPECT_THROW(parser.parse("a=" + std::string(kDepth, '{') + "1\n"), pelmo::Exception);
}
