#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/stop_masks.h"

using kessa::detail::classifyPortable;
using kessa::detail::classifyTail;
using kessa::detail::kBlock;
using kessa::detail::StopMasks;

namespace {

constexpr std::string_view kStopBytes = "={},\"\n\r\t";

/// The bytes in hex, for failure messages.
std::string hex(const char* bytes, std::size_t size) {
    std::string out;
    char pair[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, "%02x ", static_cast<unsigned char>(bytes[i]));
        out += pair;
    }
    return out;
}

/// Random bytes, half of them stop bytes, so that stops come in runs and next to any other byte.
std::string biasedBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (char& c : out) {
        const std::uint32_t draw = random();
        c = (draw & 1) != 0 ? kStopBytes[(draw >> 1) % kStopBytes.size()]
                            : static_cast<char>(draw >> 8);
    }
    return out;
}

using Classifier = void (*)(const char*, std::size_t, StopMasks*);

/// Compares `classify` with the portable classifier on blocks at every offset from the start of
/// the buffer (so at every alignment).
void expectSameAsPortable(Classifier classify, const char* name) {
    constexpr std::size_t kBlocks = 40;
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        const std::string bytes = biasedBytes(kBlocks * kBlock + 32, seed);
        for (std::size_t shift = 0; shift < 32; shift += 7) {
            const char* text = bytes.data() + shift;
            std::vector<StopMasks> expected(kBlocks), actual(kBlocks);
            classifyPortable(text, kBlocks, expected.data());
            classify(text, kBlocks, actual.data());
            for (std::size_t block = 0; block < kBlocks; ++block) {
                const char* at = text + block * kBlock;
                EXPECT_EQ(actual[block].plain, expected[block].plain)
                    << name << " plain, bytes: " << hex(at, kBlock);
                EXPECT_EQ(actual[block].quoted, expected[block].quoted)
                    << name << " quoted, bytes: " << hex(at, kBlock);
            }
        }
    }
}

}  // namespace

// The portable classifier, which the others are held to, marks exactly the stop bytes: = { } , "
// line feed and carriage return outside quotes, " and tab inside them.
TEST(StopMasks, PortableMarksEachByteValue) {
    const std::string_view plainStops = "={},\"\n\r";
    const std::string_view quotedStops = "\"\t";
    for (int value = 0; value < 256; ++value) {
        char block[kBlock];
        for (char& c : block) c = 'a';
        const std::size_t at = static_cast<std::size_t>(value) % kBlock;
        block[at] = static_cast<char>(value);
        StopMasks masks;
        classifyPortable(block, 1, &masks);
        const std::uint64_t bit = std::uint64_t{1} << at;
        const char c = static_cast<char>(value);
        EXPECT_EQ(masks.plain, plainStops.find(c) != std::string_view::npos ? bit : 0)
            << "byte " << value;
        EXPECT_EQ(masks.quoted, quotedStops.find(c) != std::string_view::npos ? bit : 0)
            << "byte " << value;
    }
}

#if defined(__x86_64__) || defined(_M_X64)

TEST(StopMasks, Sse2AgreesWithPortable) {
    expectSameAsPortable(kessa::detail::classifySse2, "SSE2");
}

TEST(StopMasks, Avx2AgreesWithPortable) {
    if (!kessa::detail::hasAvx2()) GTEST_SKIP() << "this processor has no AVX2";
    expectSameAsPortable(kessa::detail::classifyAvx2, "AVX2");
}

#endif

// The tail of the text, shorter than a block, has the stops of its bytes and nothing past them,
// even when stop bytes follow in memory.
TEST(StopMasks, TailOfEveryLength) {
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        const std::string random = biasedBytes(kBlock, seed);
        for (std::size_t size = 0; size < kBlock; ++size) {
            // What the tail classifier sees: the bytes, then stop bytes past the end.
            std::string padded = random.substr(0, size) + std::string(kBlock - size, '"');
            // What the portable one gets: the same bytes, padded with bytes that stop nothing.
            std::string neutral = random.substr(0, size) + std::string(kBlock - size, 'a');
            StopMasks expected;
            classifyPortable(neutral.data(), 1, &expected);
            const StopMasks actual = classifyTail(padded.data(), size);
            EXPECT_EQ(actual.plain, expected.plain)
                << size << " bytes: " << hex(padded.data(), size);
            EXPECT_EQ(actual.quoted, expected.quoted)
                << size << " bytes: " << hex(padded.data(), size);
        }
    }
}
