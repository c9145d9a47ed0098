#include "schema/regex.h"

#if KESSA2JSON_RE2
#include <re2/re2.h>
#else
#include <nlohmann/json.hpp>
#include <regex>
#endif

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

namespace schema {

namespace {

/// ECMAScript's white space and line terminators, as the inside of a character class.
constexpr std::string_view kSpaceClass =
    "\\t\\n\\x{0B}\\f\\r \\x{A0}\\x{1680}\\x{2000}-\\x{200A}\\x{2028}\\x{2029}\\x{202F}"
    "\\x{205F}\\x{3000}\\x{FEFF}";

/// How deep groups may nest: a bound well past what patterns need.
constexpr int kMaxNesting = 1000;

/// Unicode's long names of general categories, and the short names engines take.
constexpr std::pair<std::string_view, std::string_view> kCategories[] = {
    {"Letter", "L"},
    {"Cased_Letter", "L"},
    {"Uppercase_Letter", "Lu"},
    {"Lowercase_Letter", "Ll"},
    {"Titlecase_Letter", "Lt"},
    {"Modifier_Letter", "Lm"},
    {"Other_Letter", "Lo"},
    {"Mark", "M"},
    {"Combining_Mark", "M"},
    {"Nonspacing_Mark", "Mn"},
    {"Spacing_Mark", "Mc"},
    {"Enclosing_Mark", "Me"},
    {"Number", "N"},
    {"Decimal_Number", "Nd"},
    {"digit", "Nd"},
    {"Letter_Number", "Nl"},
    {"Other_Number", "No"},
    {"Punctuation", "P"},
    {"punct", "P"},
    {"Connector_Punctuation", "Pc"},
    {"Dash_Punctuation", "Pd"},
    {"Open_Punctuation", "Ps"},
    {"Close_Punctuation", "Pe"},
    {"Initial_Punctuation", "Pi"},
    {"Final_Punctuation", "Pf"},
    {"Other_Punctuation", "Po"},
    {"Symbol", "S"},
    {"Math_Symbol", "Sm"},
    {"Currency_Symbol", "Sc"},
    {"Modifier_Symbol", "Sk"},
    {"Other_Symbol", "So"},
    {"Separator", "Z"},
    {"Space_Separator", "Zs"},
    {"Line_Separator", "Zl"},
    {"Paragraph_Separator", "Zp"},
    {"Other", "C"},
    {"Control", "Cc"},
    {"cntrl", "Cc"},
    {"Format", "Cf"},
    {"Private_Use", "Co"},
    {"Surrogate", "Cs"},
    {"Unassigned", "Cn"},
};

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isSyntaxCharacter(char c) {
    return std::string_view("^$\\.*+?()[]{}|/").find(c) != std::string_view::npos;
}

std::string codePoint(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "\\x{%X}", static_cast<unsigned>(value));
    return buffer;
}

class Translator {
public:
    Translator(std::string_view in, RegexEngine engine, bool strict)
        : in_(in), engine_(engine), strict_(strict) {}

    TranslatedPattern run() {
        int depth = 0;
        bool canQuantify = false;  // whether the last item can take a quantifier
        while (i_ < in_.size() && out_.fault.empty()) {
            const char c = in_[i_];
            if (c == '\\') {
                canQuantify = escape(false);
                continue;
            }
            ++i_;
            switch (c) {
                case '.':
                    text_ += "[^\\n\\r\\x{2028}\\x{2029}]";
                    canQuantify = true;
                    break;
                case '[':
                    characterClass();
                    canQuantify = true;
                    break;
                case '(':
                    if (++depth > kMaxNesting) return invalid("groups nest too deep");
                    group();
                    canQuantify = false;
                    break;
                case ')':
                    if (depth-- == 0) return invalid("a ')' closes no group");
                    text_ += ')';
                    canQuantify = true;
                    break;
                case '*':
                case '+':
                case '?':
                    if (!canQuantify) return invalid("a quantifier follows nothing it can repeat");
                    text_ += c;
                    if (i_ < in_.size() && in_[i_] == '?') text_ += in_[i_++];
                    canQuantify = false;
                    break;
                case '{':
                    if (!braces(canQuantify)) return out_;
                    canQuantify = false;
                    break;
                case '}':
                case ']':
                    if (strict_) return invalid(std::string("a lone '") + c + "'");
                    text_ += '\\';
                    text_ += c;
                    canQuantify = true;
                    break;
                case '^':
                case '$':
                    text_ += c;
                    canQuantify = false;
                    break;
                case '|':
                    text_ += c;
                    canQuantify = false;
                    break;
                default:
                    text_ += c;
                    canQuantify = true;
                    break;
            }
        }
        if (out_.fault.empty() && depth != 0) return invalid("a '(' is never closed");
        if (out_.fault.empty()) out_.pattern = std::move(text_);
        return out_;
    }

private:
    TranslatedPattern invalid(std::string why) {
        out_.fault = std::move(why);
        out_.invalid = true;
        return out_;
    }

