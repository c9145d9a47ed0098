// Writes the texts the readers' C++ tests share (kessa/kessa_cases.h) as files, for the tests of
// the Python module and the npm package to read: DIR/accepted-N.kessa and DIR/rejected-N.kessa.
// With --format, writes what the library's formatter makes of each file of IN in the layout of
// INDENT (a number of spaces, or "tab"): OUT/NAME, or for a malformed text OUT/NAME.malformed,
// which holds the fault's offset and words.
//
//   kessa_cases_dump DIR
//   kessa_cases_dump --format INDENT IN OUT

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "kessa/format.h"
#include "kessa/kessa_cases.h"
#include "kessa/reader.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string_view(argv[1]) == "--format") {
        return formatFiles(argv[2], argv[3], argv[4]);
    }
    if (argc != 2) {
        std::fputs("usage: kessa_cases_dump DIR\n       kessa_cases_dump --format INDENT IN OUT\n",
                   stderr);
        return 1;
    }
    const std::string dir = argv[1];
    int number = 0;
    for (const auto& row : kAcceptedTexts) {
        if (!save(dir + "/accepted-" + std::to_string(number++) + ".kessa", row.input)) return 1;
    }
    number = 0;
    for (const std::string_view text : kRejectedTexts) {
        if (!save(dir + "/rejected-" + std::to_string(number++) + ".kessa", text)) return 1;
    }
    return 0;
}
