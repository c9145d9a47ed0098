#include <gtest/gtest.h>

#include <cstdio>

#include "kessa/parser.h"
#include "pelmo/json/byte_writer.h"
#include "pelmo/json/node.h"

using namespace pelmo;

namespace {

std::string hex(const std::string& bytes) {
    std::string text;
    char byte[4];
    for (unsigned char c : bytes) {
        std::snprintf(byte, sizeof byte, text.empty() ? "%02X" : " %02X", c);
        text += byte;
    }
    return text;
}

std::string binary(const JsonNode& node) {
    std::string out;
    StringByteWriter writer(out);
    EXPECT_TRUE(node.appendBinary(writer));
    return hex(out);
}

template <class Write>
std::string varBytes(Write write) {
    std::string out;
    StringByteWriter writer(out);
    EXPECT_TRUE(write(writer));
    return hex(out);
}

/// Refuses its write number `refused` (counting from 0) and accepts all others.
struct RefusingWriter : ByteWriter {
    int refused;
    std::string accepted;
    explicit RefusingWriter(int index) : refused(index) {}
    bool write(const void* data, std::size_t count) override {
        if (refused-- == 0) return false;
        accepted.append(static_cast<const char*>(data), count);
        return true;
    }
};

}  // namespace

TEST(Binary, VarUInt) {
    const struct {
        std::uint64_t value;
        const char* bytes;
    } rows[] = {
        {0, "00"},
        {127, "7F"},
        {128, "80 01"},
        {300, "AC 02"},
        {(1ull << 56) - 1, "FF FF FF FF FF FF FF 7F"},
        {1ull << 56, "80 80 80 80 80 80 80 80 01"},
        {UINT64_MAX, "FF FF FF FF FF FF FF FF FF"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(varBytes([&](ByteWriter& w) { return w.writeVarUInt(row.value); }), row.bytes)
            << row.value;
    }
}

// Sign and magnitude: six low bits, the sign in bit 6, then the rest. The minimum value is the
// negative zero 40.
TEST(Binary, VarInt) {
    const struct {
        std::int64_t value;
        const char* bytes;
    } rows[] = {
        {0, "00"},
        {31, "1F"},
        {63, "3F"},
        {64, "80 01"},
        {-1, "41"},
        {-64, "C0 01"},
        {INT64_MAX, "BF FF FF FF FF FF FF FF FF"},
        {INT64_MIN, "40"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(varBytes([&](ByteWriter& w) { return w.writeVarInt(row.value); }), row.bytes)
            << row.value;
    }
}

TEST(Binary, Scalars) {
    EXPECT_EQ(binary(JsonInteger(0)), "00");
    EXPECT_EQ(binary(JsonInteger(5)), "28");
    EXPECT_EQ(binary(JsonInteger(30)), "F0");
    EXPECT_EQ(binary(JsonInteger(31)), "F8 1F");
    EXPECT_EQ(binary(JsonInteger(-1)), "F8 41");
    EXPECT_EQ(binary(JsonString("")), "02");
    EXPECT_EQ(binary(JsonString("ab")), "12 61 62");
    EXPECT_EQ(binary(JsonString(std::string(30, 'x'))).substr(0, 5), "F2 78");
    EXPECT_EQ(binary(JsonString(std::string(31, 'x'))).substr(0, 8), "FA 1F 78");
    EXPECT_EQ(binary(JsonFloat(1.0)), "01 00 00 00 00 00 00 F0 3F");
}

TEST(Binary, Containers) {
    const auto root = kessa::KessaParser().parse("a=1\nb={}\nc={x=-0.5,y=\"\"}\n");
    EXPECT_EQ(binary(*root),
              "06 0A 61 08 0A 62 05 07 0A 63 06 0A 78 01 00 00 00 00 00 00 E0 BF 0A 79 02 07 07");
    EXPECT_EQ(binary(JsonObject()), "06 07");
}

// A container stops at the first refused write and leaves out its closing byte; a number or a
// long string still writes all its bytes and reports the failure.
TEST(Binary, RefusedWrites) {
    const auto root = kessa::KessaParser().parse("a={1,2}\n");
    const struct {
        int refused;
        const char* accepted;
    } rows[] = {
        {0, ""}, {1, "06"}, {3, "06 0A 61"}, {6, "06 0A 61 05 08 10"}, {7, "06 0A 61 05 08 10 07"},
    };
    for (const auto& row : rows) {
        RefusingWriter writer(row.refused);
        EXPECT_FALSE(root->appendBinary(writer)) << row.refused;
        EXPECT_EQ(hex(writer.accepted), row.accepted) << row.refused;
    }
    RefusingWriter lengthRefused(1);
    EXPECT_FALSE(JsonString(std::string(31, 'x')).appendBinary(lengthRefused));
    EXPECT_EQ(lengthRefused.accepted, "\xFA" + std::string(31, 'x'));
    RefusingWriter groupRefused(1);
    EXPECT_FALSE(groupRefused.writeVarUInt(1u << 14));
    EXPECT_EQ(hex(groupRefused.accepted), "80 01");
}
