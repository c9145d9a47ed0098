#include "kessa/writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "pelmo/json/byte_copy.h"

namespace kessa {

namespace {

/// How much text the writer gathers before it hands it to the sink.
constexpr std::size_t kChunk = std::size_t{1} << 20;
/// A column count past any width: the line is too long for an array to join.
constexpr std::size_t kFar = std::size_t{1} << 30;

/// Keys and values up to this size are written with one check for room.
constexpr std::size_t kShortText = 256;

/// Indentation up to this many bytes is written as one fixed-size copy.
constexpr std::size_t kShortIndent = 64;
constexpr char kSpaces[kShortIndent + 1] =
    "                                                                ";
constexpr char kTabs[kShortIndent + 1] =
    "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t"
    "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";

/// The columns `text` takes: a character each, counted by its first byte (a UTF-8 continuation
/// byte adds none); kFar for a text with a line break, or far longer than any width.
std::size_t columnsOf(std::string_view text) {
    if (text.size() > 4096) return kFar;
    // Most keys and values are ASCII without a line break: a column a byte, eight at a time.
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    const auto hasByte = [](std::uint64_t word, unsigned char byte) {
        const std::uint64_t x = word ^ (kOnes * byte);
        return ((x - kOnes) & ~x & kHigh) != 0;
    };
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if ((word & kHigh) != 0 || hasByte(word, '\n') || hasByte(word, '\r')) break;
    }
    std::size_t columns = i;
    for (; i != text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r') return kFar;
        columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return columns;
}

bool breaksLine(std::string_view text) {
    return text.find('\n') != std::string_view::npos || text.find('\r') != std::string_view::npos;
}

}  // namespace

// The steps of the usual events, inlined into them.
#define KESSA_HOT [[gnu::always_inline]] inline

struct KessaWriter::Frame {
    Frame(bool isObject, bool isNested, std::size_t itemLevel)
        : object(isObject), nested(isNested), level(itemLevel) {}

    bool object;
    /// Not the root, which has no braces.
    bool nested;
    /// The indentation level of its items.
    std::size_t level;
    /// Keys and items written (objects), or elements begun (arrays).
    std::size_t items = 0;
    /// An empty line goes before the next item.
    bool blank = false;
    /// An item stands on a line of its own: an empty line may follow it.
    bool wroteLine = false;

    // Objects.
    /// The current line ends with a key's equals sign: the next value goes on it.
    bool keyWaits = false;
    /// The first event was an empty key, not written yet: {=} if nothing else comes.
    bool emptyKeyHeld = false;

