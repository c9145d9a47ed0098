// The findings: the reader's byte machine reports the text, views of it included, and this
// handler compares what the conversion makes of each key and value with what the text says.

#include "kessa/findings.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <deque>
#include <iterator>
#include <vector>

#include "kessa/plain_number.h"
#include "kessa/read_machine.h"
#include "kessa/scalar.h"
#include "pelmo/file/utf8.h"
#include "pelmo/json/float_chars.h"
#include "pelmo/json/number_text.h"

namespace kessa {

namespace {

/// Whether every byte of `bytes` is printable ASCII (0x20 to 0x7F), eight at a time.
bool isPlainAscii(std::string_view bytes) {
    constexpr std::uint64_t kSpaces = 0x2020202020202020ull, kHigh = 0x8080808080808080ull;
    const char* p = bytes.data();
    std::size_t size = bytes.size();
    for (; size >= 8; p += 8, size -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        // The high bit of a byte of word - kSpaces is set where the byte is below 0x20 (or
        // borrowed by such a byte), and the high bit of word where the byte is 0x80 or above.
        if (((word - kSpaces) | word) & kHigh) return false;
    }
    for (; size != 0; ++p, --size) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20 || byte >= 0x80) return false;
    }
    return true;
}

std::uint64_t hashOf(std::string_view key) {
    std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ key.size();
    std::size_t i = 0;
    for (; i + 8 <= key.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, key.data() + i, 8);
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 32;
    }
    std::uint64_t rest = 0;
    for (std::size_t shift = 0; i != key.size(); ++i, shift += 8) {
        rest |= std::uint64_t{static_cast<unsigned char>(key[i])} << shift;
    }
    hash = (hash ^ rest) * 0xC4CEB9FE1A85EC53ull;
    return hash ^ hash >> 29;
}

/// The keys of the objects still open, to tell a repeated one. A small object is searched from
/// end to end; a large one gets a hash index of its own. An object's keys go when it closes.
class OpenKeys {
public:
    void open() { frames_.push_back({keys_.size(), owned_.size()}); }

    void close() {
        const Frame frame = frames_.back();
        frames_.pop_back();
        keys_.resize(frame.firstKey);
        owned_.resize(frame.firstOwned);
        if (!indexes_.empty() && indexes_.back().frame == frames_.size()) indexes_.pop_back();
    }

    /// Adds `key` to the innermost open object; false if it is there already. A key that is no
    /// run of the text must be `owned`, and is then copied.
    bool add(std::string_view key, bool owned) {
        const Frame& frame = frames_.back();
        const std::uint64_t hash = hashOf(key);
        const std::size_t count = keys_.size() - frame.firstKey;
        if (count < kLinear) {
            for (std::size_t i = frame.firstKey; i != keys_.size(); ++i) {
                if (keys_[i].hash == hash && keys_[i].key == key) return false;
            }
        } else {
            if (indexes_.empty() || indexes_.back().frame != frames_.size() - 1) {
                indexes_.push_back({frames_.size() - 1, {}});
            }
            Index& index = indexes_.back();
            if (index.slots.size() < 2 * (count + 1)) rebuild(index, frame.firstKey, count);
            const std::size_t mask = index.slots.size() - 1;
            std::size_t slot = hash & mask;
            for (; index.slots[slot] != 0; slot = (slot + 1) & mask) {
                const Key& other = keys_[frame.firstKey + index.slots[slot] - 1];
                if (other.hash == hash && other.key == key) return false;
            }
            // Past 2^32 - 2 members the index is full, and later keys go unchecked.
            if (count + 1 >= 0xFFFFFFFFu) return true;
            index.slots[slot] = static_cast<std::uint32_t>(count + 1);
        }
        if (owned) key = owned_.emplace_back(key);
        keys_.push_back({key, hash});
        return true;
    }

private:
    static constexpr std::size_t kLinear = 16;

    struct Key {
        std::string_view key;
        std::uint64_t hash;
    };
    struct Frame {
        std::size_t firstKey, firstOwned;
    };
    /// The hash index of a large object: the slots hold 1 + the key's place in the object, or 0.
    struct Index {
        std::size_t frame;
        std::vector<std::uint32_t> slots;
    };

