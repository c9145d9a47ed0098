// Patterns as ECMAScript reads them, run by RE2: what matches, and what is refused with why.

#include <gtest/gtest.h>

#include <string>

#include "schema/regex.h"

namespace {

TEST(Regex, EcmaScriptReadingsOnRe2) {
    if (!schema::regexOnRe2()) GTEST_SKIP() << "this build runs patterns without RE2";

    const struct {
        const char* pattern;
        const char* text;
        bool matches;
    } rows[] = {
        {"^\\p{Letter}+$", "\xC3\xA9lan", true},  // "élan"
        {"^\\p{L}+$", "a1", false},
        {"^\\d$", "\xDF\x80", false},  // NKO DIGIT ZERO is no \d
        {"^\\w$", "\xC3\xA9", false},
        {"^.$", "\xC3\xA9", true},  // one character, two bytes
        {"^.$", "\n", false},
        {"^\\s$", "\xC2\xA0", true},  // NO-BREAK SPACE
        {"^\\S$", "\xC2\xA0", false},
        {"^abc$", "abc\n", false},  // $ ends the text only
        {"^\\cC$", "\x03", true},
        {"^[^]$", "\n", true},
        {"^\\u00e9$", "\xC3\xA9", true},
        {"^\\ud83d\\udc32$", "\xF0\x9F\x90\xB2", true},  // a surrogate pair is one character
        {"^(?<word>a+)$", "aa", true},
        {"^[[:alpha:]]$", "a]", true},  // a class of "[", ":" and letters, then "]"
        {"a{2}", "aa", true},
        {"^\\-$", "-", true},
    };
    for (const auto& row : rows) {
        std::string fault;
        const auto regex = schema::Regex::compile(row.pattern, fault);
        ASSERT_TRUE(regex) << row.pattern << ": " << fault;
        EXPECT_EQ(regex->search(row.text), row.matches) << row.pattern << " on " << row.text;
    }
}

TEST(Regex, RefusedWithTheReason) {
    if (!schema::regexOnRe2()) GTEST_SKIP() << "this build runs patterns without RE2";

    const struct {
        const char* pattern;
        const char* fault;
    } rows[] = {
        {"(?=a)", "cannot be run here: it holds lookaround, which RE2 does not run"},
        {"(a)\\1", "cannot be run here: it holds a backreference, which RE2 does not run"},
        {"\\a", "is not a regular expression: \\a is no escape ECMAScript has"},
        {"(a", "is not a regular expression: a '(' is never closed"},
        {"a)", "is not a regular expression: a ')' closes no group"},
        {"[a", "is not a regular expression: a '[' is never closed"},
        {"a{2,1}", "is not a regular expression: a quantifier's range is out of order"},
        {"*a", "is not a regular expression: a quantifier follows nothing it can repeat"},
        {"(?i)a", "is not a regular expression: '(?' begins no kind of group ECMAScript has"},
        {"a{1001}", "cannot be run here: invalid repetition size: {1001}"},
    };
    for (const auto& row : rows) {
        std::string fault;
        EXPECT_FALSE(schema::Regex::compile(row.pattern, fault)) << row.pattern;
        EXPECT_EQ(fault, row.fault) << row.pattern;
    }
}

// A long string against a pattern that backtracking engines take exponential time on: RE2's
// matching is linear, and the call returns.
TEST(Regex, LongStringsDoNotStall) {
    if (!schema::regexOnRe2()) GTEST_SKIP() << "this build runs patterns without RE2";

    std::string fault;
    const auto regex = schema::Regex::compile("^(a|aa)*(a|aa)*b$", fault);
    ASSERT_TRUE(regex) << fault;
    EXPECT_FALSE(regex->search(std::string(1 << 20, 'a')));
    EXPECT_TRUE(schema::isEcmaScriptRegex("(?<=a)b\\k<x>(?<x>c)"));
    EXPECT_FALSE(schema::isEcmaScriptRegex("(?P<name>a)"));
}

}  // namespace
