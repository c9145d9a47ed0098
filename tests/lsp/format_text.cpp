// Writes the layout of a kessa file, as kessa::formatKessa gives it, for the editors' tests to
// hold what an editor made of a document to: the library's own bytes, not a copy kept in a test.
//
//   format_text FILE

#include <cstdio>
#include <exception>
#include <string>

#include "kessa/format.h"
#include "pelmo/file/file_io.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: format_text FILE\n", stderr);
        return 2;
    }
    try {
        const std::string text = kessa::formatKessa(pelmo::readFileToString(argv[1]));
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "format_text: %s\n", error.what());
        return 1;
    }
}
