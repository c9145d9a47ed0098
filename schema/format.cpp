#include "schema/format.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "schema/regex.h"

namespace schema {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isHex(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

/// `count` ASCII digits at `at`, as a number; -1 where they are not.
int digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!isDigit(text[i])) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool leapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool isDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1) return false;
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int last = month == 2 && leapYear(year) ? 29 : kDays[month - 1];
    return day <= last;
}

/// RFC 3339's full-time: a time of day with its offset; a leap second only at 23:59 UTC.
bool isTime(std::string_view text) {
    if (text.size() < 9 || text[2] != ':' || text[5] != ':') return false;
    const int hour = digits(text, 0, 2), minute = digits(text, 3, 2), second = digits(text, 6, 2);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
        return false;
    std::size_t at = 8;
    if (at < text.size() && text[at] == '.') {
        ++at;
        const std::size_t start = at;
        while (at < text.size() && isDigit(text[at])) ++at;
        if (at == start) return false;
    }
    if (at >= text.size()) return false;
    int offset = 0;  // minutes east of UTC
    if (text[at] == 'Z' || text[at] == 'z') {
        if (at + 1 != text.size()) return false;
    } else if (text[at] == '+' || text[at] == '-') {
        if (text.size() != at + 6 || text[at + 3] != ':') return false;
        const int hours = digits(text, at + 1, 2), minutes = digits(text, at + 4, 2);
        if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59) return false;
        offset = (hours * 60 + minutes) * (text[at] == '+' ? 1 : -1);
    } else {
        return false;
    }
    if (second == 60) {
        const int utc = ((hour * 60 + minute - offset) % 1440 + 1440) % 1440;
        if (utc != 23 * 60 + 59) return false;
    }
    return true;
}

bool isDateTime(std::string_view text) {
    if (text.size() < 20 || (text[10] != 'T' && text[10] != 't')) return false;
    return isDate(text.substr(0, 10)) && isTime(text.substr(11));
}

/// RFC 3339's duration (its appendix A): P, then a date, a time or weeks, each part in order.
bool isDuration(std::string_view text) {
    if (text.size() < 2 || text[0] != 'P') return false;
    std::size_t at = 1;
    const auto element = [&](std::string_view units, std::size_t& unit) -> bool {
        const std::size_t start = at;
        while (at < text.size() && isDigit(text[at])) ++at;
        if (at == start || at == text.size()) return false;
        // The units run on without a gap: Y, YM, YMD, M, MD or D (and H, M, S likewise).
        const std::size_t found = units.find(text[at], unit);
        if (found == std::string_view::npos || (unit != 0 && found != unit)) return false;
        unit = found + 1;
        ++at;
        return true;
    };
    // Weeks stand alone.
    if (text.back() == 'W') {
        for (std::size_t i = 1; i + 1 < text.size(); ++i) {
            if (!isDigit(text[i])) return false;
        }
        return true;
    }
    std::size_t unit = 0;
    bool any = false;
    while (at < text.size() && text[at] != 'T') {
        if (!element("YMD", unit)) return false;
        any = true;
    }
    if (at < text.size()) {  // the T
        ++at;
        if (at == text.size()) return false;
        unit = 0;
        while (at < text.size()) {
            if (!element("HMS", unit)) return false;
            any = true;
        }
    }
    return any;
}

// ---- Internet names ------------------------------------------------------------------------

/// The code points of UTF-8 `text`; none where it is not UTF-8.
std::optional<std::vector<char32_t>> codePoints(std::string_view text) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        int length = byte < 0x80         ? 1
                     : (byte >> 5) == 6  ? 2
                     : (byte >> 4) == 14 ? 3
                     : (byte >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + length > text.size()) return std::nullopt;
        char32_t value = length == 1 ? byte : byte & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            value = (value << 6) | (next & 0x3F);
        }
        out.push_back(value);
        i += length;
    }
    return out;
}

