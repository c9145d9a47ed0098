#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "pelmo/json/text_sink.h"

namespace pelmo {

/// Writes a JSON document, given as a sequence of events in document order, as indented text:
/// containers over lines, four spaces per level, ": " after keys, empty containers as "{}" and
/// "[]", line feeds only and no line break at the end. The text goes to a TextSink in chunks of
/// at most the chunk size, so memory stays bounded however long the document is.
///
/// Events must describe one well-formed value: inside an object each member is `key` followed by
/// its value; closings match openings. The writer checks none of this. Text still in the writer
/// when it is destroyed is dropped: call flush() once the value is complete.
class IndentedWriter {
public:
    /// The chunk size the writer uses unless told otherwise.
    static constexpr std::size_t kDefaultChunk = std::size_t{1} << 20;

    /// Writes to `sink` as if the value stood at nesting level `depth`. Raises std::bad_alloc.
    explicit IndentedWriter(TextSink& sink, std::size_t depth = 0,
                            std::size_t chunk = kDefaultChunk);
    ~IndentedWriter();
    IndentedWriter(const IndentedWriter&) = delete;
    IndentedWriter& operator=(const IndentedWriter&) = delete;

    // Each event below raises only what the sink raises; the text up to the failure may have
    // reached the sink.

    void openObject();
    void openArray();
    /// The key of the next value in the innermost object, as bytes to be escaped.
    void key(std::string_view bytes);
    /// A string value, as bytes to be escaped.
    void string(std::string_view bytes);
    void integer(std::int64_t value);
    /// A float, written as JsonFloat writes it.
    void number(double value);
    /// A number already in the form it is to have, written as it is.
    void numberText(std::string_view text);
    /// numberText for a text of at most 16 bytes, 16 of which may be read from its start: it is
    /// copied in one fixed-size step.
    void shortNumberText(std::string_view text);
    void closeObject();
    void closeArray();

    /// Hands all text written so far to the sink.
    void flush();

private:
    void beginValue();
    void beginItem();
    void open(char bracket);
    void close(char bracket);
    void indent();
    void put(const char* data, std::size_t size);
    void putEscaped(std::string_view bytes);
    /// The cursor, once at least `size` bytes (at most the chunk size) are free behind it.
    char* room(std::size_t size) {
        if (static_cast<std::size_t>(limit_ - cursor_) < size) flush();
        return cursor_;
    }

    TextSink& sink_;
    std::unique_ptr<char[]> buffer_;
    char* cursor_;
    char* limit_;
    std::size_t chunk_;
    /// Nesting level of the items of the innermost open container.
    std::size_t level_;
    /// Containers open; 0 at the top.
    std::size_t open_ = 0;
    /// The innermost container has no item yet.
    bool empty_ = false;
    /// A key has been written and its value comes next, on the same line.
    bool afterKey_ = false;
};

}  // namespace pelmo
