#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kessa {

/// A place where the conversion of well-formed kessa text changes or drops what the text says.
enum class FindingKind : std::uint8_t {
    ByteOrderMark,     ///< the text begins with one, which stays in the first key or value
    BlankBeforeQuote,  ///< a double quote after blanks, taken as an ordinary character
    JoinedLines,       ///< line breaks dropped while a brace's kind was undecided join a value
    KeyReplaced,       ///< a key dropped because another one came before its value
    NoKey,             ///< a value added under the empty key because no key was waiting
    DiscardedText,     ///< text dropped before a left brace
    KeyInArray,        ///< an equals sign inside an array, which ignores its key
    RepeatedKey,       ///< a key its object already has
    LeadingBlanks,     ///< blanks in front of a numeral, dropped
    PlusSign,          ///< the plus sign of a numeral, dropped
    LeadingZeros,      ///< leading zeros of a numeral, dropped
    Hexadecimal,       ///< a hexadecimal numeral, written as a decimal float
    TrailingPoint,     ///< a numeral ending in a point, written as a float
    Saturated,         ///< an integer beyond 64 bits, written as the nearest limit
    Rounded,           ///< a decimal whose digits are not all kept
    Underflow,         ///< a decimal other than zero, written as zero
    Overflow,          ///< a decimal too large for a double, written as an infinity
    ControlByte,       ///< a control byte the JSON keeps raw
    NotUtf8,           ///< bytes that are not UTF-8, which the JSON keeps raw
};

/// One finding: what it is and the bytes concerned, a run of the text checked.
struct Finding {
    FindingKind kind;
    /// Where the bytes begin, from the start of the text.
    std::uint64_t offset;
    /// The key, value or other text concerned, as it stands in the text (bytes the notation
    /// drops, such as the line breaks of JoinedLines, included); a left brace for a container
    /// under the empty key. Valid as long as the text is.
    std::string_view bytes;
};

/// Receives the findings of checkKessaFindings.
class FindingHandler {
public:
    virtual ~FindingHandler();
    virtual void found(const Finding& finding) = 0;
};

/// Reads the whole of `text` as a conversion would and reports to `handler` each place where
/// the conversion changes or drops what the text says. The findings come as the reader meets
/// them, most by rising offset; a key is known to be repeated only once its value comes, so
/// sort by offset for document order. Memory grows with the nesting depth and with the members
/// of the objects still open, whose keys are kept. Raises SyntaxError for malformed text, once
/// the findings before the fault have been reported, and whatever the handler raises.
void checkKessaFindings(std::string_view text, FindingHandler& handler);

/// The finding in a few words, with its bytes in double quotes (at most their first
/// kBytesShown, with unprintable bytes as \xNN and quotes and backslashes escaped), and what to
/// write instead where the notation has a way.
std::string describe(const Finding& finding);

/// How much of a finding's bytes describe shows.
constexpr std::size_t kBytesShown = 60;

}  // namespace kessa
