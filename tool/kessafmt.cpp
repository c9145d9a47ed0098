// kessafmt: lays kessa files out again in the one layout of kessa::formatKessa, to standard output,
// in place (-w), as a list of the files whose layout differs (--check) or as a unified diff
// (--diff). Each file is formatted alone: one that fails is reported and left as it was, and the
// others are still done. A program of its own rather than a mode of kessa2json, whose two paths
// mean an input and an output: a formatter takes any number of files, as gofmt and shfmt do.
//
// Nothing is written for a malformed file: the text is checked whole before any of its formatted
// text goes out. A file rewritten in place is replaced whole as kessa2json replaces its output,
// and one already formatted is not touched at all.
//
// Exit status, as ruff and prettier have it: 0 done, or nothing to change; 1 --check or --diff
// found a file to change; 2 a failure (a file malformed, unreadable or not written, wrong
// arguments), the worst of all files.

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "kessa/format.h"
#include "kessa/reader.h"
#include "pelmo/file/file_sink.h"
#include "pelmo/file/input_file.h"
#include "pelmo/file/output_file.h"
#include "tool/driver.h"
#include "tool/main.h"
#include "tool/unified_diff.h"

namespace {

constexpr char kProgram[] = "kessafmt";

constexpr char kUsage[] =
    "usage: kessafmt [-w | --check | --diff] [--indent N|tab] [<kessa-file>...]\n"
    "       kessafmt --help | -h | --version\n";

constexpr char kHelp[] =
    "\n"
    "Lays kessa files out in one layout and writes them to standard output; without a file,\n"
    "or for -, reads standard input. Only the layout changes: keys and values keep their text,\n"
    "and the file converts to the same JSON, byte for byte. Each file is formatted alone; a\n"
    "malformed or unreadable one is reported and left as it was, and the others are still done.\n"
    "\n"
    "  -w, --write     rewrites each file whose layout differs, replaced whole; a file that is\n"
    "                  already formatted is not touched\n"
    "  --check         lists the files whose layout differs, one a line, and writes nothing\n"
    "  --diff          prints a unified diff of what formatting changes, and writes nothing\n"
    "  --indent N|tab  indents N spaces a level (1 to 16, 4 by default), or a tab\n"
    "\n"
    "An argument is an option only where no file of its name exists; after -- none is.\n"
    "\n"
    "Exit status: 0 done, nothing to change; 1 --check or --diff found files to change;\n"
    "2 failure, such as a malformed or unreadable file (one line on standard error each) or\n"
    "wrong arguments. The manual, man kessafmt, shows the layout.\n";

#ifdef _WIN32
// A mapped file cannot be replaced on Windows: one to be rewritten is read whole first.
constexpr bool kCopyToRewrite = true;
#else
constexpr bool kCopyToRewrite = false;
#endif

using driver::Failure;
using driver::Path;
using driver::quoted;

enum class Mode { Print, Write, Check, Diff };

struct Options {
    Mode mode = Mode::Print;
    std::string_view modeName;
    kessa::Layout layout;
    std::vector<std::string_view> inputs;
};

/// Wrong arguments: the reason goes to standard error, and the usage after it.
class UsageError : public Failure {
public:
    using Failure::Failure;
};

/// A failure to write standard output, which ends the run: every later file would meet it too.
class OutputFailure : public Failure {
public:
    using Failure::Failure;
};

/// Whether `arg` can be an option: it begins with "-", is more than that, and names no file.
bool looksLikeOption(std::string_view arg) {
    return arg.size() >= 2 && arg.front() == '-' && !driver::exists(arg);
}

void setIndent(kessa::Layout& layout, std::string_view value) {
    if (value == "tab") {
        layout.tabs = true;
        layout.indent = kessa::Layout{}.indent;  // the columns of a tab, for the width
        return;
    }
    unsigned spaces = 0;
    const char* const end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, spaces);
    if (error != std::errc() || stop != end || spaces < 1 || spaces > 16) {
        throw UsageError("--indent takes a number of spaces from 1 to 16, or tab, not " +
                         quoted(value));
    }
    layout.tabs = false;
    layout.indent = spaces;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnd || !looksLikeOption(arg)) {
            options.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        Mode mode = Mode::Print;
        if (arg == "-w" || arg == "--write") {
            mode = Mode::Write;
        } else if (arg == "--check") {
            mode = Mode::Check;
        } else if (arg == "--diff") {
            mode = Mode::Diff;
        } else if (arg == "--indent") {
            if (i + 1 == argc) throw UsageError("--indent needs a value");
            setIndent(options.layout, argv[++i]);
            continue;
        } else if (arg.rfind("--indent=", 0) == 0) {
            setIndent(options.layout, arg.substr(std::strlen("--indent=")));
            continue;
        } else {
            throw UsageError("unknown option " + quoted(arg));
        }
        if (options.mode != Mode::Print && options.mode != mode) {
            throw UsageError(std::string(options.modeName) + " and " + std::string(arg) +
                             " do not go together; give one of -w, --check and --diff");
        }
        options.mode = mode;
        options.modeName = arg;
    }
    if (options.inputs.empty()) options.inputs.push_back("-");
    if (options.mode == Mode::Write &&
        std::find(options.inputs.begin(), options.inputs.end(), "-") != options.inputs.end()) {
        throw UsageError(std::string(options.modeName) +
                         " rewrites files, and standard input is none; name the files to rewrite");
    }
    return options;
}

