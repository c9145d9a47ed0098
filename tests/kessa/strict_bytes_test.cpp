// Where the JSON first holds bytes strict readers refuse: rows, each also after a run of plain
// text long enough for the quick scan's blocks.

#include <gtest/gtest.h>

#include <string>

#include "kessa/strict_bytes.h"

TEST(StrictBytes, FirstPlace) {
    const struct {
        std::string_view text;
        const char* kind;  // the code, or "" for none
        std::uint64_t offset;
    } rows[] = {
        {"a=1\n", "", 0},
        {"a=caf\xC3\xA9\tok\nb=\"x\r\ny\"\n", "", 0},  // UTF-8, a tab, a kept carriage return
        {"a=x\x01y\n", "control-byte", 2},
        {"a=\"\x0b\"\n", "control-byte", 3},
        {"a=caf\xE9\n", "not-utf8", 2},
        {"a=caf\xE9\nb=\x02\n", "not-utf8", 2},
        {"a=\x02\nb=caf\xE9\n", "control-byte", 2},
        {"x\x01 {a=1}\n", "", 0},  // dropped with the text in front of the brace
        {"w={k\x01=}\n5\nb=caf\xE9\n", "control-byte", 3},  // a key left waiting for 5
    };
    const std::string paddings[] = {"", std::string(40, 'p').append("=1\n")};
    for (const auto& row : rows) {
        for (const std::string& padding : paddings) {
            const std::string text = padding + std::string(row.text);
            const auto found = kessa::firstStrictBytes(text);
            if (*row.kind == '\0') {
                EXPECT_FALSE(found.has_value()) << text;
                continue;
            }
            ASSERT_TRUE(found.has_value()) << text;
            EXPECT_EQ(found->code(), row.kind) << text;
            EXPECT_EQ(found->offset, padding.size() + row.offset) << text;
        }
    }
}
