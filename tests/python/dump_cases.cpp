// Writes the texts the readers' C++ tests share (kessa/kessa_cases.h) as files, for the Python
// module's tests to read: DIR/accepted-N.kessa and DIR/rejected-N.kessa.
//
//   kessa_cases_dump DIR

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "kessa/kessa_cases.h"

namespace {

bool save(const std::string& path, std::string_view text) {
    std::ofstream file(path, std::ios::binary);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(file.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: kessa_cases_dump DIR\n", stderr);
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