/// Raised by Comparison at the first byte that differs.
struct Differs {};

/// Compares the text it is given with `expected`, a chunk at a time, and raises Differs at the
/// first difference: a formatted file is found out without a copy of it.
class Comparison final : public pelmo::TextSink {
public:
    explicit Comparison(std::string_view expected) : rest_(expected) {}

    void write(const char* data, std::size_t size) override {
        if (size > rest_.size() || std::memcmp(data, rest_.data(), size) != 0) throw Differs{};
        rest_.remove_prefix(size);
    }
    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

/// Whether formatting changes `text`. Raises kessa::SyntaxError for a malformed text, though not
/// always for one whose layout differs before its fault.
bool layoutDiffers(std::string_view text, const kessa::Layout& layout) {
    Comparison comparison(text);
    try {
        kessa::formatKessa(text, comparison, layout);
    } catch (const Differs&) {
        return true;
    }
    return !comparison.atEnd();
}

/// Writes the formatted text of `text` to `sink`, from a second thread where that pays; `checked`
/// says whether the text is known to be well-formed.
void writeFormatted(std::string_view text, pelmo::TextSink& sink, const kessa::Layout& layout,
                    bool checked) {
    driver::writeText(text, sink, checked, [text, &layout](pelmo::TextSink& next) {
        kessa::formatKessa(text, next, layout);
    });
}

std::string changeFailure(const Path& input, const char* consequence) {
    const std::string name = input.isStandard() ? "standard input" : quoted(input.given);
    return name + " changed while it was formatted; " + consequence;
}

/// The run over all inputs: what was done, and standard output.
class Run {
public:
    explicit Run(const Options& options) : options_(options) {}

    /// Formats one input as the mode says; returns its part of the exit status, 0 or 1, and
    /// raises Failure for a failure of its own, OutputFailure for one of standard output.
    int format(std::string_view given) {
        const Path input(given);
        driver::refuseEmpty(input, "input");
        if (!firstTime(input)) return 0;
        std::optional<pelmo::InputFile> file;
        std::string_view text;
        try {
            file.emplace(input.isStandard() ? pelmo::InputFile::standardInput()
                                            : pelmo::InputFile(input.native));
            text = file->read(kCopyToRewrite && options_.mode == Mode::Write);
        } catch (const std::system_error& failure) {
            throw Failure(driver::readFailure(input, failure));
        }
        const auto malformed = [&](const kessa::SyntaxError& error) {
            if (file->changed()) return Failure(changeFailure(input, "format it again"));
            return Failure(driver::syntaxFailure(input, text, error));
        };
        const Mode mode = options_.mode;

        if (mode == Mode::Print) {
            try {
                kessa::checkKessa(text);
                print(text);
            } catch (const kessa::SyntaxError& error) {
                // After the check, only a text that changed since.
                throw malformed(error);
            }
            if (file->changed())
                throw Failure(changeFailure(input, "the output may be incomplete"));
            return 0;
        }
        bool differs = false;
        try {
            differs = layoutDiffers(text, options_.layout);
            if (differs && mode == Mode::Write) {
                // Checked as it is written, and dropped for a fault; it looks for a change itself.
                rewrite(input, *file, text);
                return 0;
            }
            if (differs) kessa::checkKessa(text);
        } catch (const kessa::SyntaxError& error) {
            throw malformed(error);
        }
        if (file->changed()) throw Failure(changeFailure(input, "format it again"));
        if (!differs) return 0;
        try {
            if (mode == Mode::Check) {
                const std::string line = driver::inputName(input) + "\n";
                out_.write(line.data(), line.size());
            } else {
                tool::unifiedDiff(driver::inputName(input), text,
                                  kessa::formatKessa(text, options_.layout), out_);
            }
        } catch (const std::system_error& failure) {
            throw outputFailure(failure);
        }
        return 1;
    }

private:
    /// Whether `input` is met for the first time: the same file named twice, as a wildcard and
    /// a name may give, is done once.
    bool firstTime(const Path& input) {
        if (input.isStandard()) return !std::exchange(readStandardInput_, true);
        std::error_code error;
        std::filesystem::path key = std::filesystem::weakly_canonical(input.native, error);
        if (error) key = input.native;
        return done_.insert(std::move(key)).second;
    }

