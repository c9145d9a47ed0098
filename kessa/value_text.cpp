#include "kessa/value_text.h"

#include <array>
#include <cmath>
#include <cstdint>

#include "kessa/findings.h"
#include "kessa/scalar.h"
#include "pelmo/json/float_chars.h"
#include "pelmo/json/number_format.h"

namespace kessa {

namespace {

/// Whether `text` holds a byte that ends an unquoted key or value, or that the reader drops
/// outside quotes: , { } = and line breaks.
bool holdsSeparator(std::string_view text) {
    static constexpr auto kSeparator = [] {
        std::array<bool, 256> table{};
        for (const unsigned char c : std::string_view(",={}\n\r")) table[c] = true;
        return table;
    }();
    for (const char c : text) {
        if (kSeparator[static_cast<unsigned char>(c)]) return true;
    }
    return false;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

StringText stringText(std::string_view value) {
    if (value.empty()) return {StringForm::Quoted};
    // Quoting does not change the type: "007" is 7 either way.
    if (typeScalar(value).type != pelmo::JsonType::String) {
        return {StringForm::None, FindingKind::NumeralString};
    }
    const bool needsQuotes =
        holdsSeparator(value) || isBlank(value.front()) || isBlank(value.back());
    if (!needsQuotes) return {StringForm::Plain};
    if (value.find('"') != std::string_view::npos) {
        return {StringForm::None, FindingKind::QuoteNeedsQuotes};
    }
    if (value.find('\t') != std::string_view::npos) {
        return {StringForm::None, FindingKind::TabNeedsQuotes};
    }
    return {StringForm::Quoted};
}

std::optional<FindingKind> keyProblem(std::string_view key) {
    if (holdsSeparator(key) || (!key.empty() && (isBlank(key.front()) || isBlank(key.back())))) {
        return FindingKind::UnwritableKey;
    }
    return std::nullopt;
}

NumberText floatText(double value) {
    if (std::isnan(value)) return {{}, FindingKind::NotANumber};
    // The JSON writes every zero as 0.0 but for one that rounds to zero from below, -0.0.
    if (value == 0 && std::signbit(value)) return {"-0.0000001", std::nullopt};
    if (pelmo::writtenDouble(value) != value) return {{}, FindingKind::FloatDigits};
    return {pelmo::formatFloat(value), std::nullopt};
}

std::optional<std::string> keyTextOnLine(std::string_view name) {
    if (name.empty() || name.front() == '"' || keyProblem(name)) return std::nullopt;
    return std::string(name);
}

std::optional<std::string> stringValueText(std::string_view value) {
    switch (stringText(value).form) {
        case StringForm::Plain: {
            // A double quote right after the equals sign would open quotes. Built by appending:
            // g++ 12 warns wrongly about " " + string.
            std::string text(value.front() == '"' ? 1 : 0, ' ');
            text += value;
            return text;
        }
        case StringForm::Quoted: {
            std::string text(1, '"');
            text += value;
            text += '"';
            return text;
        }
        case StringForm::None:
            break;
    }
    return std::nullopt;
}

namespace {

/// What in the string makes it need quotes.
std::string_view whatNeedsQuotes(std::string_view value) {
    for (const char c : value) {
        switch (c) {
            case ',':
                return "its comma";
            case '=':
                return "its equals sign";
            case '{':
            case '}':
                return "its brace";
            case '\n':
            case '\r':
                return "its line break";
            default:
                break;
        }
    }
    return value.empty() ? "its emptiness" : "the blank at its end";
}

}  // namespace

std::string whyNoText(FindingKind reason, std::string_view value) {
    std::string text;
    switch (reason) {
        case FindingKind::NoBoolean:
        case FindingKind::NoNull:
            text.append(value).append(" has no kessa text: the notation has no ");
            text.append(reason == FindingKind::NoNull ? "null" : "true or false");
            text.append(" (written so, it gives the string ").append(shownBytes(value));
            return text.append(")");
        case FindingKind::NumeralString: {
            const Scalar scalar = typeAsWritten(value);
            text.append("the string ").append(shownBytes(value));
            text.append(" has no kessa text: quoted or not, it reads as the number ");
            return text.append(scalar.type == pelmo::JsonType::Integer
                                   ? pelmo::formatInteger(scalar.integer)
                                   : pelmo::formatFloat(scalar.number));
        }
        case FindingKind::TabNeedsQuotes:
        case FindingKind::QuoteNeedsQuotes:
            text.append("the string ").append(shownBytes(value)).append(" has no kessa text: ");
            text.append(whatNeedsQuotes(value)).append(" needs quotes, and ");
            return text.append(reason == FindingKind::TabNeedsQuotes
                                   ? "quotes drop its tab"
                                   : "its double quote would end them");
        case FindingKind::UnwritableKey:
            text.append("the key ").append(shownBytes(value)).append(" has no kessa text: ");
            return text.append(holdsSeparator(value)
                                   ? "a key cannot hold = , { } or a line break"
                                   : "the blanks at its ends are trimmed from a key");
        case FindingKind::FloatDigits: {
            const std::string_view digits =
                !value.empty() && value.front() == '-' ? value.substr(1) : value;
            double number = 0;
            pelmo::detail::readDouble(digits.data(), digits.data() + digits.size(), false, number);
            if (digits.size() != value.size()) number = -number;
            text.append("the number ").append(value);
            text.append(" has no kessa text: floats keep six decimals, so it would become ");
            return text.append(pelmo::formatFloat(number));
        }
        case FindingKind::BigInteger:
            text.append("the integer ").append(value);
            text.append(" has no kessa text: beyond 64 bits, it would become ");
            return text.append(!value.empty() && value.front() == '-' ? "-9223372036854775808"
                                                                      : "9223372036854775807");
        case FindingKind::NotANumber:
            return "NaN has no kessa text: no number is NaN";
        case FindingKind::LoneSurrogate:
            return "the string holds half of a UTF-16 surrogate pair, which no UTF-8 text holds";
        case FindingKind::RootNotObject:
            return "the document is no object, and a kessa text is the body of one: only an "
                   "object at the top has a kessa text";
        default:
            return std::string(summary(reason));
    }
}

}  // namespace kessa
