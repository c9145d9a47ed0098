#include "pelmo/json/indented_writer.h"

#include <algorithm>
#include <cstring>

#include "pelmo/json/byte_copy.h"
#include "pelmo/json/number_text.h"
#include "pelmo/json/string_escape.h"

namespace pelmo {

namespace {

constexpr std::size_t kIndentWidth = 4;

/// Indentation up to this width is written as one fixed-size copy.
constexpr std::size_t kShortIndent = 64;
constexpr char kSpaces[kShortIndent + 1] =
    "                                                                ";

}  // namespace

IndentedWriter::IndentedWriter(TextSink& sink, std::size_t depth, std::size_t chunk)
    // Room for the longest number text at least, so that numbers are written in place.
    : sink_(sink), chunk_(std::max(chunk, 2 * detail::kNumberTextCapacity)), level_(depth) {
    buffer_.reset(new char[chunk_]);
    cursor_ = buffer_.get();
    limit_ = cursor_ + chunk_;
}

IndentedWriter::~IndentedWriter() = default;

void IndentedWriter::openObject() {
    open('{');
}

void IndentedWriter::openArray() {
    open('[');
}

void IndentedWriter::key(std::string_view bytes) {
    beginItem();
    putEscaped(bytes);
    char* p = room(2);
    p[0] = ':';
    p[1] = ' ';
    cursor_ = p + 2;
    afterKey_ = true;
}

void IndentedWriter::string(std::string_view bytes) {
    beginValue();
    putEscaped(bytes);
}

void IndentedWriter::integer(std::int64_t value) {
    beginValue();
    cursor_ = detail::writeInteger(room(detail::kNumberTextCapacity), value);
}

void IndentedWriter::number(double value) {
    beginValue();
    cursor_ = detail::writeFloat(room(detail::kNumberTextCapacity), value);
}

void IndentedWriter::numberText(std::string_view text) {
    beginValue();
    if (text.size() <= detail::kNumberTextCapacity) {
        detail::copyBytes(room(text.size()), text.data(), text.size());
        cursor_ += text.size();
    } else {
        put(text.data(), text.size());
    }
}

void IndentedWriter::shortNumberText(std::string_view text) {
    beginValue();
    char* p = room(16);
    std::memcpy(p, text.data(), 16);
    cursor_ = p + text.size();
}

void IndentedWriter::closeObject() {
    close('}');
}

void IndentedWriter::closeArray() {
    close(']');
}

void IndentedWriter::flush() {
    const std::size_t size = static_cast<std::size_t>(cursor_ - buffer_.get());
    cursor_ = buffer_.get();  // a sink that raises keeps nothing of it
    if (size == 0) return;
    sink_.writeBuffer(buffer_, size, chunk_);
    cursor_ = buffer_.get();
    limit_ = cursor_ + chunk_;
}

// A value follows its key on the key's line; any other value inside a container is an item.
void IndentedWriter::beginValue() {
    if (afterKey_) {
        afterKey_ = false;
    } else if (open_ != 0) {
        beginItem();
    }
}

// Each item starts a line of its own; the line break after the previous item waits for it, so
// that the last item of a container gets no comma.
void IndentedWriter::beginItem() {
    const std::size_t spaces = kIndentWidth * level_;
    const bool first = empty_;
    empty_ = false;
    if (spaces > kShortIndent) {
        char* p = room(2);
        if (!first) *p++ = ',';
        *p++ = '\n';
        cursor_ = p;
        indent();
        return;
    }
    // The usual case in one piece: ",\n" (or "\n" for the first item) and a fixed run of spaces,
    // of which only the indentation counts.
    char* p = room(2 + kShortIndent);
    p[0] = ',';
    p += first ? 0 : 1;
    p[0] = '\n';
    std::memcpy(p + 1, kSpaces, kShortIndent);
    cursor_ = p + 1 + spaces;
}

void IndentedWriter::open(char bracket) {
    beginValue();
    *room(1) = bracket;
    ++cursor_;
    ++open_;
    ++level_;
    empty_ = true;
}

// An empty container closes on its opening line: "{}" or "[]".
void IndentedWriter::close(char bracket) {
    --open_;
    --level_;
    if (!empty_) {
        *room(1) = '\n';
        ++cursor_;
        indent();
    }
    *room(1) = bracket;
    ++cursor_;
    empty_ = false;
}

void IndentedWriter::indent() {
    // Levels are size_t, so the width cannot wrap at any depth that fits in memory.
    std::size_t spaces = kIndentWidth * level_;
    if (spaces <= kShortIndent) {  // the usual case: a fixed copy, of which only `spaces` count
        std::memcpy(room(kShortIndent), kSpaces, kShortIndent);
        cursor_ += spaces;
        return;
    }
    while (spaces != 0) {
        const std::size_t part = std::min(spaces, chunk_);
        std::memset(room(part), ' ', part);
        cursor_ += part;
        spaces -= part;
    }
}

void IndentedWriter::put(const char* data, std::size_t size) {
    while (size != 0) {
        const std::size_t part = std::min(size, chunk_);
        std::memcpy(room(part), data, part);
        cursor_ += part;
        data += part;
        size -= part;
    }
}

void IndentedWriter::putEscaped(std::string_view bytes) {
    const std::size_t size = bytes.size();
    if (size + 2 <= chunk_) {  // the usual case: the bytes as they are, between quotes
        char* p = room(size + 2);
        if (detail::copyWithoutEscapes(p + 1, bytes.data(), size)) {
            p[0] = '"';
            p[size + 1] = '"';
            cursor_ = p + size + 2;
            return;
        }
    }
    put("\"", 1);
    const char* run = bytes.data();
    const char* const end = run + size;
    for (const char* p = run; p != end; ++p) {
        const char escape = detail::kEscapes[static_cast<unsigned char>(*p)];
        if (escape == 0) continue;
        put(run, static_cast<std::size_t>(p - run));
        const char pair[2] = {'\\', escape};
        put(pair, 2);
        run = p + 1;
    }
    put(run, static_cast<std::size_t>(end - run));
    put("\"", 1);
}

}  // namespace pelmo
