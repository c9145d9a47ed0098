#pragma once

// Kessa texts and the findings each must give, shared by the tests of the findings and by those of
// the packages that report them to other languages.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "kessa/finding_kinds.h"

using kessa::FindingKind;

/// A finding as reported: its kind, and the bytes concerned where they stand.
struct Seen {
    FindingKind kind;
    std::uint64_t offset;
    std::string bytes;
    bool operator==(const Seen&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Seen& seen) {
    return out << static_cast<int>(seen.kind) << "@" << seen.offset << ":" << seen.bytes;
}

/// `count` members k0=0, k1=1 and so on, each on a line.
inline std::string members(int count, char name = 'k') {
    std::string text;
    for (int i = 0; i < count; ++i) {
        // Appended piece by piece: g++ 12 warns wrongly about "k" + string.
        text.append(1, name).append(std::to_string(i)).append(1, '=').append(std::to_string(i));
        text += '\n';
    }
    return text;
}

/// Texts and their findings in the order the reader reports them.
inline const struct {
    std::string input;
    std::vector<Seen> findings;
} kFindingRows[] = {
    // A quoted value that is empty has its place after the opening quote.
    {"a=\"x\"\"\"\n", {{FindingKind::NoKey, 6, ""}}},
    // Bytes the conversion drops are kept out of a numeral, left in the bytes shown.
    {"a=\"0\t1\"\n",
     {{FindingKind::TabInQuotes, 3, "0\t1"}, {FindingKind::LeadingZeros, 3, "0\t1"}}},
    {"a=\"1\t2\"\nb={\n0\n1\n}\n",
     {{FindingKind::TabInQuotes, 3, "1\t2"},
      {FindingKind::JoinedLines, 12, "0\n1"},
      {FindingKind::LeadingZeros, 12, "0\n1"}}},
    {"a=\"0\n1\"\n", {}},
    {"a=+007\n", {{FindingKind::PlusSign, 2, "+007"}, {FindingKind::LeadingZeros, 2, "+007"}}},
    // Objects large enough for an index of their own, and what closing one forgets.
    {members(40) + "k35=x\n", {{FindingKind::RepeatedKey, 260, "k35"}}},
    {"b={a=1}\na=2\n", {}},
    {"o={\n" + members(40) + "}\nk3=1\no2={\n" + members(20) + "}\n", {}},
    {"o={\n" + members(30) + "k29=1\n}\nk29=1\nk29=2\n",
     {{FindingKind::RepeatedKey, 194, "k29"}, {FindingKind::RepeatedKey, 208, "k29"}}},
    {members(20) + "o={\n" + members(20, 'j') + "}\nk5=1\n",
     {{FindingKind::RepeatedKey, 246, "k5"}}},
    // A large object closed, then one at its depth with other keys, one of them repeated.
    {"o={\n" + members(40) + "}\np={\n" + members(20, 'j') + "j5=x\n}\n",
     {{FindingKind::RepeatedKey, 390, "j5"}}},
    // Keys kept as a copy, the carriage return dropped, past values and objects that use
    // copies of their own.
    {"k\r1=a\rb\nk1=2\n", {{FindingKind::RepeatedKey, 8, "k1"}}},
    {"k\r1=1\no={x\ry=1\n}\nj\rk=1\nk1=2\n", {{FindingKind::RepeatedKey, 23, "k1"}}},
    {"=1\n=2\n", {{FindingKind::RepeatedKey, 3, ""}}},
    {"a= \"x\"=1\n",
     {{FindingKind::KeyReplaced, 0, "a"}, {FindingKind::BlankBeforeQuote, 3, "\"x\""}}},
    {"a={ x\n=1}\n", {}},
    // Numerals the JSON spells otherwise, and the limits of each kind.
    {"a=2.10\nb=2.0\nc=-0.00\n",
     {{FindingKind::TrailingZeros, 2, "2.10"},
      {FindingKind::NegativeZero, 15, "-0.00"},
      {FindingKind::TrailingZeros, 15, "-0.00"}}},
    {"a=1.1234560\nb=1.12345670\nc=\" 2.50\"\n",
     {{FindingKind::TrailingZeros, 2, "1.1234560"},
      {FindingKind::Rounded, 14, "1.12345670"},
      {FindingKind::LeadingBlanks, 28, " 2.50"},
      {FindingKind::TrailingZeros, 28, " 2.50"}}},
    {"a=1E1\nb=-0e5\nc=1e-9\nd=0x1p3\n",
     {{FindingKind::Exponent, 2, "1E1"},
      {FindingKind::NegativeZero, 8, "-0e5"},
      {FindingKind::Exponent, 8, "-0e5"},
      {FindingKind::Underflow, 15, "1e-9"},
      {FindingKind::Hexadecimal, 22, "0x1p3"}}},
    // An infinity is written 1e999, as the text may already say; kept so, it gets a note.
    {"a=1e999\nb=-1e999\nc=1E999\nd=+1e999\ne=\" 1e999\"\nf=1e998\ng=-01e999\n",
     {{FindingKind::Infinity, 2, "1e999"},
      {FindingKind::Infinity, 10, "-1e999"},
      {FindingKind::Overflow, 19, "1E999"},
      {FindingKind::PlusSign, 27, "+1e999"},
      {FindingKind::Infinity, 27, "+1e999"},
      {FindingKind::LeadingBlanks, 37, " 1e999"},
      {FindingKind::Infinity, 37, " 1e999"},
      {FindingKind::Overflow, 47, "1e998"},
      {FindingKind::LeadingZeros, 55, "-01e999"},
      {FindingKind::Overflow, 55, "-01e999"}}},
    // A carriage return inside quotes is kept in a string, and dropped elsewhere.
    {"a=\"x\r\ny\"\r\nb=x\ry\r\nc=\"\r12\"\nd=\"\r\"\ne=\"caf\xE9\r\"\n",
     {{FindingKind::CarriageReturnInQuotes, 3, "x\r\ny"},
      {FindingKind::LeadingBlanks, 20, "\r12"},
      {FindingKind::CarriageReturnInQuotes, 28, "\r"},
      {FindingKind::NotUtf8, 34, "caf\xE9\r"},
      {FindingKind::CarriageReturnInQuotes, 34, "caf\xE9\r"}}},
    // The digits of the limit and a zero more: beyond it all the same.
    {"a=92233720368547758070\nb=-92233720368547758080\nc=9223372036854775807\n",
     {{FindingKind::Saturated, 2, "92233720368547758070"},
      {FindingKind::Saturated, 25, "-92233720368547758080"},
      {FindingKind::UnsafeInteger, 49, "9223372036854775807"}}},
    {"a=-0\nb=-0.0000001\nc=0\nd=-1\n",
     {{FindingKind::NegativeZero, 2, "-0"}, {FindingKind::Underflow, 7, "-0.0000001"}}},
    // 2^53 + 1 is the first integer a double cannot hold; 2^54 + 4 it holds.
    {"a=9007199254740992\nb=9007199254740993\nc=-9007199254740993\nd=18014398509481988\n"
     "e=99999999999999999999\n",
     {{FindingKind::UnsafeInteger, 21, "9007199254740993"},
      {FindingKind::UnsafeInteger, 40, "-9007199254740993"},
      {FindingKind::Saturated, 80, "99999999999999999999"}}},
    {"a=\"x\ty\"\nb=x\ty\n\t=\"\t\"\nc=\"\t7\"\n",
     {{FindingKind::TabInQuotes, 3, "x\ty"},
      {FindingKind::TabInQuotes, 17, "\t"},
      {FindingKind::TabInQuotes, 23, "\t7"}}},
    // Items and bytes the structure drops.
    {"a={}\nb={ \r\n }\nc={=}\nd={{}}\ne={,}\n",
     {{FindingKind::EmptyBraces, 2, "{}"},
      {FindingKind::EmptyBraces, 7, "{ \r\n }"},
      {FindingKind::EmptyBraces, 23, "{}"}}},
    {"=\na=1\n=\nb=2\nc={x=1,=}\n=1\n",
     {{FindingKind::DroppedEquals, 0, "="},
      {FindingKind::DroppedEquals, 6, "="},
      {FindingKind::DroppedEquals, 19, "="}}},
    {"x={1,,2}\ny={,,}\nz={\"a\",,\"b\"}\nw={1,\n,2}\nv={1\n,2}\nu={1,}\nt=1,,s=2\n",
     {{FindingKind::EmptyElement, 5, ","},
      {FindingKind::EmptyElement, 13, ","},
      {FindingKind::EmptyElement, 23, ","},
      {FindingKind::EmptyElement, 35, ","},
      {FindingKind::EmptyElement, 59, ","}}},
    {"w={a=}\nb=1\nx={y={k=}}\n1\n",
     {{FindingKind::WaitingKey, 3, "a"},
      {FindingKind::KeyReplaced, 3, "a"},
      {FindingKind::WaitingKey, 17, "k"}}},
    {"a=1\n\"", {{FindingKind::OpenAtEnd, 4, "\""}}},
    {"a=1\n{\n\n", {{FindingKind::OpenAtEnd, 4, "{"}}},
    {"x={=}\n1\n", {{FindingKind::NoKey, 6, "1"}}},
    // An element right after a quoted one, with no comma; under the empty key in an object.
    {"a={\"x y\" z}\nb={\"a\"\"b\"}\nc={\"a\"\nb,\"c\" ,d}\ne=\"x\"y\n",
     {{FindingKind::TextAfterQuote, 9, "z"},
      {FindingKind::TextAfterQuote, 19, "b"},
      {FindingKind::NoKey, 45, "y"}}},
    // The numerals the conversion copies keep their value: six decimals at most, nine digits
    // in front of the point at most; one more, and the value is looked at.
    {"a=0.1234567\nb=0.123456\n", {{FindingKind::Rounded, 2, "0.1234567"}}},
    {"a=9999999999.999999\nb=999999999.999999\n", {{FindingKind::Rounded, 2, "9999999999.999999"}}},
};

/// Texts and the words of their findings, in the order the reader reports them.
inline const struct {
    std::string input;
    std::vector<std::string> words;
} kWordRows[] = {
    {"a=2.10\n",
     {"the zeros at the end of the decimals of \"2.10\" are dropped, quoted or not: it becomes "
      "2.1 and cannot stay text"}},
    {"a=\"7E9\"\n",
     {"\"7E9\" is written without its exponent, quoted or not: it becomes 7000000000.0 and "
      "cannot stay text"}},
    {"a=-0.0\n",
     {"the minus sign of \"-0.0\" is dropped, quoted or not: it becomes 0.0 and cannot stay "
      "text"}},
    {"a=\"x\ty\"\n",
     {"the tabs in \"x\\x09y\" are dropped inside double quotes; only an unquoted value keeps "
      "a "
      "tab between other characters"}},
    {"id=-9007199254740993\n",
     {"\"-9007199254740993\" is beyond 2^53, quoted or not: the JSON keeps it exactly, but "
      "JavaScript and other readers that hold numbers as doubles read -9007199254740992"}},
    {"e={}\n",
     {"the braces \"{}\" make an empty array, not an object; write {=} for an empty object"}},
    {"=\n",
     {"this equals sign has no key, and no value comes for it, so it adds nothing; remove it, "
      "or write a key before it and a value after it"}},
    {"x={1,,2}\n",
     {"the empty element before this comma is dropped; write \"\" for empty text, or remove "
      "the comma"}},
    {"w={a=}\n1\n",
     {"the key \"a\" has no value when its object closes, so it waits for the next value added "
      "to an object; give it one, such as \"\" for empty text"}},
    {"a=1\n{",
     {"the left brace at the end of the text opens nothing, and is dropped; remove it, or "
      "close it"}},
    {"a=901400563586616.1\nb=1.1234567\n",
     {"\"901400563586616.1\" is not exactly a double, quoted or not: it becomes "
      "901400563586616.125 and cannot stay text",
      "\"1.1234567\" loses digits (floats keep six decimals at most), quoted or not: it "
      "becomes 1.123457 and cannot stay text"}},
    {"a={1,=2}\n",
     {"an array takes no keys: the empty key of this equals sign waits for the next value "
      "added to an object; an = before any comma makes the brace an object",
      "this equals sign has no key, and no value comes for it, so it adds nothing; remove it, "
      "or write a key before it and a value after it"}},
    {"t={\"dark blue\" red}\n",
     {"\"red\" follows the closing double quote of the element before it with no comma, so "
      "it becomes an element of its own; put a comma between them, or quote them as one value "
      "(there are no escapes)"}},
    {"a=1\n\"",
     {"the double quote at the end of the text opens nothing, and is dropped; remove it, or "
      "close it"}},
    {"a=1e999\nb=\"-1e999\"\n",
     {"\"1e999\" is an infinity, quoted or not: the JSON writes 1e999, which JSON readers "
      "read as infinity or refuse",
      "\"-1e999\" is an infinity, quoted or not: the JSON writes -1e999, which JSON readers "
      "read as infinity or refuse"}},
    {"a=\"one\r\ntwo\"\r\n",
     {"the carriage return in \"one\\x0d\\x0atwo\" is kept inside double quotes, so the JSON "
      "of this file differs between a copy with CRLF line ends and one with LF; save the file "
      "with LF line ends"}},
};
