#pragma once

// A JSON number as its text gives it: a 64-bit integer (signed, or unsigned past INT64_MAX) or a
// double. Comparisons are exact across the three, so that an integer beyond 2^53 is never
// rounded to meet a double.

#include <compare>
#include <cstdint>
#include <string>

namespace schema {

struct Number {
    enum class Kind : std::uint8_t { Integer, Unsigned, Real };
    Kind kind = Kind::Integer;
    union {
        std::int64_t integer = 0;
        std::uint64_t unsignedInteger;
        double real;
    };
    /// A Real written with neither fraction nor exponent: an integer too large for 64 bits.
    bool wholeLiteral = false;

    static Number ofInteger(std::int64_t value) {
        Number n;
        n.integer = value;
        return n;
    }
    static Number ofUnsigned(std::uint64_t value) {
        if (value <= static_cast<std::uint64_t>(INT64_MAX)) {
            return ofInteger(static_cast<std::int64_t>(value));
        }
        Number n;
        n.kind = Kind::Unsigned;
        n.unsignedInteger = value;
        return n;
    }
    static Number ofReal(double value) {
        Number n;
        n.kind = Kind::Real;
        n.real = value;
        return n;
    }

    /// Whether the value has no fraction: 1.0 as much as 1 (NaN and infinities have one).
    bool integral() const;
    /// The value as a double, rounded where it must be.
    double approximate() const;
    /// The shortest text that reads back as this value, as JSON writes it.
    std::string text() const;
};

/// Exact order of two numbers; NaN is unordered with everything.
std::partial_ordering compare(const Number& a, const Number& b);

inline bool operator==(const Number& a, const Number& b) {
    return compare(a, b) == std::partial_ordering::equivalent;
}

/// Whether `value` is an integer multiple of `divisor` (> 0), exactly, as their shortest decimal
/// texts give them: 0.0075 is a multiple of 0.0001, and 1e308 of 0.5.
bool isMultipleOf(const Number& value, const Number& divisor);

}  // namespace schema
