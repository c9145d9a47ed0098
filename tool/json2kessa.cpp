// json2kessa: writes a JSON file as a kessa file, the mirror of kessa2json: the same paths, "-"
// for standard input or output, the output replaced whole (or, where it cannot be, written in
// place), never touched on a failure, and the same refusals of slips. The kessa text is in the
// layout of kessafmt, and converts back to the same JSON.
//
// Where some value has no kessa text (true, false, null, a string that reads as a number, ...),
// nothing is written: every such value is listed, with its JSON pointer, its place in the JSON
// and why, in the formats of kessa2json --check, and the status is 3. A replaced output is
// written as the text is read, and dropped for a malformed text or a value with no kessa text;
// one written in place (standard output, a device) only after a first reading found every value
// a text. Either way memory follows the nesting depth.
//
// Exit status: 0 written; 1 wrong arguments, after the usage text; 2 a failure, after one line
// on standard error; 3 values that no kessa text gives, listed on standard output.

#include <cstdio>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "kessa/json_to_kessa.h"
#include "kessa/text_position.h"
#include "pelmo/file/input_file.h"
#include "pelmo/file/output_file.h"
#include "pelmo/file/utf8.h"
#include "tool/driver.h"
#include "tool/main.h"
#include "tool/report.h"

namespace {

constexpr char kProgram[] = "json2kessa";

constexpr char kUsage[] =
    "syntax: json2kessa [--indent N|tab] [--format FORMAT] <in-json-file> <out-kessa-file>\n";

constexpr char kHelp[] =
    "usage: json2kessa [--indent N|tab] [--format FORMAT] <in-json-file> <out-kessa-file>\n"
    "       json2kessa --help | -h | --version\n"
    "\n"
    "Writes a JSON file (RFC 8259) as a kessa file, in the layout of kessafmt, that kessa2json\n"
    "converts back to the same JSON; - stands for standard input or output. Where some value\n"
    "has no kessa text (true, false, null, a string that reads as a number, ...), nothing is\n"
    "written, and each such value is listed with its JSON pointer, its place and why.\n"
    "\n"
    "A conversion is refused where a wildcard most likely expanded: when paths past the second\n"
    "name files, or the output is an existing .json file other than the input.\n"
    "\n"
    "  --indent N|tab   indents N spaces a level (1 to 16, 4 by default), or a tab\n"
    "  --format FORMAT  the list of values with no kessa text: text (the default), json, sarif\n"
    "                   (SARIF 2.1.0) or github (GitHub Actions workflow commands)\n"
    "\n"
    "Exit status: 0 written; 3 values with no kessa text, listed on standard output, nothing\n"
    "written; 2 failure, such as a malformed or unreadable input, with one line on standard\n"
    "error; 1 wrong arguments. The manual, man json2kessa, lists every code.\n";

using driver::Failure;
using driver::Path;
using driver::quoted;

/// A line on standard error, after the program's name.
void say(const std::string& line) {
    driver::report(line, kProgram);
}

/// Wrong arguments: the reason goes to standard error and the usage text to standard output.
struct UsageError {
    std::string reason;
};

struct Options {
    kessa::Layout layout;
    report::Format format = report::Format::Text;
    std::vector<std::string_view> paths;
};

/// The indentation as kessafmt takes it: 1 to 16 spaces, or tab.
kessa::Layout layoutOf(std::string_view value) {
    kessa::Layout layout;
    if (value == "tab") {
        layout.tabs = true;
        return layout;
    }
    unsigned spaces = 0;
    for (const char c : value) {
        if (c < '0' || c > '9' || spaces > 16) {
            spaces = 0;
            break;
        }
        spaces = spaces * 10 + static_cast<unsigned>(c - '0');
    }
    if (spaces < 1 || spaces > 16) {
        throw UsageError{"--indent takes a number of spaces from 1 to 16, or tab, not " +
                         quoted(value)};
    }
    layout.indent = spaces;
    return layout;
}

/// An argument is an option only where no file of its name exists; after "--" none is.
Options parseOptions(int argc, char** argv) {
    Options options;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnd || arg.size() < 2 || arg.front() != '-' || driver::exists(arg)) {
            options.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        if (name != "--indent" && name != "--format") {
            throw UsageError{"unknown option " + quoted(arg)};
        }
        std::string_view value;
        if (equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            throw UsageError{std::string(name) + " needs a value"};
        }
        if (name == "--indent") {
            options.layout = layoutOf(value);
        } else if (const auto format = report::formatOfName(value)) {
            options.format = *format;
        } else {
            throw UsageError{"unknown format " + quoted(value) +
                             "; the formats are text, json, sarif and github"};
        }
    }
    return options;
}

