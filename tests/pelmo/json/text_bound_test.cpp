#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "pelmo/json/node.h"
#include "pelmo/json/text_bound.h"

using namespace pelmo;
using pelmo::detail::compactTextBound;
using pelmo::detail::indentedTextBound;

namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

JsonNodePtr integer(std::int64_t value) {
    return std::make_unique<JsonInteger>(value);
}
JsonNodePtr text(std::string bytes) {
    return std::make_unique<JsonString>(std::move(bytes));
}
JsonNodePtr floating(double value) {
    return std::make_unique<JsonFloat>(value);
}
JsonNodePtr array(std::vector<JsonNodePtr> elements) {
    auto node = std::make_unique<JsonArray>();
    for (auto& element : elements) node->push(std::move(element));
    return node;
}
JsonNodePtr object(std::vector<std::pair<std::string, JsonNodePtr>> members) {
    auto node = std::make_unique<JsonObject>();
    for (auto& [key, value] : members) node->add(key, std::move(value));
    return node;
}
/// Builds a vector of move-only nodes, which an initializer list cannot hold.
template <class... Nodes>
std::vector<JsonNodePtr> nodes(Nodes... all) {
    std::vector<JsonNodePtr> out;
    (out.push_back(std::move(all)), ...);
    return out;
}
template <class... Values>
std::vector<std::pair<std::string, JsonNodePtr>> members(std::pair<std::string, Values>... all) {
    std::vector<std::pair<std::string, JsonNodePtr>> out;
    (out.emplace_back(std::move(all.first), std::move(all.second)), ...);
    return out;
}

JsonNodePtr nested(int levels, JsonNodePtr inner) {
    for (int i = 0; i < levels; ++i) inner = array(nodes(std::move(inner)));
    return inner;
}

std::size_t compactLength(const JsonNode& node) {
    std::string out;
    node.appendCompact(out);
    return out.size();
}

std::size_t indentedLength(const JsonNode& node, std::uint32_t level) {
    std::string out;
    node.appendIndented(out, level);
    return out.size();
}

std::string compactOf(const JsonNode& node) {
    std::string out;
    node.appendCompact(out);
    return out;
}

/// Trees without floats: every piece of the layout, every escape and integer lengths at their
/// digit boundaries.
std::vector<JsonNodePtr> floatlessTrees() {
    std::vector<JsonNodePtr> trees;
    trees.push_back(object({}));
    trees.push_back(array({}));
    trees.push_back(text(""));
    trees.push_back(text("\t\n\r\"\\"));
    trees.push_back(text(std::string("a\0\x01\x7f/\x80\xff", 7)));
    for (const std::int64_t value :
         {std::int64_t{0}, std::int64_t{9}, std::int64_t{10}, std::int64_t{-9}, std::int64_t{-10},
          std::int64_t{99}, std::int64_t{100}, std::int64_t{999'999'999'999'999'999},
          std::int64_t{1'000'000'000'000'000'000}, kMin, kMax}) {
        trees.push_back(integer(value));
        trees.push_back(array(nodes(integer(value))));
    }
    trees.push_back(object(members(std::pair{std::string("k"), integer(1)})));
    trees.push_back(object(members(std::pair{std::string("\"\\\t"), text("\n\r")},
                                   std::pair{std::string(""), object({})},
                                   std::pair{std::string("x"), array({})})));
    trees.push_back(array(nodes(array({}), object({}), array(nodes(array({}))))));
    trees.push_back(
        array(nodes(integer(kMin), text("a\"b"), integer(kMax),
                    object(members(std::pair{std::string("deep"), nested(3, integer(-1))})))));
    trees.push_back(nested(40, object(members(std::pair{std::string("k"), text("v")}))));
    return trees;
}

}  // namespace

// Without floats the bounds are the lengths themselves, at any starting level: the indented text
// is reserved once from this number, so one byte short means a reallocation, one over a waste.
TEST(TextBound, ExactWithoutFloats) {
    for (const JsonNodePtr& tree : floatlessTrees()) {
        const std::string shown = compactOf(*tree);
        EXPECT_EQ(compactTextBound(*tree), compactLength(*tree)) << "tree: " << shown;
        for (const std::uint32_t level : {0u, 1u, 3u, 100u}) {
            EXPECT_EQ(indentedTextBound(*tree, level), indentedLength(*tree, level))
                << "tree: " << shown << " level " << level;
        }
    }
}

// With floats they are upper bounds, across magnitudes, signs, rounding carries and the values
// written without digits.
TEST(TextBound, UpperBoundWithFloats) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1e-7,
                                  -1e-7,
                                  0.5,
                                  -0.123457,
                                  0.9999999,
                                  -999999.9999999,
                                  999999999.9999999,
                                  0x1p40 - 0.5,
                                  -0x1p40 - 0.5,
                                  1e15 - 0.5,
                                  1e15,
                                  -1e15,
                                  9007199254740993.0,
                                  1e22,
                                  1e23,
                                  -1e300,
                                  std::numeric_limits<double>::max(),
                                  -std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::denorm_min(),
                                  -std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 random(7);
    for (int i = 0; i < 2000; ++i) {
        // Random bits: every exponent, sign and mantissa, NaNs included.
        const std::uint64_t bits = random();
        double value;
        static_assert(sizeof value == sizeof bits);
        std::memcpy(&value, &bits, sizeof value);
        values.push_back(value);
        values.push_back(std::ldexp(static_cast<double>(random() >> 11), -30));
    }
    for (const double value : values) {
        const JsonNodePtr tree =
            object(members(std::pair{std::string("f"), array(nodes(floating(value), integer(1)))}));
        const std::string shown = compactOf(*tree);
        EXPECT_GE(compactTextBound(JsonFloat(value)), compactLength(JsonFloat(value))) << shown;
        EXPECT_GE(compactTextBound(*tree), compactLength(*tree)) << shown;
        EXPECT_GE(indentedTextBound(*tree, 2), indentedLength(*tree, 2)) << shown;
    }
}
