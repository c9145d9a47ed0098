#pragma once

// Internal to the reader: finds the bytes that stop a run of ordinary text, 64 at a time, as bit
// masks, so that the byte machine visits only those bytes and skips the rest a block at a time.

#include <cstddef>
#include <cstdint>

namespace kessa::detail {

/// The stops of one 64-byte block: bit i is set when byte i stops a run.
struct StopMasks {
    /// Outside quotes: = { } , " line feed, carriage return.
    std::uint64_t plain;
    /// Inside quotes: " and tab.
    std::uint64_t quoted;
};

/// Bytes per block.
constexpr std::size_t kBlock = 64;

/// Fills `masks` with the stops of the `count` whole blocks that start at `text`.
using ClassifyBlocks = void (*)(const char* text, std::size_t count, StopMasks* masks);

/// The fastest way this processor has: AVX2 where it is present, else SSE2 on x86-64 (and in
/// WebAssembly built with SIMD), else one byte at a time.
ClassifyBlocks classifier();

/// The stops of the `size` bytes (fewer than a block) at `text`; the bits past them are clear.
StopMasks classifyTail(const char* text, std::size_t size);

// Each way on its own, for the tests that hold them to one another.
void classifyPortable(const char* text, std::size_t count, StopMasks* masks);
#if defined(__x86_64__) || defined(_M_X64) || (defined(__EMSCRIPTEN__) && defined(__SSE2__))
void classifySse2(const char* text, std::size_t count, StopMasks* masks);
#endif
#if defined(__x86_64__) || defined(_M_X64)
void classifyAvx2(const char* text, std::size_t count, StopMasks* masks);
bool hasAvx2();
#endif

}  // namespace kessa::detail