    void rebuild(Index& index, std::size_t firstKey, std::size_t count) {
        std::size_t size = 64;
        while (size < 4 * (count + 1)) size *= 2;
        index.slots.assign(size, 0);
        for (std::size_t i = 0; i != count && i + 1 < 0xFFFFFFFFu; ++i) {
            std::size_t slot = keys_[firstKey + i].hash & (size - 1);
            while (index.slots[slot] != 0) slot = (slot + 1) & (size - 1);
            index.slots[slot] = static_cast<std::uint32_t>(i + 1);
        }
    }

    std::vector<Key> keys_;
    std::vector<Frame> frames_;
    std::vector<Index> indexes_;  // of the large open objects, innermost last
    std::deque<std::string> owned_;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

/// A decimal value as its significant digits (no leading or trailing zeros) and the power of ten
/// of the place just in front of the first: 0.digits x 10^exponent. Zero has no digits.
struct Decimal {
    std::string digits;
    long long exponent = 0;
};

/// The value of a decimal numeral such as 12.50e-3 (no sign).
Decimal decimalOf(std::string_view numeral) {
    Decimal value;
    long long point = -1, place = 0, exponent = 0;
    std::size_t i = 0;
    for (; i != numeral.size() && (isDigit(numeral[i]) || numeral[i] == '.'); ++i) {
        if (numeral[i] == '.') {
            point = place;
            continue;
        }
        if (value.digits.empty() && numeral[i] == '0') {
            --value.exponent;  // a leading zero moves the first digit right
        } else {
            value.digits += numeral[i];
        }
        ++place;
    }
    if (point < 0) point = place;
    if (i != numeral.size()) {  // e, a sign and digits
        ++i;
        const bool negative = numeral[i] == '-';
        if (numeral[i] == '-' || numeral[i] == '+') ++i;
        constexpr long long kFar = 1'000'000'000'000LL;  // beyond any double
        for (; i != numeral.size(); ++i) {
            if (exponent < kFar) exponent = exponent * 10 + (numeral[i] - '0');
        }
        if (negative) exponent = -exponent;
    }
    while (!value.digits.empty() && value.digits.back() == '0') value.digits.pop_back();
    value.exponent += point + exponent;
    if (value.digits.empty()) value.exponent = 0;
    return value;
}

/// Follows the reader and reports each finding to `out`. Its views are runs of the text.
class FindingCheck {
public:
    static constexpr bool kKeepBytes = false;

    FindingCheck(std::string_view text, FindingHandler& out) : text_(text), out_(out) {}

    void start() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            report(FindingKind::ByteOrderMark, text_.data(), 3);
    }

    void key(std::string_view span) {
        const bool given = keyGiven_;
        keyGiven_ = false;
        keyReported_ = false;
        equalsOpened_ = false;
        if (span.empty()) {
            if (!given) {
                noKey_ = true;
                return;
            }
        } else if (!isPlainAscii(span)) {
            const std::string_view kept = detail::keptBytes(span, false, buffer_);
            checkBytes(span, kept);
            if (!keys_.add(kept, kept.data() != span.data())) {
                report(FindingKind::RepeatedKey, span);
            }
            return;
        }
        // An empty key stands where its equals sign is.
        const char* at = span.empty() ? equals_ : span.data();
        if (!keys_.add(span, false)) report(FindingKind::RepeatedKey, at, span.size());
    }

    void scalar(std::string_view span) {
        added();
        const bool quoted = quoted_;
        quoted_ = false;
        // A quoted value is all between its quotes, tabs at its ends included.
        if (quoted) span = {quoteOpen_ + 1, static_cast<std::size_t>(quoteClose_ - quoteOpen_ - 1)};
        const char* const at = span.data();
        if (noKey_) {
            noKey_ = false;
            report(FindingKind::NoKey, at, span.size());
        } else if (followsQuote(quoted ? quoteOpen_ : at)) {
            // In an array; an object's would have had no key.
            report(FindingKind::TextAfterQuote, at, span.size());
        }
        if (quoted) lastClose_ = quoteClose_;
        if (!quoted) {
            if (span.empty()) return;  // the empty first element of {,}
            checkToken(span);
        }
        std::string_view kept = span;
        const bool plain = isPlainAscii(span);
        if (!plain) {
            if (quoted && span.find('\t') != std::string_view::npos) {
                report(FindingKind::TabInQuotes, at, span.size());
            }
            kept = detail::keptBytes(span, quoted, buffer_);
        }
        if (detail::mayBeNumber(kept) && checkNumber(at, span, kept)) return;
        if (!plain) checkBytes(span, kept);
        // Outside quotes a carriage return is dropped: only a quoted string keeps one.
        if (quoted && !plain && kept.find('\r') != std::string_view::npos) {
            report(FindingKind::CarriageReturnInQuotes, at, span.size());
        }
    }

