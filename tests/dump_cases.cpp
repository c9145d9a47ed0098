// What the tests of the Python module and the npm package hold them to, from the C++ side: the
// rows of the C++ tests' shared tables as one JSON document, each text a JSON string whose
// characters are its bytes, U+0000 to U+00FF; and, with --format, what the library's formatter
// makes of each file of IN in the layout of INDENT (a number of spaces, or "tab"): OUT/NAME, or
// for a malformed text OUT/NAME.malformed, which holds the fault's offset and words.
//
//   kessa_cases_dump
//   kessa_cases_dump --format INDENT IN OUT

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "kessa/finding_kinds.h"
#include "kessa/findings_cases.h"
#include "kessa/format.h"
#include "kessa/kessa_cases.h"
#include "kessa/reader.h"
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

bool save(const std::string& path, std::string_view text) {
    std::ofstream file(path, std::ios::binary);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(file.flush());
}

int formatFiles(const std::string& indent, const std::filesystem::path& in,
                const std::filesystem::path& out) {
    kessa::Layout layout;
    if (indent == "tab") {
        layout.tabs = true;
    } else {
        layout.indent = static_cast<unsigned>(std::stoul(indent));
    }
    for (const auto& entry : std::filesystem::directory_iterator(in)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(file), {}};
        const std::string name = entry.path().filename().string();
        try {
            if (!save((out / name).string(), kessa::formatKessa(text, layout))) return 1;
        } catch (const kessa::SyntaxError& error) {
            std::string fault = std::to_string(error.offset());
            fault += ' ';
            fault += error.describe();
            if (!save((out / name).string() + ".malformed", fault)) return 1;
        }
    }
    return 0;
}

void printRows() {
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
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string_view(argv[1]) == "--format") {
        return formatFiles(argv[2], argv[3], argv[4]);
    }
    if (argc != 1) {
        std::fputs("usage: kessa_cases_dump\n       kessa_cases_dump --format INDENT IN OUT\n",
                   stderr);
        return 1;
    }
    printRows();
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