/// RFC 3492's decoding of the part after "xn--"; none where it is not Punycode.
std::optional<std::vector<char32_t>> punycodeDecoded(std::string_view input) {
    constexpr std::uint32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700;
    std::vector<char32_t> out;
    std::size_t basic = input.rfind('-');
    if (basic == std::string_view::npos) basic = 0;
    for (std::size_t i = 0; i < basic; ++i) {
        if (static_cast<unsigned char>(input[i]) >= 0x80) return std::nullopt;
        out.push_back(static_cast<unsigned char>(input[i]));
    }
    std::uint64_t n = 128, i = 0, bias = 72;
    const auto adapt = [&](std::uint64_t delta, std::uint64_t points, bool first) {
        delta = first ? delta / kDamp : delta / 2;
        delta += delta / points;
        std::uint64_t k = 0;
        while (delta > ((kBase - kTMin) * kTMax) / 2) {
            delta /= kBase - kTMin;
            k += kBase;
        }
        return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
    };
    for (std::size_t in = basic > 0 ? basic + 1 : 0; in < input.size();) {
        const std::uint64_t old = i;
        std::uint64_t w = 1;
        for (std::uint64_t k = kBase;; k += kBase) {
            if (in >= input.size()) return std::nullopt;
            const char c = input[in++];
            std::uint64_t digit;
            if (c >= '0' && c <= '9') {
                digit = static_cast<std::uint64_t>(c - '0') + 26;
            } else if (c >= 'a' && c <= 'z') {
                digit = static_cast<std::uint64_t>(c - 'a');
            } else if (c >= 'A' && c <= 'Z') {
                digit = static_cast<std::uint64_t>(c - 'A');
            } else {
                return std::nullopt;
            }
            i += digit * w;
            if (i > 0x10FFFF * 64) return std::nullopt;
            const std::uint64_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
            if (digit < t) break;
            w *= kBase - t;
            if (w > 0x10FFFF * 64) return std::nullopt;
        }
        bias = adapt(i - old, out.size() + 1, old == 0);
        n += i / (out.size() + 1);
        i %= out.size() + 1;
        if (n > 0x10FFFF || (n >= 0xD800 && n < 0xE000)) return std::nullopt;
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(i), static_cast<char32_t>(n));
        ++i;
    }
    return out;
}

/// RFC 3492's encoding, for the check that an A-label is the canonical one.
std::string punycodeEncoded(const std::vector<char32_t>& input) {
    constexpr std::uint32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700;
    std::string out;
    for (const char32_t c : input) {
        if (c < 0x80) out += static_cast<char>(c);
    }
    const std::size_t basic = out.size();
    std::size_t handled = basic;
    if (basic > 0) out += '-';
    std::uint64_t n = 128, delta = 0, bias = 72;
    const auto adapt = [&](std::uint64_t d, std::uint64_t points, bool first) {
        d = first ? d / kDamp : d / 2;
        d += d / points;
        std::uint64_t k = 0;
        while (d > ((kBase - kTMin) * kTMax) / 2) {
            d /= kBase - kTMin;
            k += kBase;
        }
        return k + (kBase - kTMin + 1) * d / (d + kSkew);
    };
    const auto digit = [](std::uint64_t d) {
        return static_cast<char>(d < 26 ? 'a' + d : '0' + d - 26);
    };
    while (handled < input.size()) {
        std::uint64_t m = UINT64_MAX;
        for (const char32_t c : input) {
            if (c >= n && c < m) m = c;
        }
        delta += (m - n) * (handled + 1);
        n = m;
        for (const char32_t c : input) {
            if (c < n) ++delta;
            if (c == n) {
                std::uint64_t q = delta;
                for (std::uint64_t k = kBase;; k += kBase) {
                    const std::uint64_t t = k <= bias           ? kTMin
                                            : k >= bias + kTMax ? kTMax
                                                                : k - bias;
                    if (q < t) break;
                    out += digit(t + (q - t) % (kBase - t));
                    q = (q - t) / (kBase - t);
                }
                out += digit(q);
                bias = adapt(delta, handled + 1, handled == basic);
                delta = 0;
                ++handled;
            }
        }
        ++delta;
        ++n;
    }
    return out;
}

bool inRanges(char32_t c, std::initializer_list<std::pair<char32_t, char32_t>> ranges) {
    for (const auto& [low, high] : ranges) {
        if (c >= low && c <= high) return true;
    }
    return false;
}

