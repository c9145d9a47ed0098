#include "kessa/strict_bytes.h"

#include "pelmo/file/utf8.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#define KESSA_SSE2 1
#endif

namespace kessa {

namespace {

/// Whether `text` holds a control byte other than tab, line feed and carriage return.
bool holdsControlByte(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
#ifdef KESSA_SSE2
    // Bytes below 0x20 as signed bytes lie between -1 and 0x20; then tab, line feed and carriage
    // return taken out.
    const __m128i space = _mm_set1_epi8(0x20), tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'),
                  cr = _mm_set1_epi8('\r'), minusOne = _mm_set1_epi8(-1);
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i control =
            _mm_and_si128(_mm_cmpgt_epi8(bytes, minusOne), _mm_cmplt_epi8(bytes, space));
        const __m128i allowed =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, tab), _mm_cmpeq_epi8(bytes, lf)),
                         _mm_cmpeq_epi8(bytes, cr));
        if (_mm_movemask_epi8(_mm_andnot_si128(allowed, control)) != 0) return true;
    }
#endif
    for (; p != end; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') return true;
    }
    return false;
}

/// Keeps the first finding of the two kinds by offset: a key's findings come when its value
/// does, which may be after later values' for a key left waiting.
class FirstStrict final : public FindingHandler {
public:
    std::optional<Finding> first;

    void found(const Finding& finding) override {
        if (finding.kind != FindingKind::ControlByte && finding.kind != FindingKind::NotUtf8) {
            return;
        }
        if (!first || finding.offset < first->offset) first = finding;
    }
};

}  // namespace

std::optional<Finding> firstStrictBytes(std::string_view text) {
    if (!holdsControlByte(text) && pelmo::detail::isUtf8(text)) return std::nullopt;
    // Such bytes stand somewhere; the findings tell whether any reaches the JSON, and where.
    FirstStrict first;
    checkKessaFindings(text, first);
    return first.first;
}

}  // namespace kessa
