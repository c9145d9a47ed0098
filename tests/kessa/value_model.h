#pragma once

// A plain model of the rule the findings keep for values: a value is named if and only if the
// JSON does not say what the text says. It reads the text and the JSON with rules of its own and
// never calls the typing code, so the tests and the fuzzers can hold the findings to it.
//
// What the text says is the value's bytes as written: inside quotes all of them; unquoted, without
// the blanks around them and the carriage returns, which the notation always drops. What the JSON
// says is a number's spelling, or a string's bytes, which strict readers must also accept. Notes
// are due where the JSON says what the text says, but readers or checkouts may make it differ.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/finding_kinds.h"

namespace value_model {

__extension__ using Uint128 = unsigned __int128;

/// The bytes the text `k=VALUE` holds for its value, quoted or not.
inline std::string textSays(std::string_view value, bool quoted) {
    if (quoted) return std::string(value);
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::string kept;
    for (const char c : value) {
        if (c != '\r') kept += c;
    }
    std::size_t begin = 0, end = kept.size();
    while (begin != end && blank(kept[begin])) ++begin;
    while (end != begin && blank(kept[end - 1])) --end;
    return kept.substr(begin, end - begin);
}

/// Whether `bytes` is well-formed UTF-8: no stray or missing continuation bytes, no overlong
/// forms, no surrogates, nothing above U+10FFFF.
inline bool isUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length;
        std::uint32_t code;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (bytes.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3Fu);
        }
        const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

/// What one JSON value says: a number's spelling or a string's bytes.
struct JsonSays {
    bool number = false;
    std::string bytes;
    /// Strict JSON readers accept it: no raw control byte, well-formed UTF-8.
    bool strict = true;
};

/// Reads one JSON value as the writer writes them: a number as it stands, or a string with the
/// escapes \" \\ \t \n \r and every other byte raw.
inline JsonSays jsonSays(std::string_view value) {
    JsonSays says;
    if (value.empty() || value[0] != '"') {
        says.number = true;
        says.bytes = value;
        return says;
    }
    value = value.substr(1, value.size() - 2);
    for (std::size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (static_cast<unsigned char>(c) < 0x20) says.strict = false;
        if (c == '\\') {
            const char escaped = value[++i];
            c = escaped == 't' ? '\t' : escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped;
        }
        says.bytes += c;
    }
    says.strict = says.strict && isUtf8(says.bytes);
    return says;
}

/// The digits of an integer's value without leading zeros, with its sign ('-' or nothing), read
/// from text such as " +007" or "-12"; empty if the text is not such an integer.
inline std::string integerValue(std::string_view text) {
    std::size_t i = 0;
    while (i != text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    std::string sign;
    if (i != text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') sign = "-";
        ++i;
    }
    if (i == text.size()) return {};
    std::string digits;
    for (; i != text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return {};
        if (!digits.empty() || text[i] != '0') digits += text[i];
    }
    if (digits.empty()) return "0";
    return sign + digits;
}

/// Whether the integer `digits` (as integerValue gives it) is beyond 2^53 and a double cannot
/// hold it: its binary form needs more than 53 significant bits.
inline bool isUnsafeInteger(const std::string& value) {
    const std::string digits = value[0] == '-' ? value.substr(1) : value;
    if (digits.size() > 20) return true;
    Uint128 magnitude = 0;
    for (const char c : digits) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
    if (magnitude <= (Uint128{1} << 53)) return false;
    while ((magnitude & 1) == 0) magnitude >>= 1;
    return magnitude >= (Uint128{1} << 53);
}

/// The model's verdict on one value.
struct Verdict {
    /// The JSON does not say what the text says: a finding is due.
    bool changed = false;
    /// The JSON says it, as an integer that readers holding doubles change: a note is due.
    bool unsafe = false;
    /// The JSON says it, as 1e999 or -1e999, which readers read as infinity or refuse: a note.
    bool infinite = false;
    /// The JSON says it, as a string that keeps a carriage return from inside quotes, which a
    /// copy of the file with LF line ends would not have: a note.
    bool carriageReturn = false;

    bool operator==(const Verdict&) const = default;
};

/// What the findings of one value say, in the model's terms: each note by its kind, any other
/// finding as a change.
inline Verdict verdictOf(const std::vector<kessa::FindingKind>& kinds) {
    Verdict verdict;
    for (const kessa::FindingKind kind : kinds) {
        switch (kind) {
            case kessa::FindingKind::UnsafeInteger:
                verdict.unsafe = true;
                break;
            case kessa::FindingKind::Infinity:
                verdict.infinite = true;
                break;
            case kessa::FindingKind::CarriageReturnInQuotes:
                verdict.carriageReturn = true;
                break;
            default:
                verdict.changed = true;
        }
    }
    return verdict;
}

/// `text` without the blanks in front and one sign after them, as a number's magnitude.
inline std::string_view magnitudeOf(std::string_view text) {
    while (!text.empty() && (text[0] == ' ' || (text[0] >= '\t' && text[0] <= '\r')))
        text.remove_prefix(1);
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
    return text;
}

/// The verdict for a value written `value` (quoted or not) whose JSON is `json`.
inline Verdict judge(std::string_view value, bool quoted, std::string_view json) {
    const std::string text = textSays(value, quoted);
    const JsonSays says = jsonSays(json);
    Verdict verdict;
    verdict.changed = says.bytes != text || !says.strict;
    // The number the text writes, whatever else it has: tabs in quotes are named apart.
    std::string digits = text;
    std::erase(digits, '\t');
    if (says.number && says.bytes.find_first_of(".e") == std::string::npos) {
        const std::string written = integerValue(says.bytes);
        verdict.unsafe = integerValue(digits) == written && isUnsafeInteger(written);
    }
    verdict.infinite = (says.bytes == "1e999" || says.bytes == "-1e999") && says.number &&
                       magnitudeOf(digits) == "1e999";
    verdict.carriageReturn = quoted && !says.number && says.bytes.find('\r') != std::string::npos;
    return verdict;
}

}  // namespace value_model
