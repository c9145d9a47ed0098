// Prints the rows of the C++ tests' shared tables as one JSON document, for the tests of the
// packages in other languages to run the same rows. Each text is a JSON string whose characters
// are its bytes, U+0000 to U+00FF.

#include <cstdio>
#include <string>
#include <string_view>

#include "kessa/finding_kinds.h"
#include "kessa/findings_cases.h"
#include "kessa/kessa_cases.h"
#include "kessa/typing_cases.h"

namespace {

std::string bytes(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + '"';
}

template <class Rows, class Write>
void list(const char* name, const Rows& rows, Write write, bool last = false) {
    std::printf("  \"%s\": [", name);
    const char* separator = "\n    ";
    for (const auto& row : rows) {
        std::printf("%s", separator);
        write(row);
        separator = ",\n    ";
    }
    std::printf("\n  ]%s\n", last ? "" : ",");
}

}  // namespace

int main() {
    std::printf("{\n");
    list("accepted", kAcceptedTexts, [](const auto& row) {
        std::printf("{\"input\": %s, \"json\": %s}", bytes(row.input).c_str(),
                    bytes(row.json).c_str());
    });
    list("rejected", kRejectedTexts,
         [](std::string_view input) { std::printf("%s", bytes(input).c_str()); });
    list("faults", kFaultRows, [](const auto& row) {
        std::printf("{\"input\": %s, \"offset\": %llu, \"words\": %s}", bytes(row.input).c_str(),
                    static_cast<unsigned long long>(row.offset), bytes(row.words).c_str());
    });
    list("findings", kFindingRows, [](const auto& row) {
        std::printf("{\"input\": %s, \"findings\": [", bytes(row.input).c_str());
        for (std::size_t i = 0; i != row.findings.size(); ++i) {
            const Seen& seen = row.findings[i];
            std::printf("%s{\"code\": \"%s\", \"offset\": %llu, \"length\": %zu}", i ? ", " : "",
                        std::string(kessa::code(seen.kind)).c_str(),
                        static_cast<unsigned long long>(seen.offset), seen.bytes.size());
        }
        std::printf("]}");
    });
    list("words", kWordRows, [](const auto& row) {
        std::printf("{\"input\": %s, \"words\": [", bytes(row.input).c_str());
        for (std::size_t i = 0; i != row.words.size(); ++i) {
            std::printf("%s%s", i ? ", " : "", bytes(row.words[i]).c_str());
        }
        std::printf("]}");
    });
    list(
        "tokens", kTypingRows,
        [](const auto& row) {
            std::printf("{\"token\": %s, \"json\": %s}", bytes(row.token).c_str(),
                        bytes(row.json).c_str());
        },
        true);
    std::printf("}\n");
    return 0;
}
