#pragma once

#include <cstdint>
#include <string>

namespace pelmo {

/// The decimal text of `value`: "-" for a negative value, then the digits without leading zeros.
/// Raises only std::bad_alloc.
std::string formatInteger(std::int64_t value);

/// The JSON text of `value`. An integral value is written with all its digits and ".0"
/// (negative zero as "0.0"); any other finite value is rounded to six decimals, correctly and
/// ties to even, and its trailing zeros are dropped down to one digit after the point. Positive
/// and negative infinity are written "1e999" and "-1e999", which the JSON readers of Python and
/// JavaScript read back as infinities (jq 1.6 reads the largest double), and NaN as "null". The
/// text never depends on the process locale. Raises only std::bad_alloc.
std::string formatFloat(double value);

/// The double a JSON reader gets from the text formatFloat(value) writes: the value rounded to
/// six decimals, an infinity for an infinity, NaN for NaN. What a program reading the tool's
/// output holds, for those who must see the same number (a schema's check, the bindings).
double writtenDouble(double value);

}  // namespace pelmo
