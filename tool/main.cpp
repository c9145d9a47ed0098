// kessa2json: converts a kessa file into an indented JSON file. The platform's entry point
// (entry_posix.cpp, entry_windows.cpp) hands the arguments over as UTF-8 byte strings.
//
// A regular output file is replaced whole: the JSON text goes into a new file beside it, in one
// pass over the input, and takes the output's name only once it is complete, so a malformed
// input, a full disk or a killed run leaves the output as it was. Other outputs (standard output,
// a device, a FIFO, a file with several names) are written in place, and only once a first pass
// has found the whole input well-formed. Either way the text is written in chunks as the input is
// read, so memory follows the nesting depth and not the size of the file.
//
// Exit status: 0 when the JSON file was written; 1 after printing the usage text, for fewer than
// two arguments, more that name files, or an output that is another kessa file; 2 after a one-line
// message on standard error, for any failure. --check (in check.cpp) adds 3 for findings; --help
// and --version end with 0.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "kessa/conversion.h"
#include "kessa/reader.h"
#include "pelmo/file/input_file.h"
#include "pelmo/file/output_file.h"
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

/// The output, replaced whole where it can be. On Windows a mapped file cannot be replaced, so an
/// output that is the input is written in place there.
pelmo::OutputFile openOutput(const Path& output, bool sameFile) {
    try {
#ifdef _WIN32
        if (sameFile) return pelmo::OutputFile::inPlace(output.native);
#else
        (void)sameFile;
#endif
        return pelmo::OutputFile(output.native);
    } catch (const std::system_error& failure) {
        throw Failure(writeFailure(output, failure));
    }
}

void convert(const Path& input, const Path& output) {
    std::optional<pelmo::InputFile> file = openInput(input);
    const bool sameFile = file && file->isSameFileAs(output.native);
    pelmo::OutputFile out = openOutput(output, sameFile);
    // A replaced output leaves the input's pages as they were, even when it is the same file; one
    // written in place would change them, so such an input is read whole first.
    const bool inPlace = out.route() == pelmo::OutputFile::Route::InPlace;
    std::string_view text;
    if (file) {
        try {
            text = file->read(sameFile && inPlace);
        } catch (const std::system_error& failure) {
            throw Failure(readFailure(input, failure));
        }
    }

    // In place, the output is truncated only once the whole input is known to be well-formed.
    if (inPlace) {
        try {
            kessa::checkKessa(text);
        } catch (const kessa::SyntaxError& error) {
            if (file && file->changed()) throw Failure(changeFailure(input));
            throw Failure(syntaxFailure(input, text, error));
        }
    }

    try {
        out.open();
        driver::writeText(text, out, inPlace,
                          [text](pelmo::TextSink& sink) { kessa::writeIndentedJson(text, sink); });
    } catch (const kessa::SyntaxError& error) {
        // Written in place, the text passed the check, so it changed since.
        if (inPlace || (file && file->changed())) throw Failure(changeFailure(input));
        throw Failure(syntaxFailure(input, text, error));
    } catch (const std::system_error& failure) {
        throw Failure(writeFailure(output, failure));
    }
    // A replacement made from an input that changed is dropped, and the output stays as it was.
    if (file && file->changed()) throw Failure(changeFailure(input));
    try {
        out.commit();
    } catch (const std::system_error& failure) {
        throw Failure(writeFailure(output, failure));
    }
}

constexpr char kHelp[] =
    "usage: kessa2json <in-kessa-file> <out-json-file>\n"
    "       kessa2json --check [--format FORMAT] [--ignore CODES] [--severity LEVEL]\n"
    "                          [--schema FILE|URL [--schema-draft DRAFT] [--resolve FILE|DIR]...]\n"
    "                          <in-kessa-file>...\n"
    "       kessa2json --help | -h | --version\n"
    "\n"
    "Converts a file in the kessa notation into indented JSON; - stands for standard input or\n"
    "output. With --check, reads each file, writes nothing, and reports on standard output each\n"
    "place where the conversion would change or drop what the text says.\n"
    "\n"
    "A conversion is refused where a wildcard most likely expanded: when paths past the second\n"
    "name files, or the output is an existing .kessa file other than the input.\n"
    "\n"
    "  --format FORMAT   text (the default), json, sarif (SARIF 2.1.0) or github (GitHub\n"
    "                    Actions workflow commands)\n"
    "  --ignore CODES    leaves out the findings of these codes, separated by commas\n"
    "  --severity LEVEL  reports only findings at this level or above: note, warning, error\n"
    "  --schema FILE     also checks what each file becomes against this JSON Schema (a path,\n"
    "                    a file: URI, or an http(s) URL, fetched and cached; drafts 4, 6, 7,\n"
    "                    2019-09 and 2020-12)\n"
    "  --resolve FILE|DIR  takes these schema files for the URIs of their $id, before any fetch\n"
    "  --schema-draft DRAFT  the draft of a schema that names none with $schema: 4, 6, 7 (the\n"
    "                    default), 2019-09 or 2020-12\n"
    "\n"
    "Exit status: 0 done, and for --check nothing to report; 3 --check reported findings;\n"
    "2 failure, such as a malformed or unreadable input, with one line on standard error;\n"
    "1 wrong arguments. The manual, man kessa2json, describes the notation, every message and\n"
    "every code.\n";

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

/// Arguments after the second that name files mean, most likely, that a wildcard expanded, and
/// the second path is one of the inputs: it is not overwritten. Those that name nothing are
/// ignored, for callers that pass extra words.
bool namesFilesPastTheOutput(int argc, char** argv) {
    for (int i = 3; i < argc; ++i) {
        if (driver::exists(argv[i])) return true;
    }
    return false;
}

/// An output that is an existing kessa file other than the input means, most likely, that a
/// wildcard expanded to two files: `kessa2json *.kessa` would replace the second with the JSON of
/// the first. The input itself, converted in place, is no such file.
bool outputIsAnotherKessaFile(const Path& input, const Path& output) {
    std::error_code error;
    if (output.isStandard() || !output.given.ends_with(".kessa") ||
        !std::filesystem::is_regular_file(output.native, error)) {
        return false;
    }
    return input.isStandard() || !std::filesystem::equivalent(input.native, output.native, error);
}

}  // namespace

int runProgram(int argc, char** argv) {
    const std::string_view first = argc >= 2 ? argv[1] : "";
    if (isOption(first, "--help") || isOption(first, "-h")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (isOption(first, "--version")) {
        std::fputs("kessa2json " KESSA2JSON_VERSION "\n", stdout);
        return 0;
    }
    if (isOption(first, "--check")) return runCheck(argc, argv);
    if (argc < 3) {
        std::fputs(kUsage, stdout);
        return 1;
    }
    try {
        const Path input(argv[1]), output(argv[2]);
        driver::refuseOptionLikeInput(input);
        if (namesFilesPastTheOutput(argc, argv)) {
            report(std::to_string(argc - 1) +
                   " paths were given, and a conversion takes two, an input and an output; did a "
                   "wildcard expand? (--check takes several inputs)");
            std::fputs(kUsage, stdout);
            return 1;
        }
        if (outputIsAnotherKessaFile(input, output)) {
            report("the output " + quoted(output.given) +
                   " is a kessa file, which a conversion would replace with JSON; did a wildcard "
                   "expand? (--check takes several inputs)");
            std::fputs(kUsage, stdout);
            return 1;
        }
        driver::refuseEmpty(input, "input");
        driver::refuseEmpty(output, "output");
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
