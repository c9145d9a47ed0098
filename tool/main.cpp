// kessa2json: converts a kessa file into an indented JSON file. The platform's entry point
// (entry_posix.cpp, entry_windows.cpp) hands the arguments over as UTF-8 byte strings.
//
// The input is checked whole before the output is opened, so a malformed input leaves the output
// untouched; then the JSON text is written as the input is read a second time, in chunks, so
// memory follows the nesting depth and not the size of the file.
//
// Exit status: 0 when the JSON file was written; 1 after printing the usage text, for fewer than
// two arguments; 2 after a one-line message on standard error, for any failure.

#include <algorithm>
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
#include "pelmo/file/native_path.h"
#include "pelmo/file/utf8.h"
#include "tool/main.h"

namespace {

constexpr char kUsage[] = "syntax: kessa2json <in-kessa-file> <out-json-file>";

/// A failure of the run, with the whole line that reports it.
class Failure : public std::exception {
public:
    explicit Failure(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

void report(const std::string& line) {
    std::fprintf(stderr, "kessa2json: %s\n", line.c_str());
}

/// A path as the messages show it: in single quotes, with unprintable bytes as \xNN.
std::string quoted(std::string_view path) {
    std::string text(1, '\'');  // built by appending: g++ 12 warns wrongly about "'" + string
    text += pelmo::detail::printable(path);
    text += '\'';
    return text;
}

/// One of the two paths, as given and in the system's form; "-" stands for standard input or
/// output.
struct Path {
    std::string_view given;
    std::filesystem::path native;  // empty for "-"

    explicit Path(std::string_view bytes) : given(bytes) {
        if (isStandard()) return;
        try {
            native = pelmo::toNativePath(bytes);
        } catch (const std::system_error&) {
            throw Failure(quoted(bytes) + " is not a valid UTF-8 path");
        }
    }
    bool isStandard() const { return given == "-"; }
};

std::string readFailure(const Path& input, const std::system_error& failure) {
    const std::string name = input.isStandard() ? "standard input" : quoted(input.given);
    return "cannot read " + name + ": " + failure.code().message();
}

/// Opens the input, or returns nothing for a path where nothing exists.
std::optional<pelmo::InputFile> openInput(const Path& input) {
    if (input.isStandard()) return pelmo::InputFile::standardInput();
    try {
        if (!pelmo::pathExists(input.native)) {
            // Without this, a mistyped option would be read as an empty input, and the output
            // path, perhaps the real input, overwritten with {}.
            if (input.given.front() == '-') {
                throw Failure("no input file " + quoted(input.given) +
                              " (kessa2json takes no options)");
            }
            report("warning: " + quoted(input.given) + " does not exist; writing {}");
            return std::nullopt;
        }
        return pelmo::InputFile(input.native);
    } catch (const std::system_error& failure) {
        throw Failure(readFailure(input, failure));
    }
}

std::string writeFailure(const Path& output, const std::system_error& failure) {
    const std::string name = output.isStandard() ? "to standard output" : quoted(output.given);
    return "cannot write " + name + ": " + failure.code().message();
}

/// The report of a malformed input: where the fault is, as a line number and a byte offset, and
/// what it is.
std::string syntaxFailure(const Path& input, std::string_view text,
                          const kessa::SyntaxError& error) {
    const std::size_t offset = static_cast<std::size_t>(error.offset());
    const auto line = 1 + std::count(text.begin(), text.begin() + offset, '\n');
    const std::string name = input.isStandard() ? "<stdin>" : pelmo::detail::printable(input.given);
    return name + ":" + std::to_string(line) + ": " + pelmo::detail::printable(error.describe()) +
           " (byte offset " + std::to_string(offset) + ")";
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

}  // namespace

int runKessa2json(int argc, char** argv) {
    if (argc < 3) {
        std::fputs(kUsage, stdout);
        return 1;
    }
    try {
        const Path input(argv[1]), output(argv[2]);
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