    void unsupported(std::string what) {
        if (out_.fault.empty()) out_.fault = std::move(what);
    }

    /// `{n}`, `{n,}` or `{n,m}` after something to repeat; a brace otherwise.
    bool braces(bool canQuantify) {
        std::size_t j = i_;
        std::string low, high;
        bool comma = false;
        while (j < in_.size() && isDigit(in_[j])) low += in_[j++];
        if (j < in_.size() && in_[j] == ',') {
            comma = true;
            ++j;
            while (j < in_.size() && isDigit(in_[j])) high += in_[j++];
        }
        const bool quantifier = !low.empty() && j < in_.size() && in_[j] == '}';
        if (!quantifier) {
            if (strict_) {
                invalid("a '{' that begins no quantifier");
                return false;
            }
            text_ += "\\{";
            return true;
        }
        if (!canQuantify) {
            invalid("a quantifier follows nothing it can repeat");
            return false;
        }
        if (!high.empty() &&
            (high.size() < low.size() || (high.size() == low.size() && high < low))) {
            invalid("a quantifier's range is out of order");
            return false;
        }
        text_ += '{';
        text_ += low;
        if (comma) text_ += ',';
        text_ += high;
        text_ += '}';
        i_ = j + 1;
        if (i_ < in_.size() && in_[i_] == '?') text_ += in_[i_++];
        return true;
    }

    void group() {
        if (i_ >= in_.size() || in_[i_] != '?') {
            text_ += '(';
            return;
        }
        const std::string_view rest = in_.substr(i_);
        if (rest.substr(0, 2) == "?:") {
            text_ += "(?:";
            i_ += 2;
        } else if (rest.substr(0, 2) == "?=" || rest.substr(0, 2) == "?!" ||
                   rest.substr(0, 3) == "?<=" || rest.substr(0, 3) == "?<!") {
            if (engine_ == RegexEngine::Re2) unsupported("lookaround, which RE2 does not run");
            const std::size_t length = rest[1] == '<' ? 3 : 2;
            text_ += '(';
            text_ += rest.substr(0, length);
            i_ += length;
        } else if (rest.substr(0, 2) == "?<") {
            const std::size_t close = rest.find('>');
            if (close == std::string_view::npos || close == 2) {
                invalid("a group name is never closed");
                return;
            }
            const std::string_view name = rest.substr(2, close - 2);
            for (const char c : name) {
                if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$')) {
                    invalid("a group name holds a character no name may");
                    return;
                }
            }
            text_ += "(?P<";
            text_ += name;
            text_ += '>';
            i_ += close + 1;
        } else {
            invalid("'(?' begins no kind of group ECMAScript has");
        }
    }

    /// \p{Name} or \P{Name} at i_ (past the backslash and the p); returns the engine's text.
    std::optional<std::string> property(bool negated) {
        if (i_ >= in_.size() || in_[i_] != '{') {
            invalid("\\p needs a property name in braces");
            return std::nullopt;
        }
        const std::size_t close = in_.find('}', i_);
        if (close == std::string_view::npos) {
            invalid("a property name is never closed");
            return std::nullopt;
        }
        std::string_view name = in_.substr(i_ + 1, close - i_ - 1);
        i_ = close + 1;
        for (const std::string_view prefix :
             {"General_Category=", "gc=", "Script=", "sc=", "Script_Extensions=", "scx="}) {
            if (name.substr(0, prefix.size()) == prefix) {
                name.remove_prefix(prefix.size());
                break;
            }
        }
        std::string shortName(name);
        for (const auto& [longName, abbreviation] : kCategories) {
            if (name == longName) shortName = abbreviation;
        }
        if (shortName.empty()) {
            invalid("an empty property name");
            return std::nullopt;
        }
        return std::string(negated ? "\\P{" : "\\p{") + shortName + "}";
    }

