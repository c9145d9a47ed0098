#pragma once

// The kessa text that gives a key or a value exactly, or why none does: the one rule that the
// writer, json2kessa, the bindings' dumps, completion and the schema check's words follow.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kessa/finding_kinds.h"

namespace kessa {

/// How a string value is written.
enum class StringForm : std::uint8_t {
    Plain,   ///< as it is, ended by a line break, a comma or a right brace
    Quoted,  ///< between double quotes
    None,    ///< no text gives it
};

/// The form of a string value, and for StringForm::None why no text gives it.
struct StringText {
    StringForm form;
    /// NumeralString, TabNeedsQuotes or QuoteNeedsQuotes where form is None.
    FindingKind reason = FindingKind::NumeralString;
};

/// How the string `value` is written so that the reader gives exactly its bytes: plain where the
/// reader keeps it whole (no separator, line break or blank at an end; one that begins with a
/// double quote takes a blank before it, which the writer adds), else between quotes, which keep
/// everything but a tab and end at a double quote. None for a string that reads as a number,
/// quoted or not ("007", "1e3", " 12"), and for one that needs quotes and holds a tab or a
/// double quote. The empty string is Quoted: "".
StringText stringText(std::string_view value);

/// Why no text gives `key` as a key, if none does: UnwritableKey for a key that holds = , { } or
/// a line break, or begins or ends with a blank, which the reader trims. Every other key,
/// the empty one included, is written as it is: `=1` gives the empty key.
std::optional<FindingKind> keyProblem(std::string_view key);

/// A number's text, or why none gives the number.
struct NumberText {
    std::string text;
    /// FloatDigits or NotANumber where no text gives the number; text is empty then.
    std::optional<FindingKind> none;
};

/// The text that gives exactly the float `value` in the JSON, its sign included: the text the
/// JSON writes for it, where six decimals keep it (1e999 for an infinity), and for negative zero
/// a decimal that rounds to it. None for NaN, and for a value six decimals change.
NumberText floatText(double value);

/// The kessa text that writes `name` as a key on an indented line of its own, such as completion
/// inserts: none for the empty name (which reads as a missing key), one keyProblem refuses, or
/// one that begins with a double quote (which only a blank before it keeps).
std::optional<std::string> keyTextOnLine(std::string_view name);

/// The text that gives the string `value` where a value is written: plain, or quoted, or none.
std::optional<std::string> stringValueText(std::string_view value);

/// Why no text gives a value, in a sentence for a person: `reason` is one of the kinds from
/// NoBoolean on, `value` what was refused: a string's or key's bytes, a number's text, the word
/// true, false or null, or nothing for the top of a document.
std::string whyNoText(FindingKind reason, std::string_view value);

}  // namespace kessa
