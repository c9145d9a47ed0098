#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pelmo/json/text_sink.h"

namespace kessa {

/// The choices of the kessa layout that a user may change.
struct Layout {
    /// Indent with one tab a level instead of spaces.
    bool tabs = false;
    /// Spaces a level; with tabs, how many columns a tab counts for the width.
    unsigned indent = 4;
    /// The widest line, in columns, that a short array of scalars is joined on.
    unsigned width = 80;
};

/// Writes kessa text in the project's layout from a sequence of events, in document order, to a
/// TextSink in chunks: memory follows the nesting depth, not the length of the text.
///
/// The layout: one item per line, indented one level per container; a container opens on its
/// key's line and closes on a line of its own; an object with no members is {=}; an array of
/// scalars that fits the width stands on one line, {a,b,c}, and any other array puts its first
/// element on the brace's line and each further one on a line that begins with a comma (a
/// double quote opens a quoted value only right after a separator, so the comma comes first); a
/// value with no key waiting begins its line with a comma; one line feed ends the text.
///
/// The events are those of a reader: key() sets the key that the next value added to an object
/// takes, as an equals sign does, and a second key() before that value replaces it; in an array a
/// key is written before the next element, which ignores it. Texts are written as they are given,
/// so the caller passes texts the rule of value_text.h allows: a key with no separator, line
/// break or blank at an end; a plain value or discarded text that is a reader's trimmed token;
/// a quoted value with no double quote. The first event of an array is never a key.
class KessaWriter {
public:
    explicit KessaWriter(pelmo::TextSink& sink, const Layout& layout = {});
    ~KessaWriter();
    KessaWriter(const KessaWriter&) = delete;
    KessaWriter& operator=(const KessaWriter&) = delete;

    // Each event raises only what the sink raises, or std::bad_alloc.

    /// A key: `text=`.
    void key(std::string_view text);
    /// A value: plain, or between double quotes.
    void value(std::string_view text, bool quoted);
    /// Text the reader drops, in front of the left brace of the container opened next.
    void discarded(std::string_view text);
    void openObject();
    void openArray();
    /// Closes the innermost container.
    void close();
    /// Asks for an empty line before the next item of the innermost container; none is written
    /// before its first item or its closing brace.
    void blankLine();
    /// A left brace, after `discarded` text, that the text leaves open at its very end: it adds
    /// nothing, and is kept with the text in front of it.
    void danglingBrace(std::string_view discarded);
    /// Ends the text with a line feed, unless it is empty, and hands it all to the sink.
    void finish();

private:
    struct Frame;

    Frame& top();
    void open(bool object);
    void beginItem(Frame& frame, std::size_t more);
    void beginElement(Frame& frame, std::size_t more);
    void beginMember(Frame& frame, std::size_t more);
    void newLine(Frame& frame, std::size_t level, std::size_t more);
    void deepLine(const Frame& frame, std::size_t size, std::size_t more);
    static std::size_t reserveFor(std::string_view text);
    void writeKey(std::string_view text);
    void writeValue(std::string_view text, bool quoted);
    void writeDiscarded(std::string_view text);
    void writePlain(std::string_view text);
    void writeShort(std::string_view text, bool quoted);
    void putSeparator(char c);
    void hold(Frame& frame, bool key, std::string_view text, bool quoted);
    void spread(Frame& frame);
    char* room(std::size_t size);
    void put(std::string_view text);
    void put(char c);
    void flush();

    pelmo::TextSink& sink_;
    Layout layout_;
    std::size_t inlineRoom_;
    std::unique_ptr<char[]> buffer_;
    char* cursor_;
    char* limit_;
    std::vector<Frame> frames_;
    /// The innermost array while its layout is undecided: written from inlineStart_ on as it
    /// would stand on one line, in at most inlineRoom_ bytes; where the commas that begin its
    /// elements stand in that text; whether its last event was a key.
    char* inlineStart_ = nullptr;
    std::vector<std::size_t> commas_;
    bool heldKey_ = false;
    /// The columns of its line once its bytes are more than the width, else past any width.
    std::size_t inlineColumns_ = 0;
    std::string spreadText_;
    /// Text to go in front of the next container's brace.
    std::string discarded_;
    bool hasDiscarded_ = false;
    /// Where the current line's text begins, past its indentation or the part of it handed to
    /// the sink, and the columns before that: a line's columns are counted only where an array
    /// opens on it.
    char* lineStart_;
    std::size_t lineColumns_ = 0;
    /// The reader has collected bytes since the last separator: a double quote written now
    /// would be an ordinary character.
    bool collected_ = false;
    bool started_ = false;
};

}  // namespace kessa
