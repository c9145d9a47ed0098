#include "tool/check.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <vector>

#include "kessa/findings.h"
#include "kessa/text_position.h"
#include "pelmo/file/utf8.h"
#include "tool/driver.h"
#include "tool/report.h"

namespace {

using driver::Failure;
using report::Item;
using report::kListedFindings;

constexpr char kUsage[] =
    "syntax: kessa2json --check [--format text|json|sarif|github] [--ignore CODE[,CODE...]]\n"
    "                           [--severity note|warning|error] <in-kessa-file>...\n";

/// What the options of --check ask for.
struct Options {
    report::Format format = report::Format::Text;
    std::bitset<kessa::kFindingKindCount> ignored;
    kessa::Severity least = kessa::Severity::Note;
    std::vector<std::string_view> inputs;
};

/// Wrong arguments: the reason goes to standard error and the usage text to standard output.
class UsageError : public std::exception {
public:
    explicit UsageError(std::string reason) : reason_(std::move(reason)) {}
    const char* what() const noexcept override { return reason_.c_str(); }

private:
    std::string reason_;
};

/// Reads the options and the inputs. An argument that names an existing file is always an input;
/// an option's value is the next argument, or follows "=".
Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string_view name = arg, value;
        const std::size_t equals = arg.find('=');
        const bool joined = arg.rfind("--", 0) == 0 && equals != std::string_view::npos;
        if (joined) name = arg.substr(0, equals);
        const bool takesValue = name == "--format" || name == "--ignore" || name == "--severity";
        if ((!takesValue && arg != "--check") || driver::exists(arg)) {
            options.inputs.push_back(arg);
            continue;
        }
        if (arg == "--check") continue;
        if (joined) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            throw UsageError(std::string(name) + " needs a value");
        }
        const std::string shown = driver::quoted(value);
        if (name == "--format") {
            const auto format = report::formatOfName(value);
            if (!format) {
                throw UsageError("unknown format " + shown +
                                 "; the formats are text, json, sarif and github");
            }
            options.format = *format;
        } else if (name == "--severity") {
            const auto least = kessa::severityOfName(value);
            if (!least) {
                throw UsageError("unknown severity " + shown +
                                 "; the severities are note, warning and error");
            }
            options.least = *least;
        } else {
            // Empty items are none, so that an empty list ignores nothing.
            for (std::size_t start = 0; start <= value.size();) {
                const std::size_t comma = std::min(value.find(',', start), value.size());
                const std::string_view code = value.substr(start, comma - start);
                start = comma + 1;
                if (code.empty()) continue;
                const auto kind = kessa::kindOfCode(code);
                if (!kind) {
                    throw UsageError("unknown code " + driver::quoted(code) +
                                     " in --ignore; man kessa2json lists the codes");
                }
                options.ignored.set(static_cast<std::size_t>(*kind));
            }
        }
    }
    if (options.inputs.empty()) throw UsageError("");
    return options;
}

/// A finding waiting to be put in document order, which the reader does not keep for all: it
/// reports a few findings, such as a repeated key, only once a later value comes. Ties keep the
/// order of their reports.
struct Entry {
    kessa::Finding finding;
    std::uint64_t order;
    /// The heaps below put the greatest first.
    bool operator<(const Entry& other) const {
        return std::tie(finding.offset, order) < std::tie(other.finding.offset, other.order);
    }
    bool operator>(const Entry& other) const { return other < *this; }
};

/// Receives the findings of one input, leaves out those not asked for, and hands the others on
/// in document order: for a capped format the first kListedFindings, kept until the end, and for
/// the others all of them, each once a window of later ones has come.
class Collector final : public kessa::FindingHandler {
public:
    Collector(std::string_view text, const Options& options, report::Report& report)
        : options_(options), report_(report), starts_(text), ends_(text) {}

    void found(const kessa::Finding& finding) override {
        if (options_.ignored.test(static_cast<std::size_t>(finding.kind)) ||
            finding.severity() < options_.least) {
            return;
        }
        const Entry entry{finding, count_++};
        if (report_.capped()) {
            keepFirst(entry);
            return;
        }
        window_.push_back(entry);
        std::push_heap(window_.begin(), window_.end(), std::greater<>());
        if (window_.size() > kWindow) passFirst();
    }

    /// Hands on what is kept; for a malformed input, a capped format lists none of it.
    void finish(bool malformed) {
        if (report_.capped()) {
            if (malformed) return;
            std::sort_heap(window_.begin(), window_.end());
            for (const Entry& entry : window_) pass(entry.finding);
            if (count_ > kListedFindings) report_.more(count_ - kListedFindings);
            return;
        }
        while (!window_.empty()) passFirst();
    }

