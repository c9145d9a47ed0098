#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <utility>
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
        {"a=\"0\t1\"\n", {{FindingKind::LeadingZeros, 3, "0\t1"}}},
        {"a=\"1\t2\"\nb={\n0\n1\n}\n",
         {{FindingKind::JoinedLines, 12, "0\n1"}, {FindingKind::LeadingZeros, 12, "0\n1"}}},
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
        // The numerals the conversion copies keep their value: six decimals at most, nine digits
        // in front of the point at most; one more, and the value is looked at.
        {"a=0.1234567\nb=0.123456\n", {{FindingKind::Rounded, 2, "0.1234567"}}},
        {"a=9999999999.999999\nb=999999999.999999\n",
         {{FindingKind::Rounded, 2, "9999999999.999999"}}},
    };
    for (const auto& row : rows) EXPECT_EQ(findingsOf(row.input), row.findings) << row.input;
}

// Every key its object already has is reported, in objects of any size and depth, one after
// another at a depth included: against a model that keeps the keys of each open object.
TEST(Findings, RepeatedKeysInEveryObject) {
    std::mt19937 random(23);
    for (int round = 0; round < 200; ++round) {
        std::string text;
        std::vector<std::uint64_t> expected;
        std::vector<std::set<std::string>> open(1);
        // Each object draws its keys from a pool of its own: a letter and a size, from a few
        // names, repeated often, to more than the largest objects hold.
        std::vector<std::pair<char, unsigned>> pools{{'a', 1 + random() % 120}};
        for (int line = 0; line < 600 || open.size() > 1; ++line) {
            const unsigned choice = random() % 48;  // objects of 48 lines on average
            if (open.size() > 1 && (choice == 0 || line >= 600)) {
                text += "}\n";
                open.pop_back();
                pools.pop_back();
                continue;
            }
            std::string key(1, pools.back().first);
            key += std::to_string(random() % pools.back().second);
            if (!open.back().insert(key).second) expected.push_back(text.size());
            // Keys and values with a carriage return inside, which the JSON drops, are compared
            // as copies.
            text += key[0];
            if (random() % 4 == 0) text += '\r';
            text.append(key, 1).append(1, '=');
            if (choice == 1 && open.size() < 6) {
                text += "{\n";
                open.emplace_back();
                pools.emplace_back(static_cast<char>('a' + random() % 26), 1 + random() % 120);
                continue;
            }
            text += random() % 4 == 0 ? "v\rw\n" : "1\n";
        }
        std::vector<std::uint64_t> seen;
        for (const Seen& finding : findingsOf(text)) {
            if (finding.kind == FindingKind::RepeatedKey) seen.push_back(finding.offset);
        }
        ASSERT_EQ(seen, expected) << text;
    }
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
