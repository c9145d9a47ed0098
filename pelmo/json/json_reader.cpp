// A strict JSON reader that keeps places: one pass, no recursion (the open containers are a
// stack of bytes), strings read in place eight bytes at a time until an escape asks for a copy.

#include "pelmo/json/json_reader.h"

#include <bit>
#include <cstring>
#include <vector>

#include "pelmo/file/utf8.h"

namespace pelmo {

JsonSyntaxError::JsonSyntaxError(std::uint64_t offset, std::string reason)
    : Exception(reason), offset_(offset), reason_(std::move(reason)) {}

JsonSyntaxError::~JsonSyntaxError() = default;

JsonHandler::~JsonHandler() = default;

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;

/// The high bit of each byte of `word` that is zero; above the lowest, a set bit may be false.
constexpr std::uint64_t zeroBytes(std::uint64_t word) {
    return (word - kOnes) & ~word & kHigh;
}

/// The high bit of each byte of `word` that stops a plain run of a string (a double quote, a
/// backslash, a control byte, a byte of a multi-byte sequence); the lowest is exact.
constexpr std::uint64_t stringStops(std::uint64_t word) {
    return (word & kHigh) | zeroBytes(word ^ (kOnes * '"')) | zeroBytes(word ^ (kOnes * '\\')) |
           ((word - kOnes * 0x20) & ~word & kHigh);
}

/// The high bit of each byte of `word` that is not a space.
constexpr std::uint64_t nonSpaces(std::uint64_t word) {
    const std::uint64_t x = word ^ (kOnes * ' ');
    return (((x & ~kHigh) + ~kHigh) | x) & kHigh;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

class Reader {
public:
    Reader(std::string_view text, JsonHandler& handler)
        : begin_(text.data()),
          p_(text.data()),
          end_(text.data() + text.size()),
          handler_(handler) {}

    void run() {
        if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
        skipBlanks();
        if (p_ == end_) fail(p_, "the text holds no JSON value");
        for (;;) {
            value();
            // After a value: the next member or element, or the end of its containers.
            for (;;) {
                skipBlanks();
                if (open_.empty()) {
                    if (p_ != end_) fail(p_, "text follows the JSON value");
                    return;
                }
                const bool object = open_.back() != 0;
                if (p_ == end_) {
                    fail(p_, object ? "the object is never closed" : "the array is never closed");
                }
                const char c = *p_;
                if (c == ',') {
                    ++p_;
                    skipBlanks();
                    if (object) member();
                    break;
                }
                if (c == (object ? '}' : ']')) {
                    ++p_;
                    open_.pop_back();
                    if (object) {
                        handler_.closeObject();
                    } else {
                        handler_.closeArray();
                    }
                    continue;
                }
                fail(p_, object ? "a comma or a closing brace was expected"
                                : "a comma or a closing bracket was expected");
            }
        }
    }

private:
    [[noreturn]] void fail(const char* at, const char* reason) const {
        throw JsonSyntaxError(static_cast<std::uint64_t>(at - begin_), reason);
    }

    JsonPlace placeOf(const char* start) const {
        return {static_cast<std::uint64_t>(start - begin_), static_cast<std::uint64_t>(p_ - start)};
    }

    void skipBlanks() {
        for (;;) {
            // Indentation is runs of spaces: eight at a time.
            while (end_ - p_ >= 8) {
                std::uint64_t word;
                std::memcpy(&word, p_, 8);
                const std::uint64_t others = nonSpaces(word);
                if (others != 0) {
                    p_ += std::countr_zero(others) / 8;
                    break;
                }
                p_ += 8;
            }
            if (p_ == end_ || (*p_ != ' ' && *p_ != '\n' && *p_ != '\r' && *p_ != '\t')) return;
            ++p_;
        }
    }

    /// A key, its colon and the blanks up to its value; at the key's opening quote.
    void member() {
        if (p_ == end_ || *p_ != '"') fail(p_, "a key, in double quotes, was expected");
        const char* start = p_;
        unsigned flags = 0;
        const std::string_view bytes = string(flags);
        handler_.key(bytes, flags, placeOf(start));
        skipBlanks();
        if (p_ == end_ || *p_ != ':') fail(p_, "a colon was expected after the key");
        ++p_;
        skipBlanks();
    }

    /// A value; a container is opened, and its first member or element read up to its value.
    void value() {
        for (;;) {
            if (p_ == end_) fail(p_, "a value was expected");
            const char* start = p_;
            switch (*p_) {
                case '{':
                    ++p_;
                    handler_.openObject(placeOf(start));
                    skipBlanks();
                    if (p_ != end_ && *p_ == '}') {
                        ++p_;
                        handler_.closeObject();
                        return;
                    }
                    open_.push_back(1);
                    member();
                    continue;
                case '[':
                    ++p_;
                    handler_.openArray(placeOf(start));
                    skipBlanks();
                    if (p_ != end_ && *p_ == ']') {
                        ++p_;
                        handler_.closeArray();
                        return;
                    }
                    open_.push_back(0);
                    continue;
                case '"': {
                    unsigned flags = 0;
                    const std::string_view bytes = string(flags);
                    handler_.string(bytes, flags, placeOf(start));
                    return;
                }
                case 't':
                    word("true", start);
                    return;
                case 'f':
                    word("false", start);
                    return;
                case 'n':
                    word("null", start);
                    return;
                default:
                    number(start);
                    return;
            }
        }
    }

    void word(std::string_view expected, const char* start) {
        if (static_cast<std::size_t>(end_ - p_) < expected.size() ||
            std::memcmp(p_, expected.data(), expected.size()) != 0) {
            fail(p_, "a value was expected");
        }
        p_ += expected.size();
        handler_.literal(expected, placeOf(start));
    }

    /// A number by the grammar of JSON: a minus sign, an integer part without leading zeros,
    /// decimals, an exponent.
    void number(const char* start) {
        const auto digits = [this] {
            const char* first = p_;
            while (p_ != end_ && *p_ >= '0' && *p_ <= '9') ++p_;
            return p_ != first;
        };
        if (*p_ == '-') ++p_;
        if (p_ == end_ || *p_ < '0' || *p_ > '9') fail(p_, "a value was expected");
        if (*p_ == '0') {
            ++p_;
        } else {
            digits();
        }
        if (p_ != end_ && *p_ == '.') {
            ++p_;
            if (!digits()) fail(p_, "a digit was expected after the decimal point");
        }
        if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            if (!digits()) fail(p_, "a digit was expected in the exponent");
        }
        handler_.number(std::string_view(start, static_cast<std::size_t>(p_ - start)),
                        placeOf(start));
    }

    /// The string at the opening quote, its escapes decoded: a view of the text where it holds
    /// none, else of the buffer. Leaves p_ past the closing quote.
    std::string_view string(unsigned& flags) {
        const char* const first = ++p_;
        for (;;) {
            while (end_ - p_ >= 8) {
                std::uint64_t word;
                std::memcpy(&word, p_, 8);
                const std::uint64_t stops = stringStops(word);
                if (stops != 0) {
                    p_ += std::countr_zero(stops) / 8;
                    break;
                }
                p_ += 8;
            }
            if (p_ == end_) fail(first - 1, "the string is never closed");
            const char c = *p_;
            if (c == '"') {
                ++p_;
                return std::string_view(first, static_cast<std::size_t>(p_ - 1 - first));
            }
            if (c == '\\') break;
            plainByte(flags);
        }
        // An escape: the rest goes through the buffer.
        buffer_.assign(first, p_);
        for (;;) {
            if (p_ == end_) fail(first - 1, "the string is never closed");
            const char c = *p_;
            if (c == '"') {
                ++p_;
                return buffer_;
            }
            if (c != '\\') {
                const char* from = p_;
                plainByte(flags);
                buffer_.append(from, p_);
                continue;
            }
            escape(flags);
        }
    }

    /// One byte, or one UTF-8 sequence, of a string that is no quote or backslash.
    void plainByte(unsigned& flags) {
        const auto byte = static_cast<unsigned char>(*p_);
        if (byte < 0x80) {
            if (byte < 0x20) flags |= kRawControlByte;
            ++p_;
            return;
        }
        const std::size_t length =
            detail::utf8SequenceLength(std::string_view(p_, static_cast<std::size_t>(end_ - p_)));
        if (length == 0) {
            flags |= kNotUtf8;
            ++p_;
        } else {
            p_ += length;
        }
    }

    /// The escape at the backslash, decoded into the buffer.
    void escape(unsigned& flags) {
        const char* at = p_++;
        if (p_ == end_) fail(at, "the string is never closed");
        switch (*p_++) {
            case '"':
                buffer_ += '"';
                return;
            case '\\':
                buffer_ += '\\';
                return;
            case '/':
                buffer_ += '/';
                return;
            case 'b':
                buffer_ += '\b';
                return;
            case 'f':
                buffer_ += '\f';
                return;
            case 'n':
                buffer_ += '\n';
                return;
            case 'r':
                buffer_ += '\r';
                return;
            case 't':
                buffer_ += '\t';
                return;
            case 'u':
                break;
            default:
                fail(at, "an unknown escape");
        }
        std::uint32_t code = hex4(at);
        if (code >= 0xD800 && code <= 0xDBFF && end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
            const char* low = p_;
            p_ += 2;
            const std::uint32_t second = hex4(low);
            if (second >= 0xDC00 && second <= 0xDFFF) {
                appendUtf8(buffer_, 0x10000 + ((code - 0xD800) << 10) + (second - 0xDC00));
                return;
            }
            p_ = low;  // not the pair's second half: a lone first half, then an escape of its own
        }
        // Half of a pair alone names no character; its three bytes stand for it.
        if (code >= 0xD800 && code <= 0xDFFF) flags |= kLoneSurrogate;
        appendUtf8(buffer_, code);
    }

    /// The four hexadecimal digits of a \u escape that begins at `at`.
    std::uint32_t hex4(const char* at) {
        if (end_ - p_ < 4) fail(at, "a \\u escape needs four hexadecimal digits");
        std::uint32_t code = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexValue(*p_++);
            if (digit < 0) fail(at, "a \\u escape needs four hexadecimal digits");
            code = code << 4 | static_cast<std::uint32_t>(digit);
        }
        return code;
    }

    const char* const begin_;
    const char* p_;
    const char* const end_;
    JsonHandler& handler_;
    /// The open containers, innermost last: 1 for an object, 0 for an array.
    std::vector<unsigned char> open_;
    std::string buffer_;
};

}  // namespace

void readJson(std::string_view text, JsonHandler& handler) {
    Reader(text, handler).run();
}

}  // namespace pelmo
