#pragma once

// The regular expressions of pattern and patternProperties, and the test of format "regex":
// ECMAScript's syntax read here (Unicode mode: \p{...}, "." one character, \d \w \b ASCII, \s
// Unicode's white space) and run by RE2, whose matching takes time linear in the string and
// never fails on a long one. What RE2 cannot run (lookaround, backreferences) is refused when the
// schema is compiled, not passed over.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace schema {

/// A pattern read as ECMAScript and rewritten for the engine.
struct TranslatedPattern {
    /// The engine's pattern; empty with `fault` set when there is none.
    std::string pattern;
    /// Why the pattern is not ECMAScript, or what in it the engine cannot run.
    std::string fault;
    /// Whether the fault is ECMAScript's (the pattern is no regular expression) rather than the
    /// engine's (lookaround, a backreference: valid, but not run here).
    bool invalid = false;
};

/// Which engine a translation is for: RE2 runs neither lookaround nor backreferences; PCRE2 runs
/// both (the benchmarks compare the two).
enum class RegexEngine { Re2, Pcre2 };

/// `pattern` rewritten for `engine`. `strict` refuses what ECMAScript refuses in Unicode mode
/// (an identity escape such as \- outside a class); otherwise those stand for themselves, as
/// most engines read them.
TranslatedPattern translatePattern(std::string_view pattern, RegexEngine engine, bool strict);

/// Whether patterns run on RE2 in this build; else on the standard library's engine (a cross
/// build for a system Debian has no RE2 for).
bool regexOnRe2();

/// Whether `text` is a regular expression in ECMAScript's syntax (format "regex").
bool isEcmaScriptRegex(std::string_view text);

/// A search the engine cannot run: a string longer than it takes, or one it would backtrack on
/// too long (the standard library's engine; RE2 runs any). what() names the pattern and why.
class RegexError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Regex {
public:
    /// The compiled pattern, or why it cannot be run here (in `fault`).
    static std::unique_ptr<Regex> compile(std::string_view pattern, std::string& fault);
    ~Regex();
    /// Whether the pattern matches somewhere in `text` (UTF-8). Raises RegexError where the
    /// engine cannot tell.
    bool search(std::string_view text) const;

private:
    Regex();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace schema