bool isGreek(char32_t c) {
    return inRanges(c, {{0x0370, 0x03FF}, {0x1F00, 0x1FFF}}) && c != 0x0375;
}
bool isHebrew(char32_t c) {
    return inRanges(c, {{0x0591, 0x05F4}, {0xFB1D, 0xFB4F}});
}
bool isKanaOrHan(char32_t c) {
    return inRanges(c, {{0x3041, 0x309F},
                        {0x30A0, 0x30FA},
                        {0x30FC, 0x30FF},
                        {0x31F0, 0x31FF},
                        {0x3400, 0x4DBF},
                        {0x4E00, 0x9FFF},
                        {0xF900, 0xFAFF},
                        {0x20000, 0x3FFFF}});
}
bool isMark(char32_t c) {
    return inRanges(c, {{0x0300, 0x036F},
                        {0x0483, 0x0489},
                        {0x0591, 0x05BD},
                        {0x0610, 0x061A},
                        {0x064B, 0x065F},
                        {0x0900, 0x0903},
                        {0x093A, 0x094F},
                        {0x0951, 0x0957},
                        {0x0962, 0x0963},
                        {0x0981, 0x0983},
                        {0x1AB0, 0x1AFF},
                        {0x1DC0, 0x1DFF},
                        {0x20D0, 0x20FF},
                        {0xFE20, 0xFE2F}});
}
bool isVirama(char32_t c) {
    return c == 0x094D || c == 0x09CD || c == 0x0A4D || c == 0x0ACD || c == 0x0B4D || c == 0x0BCD ||
           c == 0x0C4D || c == 0x0CCD || c == 0x0D4D || c == 0x0DCA || c == 0x0E3A || c == 0x1039 ||
           c == 0x1714 || c == 0x1734 || c == 0x17D2;
}
bool isRightToLeft(char32_t c) {
    return inRanges(c, {{0x0590, 0x08FF},
                        {0xFB1D, 0xFDFF},
                        {0xFE70, 0xFEFF},
                        {0x10800, 0x10FFF},
                        {0x1E800, 0x1EFFF}});
}
/// Arabic letters that join on both sides or on the left: what may come before a ZWNJ.
bool joinsArabic(char32_t c) {
    return inRanges(c, {{0x0620, 0x064A}, {0x066E, 0x06D3}});
}

/// Code points IDNA2008 leaves out, as far as names in the wild meet them.
bool disallowed(char32_t c) {
    if (c < 0x80)
        return !(isAlpha(static_cast<char>(c)) || isDigit(static_cast<char>(c)) || c == '-');
    if (inRanges(c, {{0x80, 0xDE},
                     {0xF7, 0xF7},
                     {0x2E, 0x2E},
                     {0x640, 0x640},
                     {0x7FA, 0x7FA},
                     {0x302E, 0x302F},
                     {0x3031, 0x3035},
                     {0x303B, 0x303B},
                     {0x2000, 0x206F},
                     {0x3000, 0x3002},
                     {0xFF00, 0xFFEF},
                     {0xD800, 0xDFFF},
                     {0xFFF0, 0xFFFF},
                     {0x2100, 0x214F},
                     {0x0340, 0x0341},
                     {0x0374, 0x0374},
                     {0x037E, 0x037E},
                     {0x0387, 0x0387}})) {
        return !(c == 0x00B7 || c == 0x200C || c == 0x200D);
    }
    return false;
}

