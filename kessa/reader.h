#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pelmo/exception.h"

namespace kessa {

/// What makes a kessa text malformed.
enum class Fault : std::uint8_t {
    StrayRightBrace,  ///< a right brace with no left brace open
    UnclosedBrace,    ///< a left brace that is never closed
    UnclosedQuote,    ///< a quoted value still open at the end of the text
    UnfinishedValue,  ///< a last value with no line break, comma or right brace after it
    TrailingBlanks,   ///< spaces or tabs after the last line break
    KeyWithoutValue,  ///< a key whose value never came
};

/// Malformed kessa text. what() is one fixed message for every fault; which fault it is, and
/// where, are kept beside it.
class SyntaxError : public pelmo::Exception {
public:
    /// The message of every SyntaxError.
    static constexpr const char* kMessage =
        "malformed kessa text: unbalanced braces, a key with no value, or a last value with no "
        "line break after it";

    SyntaxError(Fault fault, std::uint64_t offset, std::string key = {});
    ~SyntaxError() override;

    Fault fault() const noexcept { return fault_; }
    /// Where the fault lies, in bytes from the start of the text: the stray right brace, the
    /// innermost unclosed left brace, the opening double quote, the first byte of the unfinished
    /// value or of the blanks, or the first byte of the key.
    std::uint64_t offset() const noexcept { return offset_; }
    /// The key that has no value (at most its first kKeyShown bytes); empty for other faults.
    const std::string& key() const noexcept { return key_; }
    /// The fault in a few lower-case words, such as "this left brace is never closed".
    std::string describe() const;
    /// How many bytes of `text`, the text read, the fault concerns from offset(): the brace or
    /// the quote, the rest of the text for an unfinished value or stray blanks, the key that has
    /// no value (as much of it as key() keeps).
    std::uint64_t length(std::string_view text) const;

    /// How much of a key the error keeps.
    static constexpr std::size_t kKeyShown = 60;

private:
    Fault fault_;
    std::uint64_t offset_;
    std::string key_;
};

/// Receives what a reader finds in kessa text, in document order. The root is an object like any
/// other: it opens first and closes last, and then the text ends.
class KessaHandler {
public:
    virtual ~KessaHandler();

    /// The key of the next value, which goes into the innermost open object.
    virtual void key(std::string_view key) = 0;
    /// A value, as its token's bytes; typeScalar tells what it is.
    virtual void scalar(std::string_view token) = 0;
    virtual void openObject() = 0;
    virtual void openArray() = 0;
    virtual void closeObject() = 0;
    virtual void closeArray() = 0;
    /// The text ended and was accepted; nothing follows.
    virtual void end() = 0;
};

/// Reads the whole of `text` once, front to back, and reports it to `handler`; the views it
/// passes are valid only during the call. Raises SyntaxError for malformed text, once what comes
/// before the fault has been reported, and whatever the handler raises; std::bad_alloc when
/// memory for the open containers runs out.
void readKessa(std::string_view text, KessaHandler& handler);

/// Raises SyntaxError, for the first fault of `text`, if it is malformed; otherwise returns. It
/// types no value and builds nothing: its memory grows with the nesting depth alone.
void checkKessa(std::string_view text);

}  // namespace kessa
