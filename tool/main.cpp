// kessa2json: converts a kessa file into an indented JSON file. The platform's entry point
// (entry_posix.cpp, entry_windows.cpp) hands the arguments over as UTF-8 byte strings.
//
// Exit status: 0 when the JSON file was written; 1 after printing the usage text, for fewer than
// two arguments; 2 after a one-line message on standard error, for any failure. A failure before
// the write leaves the output file untouched.

#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "kessa/parser.h"
#include "pelmo/file/file_io.h"
#include "tool/main.h"

namespace {

constexpr char kUsage[] = "syntax: kessa2json <in-kessa-file> <out-json-file>";

/// Runs the pipeline; each stage finishes before the next begins, and the input text is released
/// before the output text is built so the two are never held together.
void convert(const char* inputPath, const char* outputPath) {
    kessa::KessaParser parser;
    std::string input = pelmo::readFileToString(inputPath);
    const auto root = parser.parse(input);
    std::string().swap(input);
    const std::string output = root->toIndentedString();
    pelmo::writeStringToFile(outputPath, output);
}

void reportFailure(const char* message) {
    std::fprintf(stderr, "kessa2json: %s\n", message);
}

}  // namespace

int runKessa2json(int argc, char** argv) {
    if (argc < 3) {
        std::fputs(kUsage, stdout);
        return 1;
    }
    try {
        convert(argv[1], argv[2]);
        return 0;
    } catch (const std::bad_alloc&) {
        reportFailure("out of memory");
    } catch (const std::exception& failure) {
        reportFailure(failure.what());
    } catch (...) {
        reportFailure("unexpected failure");
    }
    return 2;
}
