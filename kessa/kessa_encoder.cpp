#include "kessa/kessa_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "kessa/value_text.h"
#include "pelmo/json/float_chars.h"
#include "pelmo/json/number_format.h"

namespace kessa {

std::string jsonPointer(const std::vector<ValueStep>& path) {
    std::string pointer;
    for (const ValueStep& step : path) {
        pointer += '/';
        if (!step.member) {
            pointer += std::to_string(step.index);
            continue;
        }
        for (const char c : step.key) {
            if (c == '~') {
                pointer += "~0";
            } else if (c == '/') {
                pointer += "~1";
            } else {
                pointer += c;
            }
        }
    }
    return pointer;
}

RefusalHandler::~RefusalHandler() = default;

namespace {

/// The order of magnitude of a decimal numeral (digits, a point, an exponent; no sign): n where
/// its value is at least 10^(n-1) and below 10^n. Tells an infinity from a zero where no double
/// comes near the numeral.
long long orderOf(std::string_view numeral) {
    const std::size_t e = std::min(numeral.find_first_of("eE"), numeral.size());
    const std::string_view mantissa = numeral.substr(0, e);
    long long exponent = 0;
    if (e != numeral.size()) {
        std::size_t i = e + 1;
        const bool negative = numeral[i] == '-';
        if (numeral[i] == '-' || numeral[i] == '+') ++i;
        for (; i != numeral.size() && exponent < 1'000'000'000; ++i) {
            exponent = exponent * 10 + (numeral[i] - '0');
        }
        if (negative) exponent = -exponent;
    }
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) return -1;  // zero
    const long long order = first < point ? static_cast<long long>(point - first)
                                          : -static_cast<long long>(first - point - 1);
    return order + exponent;
}

}  // namespace

KessaEncoder::KessaEncoder(KessaWriter* writer, RefusalHandler& refusals)
    : writer_(writer), refusals_(refusals) {}

void KessaEncoder::openObject() {
    if (depth_++ == 0) {
        // The top: the body of the text, which no brace opens.
        path_.push_back({true, {}});
        return;
    }
    if (notObject_) return;
    if (writing()) writer_->openObject();
    path_.push_back({true, {}});
}

void KessaEncoder::openArray() {
    if (depth_++ == 0) {
        notObject_ = true;
        refuseHere(FindingKind::RootNotObject, {});
        return;
    }
    if (notObject_) return;
    if (writing()) writer_->openArray();
    path_.push_back({false, {}, 0});
}

void KessaEncoder::close() {
    --depth_;
    if (notObject_) return;
    path_.pop_back();
    if (depth_ == 0) return;
    if (writing()) writer_->close();
    endValue();
}

void KessaEncoder::key(std::string_view bytes) {
    if (notObject_) return;
    path_.back().key.assign(bytes);
    if (const auto problem = keyProblem(bytes)) {
        refuseHere(*problem, bytes);
    } else if (writing()) {
        writer_->key(bytes);
    }
}

void KessaEncoder::refuseKey(std::string_view bytes, FindingKind reason) {
    if (notObject_) return;
    path_.back().key.assign(bytes);
    refuseHere(reason, bytes);
}

void KessaEncoder::string(std::string_view bytes) {
    if (!beginScalar()) return;
    const StringText text = stringText(bytes);
    if (text.form == StringForm::None) {
        refuseHere(text.reason, bytes);
    } else if (writing()) {
        writer_->value(bytes, text.form == StringForm::Quoted);
    }
    endValue();
}

void KessaEncoder::integer(std::int64_t value) {
    if (!beginScalar()) return;
    if (writing()) writer_->value(pelmo::formatInteger(value), false);
    endValue();
}

void KessaEncoder::number(double value) {
    if (!beginScalar()) return;
    writeNumber(value, {});
    endValue();
}

/// A float; `numeral` is its text where the caller has one, for the words of a refusal.
void KessaEncoder::writeNumber(double value, std::string_view numeral) {
    const NumberText text = floatText(value);
    if (text.none) {
        if (numeral.empty()) {
            // Seventeen digits name every double; the point is a point in any locale.
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.17g", value);
            numberText_ = buffer;
            std::replace(numberText_.begin(), numberText_.end(), ',', '.');
            numeral = numberText_;
        }
        refuseHere(*text.none, numeral);
    } else if (writing()) {
        writer_->value(text.text, false);
    }
}

/// Whether the decimal digits `digits`, negative or not, are an integer of 64 bits.
bool KessaEncoder::fitsInteger(std::string_view digits, bool negative) {
    if (digits.size() < 19) return true;
    std::uint64_t magnitude = 0;
    for (const char c : digits) {
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (magnitude > (UINT64_MAX - digit) / 10) return false;
        magnitude = magnitude * 10 + digit;
    }
    return magnitude <= std::uint64_t{INT64_MAX} + (negative ? 1 : 0);
}

void KessaEncoder::numeral(std::string_view text, bool doubles) {
    if (!beginScalar()) return;
    const bool negative = text.front() == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    const char* p = digits.data();
    const char* const end = p + digits.size();
    while (p != end && *p >= '0' && *p <= '9') ++p;
    const auto whole = static_cast<std::size_t>(p - digits.data());
    if (p == end) {
        // An integer: JSON writes one as kessa does (no sign but a minus, no leading zero), but
        // for -0.
        if (fitsInteger(digits, negative)) {
            if (writing()) writer_->value(digits == "0" ? digits : text, false);
            endValue();
            return;
        }
        if (!doubles) {
            refuseHere(FindingKind::BigInteger, text);
            endValue();
            return;
        }
    } else if (*p == '.' && whole <= 9) {
        const char* const point = p++;
        while (p != end && *p >= '0' && *p <= '9') ++p;
        const auto decimals = static_cast<std::size_t>(p - point - 1);
        if (p == end && decimals <= 6) {
            // Below 10^9 with six decimals at most: the double such a numeral gives lies
            // within half a millionth of it, so it is written as the numeral, its trailing
            // zeros dropped but one, and read back to the same double. A zero is left to the
            // rule, for its sign.
            const char* last = end - 1;
            while (last != point + 1 && *last == '0') --last;
            const bool zero = *last == '0' && whole == 1 && digits.front() == '0';
            if (!zero) {
                if (writing()) {
                    writer_->value(
                        text.substr(0, text.size() - static_cast<std::size_t>(end - last - 1)),
                        false);
                }
                endValue();
                return;
            }
        }
    }
    // A float, correctly rounded as JSON readers read it; beyond the doubles, an infinity or a
    // zero.
    double value = 0;
    if (pelmo::detail::readDouble(digits.data(), digits.data() + digits.size(), false, value) !=
        std::errc{}) {
        value = orderOf(digits) > 0 ? HUGE_VAL : 0.0;
    }
    writeNumber(negative ? -value : value, text);
    endValue();
}

void KessaEncoder::refuse(FindingKind reason, std::string_view text) {
    if (!beginScalar()) return;
    refuseHere(reason, text);
    endValue();
}

void KessaEncoder::finish() {
    if (writing()) writer_->finish();
}

/// A scalar: none at the top, where an object must stand.
bool KessaEncoder::beginScalar() {
    if (depth_ == 0) {
        notObject_ = true;
        refuseHere(FindingKind::RootNotObject, {});
        return false;
    }
    return !notObject_;
}

void KessaEncoder::endValue() {
    if (!path_.back().member) ++path_.back().index;
}

void KessaEncoder::refuseHere(FindingKind reason, std::string_view text) {
    refused_ = true;
    refusedText_ = text;
    refusals_.refused(reason, *this);
    refusedText_ = {};
}

}  // namespace kessa
