#pragma once

// What the tool's commands share: their failures, the paths they are given, the input's opening
// and the report of a malformed input.

#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "kessa/reader.h"
#include "pelmo/file/input_file.h"
#include "pelmo/file/output_file.h"
#include "pelmo/json/text_sink.h"

namespace driver {

/// A failure of the run, with the whole line that reports it.
class Failure : public std::exception {
public:
    explicit Failure(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

/// Writes `program`, ": " and `line` to standard error.
void report(const std::string& line, std::string_view program = "kessa2json");

/// Calls `write` with the sink to write what `text` gives to `out`: from a second thread
/// (pelmo::BackgroundSink) for an input of a MiB or more where one can be started, and where the
/// text is not `checked` already, through a guard that checks it whole once the written text grows
/// past what a well-formed text of its size gives but rarely. Deep nesting makes the text grow with
/// the square of the depth, and a text that never closes its braces must not fill the disk before
/// its fault is found: the guard raises kessa::SyntaxError from that check.
void writeText(std::string_view text, pelmo::TextSink& out, bool checked,
               const std::function<void(pelmo::TextSink&)>& write);

/// writeText with the guard's `check` given (none where the text is checked already): it raises
/// for a text that is not well-formed, and returns for one that is.
void writeGuarded(std::string_view text, pelmo::TextSink& out, const std::function<void()>* check,
                  const std::function<void(pelmo::TextSink&)>& write);

/// A path as the messages show it: in single quotes, with unprintable bytes as \xNN.
std::string quoted(std::string_view path);

/// One of the paths, as given and in the system's form; "-" stands for standard input or
/// output.
struct Path {
    std::string_view given;
    std::filesystem::path native;  // empty for "-"

    /// Raises Failure for a path that is not UTF-8.
    explicit Path(std::string_view bytes);
    bool isStandard() const { return given == "-"; }
};

/// Whether something exists at `path` (never raises: a path that cannot name one names none).
bool exists(std::string_view path);

std::string readFailure(const Path& input, const std::system_error& failure);

/// Raises Failure for an empty path: it names no file, and an empty native path would stand for
/// standard output; most likely an unset variable. `which` is "input" or "output".
void refuseEmpty(const Path& path, const char* which);

/// Raises Failure for an input path that begins with "-" and names nothing: most likely an option.
void refuseOptionLikeInput(const Path& input);

/// Opens the input, or returns nothing for a path where nothing exists.
std::optional<pelmo::InputFile> openInput(const Path& input);

/// Whether `arg` is the option `name`: an argument that names an existing file is always a path.
bool isOption(std::string_view arg, std::string_view name);

std::string writeFailure(const Path& output, const std::system_error& failure);

/// The failure of a conversion whose input changed while it was read.
std::string changeFailure(const Path& input);

/// The output of a conversion, replaced whole where it can be. On Windows a mapped file cannot
/// be replaced, so an output that is the input is written in place there.
pelmo::OutputFile openOutput(const Path& output, bool sameFile);

/// Raises Failure for an output path that begins with "-" and names nothing: most likely a
/// misplaced option, which would create a file of that name.
void refuseOptionLikeOutput(const Path& output);

/// Whether arguments from `first` on name files: paths past a conversion's two mean, most
/// likely, that a wildcard expanded and the second path is one of the inputs. Those that name
/// nothing are ignored, for callers that pass extra words.
bool namesFilesPast(int argc, char** argv, int first);

/// Whether the output is an existing file of the input's kind (its name ends in `extension`)
/// other than the input: most likely a wildcard expanded to two files, and the conversion would
/// replace the second. The input itself, converted in place, is no such file.
bool outputIsAnother(const Path& input, const Path& output, std::string_view extension);

/// The input as the lines of a malformed input name it: "<stdin>" or the path.
std::string inputName(const Path& input);

/// The report of a malformed input: where the fault is, as a line, a column and a byte offset,
/// and what it is.
std::string syntaxFailure(const Path& input, std::string_view text,
                          const kessa::SyntaxError& error);

}  // namespace driver