    std::uint64_t count() const { return count_; }

private:
    /// How many findings wait to be put in order: far more than the reader ever reports late
    /// but for a key left waiting past thousands of others, and little memory.
    static constexpr std::size_t kWindow = 4096;

    void keepFirst(const Entry& entry) {
        if (window_.size() < kListedFindings) {
            window_.push_back(entry);
            std::push_heap(window_.begin(), window_.end());
        } else if (entry < window_.front()) {
            std::pop_heap(window_.begin(), window_.end());
            window_.back() = entry;
            std::push_heap(window_.begin(), window_.end());
        }
    }

    void passFirst() {
        std::pop_heap(window_.begin(), window_.end(), std::greater<>());
        pass(window_.back().finding);
        window_.pop_back();
    }

    void pass(const kessa::Finding& finding) {
        // Two counters, since the end of one finding may lie past the start of the next.
        const std::uint64_t end = finding.offset + finding.bytes.size();
        report_.finding(Item{finding.code(), finding.severity(), kessa::describe(finding),
                             starts_.at(finding.offset), ends_.at(end), finding.offset,
                             finding.bytes.size()});
    }

    const Options& options_;
    report::Report& report_;
    kessa::PositionCounter starts_, ends_;
    std::vector<Entry> window_;
    std::uint64_t count_ = 0;
};

std::string changeFailure(const driver::Path& input) {
    return driver::quoted(input.given) + " changed while it was checked; check it again";
}

/// Checks one input and reports it; returns its part of the exit status.
int checkInput(std::string_view given, const Options& options, report::Report& report) {
    report.beginInput({given == "-" ? "<stdin>" : pelmo::detail::printable(given), given});
    const auto fail = [&report](const std::string& reason) {
        driver::report(reason);
        report.failure(reason);
        report.endInput();
        return 2;
    };
    const auto malformed = [&report](const std::string& line) {
        driver::report(line);
        report.endInput();
        return 2;
    };
    std::optional<pelmo::InputFile> file;
    std::string_view text;
    std::optional<driver::Path> input;
    try {
        input.emplace(given);
        // Nothing to check is a failure here, not an empty text; a name that begins with "-"
        // gets the conversion's reason.
        driver::refuseEmpty(*input, "input");
        if (!input->isStandard() && given.front() != '-' && !driver::exists(given)) {
            const std::system_error missing(
                std::make_error_code(std::errc::no_such_file_or_directory));
            throw Failure(driver::readFailure(*input, missing));
        }
        file = driver::openInput(*input);
        if (file) text = file->read(false);
    } catch (const Failure& failure) {
        return fail(failure.what());
    } catch (const std::system_error& failure) {
        return fail(driver::readFailure(*input, failure));
    }

    Collector collector(text, options, report);
    try {
        kessa::checkKessaFindings(text, collector);
    } catch (const kessa::SyntaxError& error) {
        collector.finish(true);
        if (file && file->changed()) return fail(changeFailure(*input));
        const std::uint64_t length = error.length(text);
        report.fault(Item{
            report::kMalformed, kessa::Severity::Error, pelmo::detail::printable(error.describe()),
            kessa::positionAt(text, error.offset()),
            kessa::positionAt(text, error.offset() + length), error.offset(), length});
        return malformed(driver::syntaxFailure(*input, text, error));
    }
    collector.finish(false);
    if (file && file->changed()) return fail(changeFailure(*input));
    report.endInput();
    return collector.count() == 0 ? 0 : 3;
}

}  // namespace

int runCheck(int argc, char** argv) {
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const UsageError& error) {
        if (*error.what() != '\0') driver::report(error.what());
        std::fputs(kUsage, stdout);
        return 1;
    }
    std::unique_ptr<report::Report> report;
    int status = 0;
    try {
        report = report::makeReport(options.format);
        for (const std::string_view input : options.inputs) {
            const int part = checkInput(input, options, *report);
            // A malformed or unreadable input outweighs findings elsewhere.
            if (part == 2 || status == 0) status = part;
        }
        report->finish(status);
        return status;
    } catch (const Failure& failure) {
        driver::report(failure.what());
    } catch (const std::bad_alloc&) {
        driver::report("out of memory");
    } catch (const std::exception& failure) {
        driver::report(failure.what());
    } catch (...) {
        driver::report("unexpected failure");
    }
    return 2;
}
