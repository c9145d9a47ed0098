// Native paths on POSIX systems are byte strings; the bytes pass unchanged once they are known to
// be well-formed UTF-8.

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "pelmo/file/native_path.h"

namespace pelmo {

namespace {

/// Length of the well-formed UTF-8 sequence at the start of `s` (not empty), or 0 if it is
/// ill-formed: overlong, a surrogate, above U+10FFFF, truncated or a stray continuation byte.
std::size_t sequenceLength(std::string_view s) {
    const auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::filesystem::path toNativePath(std::string_view utf8) {
    if (utf8.size() > INT32_MAX) {
        throw std::system_error(std::make_error_code(std::errc::invalid_argument),
                                "path is too long");
    }
    for (std::string_view rest = utf8; !rest.empty();) {
        const std::size_t length = sequenceLength(rest);
        if (length == 0) {
            throw std::system_error(EILSEQ, std::system_category(), "path is not valid UTF-8");
        }
        rest.remove_prefix(length);
    }
    return std::filesystem::path(utf8);
}

bool pathExists(const std::filesystem::path& native) {
    return std::filesystem::exists(native);
}

}  // namespace pelmo
