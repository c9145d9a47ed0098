#pragma once

// Value tokens of every class the typing knows, and the compact JSON of what each becomes; shared
// by the typing tests and by those of the floating-point conversions under it.

#include <string>

inline const struct {
    std::string token;
    std::string json;
} kTypingRows[] = {
    // Integers: a sign, leading zeros and leading white space are allowed; the range saturates.
    {"42", "42"},
    {"-7", "-7"},
    {"+7", "7"},
    {"007", "7"},
    {"-0", "0"},
    {" 12", "12"},
    {"\v\f\r\n\t 12", "12"},
    {"9223372036854775807", "9223372036854775807"},
    {"9223372036854775808", "9223372036854775807"},
    {"-9223372036854775808", "-9223372036854775808"},
    {"-9223372036854775809", "-9223372036854775808"},
    {std::string(30, '9'), "9223372036854775807"},
    // Floats: only for a token that starts like an integer and reads whole as a number.
    {"1.5", "1.5"},
    {"1.", "1.0"},
    {"-0.0", "0.0"},
    {"1e5", "100000.0"},
    {"2E-3", "0.002"},
    {"1.5e+1", "15.0"},
    {"1e999", "1e999"},
    {"-1e999", "-1e999"},
    {"1e-999", "0.0"},
    {"1" + std::string(20, '0') + ".5", "1" + std::string(20, '0') + ".0"},
    {"0x10", "16.0"},
    {"0X1.8p1", "3.0"},
    {"0x.8", "0.5"},
    {"0x1P-2", "0.25"},
    {"0x1p99999", "1e999"},
    {"-0x1p-99999", "0.0"},
    {"0.0000001e-400", "0.0"},
    {"12" + std::string(400, '0') + "e-400", "12.0"},
    {"0xAf", "175.0"},
    {"0x9.Fp0", "9.9375"},
    // One step past the range, where the width of a digit decides: 4 bits for a hexadecimal one.
    {"1" + std::string(400, '0') + "e-91", "1e999"},
    {"0x1" + std::string(399, '0') + "p-572", "1e999"},
    {"0x0." + std::string(400, '0') + "1p500", "0.0"},
    // Strings: everything else, bytes unchanged.
    {"", R"("")"},
    {" ", R"(" ")"},
    {"12 ", R"("12 ")"},
    {"0x1p", R"("0x1p")"},
    {"0x", R"("0x")"},
    {"0xg", R"("0xg")"},
    {"0xp1", R"("0xp1")"},
    {"0x.p1", R"("0x.p1")"},
    // The bytes just outside the ranges of digits: "/" and ":" by 0-9, "@" "G" "`" "g" by A-F a-f.
    {"1/2", R"("1/2")"},
    {"12:30", R"("12:30")"},
    {"1.5:", R"("1.5:")"},
    {"1e:", R"("1e:")"},
    {"0x1@", R"("0x1@")"},
    {"0x1G", R"("0x1G")"},
    {"0x1`", R"("0x1`")"},
    {"0x1g", R"("0x1g")"},
    {"1e", R"("1e")"},
    {"1e+", R"("1e+")"},
    {"1p3", R"("1p3")"},
    {"1.5.2", R"("1.5.2")"},
    {"12abc", R"("12abc")"},
    {"1,5", R"("1,5")"},
    {".5", R"(".5")"},
    {"-.5", R"("-.5")"},
    {"+", R"("+")"},
    {"--1", R"("--1")"},
    {"1e5x", R"("1e5x")"},
    {"true", R"("true")"},
    {"null", R"("null")"},
    {"inf", R"("inf")"},
    {"1inf", R"("1inf")"},
    {std::string("5\0", 2), std::string("\"5\0\"", 4)},
    {std::string("\0"
                 "5",
                 2),
     std::string("\"\0"
                 "5\"",
                 4)},
};
