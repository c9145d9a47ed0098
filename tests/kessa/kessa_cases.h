#pragma once

// Kessa texts and what they must give, shared by the tests of every reader of the notation: the
// tree builder, the checker and the streaming conversion, and those of the packages over them.

#include <cstdint>
#include <string_view>

#include "kessa/reader.h"

/// Accepted texts and the compact JSON of their trees.
inline constexpr struct {
    std::string_view input;
    std::string_view json;
} kAcceptedTexts[] = {
    // Lines, line ends and the end of the text
    {"", "{}"},
    {"a=1\n", R"({"a":1})"},
    {"a=1\r\n", R"({"a":1})"},
    {"a=1\n\r", R"({"a":1})"},
    {"a=1\na=2\n", R"({"a":1,"a":2})"},
    {"a=\nb=1\n", R"({"b":1})"},
    {"a=1,2\n", R"({"a":1,"":2})"},
    {"a=b=c\n", R"({"b":"c"})"},
    {"  a b \t=1\n", R"({"a b":1})"},
    {"a=x\ty\n", R"({"a":"x\ty"})"},
    {"a= \v1\f \n", "{\"a\":\"\v1\f\"}"},
    {"\xEF\xBB\xBF"
     "a=1\n",
     "{\"\xEF\xBB\xBF"
     "a\":1}"},
    {std::string_view("a=x\0y\n", 6), std::string_view("{\"a\":\"x\0y\"}", 11)},
    // Quotes
    {"a=\"x\"", R"({"a":"x"})"},
    {"a=\"x y\"\n", R"({"a":"x y"})"},
    {"a=\"1,2}\"\n", R"({"a":"1,2}"})"},
    {"a = \"x\"\n", R"({"a":"\"x\""})"},
    {"a=x\"y\"\n", R"({"a":"x\"y\""})"},
    {"a=\"12\"\n", R"({"a":12})"},
    {"a=\"\"\n", R"({"a":""})"},
    {"a=\" 12\"\n", R"({"a":12})"},
    {"\"k\"=1\n", R"({"":"k","":1})"},
    {"a=\"x\ty\"\n", R"({"a":"xy"})"},
    {"a=\"x\ny\r\"\n", R"({"a":"x\ny\r"})"},
    {"\"", "{}"},
    // Braces and how the first separator decides their kind
    {"{", "{}"},
    {"{\n\n", "{}"},
    {"a={1}", R"({"a":[1]})"},
    {"a={}\n", R"({"a":[]})"},
    {"a={ \t}\n", R"({"a":[]})"},
    {"a={,}\n", R"({"a":[""]})"},
    {"a={ ,1}\n", R"({"a":["",1]})"},
    {"a={1,2}\n", R"({"a":[1,2]})"},
    {"a={1,\n2\n3}\n", R"({"a":[1,2,3]})"},
    {"a={\n1\n2\n}\n", R"({"a":[12]})"},
    {"a={x=1,y=2}\n", R"({"a":{"x":1,"y":2}})"},
    {"a={\nx=1\ny=2\n}\n", R"({"a":{"x":1,"y":2}})"},
    {"a={{1},{x=2}}\n", R"({"a":[[1],{"x":2}]})"},
    {"a={{{}}}\n", R"({"a":[[[]]]})"},
    {"a={\"q\",1}\n", R"({"a":["q",1]})"},
    {"{x=1}\n", R"({"":{"x":1}})"},
    {"a=x{1}\n", R"({"a":[1]})"},
    {"a={x=1 2}\n", R"({"a":{"x":"1 2"}})"},
    {"a={1,x=2}\nb=3\n", R"({"a":[1,2],"b":3})"},
    {"a={x=1,2}\n", R"({"a":{"x":1,"":2}})"},
    // A key read inside an array waits for the next value added to an object.
    {"a={1,x=2}\n3\n", R"({"a":[1,2],"x":3})"},
    // Integers of 19 digits within the 64-bit range stay exact, past the quick route's 18.
    {"a=1000000000000000000\n", R"({"a":1000000000000000000})"},
    {"a=-999999999999999999\n", R"({"a":-999999999999999999})"},
};

/// Texts every reader rejects.
inline constexpr std::string_view kRejectedTexts[] = {
    "a=1",      "a=1\n ",  "a=1\n\t", "b=1\na=\n", "a=\"x",    "a={1,x=2}\n",
    "a={x=1\n", "a={{}\n", "}\n",     "a=1}\n",    "a={1}}\n", "a=\n",
    "}\nb=1\n",  // a right brace at the root, with text after it
    "a=1\n}\n",
};

/// Malformed texts: which fault each has, where it lies, and its words. The innermost unclosed
/// brace, the quote that swallowed the rest, the start of the unfinished value or key.
inline constexpr struct {
    std::string_view input;
    kessa::Fault fault;
    std::uint64_t offset;
    std::uint64_t length;  // of the bytes concerned: the brace or quote, the rest, the key
    std::string_view words;
} kFaultRows[] = {
    {"}\nb=1\n", kessa::Fault::StrayRightBrace, 0, 1, "a right brace with no left brace open"},
    {"a={1}}\nb=2\n", kessa::Fault::StrayRightBrace, 5, 1, "a right brace with no left brace open"},
    {"a={x={1}\n", kessa::Fault::UnclosedBrace, 2, 1, "this left brace is never closed"},
    {"a={x={\n", kessa::Fault::UnclosedBrace, 5, 1, "this left brace is never closed"},
    {"a={\n", kessa::Fault::UnclosedBrace, 2, 1, "this left brace is never closed"},
    {"a=1\nb=\"x}\n", kessa::Fault::UnclosedQuote, 6, 1,
     "the quoted value that starts here is never closed"},
    {"a={\"x\n", kessa::Fault::UnclosedQuote, 3, 1,
     "the quoted value that starts here is never closed"},
    {"a=1\nb=22", kessa::Fault::UnfinishedValue, 6, 2,
     "the last value needs a line break after it"},
    {"a=1\n  ", kessa::Fault::TrailingBlanks, 4, 2, "stray blanks after the last line break"},
    {"a=1\nport=\n", kessa::Fault::KeyWithoutValue, 4, 4, "the key \"port\" has no value"},
    {"a={1,x=2}\n", kessa::Fault::KeyWithoutValue, 5, 1, "the key \"x\" has no value"},
    {"a={k\nj=\n}\n", kessa::Fault::KeyWithoutValue, 3, 2, "the key \"kj\" has no value"},
    // Dropped carriage returns make the tree builder copy the bytes; the checker, which
    // never copies, must name the same place and key.
    {"a=1\n \rk\rey=\n", kessa::Fault::KeyWithoutValue, 6, 3, "the key \"key\" has no value"},
    {"a=1\n \r 2\r3", kessa::Fault::UnfinishedValue, 7, 3,
     "the last value needs a line break after it"},
};
