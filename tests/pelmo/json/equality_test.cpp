#include <gtest/gtest.h>

#include "kessa/parser.h"
#include "pelmo/json/node.h"

using namespace pelmo;

// Trees are equal when kinds and texts agree: order and repeated keys count, floats compare at
// six decimals, and an integer never equals a float or a string.
TEST(Equality, Documents) {
    const struct {
        const char* left;
        const char* right;
        bool equal;
    } rows[] = {
        {"", "", true},
        {"a=1\nb=2\n", "a=1\nb=2\n", true},
        {"a=1\nb=2\n", "b=2\na=1\n", false},
        {"a=1\n", "a=1\na=1\n", false},
        {"a=1.00000001\n", "a=1.0\n", true},
        {"a=-0.0\n", "a=0\n", false},
        {"a=-0.0\n", "a=0.0\n", true},
        {"a=1\n", "a=1.0\n", false},
        {"a=1\n", "a=\"1\"\n", true},
        {"a=\"\"\n", "a=\"\"\n", true},
        {"a={}\n", "a={x=1}\n", false},
        {"a={}\n", "a=\"[]\"\n", false},
        {"a={1,{x=\"y\"}}\n", "a={1,{x=\"y\"}}\n", true},
        {"a={1,{x=\"y\"}}\n", "a={1,{x=\"z\"}}\n", false},
    };
    kessa::KessaParser parser;
    for (const auto& row : rows) {
        const auto left = parser.parse(row.left);
        const auto right = parser.parse(row.right);
        EXPECT_EQ(left->isEqual(*right), row.equal) << row.left << " vs " << row.right;
        EXPECT_EQ(right->isEqual(*left), row.equal) << row.right << " vs " << row.left;
    }
}

TEST(Equality, Scalars) {
    EXPECT_TRUE(JsonFloat(0.1 + 0.2).isEqual(JsonFloat(0.3)));
    EXPECT_FALSE(JsonFloat(1.0).isEqual(JsonInteger(1)));
    EXPECT_FALSE(JsonInteger(1).isEqual(JsonFloat(1.0)));
    EXPECT_FALSE(JsonString("1").isEqual(JsonInteger(1)));
    EXPECT_TRUE(JsonString(std::string("a\0b", 3)).isEqual(JsonString(std::string("a\0b", 3))));
    EXPECT_FALSE(JsonString(std::string("a\0b", 3)).isEqual(JsonString("a")));
}
