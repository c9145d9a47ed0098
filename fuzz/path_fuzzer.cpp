// toNativePath takes any bytes: it returns the same bytes as a path when they are well-formed
// UTF-8, and raises std::system_error otherwise.

#include <cerrno>
#include <cstdint>
#include <string_view>
#include <system_error>

#include "check.h"
#include "pelmo/file/native_path.h"

namespace {

/// Decodes each sequence to its code point and refuses what Unicode does not allow: a stray
/// continuation byte, a lead byte above F4, a truncated sequence, an overlong form, a surrogate,
/// or a code point above U+10FFFF.
bool isWellFormedUtf8(std::string_view bytes) {
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    for (std::size_t at = 0; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = lead < 0x80   ? 1
                                   : lead < 0xC0 ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF8 ? 4
                                                 : 0;
        if (length == 0 || bytes.size() - at < length) return false;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(bytes[at + i]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        at += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool wellFormed = isWellFormedUtf8(bytes);
    try {
        const auto path = pelmo::toNativePath(bytes);
        require(wellFormed, "ill-formed UTF-8 is refused");
        require(path.native() == bytes, "a path keeps its bytes");
    } catch (const std::system_error& error) {
        require(!wellFormed, "well-formed UTF-8 is accepted");
        require(error.code() == std::error_code(EILSEQ, std::system_category()),
                "a refusal carries the system's code for an illegal byte sequence");
    }
    return 0;
}