    void openObject() {
        keys_.open();
        if (!rootOpen_) {  // the root, which no brace opens
            rootOpen_ = true;
            return;
        }
        opened();
        objectOpened_ = true;
    }
    void openArray() { emptyArray_ = opened(); }

    void closeObject() {
        keys_.close();
        afterComma_ = false;
        if (!keyGiven_) return;
        // A key left waiting as its object closes: {=} is how an empty object is written; an
        // empty key adds nothing; any other goes to the next value added to an object.
        if (equalsOpened_ || pendingKey_.empty()) {
            if (!equalsOpened_) report(FindingKind::DroppedEquals, equals_, 1);
            keyGiven_ = false;
            equalsOpened_ = false;
        } else if (!keyReported_) {
            report(FindingKind::WaitingKey, pendingKey_);
            keyReported_ = true;
        }
    }

    void closeArray() {
        afterComma_ = false;
        if (emptyArray_ == nullptr) return;
        // Only blanks lie between the brace and the right brace that opened and closed it.
        const char* close = emptyArray_ + 1;
        while (close != text_.data() + text_.size() && detail::isBlank(*close)) ++close;
        report(FindingKind::EmptyBraces, emptyArray_,
               static_cast<std::size_t>(close - emptyArray_) + 1);
        emptyArray_ = nullptr;
    }

    void end() {}

    void equalsSign(const char* at, std::string_view key, std::string_view token, bool inObject) {
        if (!key.empty()) {
            report(FindingKind::KeyReplaced, key);
        } else if (keyGiven_ && !equalsOpened_) {
            report(FindingKind::DroppedEquals, equals_, 1);
        }
        const std::string_view next = detail::trimmed(token);
        if (!next.empty()) checkToken(next);
        keyReported_ = false;
        if (!inObject) {
            keyReported_ = true;
            if (next.empty()) {
                report(FindingKind::KeyInArray, at, 1);
            } else {
                report(FindingKind::KeyInArray, next);
            }
        }
        // The equals sign that decides a brace is an object's, as in {=}.
        equalsOpened_ = objectOpened_ && next.empty();
        objectOpened_ = false;
        afterComma_ = false;
        keyGiven_ = true;
        equals_ = at;
        pendingKey_ = next;
    }

    void leftBrace(const char* at, std::string_view discarded) {
        const std::string_view text = detail::trimmed(discarded);
        if (!text.empty()) report(FindingKind::DiscardedText, text);
        quoteAfterBlank_ = nullptr;
        lineFeedDropped_ = false;
        // A brace pending still is opened as an array by this one, before this one is pending.
        if (bracePending_) resolving_ = brace_;
        bracePending_ = true;
        brace_ = at;
    }

    void quoteInText(const char* at, std::string_view before) {
        if (detail::trimmed(before).empty()) quoteAfterBlank_ = at;
    }

    void lineFeedDropped(std::string_view before) {
        if (!detail::trimmed(before).empty()) lineFeedDropped_ = true;
    }

    void quotedValue(const char* open, const char* close) {
        quoted_ = true;
        quoteOpen_ = open;
        quoteClose_ = close;
    }

    void comma(const char* at, bool added) {
        if (!added && afterComma_) report(FindingKind::EmptyElement, at, 1);
        afterComma_ = true;
    }

    void openAtEnd(const char* at) { report(FindingKind::OpenAtEnd, at, 1); }

private:
    void report(FindingKind kind, const char* at, std::size_t size) {
        out_.found({kind, static_cast<std::uint64_t>(at - text_.data()), {at, size}});
    }
    void report(FindingKind kind, std::string_view span) { report(kind, span.data(), span.size()); }

    /// Whether only spaces, tabs and carriage returns lie between the last closing quote and
    /// `start`, which is after it.
    bool followsQuote(const char* start) const {
        if (lastClose_ == nullptr) return false;
        for (const char* p = lastClose_ + 1; p != start; ++p) {
            if (*p != ' ' && *p != '\t' && *p != '\r') return false;
        }
        return true;
    }

