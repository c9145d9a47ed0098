#include "kessa/value_text.h"

#include <array>
#include <cmath>
#include <cstdint>

#include "kessa/scalar.h"
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

}  // namespace kessa
