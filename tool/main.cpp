// kessa2json: converts a kessa file into an indented JSON file. The platform's entry point
// (entry_posix.cpp, entry_windows.cpp) hands the arguments over as UTF-8 byte strings.
//
// The input is checked whole before the output is opened, so a malformed input leaves the output
// untouched; then the JSON text is written as the input is read a second time, in chunks, so
// memory follows the nesting depth and not the size of the file.
//
// Exit status: 0 when the JSON file was written; 1 after printing the usage text, for fewer than
// two arguments; 2 after a one-line message on standard error, for any failure. --check (in
// check.cpp) adds 3 for findings; --help and --version end with 0.

#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "kessa/conversion.h"
#include "kessa/reader.h"
#include "pelmo/file/file_sink.h"
#include "pelmo/file/input_file.h"
#include "pelmo/file/utf8.h"
#include "tool/check.h"
#include "tool/driver.h"
#include "tool/main.h"

namespace {

constexpr char kUsage[] = "syntax: kessa2json <in-kessa-file> <out-json-file>";

using driver::Failure;
using driver::openInput;
using driver::Path;
using driver::quoted;
using driver::readFailure;
using driver::report;
using driver::syntaxFailure;

std::string writeFailure(const Path& output, const std::system_error& failure) {
    const std::string name = output.isStandard() ? "to standard output" : quoted(output.given);
    return "cannot write " + name + ": " + failure.code().message();
}

std::string changeFailure(const Path& input) {
    return quoted(input.given) + " changed during the conversion; the output may be incomplete";
}

void convert(const Path& input, const Path& output) {
    std::optional<pelmo::InputFile> file = openInput(input);
    std::string_view text;
    if (file) {
        // Writing the output would change an input that is the same file: it is read whole first.
        const bool sameFile = file->isSameFileAs(output.native);
        try {
            text = file->read(sameFile);
        } catch (const std::system_error& failure) {
            throw Failure(readFailure(input, failure));
        }
    }

    try {
        kessa::checkKessa(text);
    } catch (const kessa::SyntaxError& error) {
        if (file && file->changed()) throw Failure(changeFailure(input));
        throw Failure(syntaxFailure(input, text, error));
    }

    std::optional<pelmo::FileSink> sink;
    try {
        sink.emplace(output.isStandard() ? pelmo::FileSink::standardOutput()
                                         : pelmo::FileSink(output.native));
        kessa::writeIndentedJson(text, *sink);
        sink->close();
    } catch (const kessa::SyntaxError&) {  // it passed the check, so the file changed since
        throw Failure(changeFailure(input));
    } catch (const std::system_error& failure) {
        throw Failure(writeFailure(output, failure));
    }
    if (file && file->changed()) throw Failure(changeFailure(input));
}

constexpr char kHelp[] =
    "usage: kessa2json <in-kessa-file> <out-json-file>\n"
    "       kessa2json --check <in-kessa-file>\n"
    "       kessa2json --help | -h | --version\n"
    "\n"
    "Converts a file in the kessa notation into indented JSON; - stands for standard input or\n"
    "output. With --check, reads the file, writes nothing, and lists on standard output each\n"
    "place where the conversion would change or drop what the text says.\n"
    "\n"
    "Exit status: 0 done, and for --check nothing to report; 3 --check found something;\n"
    "2 failure, such as a malformed or unreadable input, with one line on standard error;\n"
    "1 wrong arguments. The manual, man kessa2json, describes the notation and every message.\n";

/// Whether `arg` is the option `name`: an argument that names an existing file is always a path.
bool isOption(std::string_view arg, std::string_view name) {
    return arg == name && !driver::exists(arg);
}

/// An output path that begins with "-" and names nothing is most likely a misplaced option, and
/// would create a file of that name.
void refuseOptionLikeOutput(const Path& output) {
    if (output.given.size() < 2 || output.given.front() != '-' || driver::exists(output.given)) {
        return;
    }
    throw Failure("output path " + quoted(output.given) + " looks like an option; write ./" +
                  pelmo::detail::printable(output.given) + " for a file of that name");
}

}  // namespace

int runKessa2json(int argc, char** argv) {
    const std::string_view first = argc >= 2 ? argv[1] : "";
    if (isOption(first, "--help") || isOption(first, "-h")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (isOption(first, "--version")) {
        std::fputs("kessa2json " KESSA2JSON_VERSION "\n", stdout);
        return 0;
    }
    const bool check = isOption(first, "--check");
    if (check && argc != 3) {
        std::fputs("syntax: kessa2json --check <in-kessa-file>\n", stdout);
        return 1;
    }
    if (argc < 3) {
        std::fputs(kUsage, stdout);
        return 1;
    }
    try {
        if (check) return checkFile(Path(argv[2]));
        const Path input(argv[1]), output(argv[2]);
        refuseOptionLikeOutput(output);
        convert(input, output);
        return 0;
    } catch (const Failure& failure) {
        report(failure.what());
    } catch (const std::bad_alloc&) {
        report("out of memory");
    } catch (const std::exception& failure) {
        report(failure.what());
    } catch (...) {
        report("unexpected failure");
    }
    return 2;
}
