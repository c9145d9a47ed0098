// The findings' rule for values, held over generated values of the kinds users write: a value is
// named if and only if the JSON does not say what the text says (value_model.h judges that), and
// gets a note where the JSON says it but readers or a copy with other line ends may differ: an
// integer that readers holding doubles change, an infinity, a carriage return kept in quotes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "kessa/conversion.h"
#include "kessa/findings.h"
#include "pelmo/json/text_sink.h"
#include "value_model.h"

namespace {

using kessa::FindingKind;

/// Values of the kinds found in configuration files, from a seed.
class ValueMaker {
public:
    explicit ValueMaker(std::uint64_t seed) : random_(seed) {}

    /// One value; `quoted` says whether it is to go between double quotes, where any byte but a
    /// double quote may stand. An unquoted one holds no byte with a role in the notation.
    std::string make(bool quoted) {
        std::string value;
        switch (below(14)) {
            case 0:  // versions: 2.10, 1.2.3
                value = digits(1, 2) + "." + digits(1, 3);
                if (chance(3)) value += "." + digits(1, 2);
                break;
            case 1:  // prices: 19.90, 5.00, 0.99
                value = digits(1, 4) + "." + digits(2, 2);
                break;
            case 2:  // IDs and nanosecond times, up to past the 64-bit range
                value = digits(1, 22);
                break;
            case 3:  // postcodes
                value = (chance(2) ? "0" : "") + digits(4, 4);
                break;
            case 4:  // phone numbers
                value = pick({"+", "00", "0", "+0"}) + digits(6, 14);
                break;
            case 5:  // times and dates
                value = chance(2) ? digits(2, 2) + ":" + digits(2, 2)
                                  : digits(4, 4) + "-" + digits(2, 2) + "-" + digits(2, 2);
                break;
            case 6:  // IP addresses
                value = digits(1, 3) + "." + digits(1, 3) + "." + digits(1, 3) + "." + digits(1, 3);
                break;
            case 7:  // exponents
                value = digits(1, 3) + (chance(2) ? "." + digits(0, 3) : "") + pick({"e", "E"}) +
                        pick({"", "+", "-"}) + digits(1, 3);
                break;
            case 8:  // hexadecimal
                value =
                    pick({"0x", "0X", "-0x"}) + hexDigits() + (chance(4) ? "p" + digits(1, 1) : "");
                break;
            case 9:  // signs and zeros
                value = pick({"", "+", "-"}) +
                        pick({"0", "00", "0.0", "0.00", "0.", "1", "0.5", "1e999", "1E999"});
                break;
            case 10:  // decimals near the six that floats keep
                value = digits(1, 10) + "." + digits(1, 9);
                break;
            case 11:  // words, and text in other scripts or encodings
                value = pick({"true", "null", "on", "caf\xC3\xA9", "caf\xE9", "\xE6\x97\xA5",
                              "a\x01z", "x\x7F", "\xF0\x9F\x98\x80", "\xED\xA0\x80", "\xC0\xAF"});
                break;
            default:  // bytes from a numeral's alphabet, in any order
                for (std::size_t n = 1 + below(12); n != 0; --n)
                    value += pick1("0123456789.-+eEx ");
                break;
        }
        decorate(value, quoted);
        return value;
    }

private:
    std::size_t below(std::size_t bound) { return random_() % bound; }
    bool chance(std::size_t oneIn) { return below(oneIn) == 0; }
    std::string pick(std::initializer_list<const char*> choices) {
        return *(choices.begin() + below(choices.size()));
    }
    char pick1(std::string_view choices) { return choices[below(choices.size())]; }
    std::string digits(std::size_t least, std::size_t most) {
        std::string text;
        for (std::size_t n = least + below(most - least + 1); n != 0; --n)
            text += pick1("0123456789");
        return text;
    }
    std::string hexDigits() {
        std::string text;
        for (std::size_t n = below(5); n != 0; --n) text += pick1("0123456789abcdefABCDEF.");
        return text;
    }

