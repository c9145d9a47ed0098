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
#include "kessa/strict_bytes.h"
#include "kessa/text_position.h"
#include "pelmo/file/input_file.h"
#include "pelmo/file/output_file.h"
#include "pelmo/file/utf8.h"
#include "tool/check.h"
#include "tool/driver.h"
#include "tool/main.h"

namespace {

constexpr char kUsage[] = "syntax: kessa2json <in-kessa-file> <out-json-file>";

using driver::changeFailure;
using driver::Failure;
using driver::isOption;
using driver::openInput;
using driver::openOutput;
using driver::Path;
using driver::quoted;
using driver::readFailure;
using driver::report;
using driver::syntaxFailure;
using driver::writeFailure;

/// The JSON is written as it always was; where it holds bytes strict JSON readers refuse, that
/// is said once, at the first place, since such a reader fails on the output without a word here.
void warnOfStrictBytes(const Path& input, std::string_view text) {
    const std::optional<kessa::Finding> first = kessa::firstStrictBytes(text);
    if (!first) return;
    const kessa::TextPosition at = kessa::positionAt(text, first->offset);
    const bool control = first->kind == kessa::FindingKind::ControlByte;
    report("warning: " + driver::inputName(input) + ":" + std::to_string(at.line) + ":" +
           std::to_string(at.column) + ": the JSON holds " +
           (control ? "a control byte" : "bytes that are not UTF-8") +
           " that strict JSON readers refuse [" + std::string(first->code()) +
           "]; kessa2json --check " + (input.isStandard() ? std::string("-")
                                                          : pelmo::detail::printable(input.given)) +
           " lists them all");
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
    warnOfStrictBytes(input, text);
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
        if (driver::namesFilesPast(argc, argv, 3)) {
            report(std::to_string(argc - 1) +
                   " paths were given, and a conversion takes two, an input and an output; did a "
                   "wildcard expand? (--check takes several inputs)");
            std::fputs(kUsage, stdout);
            return 1;
        }
        if (driver::outputIsAnother(input, output, ".kessa")) {
            report("the output " + quoted(output.given) +
                   " is a kessa file, which a conversion would replace with JSON; did a wildcard "
                   "expand? (--check takes several inputs)");
            std::fputs(kUsage, stdout);
            return 1;
        }
        driver::refuseEmpty(input, "input");
        driver::refuseEmpty(output, "output");
        driver::refuseOptionLikeOutput(output);
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