    /// \uXXXX (a surrogate pair as one code point), \u{X...}; i_ at the u.
    std::optional<std::uint32_t> unicodeEscape() {
        ++i_;
        if (i_ < in_.size() && in_[i_] == '{') {
            const std::size_t close = in_.find('}', i_);
            if (close == std::string_view::npos || close == i_ + 1 || close - i_ > 9) {
                invalid("a \\u{...} escape is malformed");
                return std::nullopt;
            }
            std::uint32_t value = 0;
            for (std::size_t j = i_ + 1; j < close; ++j) {
                if (!isHex(in_[j])) {
                    invalid("a \\u{...} escape is malformed");
                    return std::nullopt;
                }
                value = value * 16 +
                        static_cast<std::uint32_t>(std::stoi(std::string(1, in_[j]), nullptr, 16));
            }
            if (value > 0x10FFFF) {
                invalid("a \\u{...} escape is beyond Unicode");
                return std::nullopt;
            }
            i_ = close + 1;
            return value;
        }
        const auto four = [&](std::size_t at) -> std::optional<std::uint32_t> {
            if (at + 4 > in_.size()) return std::nullopt;
            for (std::size_t j = at; j < at + 4; ++j) {
                if (!isHex(in_[j])) return std::nullopt;
            }
            return static_cast<std::uint32_t>(
                std::stoul(std::string(in_.substr(at, 4)), nullptr, 16));
        };
        const auto value = four(i_);
        if (!value) {
            invalid("a \\u escape needs four hexadecimal digits");
            return std::nullopt;
        }
        i_ += 4;
        if (*value >= 0xD800 && *value < 0xDC00 && in_.substr(i_, 2) == "\\u") {
            const auto low = four(i_ + 2);
            if (low && *low >= 0xDC00 && *low < 0xE000) {
                i_ += 6;
                return 0x10000 + ((*value - 0xD800) << 10) + (*low - 0xDC00);
            }
        }
        return value;
    }

