#include "pelmo/file/utf8.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace pelmo::detail {

std::size_t utf8SequenceLength(std::string_view s) {
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

std::size_t asciiPrefix(std::string_view s) {
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if ((word & 0x8080808080808080ull) != 0) break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

bool isUtf8(std::string_view bytes) {
    for (std::size_t i = 0;;) {
        i += asciiPrefix(bytes.substr(i));
        if (i == bytes.size()) return true;
        const std::size_t length = utf8SequenceLength(bytes.substr(i));
        if (length == 0) return false;
        i += length;
    }
}

std::string printable(std::string_view bytes) {
    std::string out;
    while (!bytes.empty()) {
        const auto lead = static_cast<unsigned char>(bytes[0]);
        std::size_t length = utf8SequenceLength(bytes);
        if (length > 1 || (length == 1 && lead >= 0x20 && lead != 0x7F)) {
            out.append(bytes.substr(0, length));
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", lead);
            out += escape;
            length = 1;
        }
        bytes.remove_prefix(length);
    }
    return out;
}

}  // namespace pelmo::detail