    /// A value or container is added to the innermost container.
    void added() {
        emptyArray_ = nullptr;
        objectOpened_ = false;
        afterComma_ = false;
    }

    /// A container is added; under the empty key, the finding points at its brace. Returns the
    /// container's left brace.
    const char* opened() {
        added();
        const char* brace = brace_;
        if (resolving_ != nullptr) {
            brace = resolving_;
            resolving_ = nullptr;
        } else {
            bracePending_ = false;
        }
        if (noKey_) {
            noKey_ = false;
            report(FindingKind::NoKey, brace, 1);
        }
        return brace;
    }

    /// What the machine's hooks noted for the unquoted key or value `span`, just completed.
    void checkToken(std::string_view span) {
        if (quoteAfterBlank_ != nullptr) {
            report(FindingKind::BlankBeforeQuote, span);
            quoteAfterBlank_ = nullptr;
        }
        if (lineFeedDropped_) {
            lineFeedDropped_ = false;
            if (span.find('\n') != std::string_view::npos) report(FindingKind::JoinedLines, span);
        }
    }

    /// Control bytes and ill-formed UTF-8 in a key or string value, once each.
    void checkBytes(std::string_view span, std::string_view kept) {
        bool control = false, notUtf8 = false;
        for (std::size_t i = 0; i < kept.size();) {
            const auto byte = static_cast<unsigned char>(kept[i]);
            if (byte < 0x80) {
                control = control || (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r');
                ++i;
                continue;
            }
            const std::size_t length = pelmo::detail::utf8SequenceLength(kept.substr(i));
            notUtf8 = notUtf8 || length == 0;
            i += length == 0 ? 1 : length;
        }
        if (control) report(FindingKind::ControlByte, span);
        if (notUtf8) report(FindingKind::NotUtf8, span);
    }

    /// The findings of a value that types as a number; false if it is a string after all.
    bool checkNumber(const char* at, std::string_view span, std::string_view kept) {
        const auto found = [&](FindingKind kind) { report(kind, at, span.size()); };
        detail::PlainNumber plain;
        if (detail::readPlainNumber(kept, plain)) {
            // Most numbers: a sign, digits, perhaps a point and digits.
            if (kept[0] == '+') found(FindingKind::PlusSign);
            if (plain.digits.size() > 1 && plain.digits[0] == '0') found(FindingKind::LeadingZeros);
            if (plain.point && plain.decimals.empty()) found(FindingKind::TrailingPoint);
            std::size_t integral = plain.digits.size();
            for (const char c : plain.digits) {
                if (c != '0') break;
                --integral;
            }
            bool changed = false;
            // Shorter numerals keep their value, as the conversion's quick route knows, and
            // integers of fewer than 16 digits are below 2^53.
            if (plain.point ? integral > 9 || plain.decimals.size() > 6 : integral >= 16) {
                const Scalar scalar = typeScalar(kept);
                changed = checkValue(kept, scalar, found);
                if (!changed) checkSafeInteger(scalar, found);
            }
            if (plain.negative && integral == 0 &&
                plain.decimals.find_first_not_of('0') == std::string_view::npos) {
                found(FindingKind::NegativeZero);
            }
            if (!changed && plain.decimals.size() > 1 && plain.decimals.back() == '0') {
                found(FindingKind::TrailingZeros);
            }
            return true;
        }
        const Scalar scalar = typeScalar(kept);
        if (scalar.type == pelmo::JsonType::String) return false;
        std::size_t i = 0;
        while (isSpace(kept[i])) ++i;
        if (i != 0) found(FindingKind::LeadingBlanks);
        if (kept[i] == '+') found(FindingKind::PlusSign);
        const bool negative = kept[i] == '-';
        if (kept[i] == '+' || kept[i] == '-') ++i;
        const bool more = i + 1 < kept.size();
        if (kept[i] == '0' && more && (kept[i + 1] | 0x20) == 'x') {
            found(FindingKind::Hexadecimal);  // its text shows the value
            return true;
        }
        if (kept[i] == '0' && more && isDigit(kept[i + 1])) {
            found(FindingKind::LeadingZeros);
        }
        if (kept.back() == '.') found(FindingKind::TrailingPoint);
        const std::string_view numeral = kept.substr(i);
        if (numeral == "1e999") {  // as the JSON writes an infinity: kept, but readers differ
            found(FindingKind::Infinity);
            return true;
        }
        const bool changed = checkValue(numeral, scalar, found);
        if (negative && decimalOf(numeral).digits.empty()) found(FindingKind::NegativeZero);
        if (changed) return true;
        checkSafeInteger(scalar, found);
        const std::size_t point = numeral.find('.');
        if (numeral.find_first_of("eE") != std::string_view::npos) {
            found(FindingKind::Exponent);
        } else if (point != std::string_view::npos && numeral.size() - point > 2 &&
                   numeral.back() == '0') {
            found(FindingKind::TrailingZeros);
        }
        return true;
    }

    /// Whether the number written for a decimal numeral (no blanks or sign in front) has its
    /// value; reports the finding and returns true if not.
    template <class Found>
    static bool checkValue(std::string_view numeral, const Scalar& scalar, Found found) {
        if (numeral[0] == '-' || numeral[0] == '+') numeral.remove_prefix(1);
        const Decimal value = decimalOf(numeral);
        char text[pelmo::detail::kNumberTextCapacity];
        if (scalar.type == pelmo::JsonType::Integer) {
            const char* end = pelmo::detail::writeInteger(text, scalar.integer);
            const std::string_view written(text, static_cast<std::size_t>(end - text));
            const Decimal result = decimalOf(written[0] == '-' ? written.substr(1) : written);
            if (result.digits == value.digits && result.exponent == value.exponent) return false;
            found(FindingKind::Saturated);
            return true;
        }
        if (std::isinf(scalar.number)) {
            found(FindingKind::Overflow);
            return true;
        }
        if (value.digits.empty()) return false;  // zero, however written
        const char* end = pelmo::detail::writeFloat(text, scalar.number);
        std::string_view written(text, static_cast<std::size_t>(end - text));
        if (written[0] == '-') written.remove_prefix(1);
        const Decimal result = decimalOf(written);
        if (result.digits.empty()) {
            found(FindingKind::Underflow);
        } else if (result.digits != value.digits || result.exponent != value.exponent) {
            found(FindingKind::Rounded);
        } else {
            return false;
        }
        return true;
    }

    /// An integer kept as the text says that a double cannot hold: beyond 2^53, with more
    /// significant bits than 53.
    template <class Found>
    static void checkSafeInteger(const Scalar& scalar, Found found) {
        if (scalar.type != pelmo::JsonType::Integer) return;
        const std::uint64_t magnitude = scalar.integer < 0
                                            ? 0 - static_cast<std::uint64_t>(scalar.integer)
                                            : static_cast<std::uint64_t>(scalar.integer);
        constexpr std::uint64_t kExact = std::uint64_t{1} << 53;
        if (magnitude > kExact && magnitude >> std::countr_zero(magnitude) >= kExact) {
            found(FindingKind::UnsafeInteger);
        }
    }

    const std::string_view text_;
    FindingHandler& out_;
    OpenKeys keys_;
    std::string buffer_;
    /// An equals sign came since the last key was used: an empty key is the text's own.
    bool keyGiven_ = false;
    /// The next value goes under the empty key, with no key waiting.
    bool noKey_ = false;
    /// The next value is quoted, its opening quote at quoteOpen_.
    bool quoted_ = false;
    const char* quoteOpen_ = nullptr;
    const char* quoteClose_ = nullptr;
    const char* lastClose_ = nullptr;  // the closing quote of the last quoted value
    /// A double quote after blanks was taken as text, into the token being read.
    const char* quoteAfterBlank_ = nullptr;
    /// A line feed after text was dropped while a brace was pending.
    bool lineFeedDropped_ = false;
    /// The last left brace, whose container's kind is pending if bracePending_ is set, and the
    /// one before it while it is opened.
    const char* brace_ = nullptr;
    bool bracePending_ = false;
    const char* resolving_ = nullptr;
    const char* equals_ = nullptr;  // the last equals sign
    /// The key that equals sign made, trimmed; it waits while keyGiven_ is set.
    std::string_view pendingKey_;
    /// The waiting key was reported as waiting already (in an array, or as an object closed).
    bool keyReported_ = false;
    /// An object was opened just now, by the equals sign about to be reported.
    bool objectOpened_ = false;
    /// The waiting key is the empty one of the equals sign that made its object, as in {=}.
    bool equalsOpened_ = false;
    /// The left brace of an array with nothing in it yet, or null.
    const char* emptyArray_ = nullptr;
    /// The last separator was a comma, with no value or container after it.
    bool afterComma_ = false;
    bool rootOpen_ = false;
};

}  // namespace