/// One label of a host name, IDNA2008's rules over its code points (RFC 5891, 5892, 5893).
bool isUnicodeLabel(const std::vector<char32_t>& label, bool& rightToLeft) {
    if (label.empty() || label.size() > 63) return false;
    if (label.front() == '-' || label.back() == '-') return false;
    if (label.size() >= 4 && label[2] == '-' && label[3] == '-') return false;
    if (isMark(label.front())) return false;
    bool arabicIndic = false, extendedArabicIndic = false;
    for (std::size_t i = 0; i < label.size(); ++i) {
        const char32_t c = label[i];
        if (disallowed(c)) return false;
        if (isRightToLeft(c)) rightToLeft = true;
        if (c >= 0x0660 && c <= 0x0669) arabicIndic = true;
        if (c >= 0x06F0 && c <= 0x06F9) extendedArabicIndic = true;
        switch (c) {
            case 0x00B7:  // MIDDLE DOT, between two l
                if (i == 0 || i + 1 == label.size() || label[i - 1] != 'l' || label[i + 1] != 'l') {
                    return false;
                }
                break;
            case 0x0375:  // GREEK KERAIA, before Greek
                if (i + 1 == label.size() || !isGreek(label[i + 1])) return false;
                break;
            case 0x05F3:
            case 0x05F4:  // HEBREW GERESH and GERSHAYIM, after Hebrew
                if (i == 0 || !isHebrew(label[i - 1])) return false;
                break;
            case 0x30FB: {  // KATAKANA MIDDLE DOT, with Hiragana, Katakana or Han
                bool any = false;
                for (const char32_t other : label)
                    any = any || (other != 0x30FB && isKanaOrHan(other));
                if (!any) return false;
                break;
            }
            case 0x200D:  // ZERO WIDTH JOINER, after a virama
                if (i == 0 || !isVirama(label[i - 1])) return false;
                break;
            case 0x200C:  // ZERO WIDTH NON-JOINER, after a virama or between joining letters
                if (!(i > 0 && isVirama(label[i - 1])) &&
                    !(i > 0 && i + 1 < label.size() && joinsArabic(label[i - 1]) &&
                      joinsArabic(label[i + 1]))) {
                    return false;
                }
                break;
            default:
                break;
        }
    }
    if (arabicIndic && extendedArabicIndic) return false;
    return true;
}

/// The Bidi rule of RFC 5893, as far as its first rules go: a label with right-to-left letters
/// begins with one, and holds no left-to-right letters.
bool bidiLabel(const std::vector<char32_t>& label) {
    if (!isRightToLeft(label.front())) return false;
    bool european = false, arabic = false;
    for (const char32_t c : label) {
        if (c < 0x80 && isAlpha(static_cast<char>(c))) return false;
        european =
            european || (c < 0x80 && isDigit(static_cast<char>(c))) || (c >= 0x06F0 && c <= 0x06F9);
        arabic = arabic || (c >= 0x0660 && c <= 0x0669);
    }
    return !(european && arabic);
}

bool isHostname(std::string_view text, bool international, bool reservedDashes = true) {
    std::vector<char32_t> points;
    if (international) {
        auto decoded = codePoints(text);
        if (!decoded) return false;
        points = std::move(*decoded);
        // The full stops of other scripts part labels too.
        for (char32_t& c : points) {
            if (c == 0x3002 || c == 0xFF0E || c == 0xFF61) c = '.';
        }
    } else {
        for (const char c : text) points.push_back(static_cast<unsigned char>(c));
    }
    if (points.empty()) return false;
    std::vector<std::vector<char32_t>> labels(1);
    for (const char32_t c : points) {
        if (c == '.') {
            labels.emplace_back();
        } else {
            labels.back().push_back(c);
        }
    }
    std::size_t length = 0;
    bool anyRightToLeft = false;
    std::vector<bool> rightToLeft;
    std::vector<std::vector<char32_t>> unicode;
    for (const auto& label : labels) {
        if (label.empty()) return false;
        std::vector<char32_t> u = label;
        std::size_t ascii = label.size();
        const bool aLabel = label.size() > 4 && (label[0] | 0x20) == 'x' &&
                            (label[1] | 0x20) == 'n' && label[2] == '-' && label[3] == '-';
        if (aLabel) {
            std::string rest;
            for (std::size_t i = 4; i < label.size(); ++i) {
                if (label[i] >= 0x80) return false;
                rest += static_cast<char>(label[i]);
            }
            const auto decoded = punycodeDecoded(rest);
            if (!decoded || decoded->empty()) return false;
            bool allAscii = true;
            for (const char32_t c : *decoded) allAscii = allAscii && c < 0x80;
            if (allAscii) return false;
            std::string lower = rest;
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (punycodeEncoded(*decoded) != lower) return false;
            u = *decoded;
        } else {
            bool allAscii = true;
            for (const char32_t c : label) allAscii = allAscii && c < 0x80;
            if (!allAscii) {
                if (!international) return false;
                ascii = 4 + punycodeEncoded(label).size();
            } else if (reservedDashes && label.size() >= 4 && label[2] == '-' && label[3] == '-') {
                return false;
            }
        }
        if (ascii > 63) return false;
        length += ascii + 1;
        bool rtl = false;
        if (!international && !aLabel) {
            for (const char32_t c : label) {
                if (!(c < 0x80 && (isAlpha(static_cast<char>(c)) || isDigit(static_cast<char>(c)) ||
                                   c == '-'))) {
                    return false;
                }
            }
            if (label.front() == '-' || label.back() == '-') return false;
        } else if (!isUnicodeLabel(u, rtl)) {
            return false;
        }
        anyRightToLeft = anyRightToLeft || rtl;
        rightToLeft.push_back(rtl);
        unicode.push_back(std::move(u));
    }
    if (length - 1 > 253) return false;
    if (anyRightToLeft) {
        // A name with right-to-left labels: each label keeps to the Bidi rule.
        for (std::size_t i = 0; i < unicode.size(); ++i) {
            const auto& label = unicode[i];
            if (rightToLeft[i] && !bidiLabel(label)) return false;
            if (!rightToLeft[i] && label.front() < 0x80 &&
                isDigit(static_cast<char>(label.front()))) {
                return false;
            }
        }
    }
    return true;
}

