#include "kessa/stop_masks.h"

#include <array>
#include <cstring>
#include <string_view>

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define KESSA_X86_64 1
#elif defined(__EMSCRIPTEN__) && defined(__SSE2__)
// WebAssembly's 128-bit SIMD, which emscripten offers through the SSE2 intrinsics.
#include <emmintrin.h>
#define KESSA_WASM_SIMD 1
#endif

namespace kessa::detail {

namespace {

constexpr std::string_view kPlainStops = "={},\"\n\r";
constexpr std::string_view kQuotedStops = "\"\t";

constexpr auto kByteClass = [] {
    std::array<unsigned char, 256> table{};  // bit 0: a plain stop, bit 1: a quoted stop
    for (unsigned char c : kPlainStops) table[c] |= 1;
    for (unsigned char c : kQuotedStops) table[c] |= 2;
    return table;
}();

StopMasks classifyBytes(const char* text, std::size_t size) {
    StopMasks masks{0, 0};
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char bits = kByteClass[static_cast<unsigned char>(text[i])];
        masks.plain |= std::uint64_t{bits & 1u} << i;
        masks.quoted |= std::uint64_t{(bits >> 1) & 1u} << i;
    }
    return masks;
}

}  // namespace

void classifyPortable(const char* text, std::size_t count, StopMasks* masks) {
    for (std::size_t block = 0; block < count; ++block) {
        masks[block] = classifyBytes(text + block * kBlock, kBlock);
    }
}

#if defined(KESSA_X86_64) || defined(KESSA_WASM_SIMD)

void classifySse2(const char* text, std::size_t count, StopMasks* masks) {
    const __m128i equals = _mm_set1_epi8('='), open = _mm_set1_epi8('{'),
                  close = _mm_set1_epi8('}'), comma = _mm_set1_epi8(','),
                  quote = _mm_set1_epi8('"'), lineFeed = _mm_set1_epi8('\n'),
                  carriageReturn = _mm_set1_epi8('\r'), tab = _mm_set1_epi8('\t');
    for (std::size_t block = 0; block < count; ++block, text += kBlock) {
        std::uint64_t plain = 0, quoted = 0;
        for (int part = 0; part < 4; ++part) {
            const __m128i bytes =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16 * part));
            const __m128i quotes = _mm_cmpeq_epi8(bytes, quote);
            const __m128i stops = _mm_or_si128(
                _mm_or_si128(
                    _mm_or_si128(_mm_cmpeq_epi8(bytes, equals), _mm_cmpeq_epi8(bytes, open)),
                    _mm_or_si128(_mm_cmpeq_epi8(bytes, close), _mm_cmpeq_epi8(bytes, comma))),
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, lineFeed),
                                          _mm_cmpeq_epi8(bytes, carriageReturn)),
                             quotes));
            const __m128i quotedStops = _mm_or_si128(quotes, _mm_cmpeq_epi8(bytes, tab));
            plain |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(stops))}
                     << (16 * part);
            quoted |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(quotedStops))}
                      << (16 * part);
        }
        masks[block] = {plain, quoted};
    }
}

#endif

#ifdef KESSA_X86_64

__attribute__((target("avx2"))) void classifyAvx2(const char* text, std::size_t count,
                                                  StopMasks* masks) {
    const __m256i equals = _mm256_set1_epi8('='), open = _mm256_set1_epi8('{'),
                  close = _mm256_set1_epi8('}'), comma = _mm256_set1_epi8(','),
                  quote = _mm256_set1_epi8('"'), lineFeed = _mm256_set1_epi8('\n'),
                  carriageReturn = _mm256_set1_epi8('\r'), tab = _mm256_set1_epi8('\t');
    for (std::size_t block = 0; block < count; ++block, text += kBlock) {
        std::uint64_t plain = 0, quoted = 0;
        for (int part = 0; part < 2; ++part) {
            const __m256i bytes =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + 32 * part));
            const __m256i quotes = _mm256_cmpeq_epi8(bytes, quote);
            const __m256i stops = _mm256_or_si256(
                _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(bytes, equals),
                                                _mm256_cmpeq_epi8(bytes, open)),
                                _mm256_or_si256(_mm256_cmpeq_epi8(bytes, close),
                                                _mm256_cmpeq_epi8(bytes, comma))),
                _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(bytes, lineFeed),
                                                _mm256_cmpeq_epi8(bytes, carriageReturn)),
                                quotes));
            const __m256i quotedStops = _mm256_or_si256(quotes, _mm256_cmpeq_epi8(bytes, tab));
            plain |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(stops))}
                     << (32 * part);
            quoted |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(quotedStops))}
                      << (32 * part);
        }
        masks[block] = {plain, quoted};
    }
}

bool hasAvx2() {
    return __builtin_cpu_supports("avx2");
}

#endif

ClassifyBlocks classifier() {
#ifdef KESSA_X86_64
    static const ClassifyBlocks best = hasAvx2() ? classifyAvx2 : classifySse2;
    return best;
#elif defined(KESSA_WASM_SIMD)
    return classifySse2;
#else
    return classifyPortable;
#endif
}

StopMasks classifyTail(const char* text, std::size_t size) {
    return classifyBytes(text, size);
}

}  // namespace kessa::detail