std::string shownBytes(std::string_view bytes) {
    const bool cut = bytes.size() > kBytesShown;
    if (cut) {
        std::size_t size = kBytesShown;
        // Not in the middle of a UTF-8 sequence.
        for (int back = 0; back < 3 && (bytes[size] & 0xC0) == 0x80; ++back) --size;
        bytes = bytes.substr(0, size);
    }
    std::string text(1, '"');
    // Quotes and backslashes are ASCII, never inside a UTF-8 sequence: the runs between them
    // are shown as paths are.
    for (;;) {
        const std::size_t special = bytes.find_first_of("\"\\");
        text += pelmo::detail::printable(bytes.substr(0, special));
        if (special == std::string_view::npos) break;
        text += '\\';
        text += bytes[special];
        bytes.remove_prefix(special + 1);
    }
    if (cut) text += "...";
    text += '"';
    return text;
}

namespace {

std::string shown(std::string_view bytes) {
    return shownBytes(bytes);
}

/// Whether the number `written` has more significant digits than the decimal numeral in `text`,
/// which may have blanks and a sign in front.
bool moreDigits(std::string_view written, std::string_view text) {
    const auto magnitude = [](std::string_view numeral) {
        while (!numeral.empty() && (isSpace(numeral[0]) || numeral[0] == '+' || numeral[0] == '-'))
            numeral.remove_prefix(1);
        return numeral;
    };
    return decimalOf(magnitude(written)).digits.size() > decimalOf(magnitude(text)).digits.size();
}

/// The numeral in a finding's bytes: what the conversion drops within a value, tabs and line
/// breaks, cannot be a part of one.
std::string numeralIn(std::string_view bytes) {
    std::string kept;
    for (const char c : bytes) {
        if (c != '\t' && c != '\r' && c != '\n') kept += c;
    }
    return kept;
}

/// The words of an UnsafeInteger finding: what readers that hold doubles make of the integer.
std::string unsafeIntegerWords(std::string_view bytes) {
    const Scalar scalar = typeScalar(numeralIn(bytes));
    char number[pelmo::detail::kFixedTextCapacity];
    // The double nearest the integer, written out in full: the value such a reader holds.
    const double nearest = static_cast<double>(scalar.integer);
    const char* end = pelmo::detail::writeFixed(number, nearest, 0);
    return shown(bytes) +
           " is beyond 2^53, quoted or not: the JSON keeps it exactly, but JavaScript and other "
           "readers that hold numbers as doubles read " +
           std::string(number, static_cast<std::size_t>(end - number));
}

}  // namespace