bool isIpv4(std::string_view text) {
    int parts = 0;
    std::size_t at = 0;
    while (true) {
        const std::size_t start = at;
        int value = 0;
        while (at < text.size() && isDigit(text[at]) && at - start < 4)
            value = value * 10 + (text[at++] - '0');
        const std::size_t length = at - start;
        if (length == 0 || length > 3 || value > 255 || (length > 1 && text[start] == '0'))
            return false;
        ++parts;
        if (at == text.size()) break;
        if (text[at] != '.' || parts == 4) return false;
        ++at;
    }
    return parts == 4;
}

bool isIpv6(std::string_view text) {
    if (text.empty()) return false;
    int groups = 0;
    bool compressed = false;
    std::size_t at = 0;
    if (text.substr(0, 2) == "::") {
        compressed = true;
        at = 2;
        if (at == text.size()) return true;
    } else if (text[0] == ':') {
        return false;
    }
    while (at < text.size()) {
        // An IPv4 address may end it.
        const std::size_t colon = text.find(':', at);
        const std::string_view part =
            text.substr(at, colon == std::string_view::npos ? text.npos : colon - at);
        if (colon == std::string_view::npos && part.find('.') != std::string_view::npos) {
            if (!isIpv4(part)) return false;
            groups += 2;
            at = text.size();
            break;
        }
        if (part.empty() || part.size() > 4) return false;
        for (const char c : part) {
            if (!isHex(c)) return false;
        }
        ++groups;
        if (colon == std::string_view::npos) {
            at = text.size();
            break;
        }
        at = colon + 1;
        if (at < text.size() && text[at] == ':') {
            if (compressed) return false;
            compressed = true;
            ++at;
            if (at == text.size()) break;
        } else if (at == text.size()) {
            return false;
        }
    }
    return compressed ? groups < 8 : groups == 8;
}

// ---- URIs and IRIs (RFC 3986, RFC 3987)
// ----------------------------------------------------------

bool isUnreserved(char c) {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelim(char c) {
    return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}

/// Whether `text` holds only the characters `allowed` lets through, %XX escapes, and, for an
/// IRI, characters beyond ASCII.
template <class Allowed>
bool componentOk(std::string_view text, bool iri, Allowed allowed) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
            i += 2;
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            if (!iri) return false;
        } else if (!allowed(c)) {
            return false;
        }
    }
    return true;
}

bool pathCharacter(char c) {
    return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@' || c == '/';
}
bool queryCharacter(char c) {
    return pathCharacter(c) || c == '?';
}

