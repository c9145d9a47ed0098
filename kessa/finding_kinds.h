#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kessa {

/// A place where the conversion of well-formed kessa text changes or drops what the text says.
/// New kinds are added at the end; a kind's code never changes once released.
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
    TrailingZeros,     ///< zeros at the end of a numeral's decimals, dropped
    Exponent,          ///< a numeral with an exponent, written out in full
    NegativeZero,      ///< the minus sign of a zero, dropped
    TabInQuotes,       ///< a tab inside double quotes, dropped
    UnsafeInteger,     ///< an integer beyond 2^53, which readers holding doubles change
    EmptyBraces,       ///< braces with nothing inside, which make an empty array
    DroppedEquals,     ///< an equals sign with no key whose value never comes
    EmptyElement,      ///< an empty element between two commas, dropped
    WaitingKey,        ///< a key with no value when its object closes, left for a later value
    OpenAtEnd,         ///< a double quote or left brace at the end of the text, opening nothing
    TextAfterQuote,    ///< a value right after a closing quote in an array, an element of its own
    Infinity,          ///< 1e999 or -1e999, an infinity, which readers read as one or refuse
    CarriageReturnInQuotes,  ///< a carriage return inside double quotes, kept

    // What a schema refuses: in a text checked against one.
    SchemaType,          ///< a value of a type the schema does not allow
    SchemaRequired,      ///< a member the schema requires, missing
    SchemaAdditional,    ///< a member or element the schema does not allow
    SchemaEnum,          ///< a value that is none of those the schema names (enum, const)
    SchemaRange,         ///< a number out of the schema's range, or not a multiple it asks for
    SchemaLength,        ///< a string shorter or longer than the schema allows
    SchemaPattern,       ///< a string that does not match the schema's pattern
    SchemaSize,          ///< an array or object with fewer or more entries than allowed
    SchemaUnique,        ///< equal elements in an array the schema wants unique
    SchemaContains,      ///< an array with no element that the schema's contains asks for
    SchemaPropertyName,  ///< a key that the schema's propertyNames refuses
    SchemaCombination,   ///< a value that fits none, or several, of anyOf, oneOf; or fits not
    SchemaFalse,         ///< a value where the schema allows none
    // Said once of the schema itself.
    SchemaRemoteRef,  ///< a $ref to a remote schema, not fetched, so not checked
    SchemaUnchecked,  ///< something of the schema left unchecked: a format not known here
    SchemaTooDeep,    ///< no longer reported: the check follows a text to any depth

    // What no kessa text gives: the values of a JSON document that json2kessa cannot write.
    NoBoolean,         ///< true or false: the notation has neither
    NoNull,            ///< null: the notation has none
    NumeralString,     ///< a string the typing reads as a number, quoted or not
    TabNeedsQuotes,    ///< a string that only quotes keep, holding a tab, which quotes drop
    QuoteNeedsQuotes,  ///< a string that only quotes keep, holding a double quote, which ends them
    UnwritableKey,     ///< a key holding = , { } or a line break, or blanks at an end
    FloatDigits,       ///< a float that six decimals do not keep
    BigInteger,        ///< an integer beyond the 64-bit range
    NotANumber,        ///< NaN, which no text gives
    LoneSurrogate,     ///< a string holding half of a UTF-16 pair, which no UTF-8 text holds
    RootNotObject,     ///< a document whose top level is not an object

    // What a schema says of a text's strings by their format.
    SchemaFormat,           ///< a string not of the format the schema names as an annotation
    SchemaFormatAssertion,  ///< a string not of the format the schema asks for
    SchemaCached,           ///< said once of a schema: its cached copy used, the network failing
};

/// How many kinds there are; they run from 0 to kFindingKindCount - 1.
constexpr std::size_t kFindingKindCount =
    static_cast<std::size_t>(FindingKind::SchemaCached) + 1;
/// The kinds below this one say what the notation does to a text; the others are a schema's, or
/// json2kessa's.
constexpr std::size_t kNotationKindCount = static_cast<std::size_t>(FindingKind::SchemaType);
/// The first of the kinds that say what no kessa text gives.
constexpr std::size_t kUnwritableKindStart = static_cast<std::size_t>(FindingKind::NoBoolean);

/// How much a finding matters, least first: a note where nothing changes here but readers may
/// disagree, a warning where the data changes form or type, an error where the JSON loses data
/// the text holds.
enum class Severity : std::uint8_t { Note, Warning, Error };

/// The kind's stable name, such as "trailing-zeros", for logs, options and rule ids.
std::string_view code(FindingKind kind);
/// The kind whose code is `name`, if there is one.
std::optional<FindingKind> kindOfCode(std::string_view name);
Severity severity(FindingKind kind);
/// The kind in one sentence, without the bytes of any one finding.
std::string_view summary(FindingKind kind);

/// The code of the fault of a malformed text, beside the codes of the kinds: the tool's formats
/// and the language server give it alike.
constexpr std::string_view kMalformedCode = "malformed";

/// "note", "warning" or "error".
std::string_view name(Severity severity);
/// The severity whose name is `text`, if there is one.
std::optional<Severity> severityOfName(std::string_view text);

}  // namespace kessa