    /// An escape at i_, outside a class or in one; returns whether it can take a quantifier.
    bool escape(bool inClass) {
        ++i_;  // the backslash
        if (i_ >= in_.size()) {
            invalid("a backslash ends the pattern");
            return false;
        }
        const char c = in_[i_];
        switch (c) {
            case 'd':
            case 'D':
            case 'w':
            case 'W':
                ++i_;
                text_ += '\\';
                text_ += c;
                return true;
            case 's':
                ++i_;
                text_ += inClass ? std::string(kSpaceClass) : "[" + std::string(kSpaceClass) + "]";
                return true;
            case 'S':
                ++i_;
                if (inClass) {
                    text_ += "\\S";  // an engine's own, ASCII, where a class holds it
                } else {
                    text_ += "[^" + std::string(kSpaceClass) + "]";
                }
                return true;
            case 'b':
            case 'B':
                ++i_;
                if (inClass) {
                    if (c == 'B') {
                        invalid("\\B in a class");
                        return false;
                    }
                    text_ += "\\x{08}";
                    return true;
                }
                text_ += '\\';
                text_ += c;
                return false;
            case 't':
            case 'n':
            case 'r':
            case 'f':
            case 'v':
                ++i_;
                text_ += '\\';
                text_ += c;
                return true;
            case 'c':
                if (i_ + 1 < in_.size() && std::isalpha(static_cast<unsigned char>(in_[i_ + 1]))) {
                    text_ += codePoint(static_cast<unsigned char>(in_[i_ + 1]) % 32);
                    i_ += 2;
                    return true;
                }
                invalid("\\c needs a letter");
                return false;
            case 'x':
                if (i_ + 2 < in_.size() && isHex(in_[i_ + 1]) && isHex(in_[i_ + 2])) {
                    text_ += "\\x{" + std::string(in_.substr(i_ + 1, 2)) + "}";
                    i_ += 3;
                    return true;
                }
                invalid("\\x needs two hexadecimal digits");
                return false;
            case 'u': {
                const auto value = unicodeEscape();
                if (!value) return false;
                if (*value >= 0xD800 && *value < 0xE000) {
                    unsupported("a lone surrogate, which UTF-8 text never holds");
                    return false;
                }
                text_ += codePoint(*value);
                return true;
            }
            case 'p':
            case 'P': {
                ++i_;
                const auto text = property(c == 'P');
                if (!text) return false;
                text_ += *text;
                return true;
            }
            case '0':
                if (i_ + 1 < in_.size() && isDigit(in_[i_ + 1])) {
                    invalid("\\0 followed by a digit");
                    return false;
                }
                ++i_;
                text_ += "\\x{0}";
                return true;
            case 'k':
                if (inClass) {
                    invalid("\\k in a class");
                    return false;
                }
                if (i_ + 1 >= in_.size() || in_[i_ + 1] != '<' ||
                    in_.find('>', i_) == std::string_view::npos) {
                    invalid("\\k needs a group name");
                    return false;
                }
                if (engine_ == RegexEngine::Re2) {
                    unsupported("a backreference, which RE2 does not run");
                    return false;
                }
                text_ += in_.substr(i_ - 1, in_.find('>', i_) - i_ + 2);
                i_ = in_.find('>', i_) + 1;
                return true;
            default:
                break;
        }
        if (isDigit(c)) {
            if (inClass) {
                invalid("a backreference in a class");
                return false;
            }
            std::size_t j = i_;
            while (j < in_.size() && isDigit(in_[j])) ++j;
            if (engine_ == RegexEngine::Re2) {
                unsupported("a backreference, which RE2 does not run");
                return false;
            }
            text_ += '\\';
            text_ += in_.substr(i_, j - i_);
            i_ = j;
            return true;
        }
        ++i_;
        if (isSyntaxCharacter(c) || (inClass && c == '-')) {
            if (c != '/') text_ += '\\';
            text_ += c;
            return true;
        }
        if (strict_ || std::isalnum(static_cast<unsigned char>(c))) {
            invalid(std::string("\\") + c + " is no escape ECMAScript has");
            return false;
        }
        // Another character escaped: itself, as the engines read it; its UTF-8 bytes unchanged.
        if (static_cast<unsigned char>(c) < 0x80) text_ += '\\';
        text_ += c;
        return true;
    }

    void characterClass() {
        if (in_.substr(i_, 2) == "^]") {  // ECMAScript's [^]: any character
            text_ += "[\\x{0}-\\x{10FFFF}]";
            i_ += 2;
            return;
        }
        if (in_.substr(i_, 1) == "]") {  // []: none
            text_ += "[^\\x{0}-\\x{10FFFF}]";
            ++i_;
            return;
        }
        text_ += '[';
        if (i_ < in_.size() && in_[i_] == '^') {
            text_ += '^';
            ++i_;
        }
        while (i_ < in_.size()) {
            const char c = in_[i_];
            if (c == ']') {
                ++i_;
                text_ += ']';
                return;
            }
            if (c == '\\') {
                escape(true);
                if (!out_.fault.empty()) return;
                continue;
            }
            if (c == '[') {
                text_ += "\\[";  // a POSIX class to RE2; a plain bracket to ECMAScript
            } else {
                text_ += c;
            }
            ++i_;
        }
        invalid("a '[' is never closed");
    }

    std::string_view in_;
    RegexEngine engine_;
    bool strict_;
    std::size_t i_ = 0;
    std::string text_;
    TranslatedPattern out_;
};

}  // namespace

TranslatedPattern translatePattern(std::string_view pattern, RegexEngine engine, bool strict) {
    return Translator(pattern, engine, strict).run();
}

bool isEcmaScriptRegex(std::string_view text) {
    const TranslatedPattern translated = translatePattern(text, RegexEngine::Pcre2, true);
    return !translated.invalid;
}

#if KESSA2JSON_RE2

bool regexOnRe2() {
    return true;
}

struct Regex::Impl {
    explicit Impl(const std::string& pattern, const RE2::Options& options) : re(pattern, options) {}
    RE2 re;
};