bool authorityOk(std::string_view authority, bool iri) {
    std::string_view host = authority;
    if (const std::size_t at = host.rfind('@'); at != std::string_view::npos) {
        const std::string_view user = host.substr(0, at);
        if (!componentOk(user, iri,
                         [](char c) { return isUnreserved(c) || isSubDelim(c) || c == ':'; })) {
            return false;
        }
        host = host.substr(at + 1);
    }
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) return false;
        const std::string_view literal = host.substr(1, close - 1);
        if (!isIpv6(literal) && !(literal.size() > 1 && (literal[0] == 'v' || literal[0] == 'V')))
            return false;
        host = host.substr(close + 1);
        if (!host.empty() && host.front() != ':') return false;
        if (!host.empty()) host.remove_prefix(1);
        for (const char c : host) {
            if (!isDigit(c)) return false;
        }
        return true;
    }
    if (const std::size_t colon = host.rfind(':'); colon != std::string_view::npos) {
        for (const char c : host.substr(colon + 1)) {
            if (!isDigit(c)) return false;
        }
        host = host.substr(0, colon);
    }
    return componentOk(host, iri, [](char c) { return isUnreserved(c) || isSubDelim(c); });
}

bool isUriReference(std::string_view text, bool iri, bool absolute) {
    std::string_view rest = text;
    const std::size_t colon = rest.find(':');
    const std::size_t firstDelimiter = rest.find_first_of("/?#");
    const bool hasScheme = colon != std::string_view::npos && colon != 0 &&
                           (firstDelimiter == std::string_view::npos || colon < firstDelimiter);
    if (hasScheme) {
        const std::string_view scheme = rest.substr(0, colon);
        if (!isAlpha(scheme[0])) return false;
        for (const char c : scheme) {
            if (!(isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.')) return false;
        }
        rest.remove_prefix(colon + 1);
    } else if (absolute) {
        return false;
    }
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
        if (!componentOk(rest.substr(hash + 1), iri, queryCharacter)) return false;
        rest = rest.substr(0, hash);
    }
    if (const std::size_t mark = rest.find('?'); mark != std::string_view::npos) {
        if (!componentOk(rest.substr(mark + 1), iri, queryCharacter)) return false;
        rest = rest.substr(0, mark);
    }
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        if (!authorityOk(rest.substr(0, slash), iri)) return false;
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    } else if (!hasScheme) {
        // A relative path's first segment holds no colon.
        const std::size_t slash = rest.find('/');
        if (rest.substr(0, slash).find(':') != std::string_view::npos) return false;
    }
    return componentOk(rest, iri, pathCharacter);
}

bool isUriTemplate(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '}') return false;
        if (c != '{') {
            if (c == ' ' || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' ||
                c == '|' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                return false;
            }
            continue;
        }
        const std::size_t close = text.find('}', i);
        if (close == std::string_view::npos) return false;
        std::string_view expression = text.substr(i + 1, close - i - 1);
        if (!expression.empty() &&
            std::string_view("+#./;?&=,!@|").find(expression[0]) != std::string_view::npos) {
            expression.remove_prefix(1);
        }
        if (expression.empty()) return false;
        std::size_t start = 0;
        while (start <= expression.size()) {
            const std::size_t comma = std::min(expression.find(',', start), expression.size());
            std::string_view variable = expression.substr(start, comma - start);
            if (!variable.empty() && variable.back() == '*') variable.remove_suffix(1);
            if (const std::size_t prefix = variable.find(':'); prefix != std::string_view::npos) {
                const std::string_view length = variable.substr(prefix + 1);
                if (length.empty() || length.size() > 4 || length[0] == '0') return false;
                for (const char d : length) {
                    if (!isDigit(d)) return false;
                }
                variable = variable.substr(0, prefix);
            }
            if (variable.empty()) return false;
            if (variable.front() == '.' || variable.back() == '.' ||
                variable.find("..") != std::string_view::npos) {
                return false;
            }
            for (const char v : variable) {
                if (!(isAlpha(v) || isDigit(v) || v == '_' || v == '.' || v == '%')) return false;
            }
            start = comma + 1;
        }
        i = close;
    }
    return true;
}

bool isUuid(std::string_view text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !isHex(text[i])) return false;
    }
    return true;
}

