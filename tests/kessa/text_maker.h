#pragma once

// Generated kessa texts for the properties that hold over every text: the formatter's and JSON to
// kessa's round trip. Most are well-formed; some are not, which the properties also cover.

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>

/// Texts made of the pieces where the notation does what its writer may not expect: every
/// separator, blanks and line ends around them, quotes in every place, numerals the typing
/// changes, a byte-order mark, bytes that are not UTF-8.
class TextMaker {
public:
    explicit TextMaker(std::uint64_t seed) : random_(seed) {}

    std::string make() {
        std::string text;
        if (below(40) == 0) text += "\xEF\xBB\xBF";
        if (below(3) == 0) {
            for (std::size_t n = below(24); n != 0; --n) text += pick(kPieces);
        } else {
            members(text, 0);
        }
        if (below(10) == 0) text += pick({"\"", "{", " ", "\r", "x"});
        return text;
    }

private:
    static constexpr std::string_view kPieces[] = {
        "=",        "{",        "}",    ",",        "\"",   "\n",   "\r\n", " ",  "\t",
        "a",        "k",        "x y",  "1",        "007",  "1.10", "1e3",  "-0", "\"q\"",
        "\"a,b}\"", "\"t\tt\"", "\"\"", "\xC3\xA9", "\xE9", "\x01", "{=}",  "{}", "a\"b"};

    std::size_t below(std::size_t n) { return random_() % n; }
    template <std::size_t N>
    std::string_view pick(const std::string_view (&options)[N]) {
        return options[below(N)];
    }
    std::string_view pick(std::initializer_list<std::string_view> options) {
        return options.begin()[below(options.size())];
    }

    std::string_view blanks() { return pick({"", "", "", " ", "\t", "  ", "\r", "\n", "\n\n"}); }

    std::string_view scalar() {
        return pick({"1",
                     "007",
                     "1.10",
                     "2.5",
                     "-0",
                     "1e999",
                     "0x1F",
                     "red",
                     "dark blue",
                     "\"dark blue\"",
                     "\"a,b}\"",
                     "\"12\"",
                     "\"\"",
                     "\"x\ny\"",
                     "\"t\tt\"",
                     "\"c\r\"",
                     "a\"b",
                     "\"q\"x",
                     "caf\xC3\xA9",
                     "caf\xE9",
                     "a\x01",
                     "true",
                     "0",
                     "http://x.io/a?b",
                     "12345678901234567890",
                     "3.14159265",
                     "+7",
                     "1.",
                     "1e-9",
                     "9007199254740993",
                     "\" 12\""});
    }

    void value(std::string& text, int depth) {
        text += blanks();
        if (depth < 5 && below(4) == 0) {
            if (below(8) == 0) text += pick({"x", "Hello "});
            text += '{';
            text += blanks();
            if (below(2) == 0) {
                members(text, depth + 1);
            } else {
                for (std::size_t n = below(6); n != 0; --n) {
                    value(text, depth + 1);
                    text += pick({",", ",", "\n", ",\n", ", ", ",,", " "});
                    if (below(12) == 0) text += "k=";
                }
            }
            text += blanks();
            text += '}';
        } else {
            text += scalar();
        }
        text += blanks();
    }

    void members(std::string& text, int depth) {
        for (std::size_t n = below(depth == 0 ? 8 : 5); n != 0; --n) {
            text += blanks();
            if (below(12) != 0) {
                text += pick({"a", "b", "name", " spaced key ", "", "k\xC3\xA9", "a\"b", "x\ry"});
                text += '=';
            }
            if (below(15) == 0) text += pick({"=", "k=", "\n"});
            value(text, depth);
            text += pick({"\n", "\n", "\r\n", ",", "\n\n", "\n \n"});
        }
    }

    std::mt19937_64 random_;
};
