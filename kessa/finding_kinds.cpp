// The one list of the kinds of finding: what the tool prints, the rules of its SARIF output and
// the man page's table all come from here.

#include "kessa/finding_kinds.h"

#include <array>

namespace kessa {

namespace {

struct KindInfo {
    std::string_view code;
    Severity severity;
    std::string_view summary;
};

constexpr auto kNote = Severity::Note;
constexpr auto kWarning = Severity::Warning;
constexpr auto kError = Severity::Error;

// In the order of FindingKind.
constexpr std::array<KindInfo, kFindingKindCount> kKinds{{
    {"byte-order-mark", kWarning, "A byte-order mark stays in the first key or value."},
    {"blank-before-quote", kWarning, "A double quote after a blank quotes nothing."},
    {"joined-lines", kError, "Line breaks dropped while a brace is undecided join two values."},
    {"key-replaced", kError, "A key is dropped because another key comes before its value."},
    {"no-key", kWarning, "A value with no key waiting goes under the empty key."},
    {"discarded-text", kError, "Text in front of a left brace is dropped."},
    {"key-in-array", kError, "An array ignores a key, which waits for a later value."},
    {"repeated-key", kWarning, "An object has the key already."},
    {"leading-blanks", kWarning, "Blanks in front of a quoted numeral are dropped."},
    {"plus-sign", kWarning, "The plus sign of a numeral is dropped."},
    {"leading-zeros", kWarning, "The leading zeros of a numeral are dropped."},
    {"hexadecimal", kWarning, "A hexadecimal numeral becomes a decimal float."},
    {"trailing-point", kWarning, "A numeral that ends in a point becomes a float."},
    {"saturated", kError, "An integer beyond the 64-bit range becomes the nearest limit."},
    {"rounded", kError, "A decimal loses digits: floats keep six decimals at most."},
    {"underflow", kError, "A decimal too small for six decimals becomes zero."},
    {"overflow", kError, "A number too large for a double becomes an infinity."},
    {"control-byte", kWarning, "A control byte stays raw, and strict JSON readers refuse it."},
    {"not-utf8", kWarning,
     "Bytes that are not UTF-8 stay raw, and strict JSON readers refuse them."},
    {"trailing-zeros", kWarning, "The zeros at the end of a numeral's decimals are dropped."},
    {"exponent", kWarning, "A numeral with an exponent is written out in full."},
    {"negative-zero", kWarning, "The minus sign of a zero is dropped."},
    {"tab-in-quotes", kError, "A tab inside double quotes is dropped."},
    {"unsafe-integer", kNote,
     "An integer beyond 2^53 is exact in the JSON, but readers that hold numbers as doubles "
     "change it."},
    {"empty-braces", kWarning, "Braces with nothing inside make an empty array, not an object."},
    {"dropped-equals", kError, "An equals sign with no key and no value after it adds nothing."},
    {"empty-element", kError, "An empty element between two commas is dropped."},
    {"waiting-key", kError,
     "A key with no value when its object closes waits for the next value of an object."},
    {"open-at-end", kError, "A double quote or left brace at the end of the text is dropped."},
    {"text-after-quote", kWarning,
     "A value right after a closing double quote in an array becomes an element of its own."},
    {"infinity", kNote,
     "A number written 1e999 is an infinity, which JSON readers read as one or refuse."},
    {"carriage-return-in-quotes", kNote,
     "A carriage return inside double quotes is kept, so CRLF and LF copies of a file give "
     "different JSON."},
    {"schema-type", kError, "A value's JSON type is not one the schema allows."},
    {"schema-required", kError, "An object lacks a member the schema requires."},
    {"schema-additional", kError, "A member or element is one the schema does not allow."},
    {"schema-enum", kError, "A value is none of those the schema names."},
    {"schema-range", kError,
     "A number is outside the schema's range, or not a multiple the schema asks for."},
    {"schema-length", kError, "A string is shorter or longer than the schema allows."},
    {"schema-pattern", kError, "A string does not match the schema's pattern."},
    {"schema-size", kError, "An array or object has fewer or more entries than the schema allows."},
    {"schema-unique", kError, "An array holds equal elements that the schema wants unique."},
    {"schema-contains", kError, "An array has no element of the kind the schema asks for."},
    {"schema-property-name", kError, "A key is one the schema's propertyNames refuses."},
    {"schema-combination", kError,
     "A value fits none of the schema's alternatives, more than one of a oneOf, or a not."},
    {"schema-false", kError, "A value stands where the schema allows none."},
    {"schema-remote-ref", kWarning,
     "A $ref to a remote schema is not fetched, so what it describes is not checked."},
    {"schema-unchecked", kNote, "Something the schema names, such as a format, is not known here."},
    {"schema-too-deep", kWarning,
     "No longer reported: the schema check follows a text to any depth."},
    {"no-boolean", kError, "JSON true and false have no kessa text: the notation has neither."},
    {"no-null", kError, "JSON null has no kessa text: the notation has none."},
    {"numeral-string", kError, "A string that reads as a number becomes one, quoted or not."},
    {"tab-needs-quotes", kError, "A string that only quotes keep holds a tab, which quotes drop."},
    {"quote-needs-quotes", kError,
     "A string that only quotes keep holds a double quote, which would end them."},
    {"unwritable-key", kError,
     "A key holding = , { } or a line break, or blanks at an end, has no kessa text."},
    {"float-digits", kError, "A float that six decimals do not keep has no kessa text."},
    {"big-integer", kError, "An integer beyond the 64-bit range has no kessa text."},
    {"not-a-number", kError, "NaN has no kessa text."},
    {"lone-surrogate", kError,
     "A string holding half of a UTF-16 surrogate pair has no UTF-8 text."},
    {"root-not-object", kError,
     "A document whose top level is not an object has no kessa text: a kessa file is an object."},
    {"schema-format", kWarning,
     "A string is not of the format that the schema names, as an annotation."},
    {"schema-format-assertion", kError, "A string is not of the format that the schema asks for."},
    {"schema-cached", kNote,
     "A schema's URL could not be fetched, and the copy the cache kept of it is used."},
}};

const KindInfo& infoOf(FindingKind kind) {
    return kKinds[static_cast<std::size_t>(kind)];
}

constexpr std::array<std::string_view, 3> kSeverityNames{"note", "warning", "error"};

}  // namespace

std::string_view code(FindingKind kind) {
    return infoOf(kind).code;
}

std::optional<FindingKind> kindOfCode(std::string_view name) {
    for (std::size_t i = 0; i != kKinds.size(); ++i) {
        if (kKinds[i].code == name) return static_cast<FindingKind>(i);
    }
    return std::nullopt;
}

Severity severity(FindingKind kind) {
    return infoOf(kind).severity;
}

std::string_view summary(FindingKind kind) {
    return infoOf(kind).summary;
}

std::string_view name(Severity severity) {
    return kSeverityNames[static_cast<std::size_t>(severity)];
}

std::optional<Severity> severityOfName(std::string_view text) {
    for (std::size_t i = 0; i != kSeverityNames.size(); ++i) {
        if (kSeverityNames[i] == text) return static_cast<Severity>(i);
    }
    return std::nullopt;
}

}  // namespace kessa