Regex::Regex() = default;
Regex::~Regex() = default;

std::unique_ptr<Regex> Regex::compile(std::string_view pattern, std::string& fault) {
    const TranslatedPattern translated = translatePattern(pattern, RegexEngine::Re2, false);
    if (translated.pattern.empty() && !translated.fault.empty()) {
        fault = translated.invalid ? "is not a regular expression: " + translated.fault
                                   : "cannot be run here: it holds " + translated.fault;
        return nullptr;
    }
    RE2::Options options;
    options.set_log_errors(false);
    options.set_encoding(RE2::Options::EncodingUTF8);
    // Room for large patterns; RE2 falls back to a slower, still linear, matcher past it.
    options.set_max_mem(std::int64_t{64} << 20);
    std::unique_ptr<Regex> regex(new Regex());
    regex->impl_ = std::make_unique<Impl>(translated.pattern, options);
    if (!regex->impl_->re.ok()) {
        fault = "cannot be run here: " + regex->impl_->re.error();
        return nullptr;
    }
    return regex;
}

bool Regex::search(std::string_view text) const {
    return RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), impl_->re);
}

#else

// Without RE2 (a cross build for a system Debian has no RE2 for, the WebAssembly module): the
// standard library's ECMAScript engine. libstdc++'s is matched by its automaton rather than by
// backtracking, which recurses per character. libc++'s backtracks with a stack of its own, and
// gives up an attempt past 4096 steps a byte of the string, counted in an int: past 2^19 bytes
// that bound no longer holds, so longer strings are refused. It reads bytes, not characters:
// \p{...} is refused, as RE2 refuses what it cannot run.
bool regexOnRe2() {
    return false;
}

struct Regex::Impl {
    std::regex re;
    std::string pattern;

    /// What a search that cannot be run on `text` raises: why, in a few words.
    [[noreturn]] void refuse(std::string_view text, const char* why) const {
        std::string words = "the pattern ";
        words
            .append(nlohmann::json(pattern).dump(-1, ' ', false,
                                                 nlohmann::json::error_handler_t::replace))
            .append(" cannot be run here on a string of ")
            .append(std::to_string(text.size()))
            .append(" bytes: ")
            .append(why);
        throw RegexError(words);
    }
};

Regex::Regex() = default;
Regex::~Regex() = default;

std::unique_ptr<Regex> Regex::compile(std::string_view pattern, std::string& fault) {
    const TranslatedPattern translated = translatePattern(pattern, RegexEngine::Re2, false);
    if (translated.pattern.empty() && !translated.fault.empty()) {
        fault = translated.invalid ? "is not a regular expression: " + translated.fault
                                   : "cannot be run here: it holds " + translated.fault;
        return nullptr;
    }
    if (pattern.size() > 2000 || pattern.find("\\p") != std::string_view::npos ||
        pattern.find("\\P") != std::string_view::npos) {
        fault =
            "cannot be run here: this build's engine takes no Unicode properties or patterns "
            "this long";
        return nullptr;
    }
    std::unique_ptr<Regex> regex(new Regex());
    regex->impl_ = std::make_unique<Impl>();
    regex->impl_->pattern = pattern;
    try {
#ifdef __GLIBCXX__
        constexpr auto flags = std::regex::ECMAScript | std::regex_constants::__polynomial;
#else
        constexpr auto flags = std::regex::ECMAScript;
#endif
        regex->impl_->re = std::regex(std::string(pattern), flags);
    } catch (const std::regex_error& error) {
        fault = std::string("cannot be run here: ") + error.what();
        return nullptr;
    }
    return regex;
}

bool Regex::search(std::string_view text) const {
#ifdef _LIBCPP_VERSION
    constexpr std::size_t kMostBytes = (std::size_t{1} << 19) - 1;
    if (text.size() > kMostBytes) {
        impl_->refuse(text, "this build's engine takes strings of at most 524287 bytes");
    }
#endif
    try {
        return std::regex_search(text.begin(), text.end(), impl_->re);
    } catch (const std::regex_error& error) {
        if (error.code() != std::regex_constants::error_complexity) throw;
        impl_->refuse(text, "this build's engine gives up where it would backtrack too long");
    }
}

#endif

}  // namespace schema