    /// Blanks, tabs, carriage returns and other bytes around and inside the value, as typed.
    void decorate(std::string& value, bool quoted) {
        if (chance(4)) value.insert(0, pick({" ", "\t", "  ", "\v", "\r"}));
        if (chance(4)) value += pick({" ", "\t", "\r", "x", "\f"});
        if (chance(8)) value.insert(below(value.size() + 1), pick({"\t", "\r", " ", "\x02"}));
        if (quoted && chance(10))
            value.insert(below(value.size() + 1), pick({"\n", ",", "}", "="}));
        if (quoted && chance(20)) value.clear();
    }

    std::mt19937_64 random_;
};

/// The JSON of the one member of `text`, as the conversion writes it.
std::string jsonOfMember(const std::string& text) {
    std::string json;
    pelmo::StringSink sink(json);
    kessa::writeIndentedJson(text, sink);
    const std::string_view head = "{\n    \"k\": ";
    EXPECT_EQ(json.substr(0, head.size()), head) << text;
    return json.substr(head.size(), json.size() - head.size() - 2);  // without "\n}"
}

struct Kinds final : kessa::FindingHandler {
    std::vector<FindingKind> seen;
    std::string codes;
    void found(const kessa::Finding& finding) override {
        seen.push_back(finding.kind);
        codes.append(" ").append(finding.code());
    }
};

bool isStructural(FindingKind kind) {
    switch (kind) {
        case FindingKind::ByteOrderMark:
        case FindingKind::BlankBeforeQuote:
        case FindingKind::JoinedLines:
        case FindingKind::KeyReplaced:
        case FindingKind::NoKey:
        case FindingKind::DiscardedText:
        case FindingKind::KeyInArray:
        case FindingKind::RepeatedKey:
        case FindingKind::EmptyBraces:
        case FindingKind::DroppedEquals:
        case FindingKind::EmptyElement:
        case FindingKind::WaitingKey:
        case FindingKind::OpenAtEnd:
            return true;
        default:
            return false;
    }
}

}  // namespace

TEST(FindingsRule, ValuesAreNamedExactlyWhereTheJsonDiffers) {
    const std::uint64_t seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    ValueMaker maker(seed);
    int changed = 0, unsafe = 0, infinite = 0, carriageReturn = 0, failures = 0;
    for (int i = 0; i < 20000 && failures < 10; ++i) {
        const bool quoted = i % 2 == 0;
        const std::string value = maker.make(quoted);
        const std::string text = quoted ? "k=\"" + value + "\"\n" : "k=" + value + "\n";
        if (!quoted && value_model::textSays(value, false).empty()) continue;  // no value at all
        const value_model::Verdict verdict = value_model::judge(value, quoted, jsonOfMember(text));
        Kinds kinds;
        kessa::checkKessaFindings(text, kinds);
        const bool structural = std::any_of(kinds.seen.begin(), kinds.seen.end(), isStructural);
        changed += verdict.changed;
        unsafe += verdict.unsafe;
        infinite += verdict.infinite;
        carriageReturn += verdict.carriageReturn;
        const bool agrees = !structural && value_model::verdictOf(kinds.seen) == verdict;
        if (!agrees) ++failures;
        EXPECT_TRUE(agrees) << "text " << ::testing::PrintToString(text) << ": the JSON "
                            << (verdict.changed ? "differs" : "agrees")
                            << (verdict.unsafe ? ", unsafe integer" : "")
                            << (verdict.infinite ? ", infinity" : "")
                            << (verdict.carriageReturn ? ", carriage return" : "")
                            << "; findings:" << kinds.codes;
    }
    // The generator makes every kind of value in numbers.
    EXPECT_GT(changed, 2000);
    EXPECT_GT(unsafe, 50);
    EXPECT_GT(infinite, 50);
    EXPECT_GT(carriageReturn, 50);
}