/// Keeps what the check finds: every refusal, and the first place of each kind of bytes strict
/// JSON readers refuse that the kessa text keeps.
class Collector final : public kessa::JsonToKessaHandler {
public:
    std::vector<kessa::JsonRefusal> refusals;
    std::optional<pelmo::JsonPlace> control, notUtf8;

    void refused(const kessa::JsonRefusal& refusal) override { refusals.push_back(refusal); }
    void kept(kessa::FindingKind kind, pelmo::JsonPlace place) override {
        auto& first = kind == kessa::FindingKind::ControlByte ? control : notUtf8;
        if (!first) first = place;
    }
};

/// Writing: what the check found already.
class Quiet final : public kessa::JsonToKessaHandler {
public:
    void refused(const kessa::JsonRefusal&) override {}
};

std::string jsonFailure(const Path& input, std::string_view text,
                        const pelmo::JsonSyntaxError& error) {
    const kessa::TextPosition at = kessa::positionAt(text, error.offset());
    return driver::inputName(input) + ":" + std::to_string(at.line) + ":" +
           std::to_string(at.column) + ": " + error.reason() + " (byte offset " +
           std::to_string(error.offset()) + ")";
}

/// Lists the refusals in the format asked for, and says on standard error that nothing was
/// written.
void reportRefusals(const Path& input, std::string_view text, const Collector& found,
                    report::Format format) {
    const auto out = report::makeReport(format, {kProgram, "The text is not JSON (RFC 8259)."});
    out->beginInput({driver::inputName(input), input.given});
    kessa::PositionCounter starts(text), ends(text);
    for (const kessa::JsonRefusal& refusal : found.refusals) {
        std::string message = refusal.pointer.empty() ? "" : refusal.pointer + ": ";
        message += pelmo::detail::printable(refusal.message);
        const std::uint64_t end = refusal.place.offset + refusal.place.length;
        out->finding({kessa::code(refusal.reason),
                      kessa::severity(refusal.reason),
                      std::move(message),
                      starts.at(refusal.place.offset),
                      ends.at(end),
                      refusal.place.offset,
                      refusal.place.length,
                      refusal.pointer,
                      {},
                      true});
    }
    out->endInput();
    out->finish(3);
    const std::size_t count = found.refusals.size();
    say(driver::inputName(input) + ": " + std::to_string(count) +
        (count == 1 ? " value has" : " values have") +
        " no kessa text, so nothing was written (man json2kessa tells what to write instead)");
}

/// The warning for bytes strict readers refuse, which the kessa text keeps as they are.
void warnOfKept(const Path& input, std::string_view text, const Collector& found) {
    const auto warn = [&](const std::optional<pelmo::JsonPlace>& place, const char* what,
                          std::string_view code) {
        if (!place) return;
        const kessa::TextPosition at = kessa::positionAt(text, place->offset);
        say("warning: " + driver::inputName(input) + ":" + std::to_string(at.line) + ":" +
            std::to_string(at.column) + ": a string holds " + what +
            ", which strict JSON readers refuse; the kessa text keeps it, and its JSON holds it "
            "again [" +
            std::string(code) + "]");
    };
    warn(found.control, "a control byte", "control-byte");
    warn(found.notUtf8, "bytes that are not UTF-8", "not-utf8");
}

