// makeScalar types any bytes without failing, and agrees with a second reading of the typing rules
// written here on the C library's own strtoll and strtod, which the rules are modelled on. As the
// value of a member, quoted and unquoted where it can be, the bytes are named by the findings if
// and only if the JSON does not say what the text says, and noted where readers may still differ
// (tests/kessa/value_model.h judges both).

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "check.h"
#include "kessa/conversion.h"
#include "kessa/findings.h"
#include "kessa/scalar.h"
#include "kessa/value_model.h"
#include "pelmo/json/text_sink.h"

namespace {

using pelmo::JsonType;

struct Typing {
    JsonType type;
    std::int64_t integer = 0;
    double number = 0;
};

/// The rules: a token is an integer if the integer reading takes all of it (and it is not empty);
/// a string if that reading takes nothing; else a float if the float reading takes all of it; else
/// a string. Both readings stop at a NUL byte, as C strings do. The fuzzer never changes the
/// process locale, so strtod reads "." as the decimal point.
Typing expectedTyping(const std::string& token) {
    const char* const text = token.c_str();
    const char* const whole = text + token.size();
    char* end;
    const long long integer = std::strtoll(text, &end, 10);
    if (end == whole) {
        if (token.empty()) return {JsonType::String};
        return {JsonType::Integer, integer};
    }
    if (end == text) return {JsonType::String};
    const double number = std::strtod(text, &end);
    if (end == whole) return {JsonType::Float, 0, number};
    return {JsonType::String};
}

/// Holds the findings of `k=VALUE` (quoted or not) to the model's verdict.
void checkFindingsRule(const std::string& value, bool quoted) {
    const std::string text = quoted ? "k=\"" + value + "\"\n" : "k=" + value + "\n";
    std::string json;
    pelmo::StringSink sink(json);
    kessa::writeIndentedJson(text, sink);
    const std::size_t head = std::string_view("{\n    \"k\": ").size();
    const value_model::Verdict verdict = value_model::judge(
        value, quoted, std::string_view(json).substr(head, json.size() - head - 2));
    struct Seen final : kessa::FindingHandler {
        std::vector<kessa::FindingKind> kinds;
        void found(const kessa::Finding& finding) override { kinds.push_back(finding.kind); }
    } seen;
    kessa::checkKessaFindings(text, seen);
    const value_model::Verdict named = value_model::verdictOf(seen.kinds);
    require(named.changed == verdict.changed, "a value is named exactly where the JSON differs");
    require(named.unsafe == verdict.unsafe, "an integer is noted exactly where doubles change it");
    require(named.infinite == verdict.infinite, "an infinity kept as written is noted");
    require(named.carriageReturn == verdict.carriageReturn,
            "a carriage return kept inside quotes is noted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string original(reinterpret_cast<const char*>(data), size);
    std::string token = original;
    const pelmo::JsonNodePtr node = kessa::makeScalar(token);
    const Typing expected = expectedTyping(original);
    require(node != nullptr && node->type == expected.type, "the kind agrees with strtoll/strtod");
    switch (node->type) {
        case JsonType::Integer:
            require(static_cast<pelmo::JsonInteger&>(*node).value == expected.integer,
                    "the integer agrees with strtoll");
            break;
        case JsonType::Float:
            require(std::bit_cast<std::uint64_t>(static_cast<pelmo::JsonFloat&>(*node).value) ==
                        std::bit_cast<std::uint64_t>(expected.number),
                    "the float agrees with strtod bit for bit");
            break;
        default:
            require(static_cast<pelmo::JsonString&>(*node).value == original,
                    "a string keeps every byte of the token");
    }
    if (original.find('"') == std::string::npos) checkFindingsRule(original, true);
    if (original.find_first_of("\n,{}=\"") == std::string::npos &&
        !value_model::textSays(original, false).empty()) {
        checkFindingsRule(original, false);
    }
    return 0;
}