bool isJsonPointer(std::string_view text) {
    if (text.empty()) return true;
    if (text.front() != '/') return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '~' &&
            (i + 1 == text.size() || (text[i + 1] != '0' && text[i + 1] != '1'))) {
            return false;
        }
    }
    return true;
}

bool isRelativeJsonPointer(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && isDigit(text[at])) ++at;
    if (at == 0 || (at > 1 && text[0] == '0')) return false;
    const std::string_view rest = text.substr(at);
    return rest == "#" || isJsonPointer(rest);
}

bool isEmail(std::string_view text, bool international) {
    const std::size_t at = text.rfind('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == text.size()) return false;
    const std::string_view local = text.substr(0, at), domain = text.substr(at + 1);
    if (local.front() == '"') {
        if (local.size() < 2 || local.back() != '"') return false;
        for (std::size_t i = 1; i + 1 < local.size(); ++i) {
            const char c = local[i];
            if (c == '\\') {
                ++i;
                continue;
            }
            if (c == '"' || static_cast<unsigned char>(c) < 0x20) return false;
        }
    } else {
        if (local.front() == '.' || local.back() == '.' ||
            local.find("..") != std::string_view::npos) {
            return false;
        }
        for (const char c : local) {
            const bool ok =
                isAlpha(c) || isDigit(c) || c == '.' ||
                std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos ||
                (international && static_cast<unsigned char>(c) >= 0x80);
            if (!ok) return false;
        }
    }
    if (domain.front() == '[') {
        if (domain.back() != ']') return false;
        const std::string_view literal = domain.substr(1, domain.size() - 2);
        if (literal.substr(0, 5) == "IPv6:") return isIpv6(literal.substr(5));
        return isIpv4(literal);
    }
    return isHostname(domain, international);
}

}  // namespace

std::optional<Format> formatOfName(std::string_view name) {
    constexpr std::pair<std::string_view, Format> kNames[] = {
        {"date-time", Format::DateTime},
        {"date", Format::Date},
        {"time", Format::Time},
        {"duration", Format::Duration},
        {"email", Format::Email},
        {"idn-email", Format::IdnEmail},
        {"hostname", Format::Hostname},
        {"idn-hostname", Format::IdnHostname},
        {"ipv4", Format::Ipv4},
        {"ipv6", Format::Ipv6},
        {"uri", Format::Uri},
        {"uri-reference", Format::UriReference},
        {"iri", Format::Iri},
        {"iri-reference", Format::IriReference},
        {"uri-template", Format::UriTemplate},
        {"uuid", Format::Uuid},
        {"json-pointer", Format::JsonPointer},
        {"relative-json-pointer", Format::RelativeJsonPointer},
        {"regex", Format::Regex},
    };
    for (const auto& [known, format] : kNames) {
        if (known == name) return format;
    }
    return std::nullopt;
}

bool conforms(Format format, std::string_view text) {
    switch (format) {
        case Format::DateTime:
            return isDateTime(text);
        case Format::Date:
            return isDate(text);
        case Format::Time:
            return isTime(text);
        case Format::Duration:
            return isDuration(text);
        case Format::Email:
            return isEmail(text, false);
        case Format::IdnEmail:
            return isEmail(text, true);
        case Format::Hostname:
            return isHostname(text, false);
        case Format::Rfc1123Hostname:
            return isHostname(text, false, false);
        case Format::IdnHostname:
            return isHostname(text, true);
        case Format::Ipv4:
            return isIpv4(text);
        case Format::Ipv6:
            return isIpv6(text);
        case Format::Uri:
            return isUriReference(text, false, true);
        case Format::UriReference:
            return isUriReference(text, false, false);
        case Format::Iri:
            return isUriReference(text, true, true);
        case Format::IriReference:
            return isUriReference(text, true, false);
        case Format::UriTemplate:
            return isUriTemplate(text);
        case Format::Uuid:
            return isUuid(text);
        case Format::JsonPointer:
            return isJsonPointer(text);
        case Format::RelativeJsonPointer:
            return isRelativeJsonPointer(text);
        case Format::Regex:
            return isEcmaScriptRegex(text);
    }
    return true;
}

}  // namespace schema