FindingHandler::~FindingHandler() = default;

void checkKessaFindings(std::string_view text, FindingHandler& handler) {
    FindingCheck check(text, handler);
    check.start();
    detail::ReadMachine<FindingCheck>(text, check).run();
}

std::string describe(const Finding& finding) {
    if (!finding.message.empty()) return std::string(finding.message);
    // The words around the bytes shown, by kind; a numeral's end in what it becomes.
    static constexpr struct {
        const char* before;
        const char* after;
        bool numeral;
    } kWords[] = {
        {"the text begins with a byte-order mark (\\xef\\xbb\\xbf), which stays in the first key "
         "or value; save the file without it",
         "", false},
        {"the double quote that starts ",
         " follows a blank, so it quotes nothing; remove the blank to quote the value", false},
        {"the line breaks in ",
         " are dropped while the brace's kind is undecided, joining one value; a comma after the "
         "first element makes an array",
         false},
        {"the key ",
         " is dropped, since another key comes before its value; give it one, such as \"\" for "
         "empty text",
         false},
        {"no key is waiting for ",
         ", so it goes under the empty key; put key= before it, or quote a value that holds a "
         "comma or braces (there are no comments)",
         false},
        {"", " before a left brace is dropped; quote the whole value to keep text with braces",
         false},
        {"an array takes no keys: ",
         " waits for the next value added to an object; an = before any comma makes the brace an "
         "object",
         false},
        {"the object already has the key ", "; most JSON readers keep only its last value", false},
        {"the blanks in front of ", " are dropped", true},
        {"the plus sign of ", " is dropped", true},
        {"the leading zeros of ", " are dropped", true},
        {"", " is read as hexadecimal", true},
        {"the point at the end of ", " makes a float", true},
        {"", " is beyond the 64-bit range", true},
        {"", " loses digits (floats keep six decimals at most)", true},
        {"", " is too small for six decimals", true},
        {"", " is too large for a double", true},
        {"", " holds a control byte, which the JSON keeps raw and strict JSON readers refuse",
         false},
        {"",
         " holds bytes that are not UTF-8, which strict JSON readers refuse; save the file as "
         "UTF-8",
         false},
        {"the zeros at the end of the decimals of ", " are dropped", true},
        {"", " is written without its exponent", true},
        {"the minus sign of ", " is dropped", true},
        {"the tabs in ",
         " are dropped inside double quotes; only an unquoted value keeps a tab between other "
         "characters",
         false},
        {"", "", true},  // worded below
        {"the braces ", " make an empty array, not an object; write {=} for an empty object",
         false},
        {"", "", false},  // worded below
        {"", "", false},  // worded below
        {"the key ",
         " has no value when its object closes, so it waits for the next value added to an "
         "object; give it one, such as \"\" for empty text",
         false},
        {"", "", false},  // worded below
        {"",
         " follows the closing double quote of the element before it with no comma, so it "
         "becomes an element of its own; put a comma between them, or quote them as one value "
         "(there are no escapes)",
         false},
        {"", "", false},  // worded below
        {"the carriage return in ",
         " is kept inside double quotes, so the JSON of this file differs between a copy with "
         "CRLF line ends and one with LF; save the file with LF line ends",
         false},
    };
    static_assert(std::size(kWords) == kNotationKindCount);
    if (finding.kind == FindingKind::ByteOrderMark) return kWords[0].before;
    if (finding.kind == FindingKind::NoKey && finding.bytes == "{") {
        return "no key is waiting for the container that opens here, so it goes under the empty "
               "key; put key= before it";
    }
    switch (finding.kind) {
        case FindingKind::DroppedEquals:
            return "this equals sign has no key, and no value comes for it, so it adds nothing; "
                   "remove it, or write a key before it and a value after it";
        case FindingKind::EmptyElement:
            return "the empty element before this comma is dropped; write \"\" for empty text, "
                   "or remove the comma";
        case FindingKind::OpenAtEnd:
            return finding.bytes == "{"
                       ? "the left brace at the end of the text opens nothing, and is dropped; "
                         "remove it, or close it"
                       : "the double quote at the end of the text opens nothing, and is dropped; "
                         "remove it, or close it";
        case FindingKind::UnsafeInteger:
            return unsafeIntegerWords(finding.bytes);
        case FindingKind::Infinity:
            return shown(finding.bytes) + " is an infinity, quoted or not: the JSON writes " +
                   (typeScalar(numeralIn(finding.bytes)).number < 0 ? "-1e999" : "1e999") +
                   ", which JSON readers read as infinity or refuse";
        case FindingKind::KeyInArray:
            if (finding.bytes != "=") break;
            return "an array takes no keys: the empty key of this equals sign waits for the next "
                   "value added to an object; an = before any comma makes the brace an object";
        default:
            break;
    }
    const auto& words = kWords[static_cast<std::size_t>(finding.kind)];
    if (!words.numeral) return words.before + shown(finding.bytes) + words.after;
    // What the numeral becomes.
    const std::string kept = numeralIn(finding.bytes);
    const Scalar scalar = typeScalar(kept);
    char number[pelmo::detail::kNumberTextCapacity];
    const char* end = scalar.type == pelmo::JsonType::Integer
                          ? pelmo::detail::writeInteger(number, scalar.integer)
                          : pelmo::detail::writeFloat(number, scalar.number);
    const std::string_view written(number, static_cast<std::size_t>(end - number));
    std::string text = words.before + shown(finding.bytes) + words.after;
    if (finding.kind == FindingKind::Rounded && moreDigits(written, kept)) {
        // The nearest double, written out, has digits the text has not.
        text = shown(finding.bytes) + " is not exactly a double";
    }
    text += ", quoted or not: it becomes ";
    text += written;
    return text + " and cannot stay text";
}

}  // namespace kessa