    /// Writes the formatted text of `text`, known to be well-formed, to standard output.
    void print(std::string_view text) {
        try {
            writeFormatted(text, out_, options_.layout, true);
        } catch (const std::system_error& failure) {
            throw outputFailure(failure);
        }
    }

    static OutputFailure outputFailure(const std::system_error& failure) {
        return OutputFailure("cannot write to standard output: " + failure.code().message());
    }

    /// Replaces the file at `input`, whose text is `text`, with its formatted text, as kessa2json
    /// replaces its output; one that cannot be replaced is written in place. Raises
    /// kessa::SyntaxError for a malformed text, which leaves the file as it was.
    void rewrite(const Path& input, const pelmo::InputFile& file, std::string_view text) {
        std::optional<pelmo::OutputFile> out;
        try {
            out.emplace(input.native);
        } catch (const std::system_error& failure) {
            throw Failure(writeFailure(input, failure));
        }
        const bool inPlace = out->route() == pelmo::OutputFile::Route::InPlace;
        std::string copy;
        if (inPlace) {
            // Written in place, the file's own pages would change under the reading, and it is
            // truncated: the text is read whole and checked first, and a change since the reading
            // is the last one seen.
            copy.assign(text);
            text = copy;
            if (file.changed()) throw Failure(changeFailure(input, "format it again"));
            kessa::checkKessa(text);
        }
        try {
            out->open();
            writeFormatted(text, *out, options_.layout, inPlace);
        } catch (const std::system_error& failure) {
            throw Failure(writeFailure(input, failure));
        }
        // A replacement made from a text that changed is dropped, and the file left as it is.
        if (!inPlace && file.changed()) throw Failure(changeFailure(input, "format it again"));
        try {
            out->commit();
        } catch (const std::system_error& failure) {
            throw Failure(writeFailure(input, failure));
        }
    }

    const Options& options_;
    pelmo::FileSink out_ = pelmo::FileSink::standardOutput();
    std::set<std::filesystem::path> done_;
    bool readStandardInput_ = false;
};

/// Whether the arguments ask for `name` (or `alias`) before any "--": it wins over the rest.
bool asks(int argc, char** argv, std::string_view name, std::string_view alias = {}) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--" && !driver::exists(arg)) return false;
        if ((arg == name || (!alias.empty() && arg == alias)) && !driver::exists(arg)) return true;
    }
    return false;
}

}  // namespace

int runProgram(int argc, char** argv) {
    if (asks(argc, argv, "--help", "-h")) {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (asks(argc, argv, "--version")) {
        std::fputs("kessafmt " KESSA2JSON_VERSION "\n", stdout);
        return 0;
    }
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const UsageError& error) {
        // Standard output is the formatted text, so the usage goes with the reason.
        driver::report(error.what(), kProgram);
        std::fputs(kUsage, stderr);
        return 2;
    }
    int status = 0;
    try {
        Run run(options);
        for (const std::string_view input : options.inputs) {
            int part = 2;
            try {
                part = run.format(input);
            } catch (const OutputFailure&) {
                throw;
            } catch (const Failure& failure) {
                driver::report(failure.what(), kProgram);
            } catch (const std::bad_alloc&) {
                driver::report("out of memory", kProgram);
            }
            status = std::max(status, part);
        }
        return status;
    } catch (const Failure& failure) {
        driver::report(failure.what(), kProgram);
    } catch (const std::bad_alloc&) {
        driver::report("out of memory", kProgram);
    } catch (const std::exception& failure) {
        driver::report(failure.what(), kProgram);
    } catch (...) {
        driver::report("unexpected failure", kProgram);
    }
    return 2;
}