    // Arrays.
    /// Laid out over lines; otherwise not decided yet, its events held (only the innermost
    /// container can be undecided: opening a container in an array decides it).
    bool lines = false;
    /// A key is written for the element to come, which follows on the same line.
    bool keyOnLine = false;
};

KessaWriter::KessaWriter(pelmo::TextSink& sink, const Layout& layout)
    : sink_(sink),
      layout_(layout),
      // A line of `width` columns holds at most four bytes a column in UTF-8; text with more
      // bytes than that does not stand on one line.
      inlineRoom_(4 * std::size_t{layout.width} + 16),
      buffer_(new char[kChunk]) {
    cursor_ = buffer_.get();
    limit_ = cursor_ + kChunk;
    lineStart_ = cursor_;
    frames_.emplace_back(true, false, 0);
}

KessaWriter::~KessaWriter() = default;

KessaWriter::Frame& KessaWriter::top() {
    return frames_.back();
}

void KessaWriter::key(std::string_view text) {
    Frame& frame = top();
    const std::size_t indent = layout_.tabs ? frame.level : frame.level * layout_.indent;
    if (frame.object && frame.items != 0 && !frame.emptyKeyHeld && text.size() <= kShortText &&
        indent <= kShortIndent) {
        // The usual case in one piece: line feeds, indentation, the key and its equals sign.
        ++frame.items;
        frame.keyWaits = true;
        char* p = room(3 + kShortIndent + kShortText);
        *p = '\n';
        p += started_ ? 1 : 0;
        *p = '\n';
        p += frame.blank ? 1 : 0;
        std::memcpy(p, layout_.tabs ? kTabs : kSpaces, kShortIndent);
        p += indent;
        lineStart_ = p;
        lineColumns_ = frame.level * layout_.indent;
        *p = ' ';
        p += indent == 0 && !text.empty() && text.front() == '"' ? 1 : 0;
        pelmo::detail::copyBytes(p, text.data(), text.size());
        p += text.size();
        *p++ = '=';
        cursor_ = p;
        started_ = true;
        frame.blank = false;
        frame.wroteLine = true;
        collected_ = false;
        return;
    }
    if (!frame.object) {
        if (!frame.lines) {
            hold(frame, true, text, false);
            return;
        }
        if (frame.keyOnLine) {
            room(reserveFor(text));
        } else {
            beginElement(frame, reserveFor(text));
        }
        writeKey(text);
        frame.keyOnLine = true;
        return;
    }
    if (frame.nested && frame.items == 0) {
        ++frame.items;
        if (text.empty()) {
            frame.emptyKeyHeld = true;
            return;
        }
        // A double quote before the first equals sign would make the braces an array; an
        // equals sign right after the brace makes them an object first.
        if (text.find('"') != std::string_view::npos) put('=');
    } else {
        if (frame.emptyKeyHeld) {
            frame.emptyKeyHeld = false;
            put('=');
        }
        ++frame.items;
    }
    newLine(frame, frame.level, reserveFor(text));
    writeKey(text);
    frame.keyWaits = true;
}

void KessaWriter::value(std::string_view text, bool quoted) {
    Frame& frame = top();
    if (frame.keyWaits && text.size() <= kShortText) {
        // The usual case: the value of the key just written.
        frame.keyWaits = false;
        frame.blank = false;
        room(text.size() + 3);
        writeShort(text, quoted);
        return;
    }
    if (!frame.object && !frame.lines) {
        hold(frame, false, text, quoted);
        return;
    }
    beginItem(frame, reserveFor(text));
    writeValue(text, quoted);
}

void KessaWriter::discarded(std::string_view text) {
    discarded_.assign(text);
    hasDiscarded_ = true;
}

void KessaWriter::openObject() {
    open(true);
}

void KessaWriter::openArray() {
    open(false);
}

void KessaWriter::open(bool object) {
    Frame& parent = top();
    if (!parent.object && !parent.lines) spread(parent);
    beginItem(parent, 2);
    if (hasDiscarded_) {
        writeDiscarded(discarded_);
        hasDiscarded_ = false;
    }
    putSeparator('{');
    const std::size_t level = parent.level + 1;
    frames_.emplace_back(object, true, level);
    if (!object) {
        // An array is written as if it were to stand on one line, until it does not fit.
        room(inlineRoom_);
        inlineStart_ = cursor_;
        inlineColumns_ = kFar;
    }
}

void KessaWriter::close() {
    Frame& frame = top();
    if (!frame.object && !frame.lines) {
        // It stands on one line, as written.
        commas_.clear();
        heldKey_ = false;
        put('}');
    } else if (frame.object && (frame.items == 0 || (frame.emptyKeyHeld && frame.items == 1))) {
        put("=}");  // {=}: an equals sign makes the braces an object
    } else {
        frame.blank = false;
        newLine(frame, frame.level - 1, 1);
        *cursor_++ = '}';
    }
    frames_.pop_back();
    collected_ = false;
}

void KessaWriter::blankLine() {
    Frame& frame = top();
    if (frame.wroteLine) frame.blank = true;
}

void KessaWriter::danglingBrace(std::string_view discarded) {
    newLine(top(), top().level, 0);
    if (!discarded.empty()) writeDiscarded(discarded);
    put('{');
}

void KessaWriter::finish() {
    if (started_) put('\n');
    flush();
}

/// Begins a value or container in `frame`, the innermost container: on its key's line, or on a
/// line of its own. Leaves room for `more` bytes after it.
KESSA_HOT void KessaWriter::beginItem(Frame& frame, std::size_t more) {
    if (frame.object) {
        beginMember(frame, more);
    } else if (frame.keyOnLine) {
        frame.keyOnLine = false;
        room(more);
    } else {
        beginElement(frame, more);
    }
}

KESSA_HOT void KessaWriter::beginMember(Frame& frame, std::size_t more) {
    if (frame.keyWaits) {
        frame.keyWaits = false;
        frame.blank = false;
        room(more);
        return;
    }
    if (frame.emptyKeyHeld || (frame.nested && frame.items == 0)) {
        // The empty key goes on a line of its own with its value. A first item with no key
        // takes it too: without an equals sign first, the braces would make an array.
        if (!frame.emptyKeyHeld) ++frame.items;
        frame.emptyKeyHeld = false;
        newLine(frame, frame.level, 1 + more);
        *cursor_++ = '=';
        collected_ = false;
        return;
    }
    // No key waits: the value goes under the empty key, on a line that begins with a comma.
    ++frame.items;
    newLine(frame, frame.level, 1 + more);
    *cursor_++ = ',';
    collected_ = false;
}

/// Begins the next element of an array laid out over lines: the first on the brace's line, each
/// further one on a line of its own after a comma.
KESSA_HOT void KessaWriter::beginElement(Frame& frame, std::size_t more) {
    if (frame.items++ == 0) {
        frame.blank = false;  // the first element stands on the brace's line
        room(more);
        return;
    }
    newLine(frame, frame.level, 1 + more);
    *cursor_++ = ',';
    collected_ = false;
}

/// Ends the line (but at the start of the text) and indents the next to `level`, leaving room
/// for `more` bytes after the indentation.
KESSA_HOT void KessaWriter::newLine(Frame& frame, std::size_t level, std::size_t more) {
    const std::size_t size = layout_.tabs ? level : level * layout_.indent;
    if (size <= kShortIndent) {
        // The usual case in one piece: the line feeds and a fixed run of indentation, of which
        // only `size` bytes count.
        char* p = room(2 + kShortIndent + more);
        if (started_) {
            *p++ = '\n';
            if (frame.blank) *p++ = '\n';
        }
        std::memcpy(p, layout_.tabs ? kTabs : kSpaces, kShortIndent);
        cursor_ = p + size;
    } else {
        deepLine(frame, size, more);
    }
    started_ = true;
    frame.blank = false;
    frame.wroteLine = true;
    lineStart_ = cursor_;
    lineColumns_ = std::min(level * layout_.indent, kFar);
    collected_ = size != 0;
}

/// newLine for an indentation of more than kShortIndent bytes.
void KessaWriter::deepLine(const Frame& frame, std::size_t size, std::size_t more) {
    if (started_) put(frame.blank ? std::string_view("\n\n") : std::string_view("\n"));
    for (std::size_t left = size; left != 0;) {
        const std::size_t part = std::min(left, kChunk);
        std::memset(room(part), layout_.tabs ? '\t' : ' ', part);
        cursor_ += part;
        left -= part;
    }
    room(more);
}

/// The room to leave for `text` and the few bytes around it, so that a short one is written with
/// no further check; a long one is written in pieces.
KESSA_HOT std::size_t KessaWriter::reserveFor(std::string_view text) {
    return text.size() <= kShortText ? text.size() + 3 : 0;
}

/// A key and its equals sign.
KESSA_HOT void KessaWriter::writeKey(std::string_view text) {
    if (text.size() <= kShortText) {
        writeShort(text, false);
        *cursor_++ = '=';
    } else {
        writePlain(text);
        put('=');
    }
    collected_ = false;
}

/// A value: between quotes, or plain.
KESSA_HOT void KessaWriter::writeValue(std::string_view text, bool quoted) {
    if (text.size() <= kShortText) {
        writeShort(text, quoted);
    } else if (!quoted) {
        writePlain(text);
    } else {
        put('"');
        put(text);
        put('"');
        collected_ = false;  // the closing quote leaves nothing collected
    }
}

/// A key or value of at most kShortText bytes, where room is left for it and three more.
KESSA_HOT void KessaWriter::writeShort(std::string_view text, bool quoted) {
    char* p = cursor_;
    if (quoted || (!collected_ && !text.empty() && text.front() == '"')) *p++ = quoted ? '"' : ' ';
    pelmo::detail::copyBytes(p, text.data(), text.size());
    p += text.size();
    if (quoted) *p++ = '"';
    cursor_ = p;
    collected_ = !quoted && (collected_ || !text.empty());
}

/// Text in front of a left brace, and a blank after it.
void KessaWriter::writeDiscarded(std::string_view text) {
    writePlain(text);
    put(' ');
}

/// An unquoted text: a blank goes in front of a double quote at its start where nothing is
/// collected, so that the quote is an ordinary character, as it was where the text was read.
void KessaWriter::writePlain(std::string_view text) {
    if (text.empty()) return;
    if (!collected_ && text.front() == '"') put(' ');
    put(text);
    collected_ = true;
}

/// Writes an event of the undecided array `frame` on the brace's line, while its elements fit
/// there; lays the array out over lines once they do not.
void KessaWriter::hold(Frame& frame, bool key, std::string_view text, bool quoted) {
    // A comma goes before each element but the first; an element is its keys and its value.
    const bool startsElement = !heldKey_;
    const std::size_t comma = startsElement && frame.items != 0 ? 1 : 0;
    const std::size_t blank = !quoted && !text.empty() && text.front() == '"' ? 1 : 0;
    const std::size_t extra = comma + blank + (key ? 1 : 0) + (quoted ? 2 : 0);
    const std::size_t written = static_cast<std::size_t>(cursor_ - inlineStart_);
    const std::size_t bytes = written + text.size() + extra;
    // A line holds no more columns than bytes, so most lines need no count; the closing brace
    // must fit too. Only a quoted value holds a line break.
    bool fits = bytes + 1 <= inlineRoom_ && !(quoted && breaksLine(text));
    const std::size_t before = static_cast<std::size_t>(inlineStart_ - lineStart_);
    std::size_t columns = 0;
    const bool counted = fits && lineColumns_ + before + bytes + 1 > layout_.width;
    if (counted) {
        // Counted once for the line so far, then for each piece.
        if (inlineColumns_ == kFar) {
            inlineColumns_ =
                lineColumns_ + columnsOf(std::string_view(lineStart_, before + written));
        }
        columns = inlineColumns_ + columnsOf(text) + extra;
        fits = columns + 1 <= layout_.width;
    }
    if (!fits) {
        spread(frame);
        if (key) {
            this->key(text);
        } else {
            value(text, quoted);
        }
        return;
    }
    char* p = cursor_;
    if (comma != 0) {
        commas_.push_back(written);
        *p++ = ',';
    }
    frame.items += startsElement ? 1 : 0;
    heldKey_ = key;
    if (quoted) *p++ = '"';
    if (blank != 0) *p++ = ' ';
    pelmo::detail::copyBytes(p, text.data(), text.size());
    p += text.size();
    if (quoted) *p++ = '"';
    if (key) *p++ = '=';
    cursor_ = p;
    if (counted) inlineColumns_ = columns;
}

/// Lays the array out over lines: each comma that begins an element in the line written so far
/// begins a line of its own instead. The first element stays on the brace's line.
void KessaWriter::spread(Frame& frame) {
    frame.lines = true;
    frame.keyOnLine = heldKey_;
    heldKey_ = false;
    if (commas_.empty()) return;
    spreadText_.assign(inlineStart_, cursor_);
    cursor_ = inlineStart_;
    std::size_t from = 0;
    for (const std::size_t comma : commas_) {
        put(std::string_view(spreadText_).substr(from, comma - from));
        newLine(frame, frame.level, 0);
        from = comma;
    }
    put(std::string_view(spreadText_).substr(from));
    commas_.clear();
    collected_ = false;  // what follows starts a line with a comma, or follows an equals sign
}

KESSA_HOT char* KessaWriter::room(std::size_t size) {
    if (static_cast<std::size_t>(limit_ - cursor_) < size) flush();
    return cursor_;
}

KESSA_HOT void KessaWriter::put(std::string_view text) {
    if (text.size() <= static_cast<std::size_t>(limit_ - cursor_)) {
        pelmo::detail::copyBytes(cursor_, text.data(), text.size());
        cursor_ += text.size();
        return;
    }
    while (!text.empty()) {
        const std::size_t part = std::min(text.size(), kChunk);
        std::memcpy(room(part), text.data(), part);
        cursor_ += part;
        text.remove_prefix(part);
    }
}

KESSA_HOT void KessaWriter::put(char c) {
    *room(1) = c;
    ++cursor_;
}

void KessaWriter::putSeparator(char c) {
    put(c);
    collected_ = false;
}

void KessaWriter::flush() {
    // The columns of the line so far, whose start leaves the buffer.
    lineColumns_ = std::min(
        lineColumns_ +
            columnsOf(std::string_view(lineStart_, static_cast<std::size_t>(cursor_ - lineStart_))),
        kFar);
    const std::size_t size = static_cast<std::size_t>(cursor_ - buffer_.get());
    cursor_ = buffer_.get();  // a sink that raises keeps nothing of it
    if (size == 0) return;
    sink_.writeBuffer(buffer_, size, kChunk);
    cursor_ = buffer_.get();
    limit_ = cursor_ + kChunk;
    lineStart_ = cursor_;
}

}  // namespace kessa
