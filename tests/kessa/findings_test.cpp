#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "findings_cases.h"
#include "kessa/findings.h"
#include "kessa/reader.h"

namespace {

using kessa::FindingKind;

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

}  // namespace

// What the reader reports to an embedder: the kind, and the bytes concerned where they stand.
TEST(Findings, KindsOffsetsAndBytes) {
    for (const auto& row : kFindingRows) {
        EXPECT_EQ(findingsOf(row.input), row.findings) << row.input;
    }
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

// How describe words the kinds whose words are made of the bytes in more than one way.
TEST(Findings, Words) {
    for (const auto& row : kWordRows) {
        struct Words final : kessa::FindingHandler {
            std::vector<std::string> words;
            void found(const kessa::Finding& finding) override {
                words.push_back(kessa::describe(finding));
            }
        } words;
        kessa::checkKessaFindings(row.input, words);
        EXPECT_EQ(words.words, row.words) << row.input;
    }
}

// Codes are names for logs and options: distinct, lower case words joined by hyphens, and each
// one leads back to its kind; severities likewise.
TEST(Findings, CodesAndSeverities) {
    std::set<std::string_view> codes;
    for (std::size_t i = 0; i != kessa::kFindingKindCount; ++i) {
        const auto kind = static_cast<FindingKind>(i);
        const std::string_view code = kessa::code(kind);
        EXPECT_TRUE(codes.insert(code).second) << code;
        EXPECT_EQ(code.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-"), code.npos)
            << code;
        EXPECT_EQ(kessa::kindOfCode(code), kind) << code;
        EXPECT_FALSE(kessa::summary(kind).empty()) << code;
        EXPECT_EQ(kessa::severityOfName(kessa::name(kessa::severity(kind))), kessa::severity(kind));
    }
    EXPECT_EQ(kessa::kindOfCode("Trailing-Zeros"), std::nullopt);
    EXPECT_EQ(kessa::severityOfName("fatal"), std::nullopt);
    EXPECT_LT(kessa::Severity::Note, kessa::Severity::Warning);
    EXPECT_LT(kessa::Severity::Warning, kessa::Severity::Error);
}
