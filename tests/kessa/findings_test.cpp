#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kessa/findings.h"
#include "kessa/reader.h"

namespace {

using kessa::FindingKind;

struct Seen {
    FindingKind kind;
    std::uint64_t offset;
    std::string bytes;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen) {
    return out << static_cast<int>(seen.kind) << "@" << seen.offset << ":" << seen.bytes;
}

/// The findings of `text` as reported; each one's bytes must be the text's own at its offset.
std::vector<Seen> findingsOf(std::string_view text) {
    struct Log final : kessa::FindingHandler {
        std::string_view text;
        std::vector<Seen> seen;
        void found(const kessa::Finding& finding) override {
            EXPECT_EQ(finding.bytes.data(), text.data() + finding.offset) << text;
            seen.push_back({finding.kind, finding.offset, std::string(finding.bytes)});
        }
    } log;
    log.text = text;
    kessa::checkKessaFindings(text, log);
    return log.seen;
}

/// `count` members k0=0, k1=1 and so on, each on a line.
std::string members(int count, char name = 'k') {
    std::string text;
    for (int i = 0; i < count; ++i) {
        // Appended piece by piece: g++ 12 warns wrongly about "k" + string.
        text.append(1, name).append(std::to_string(i)).append(1, '=').append(std::to_string(i));
        text += '\n';
    }
    return text;
}

}  // namespace

// What the reader reports to an embedder: the kind, and the bytes concerned where they stand.
TEST(Findings, KindsOffsetsAndBytes) {
    const struct {
        std::string input;
        std::vector<Seen> findings;
    } rows[] = {
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
    };
    for (const auto& row : rows) EXPECT_EQ(findingsOf(row.input), row.findings) << row.input;
}

// A malformed text raises the conversion's error once the findings before the fault are out.
TEST(Findings, MalformedTextRaises) {
    struct Count final : kessa::FindingHandler {
        int count = 0;
        void found(const kessa::Finding&) override { ++count; }
    } count;
    EXPECT_THROW(kessa::checkKessaFindings("a=007\nb={\n", count), kessa::SyntaxError);
    EXPECT_EQ(count.count, 1);
}