/// Returns the status: 0 written, 3 refused.
int convert(const Path& input, const Path& output, const Options& options) {
    // Nothing to read is an error here: an empty text is not JSON.
    if (!input.isStandard() && !driver::exists(input.given)) {
        const std::system_error missing(std::make_error_code(std::errc::no_such_file_or_directory));
        throw Failure(driver::readFailure(input, missing));
    }
    std::optional<pelmo::InputFile> file = driver::openInput(input);
    const bool sameFile = file && file->isSameFileAs(output.native);
    pelmo::OutputFile out = driver::openOutput(output, sameFile);
    const bool inPlace = out.route() == pelmo::OutputFile::Route::InPlace;
    std::string_view text;
    try {
        if (file) text = file->read(sameFile && inPlace);
    } catch (const std::system_error& failure) {
        throw Failure(driver::readFailure(input, failure));
    }

    kessa::JsonToKessaOptions convertOptions;
    convertOptions.layout = options.layout;
    Collector found;
    const auto malformed = [&](const pelmo::JsonSyntaxError& error) {
        if (file && file->changed()) return Failure(driver::changeFailure(input));
        return Failure(jsonFailure(input, text, error));
    };
    // In place, the output is truncated only once every value is known to have a text; a
    // replacement is written as the text is checked, and dropped where one has none.
    if (inPlace) {
        try {
            kessa::jsonToKessa(text, nullptr, found, convertOptions);
        } catch (const pelmo::JsonSyntaxError& error) {
            throw malformed(error);
        }
        if (!found.refusals.empty()) {
            reportRefusals(input, text, found, options.format);
            return 3;
        }
    }
    try {
        out.open();
        Quiet quiet;
        kessa::JsonToKessaHandler& handler =
            inPlace ? static_cast<kessa::JsonToKessaHandler&>(quiet) : found;
        // Deep nesting makes the kessa text grow with the square of the depth: a JSON that is
        // never closed must not fill the disk before its fault is found.
        struct Ignore final : pelmo::JsonHandler {
            void openObject(pelmo::JsonPlace) override {}
            void closeObject() override {}
            void openArray(pelmo::JsonPlace) override {}
            void closeArray() override {}
            void key(std::string_view, unsigned, pelmo::JsonPlace) override {}
            void string(std::string_view, unsigned, pelmo::JsonPlace) override {}
            void number(std::string_view, pelmo::JsonPlace) override {}
            void literal(std::string_view, pelmo::JsonPlace) override {}
        };
        const std::function<void()> check = [text] {
            Ignore ignore;
            pelmo::readJson(text, ignore);
        };
        driver::writeGuarded(text, out, inPlace ? nullptr : &check, [&](pelmo::TextSink& sink) {
            kessa::jsonToKessa(text, &sink, handler, convertOptions);
        });
    } catch (const pelmo::JsonSyntaxError& error) {
        if (inPlace) throw Failure(driver::changeFailure(input));  // it passed the check
        throw malformed(error);
    } catch (const std::system_error& failure) {
        throw Failure(driver::writeFailure(output, failure));
    }
    if (!found.refusals.empty()) {
        reportRefusals(input, text, found, options.format);  // the replacement is dropped
        return 3;
    }
    if (file && file->changed()) throw Failure(driver::changeFailure(input));
    try {
        out.commit();
    } catch (const std::system_error& failure) {
        throw Failure(driver::writeFailure(output, failure));
    }
    warnOfKept(input, text, found);
    return 0;
}

}  // namespace

int runProgram(int argc, char** argv) {
    const std::string_view first = argc >= 2 ? argv[1] : "";
    if (driver::isOption(first, "--help") || driver::isOption(first, "-h")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (driver::isOption(first, "--version")) {
        std::fputs("json2kessa " KESSA2JSON_VERSION "\n", stdout);
        return 0;
    }
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const UsageError& error) {
        say(error.reason);
        std::fputs(kUsage, stdout);
        return 1;
    }
    if (options.paths.size() < 2) {
        std::fputs(kUsage, stdout);
        return 1;
    }
    try {
        const Path input(options.paths[0]), output(options.paths[1]);
        driver::refuseOptionLikeInput(input);
        bool moreFiles = false;
        for (std::size_t i = 2; i < options.paths.size(); ++i) {
            moreFiles = moreFiles || driver::exists(options.paths[i]);
        }
        if (moreFiles) {
            say(std::to_string(options.paths.size()) +
                " paths were given, and a conversion takes two, an input and an output; did a "
                "wildcard expand?");
            std::fputs(kUsage, stdout);
            return 1;
        }
        if (driver::outputIsAnother(input, output, ".json")) {
            say("the output " + quoted(output.given) +
                " is a JSON file, which a conversion would replace with kessa; did a wildcard "
                "expand?");
            std::fputs(kUsage, stdout);
            return 1;
        }
        driver::refuseEmpty(input, "input");
        driver::refuseEmpty(output, "output");
        driver::refuseOptionLikeOutput(output);
        return convert(input, output, options);
    } catch (const Failure& failure) {
        say(failure.what());
    } catch (const std::bad_alloc&) {
        say("out of memory");
    } catch (const std::exception& failure) {
        say(failure.what());
    } catch (...) {
        say("unexpected failure");
    }
    return 2;
}
