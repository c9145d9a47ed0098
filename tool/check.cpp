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
#include "kessa/schema.h"
#include "kessa/schema_fetch.h"
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
    "                           [--severity note|warning|error] [--schema FILE]\n"
    "                           [--schema-draft 4|6|7|2019-09|2020-12] [--resolve FILE|DIR]...\n"
    "                           <in-kessa-file>...\n";

/// What the options of --check ask for.
struct Options {
    report::Format format = report::Format::Text;
    std::bitset<kessa::kFindingKindCount> ignored;
    kessa::Severity least = kessa::Severity::Note;
    std::optional<std::string_view> schema;
    kessa::SchemaOptions schemaOptions;
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
        const bool takesValue = name == "--format" || name == "--ignore" || name == "--severity" ||
                                name == "--schema" || name == "--schema-draft" ||
                                name == "--resolve";
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
        if (name == "--schema") {
            if (options.schema)
                throw UsageError("--schema is given twice; a check takes one schema");
            options.schema = value;
        } else if (name == "--resolve") {
            options.schemaOptions.resolve.emplace_back(value);
        } else if (name == "--schema-draft") {
            const auto draft = kessa::schemaDraftOfName(value);
            if (!draft) {
                throw UsageError("unknown draft " + shown +
                                 "; the drafts are 4, 6, 7, 2019-09 and 2020-12");
            }
            options.schemaOptions.draft = *draft;
        } else if (name == "--format") {
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

/// Whether the options ask for `finding`.
bool wanted(const kessa::Finding& finding, const Options& options) {
    return !options.ignored.test(static_cast<std::size_t>(finding.kind)) &&
           finding.severity() >= options.least;
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
        if (!wanted(finding, options_)) return;
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
                             finding.bytes.size(), finding.pointer, finding.keyword});
    }

    const Options& options_;
    report::Report& report_;
    kessa::PositionCounter starts_, ends_;
    std::vector<Entry> window_;
    std::uint64_t count_ = 0;
};

/// A schema's findings of one input, kept with their words, handed on among the notation's in
/// document order: each before the first of the notation's that comes after it.
class SchemaFindings final : public kessa::FindingHandler {
public:
    SchemaFindings(std::string_view text, const kessa::Schema& schema, kessa::FindingHandler& next)
        : next_(next) {
        kessa::checkSchemaFindings(text, schema, *this);
    }

    void found(const kessa::Finding& finding) override {
        if (collecting_) {
            kept_.push_back({finding, std::string(finding.message), std::string(finding.pointer),
                             std::string(finding.keyword)});
            return;
        }
        passUpTo(finding.offset);
        next_.found(finding);
    }

    /// From now on, findings come from the notation's check, to be merged.
    void merge() { collecting_ = false; }
    /// Hands on those left.
    void finish() { passUpTo(UINT64_MAX); }

private:
    struct Kept {
        kessa::Finding finding;
        std::string message, pointer, keyword;
    };

    void passUpTo(std::uint64_t offset) {
        for (; nextKept_ != kept_.size() && kept_[nextKept_].finding.offset <= offset;
             ++nextKept_) {
            Kept& kept = kept_[nextKept_];
            kept.finding.message = kept.message;
            kept.finding.pointer = kept.pointer;
            kept.finding.keyword = kept.keyword;
            next_.found(kept.finding);
        }
    }

    kessa::FindingHandler& next_;
    std::vector<Kept> kept_;
    std::size_t nextKept_ = 0;
    bool collecting_ = true;
};

std::string checkChangeFailure(const driver::Path& input) {
    return driver::quoted(input.given) + " changed while it was checked; check it again";
}

/// Checks one input and reports it; returns its part of the exit status.
int checkInput(std::string_view given, const Options& options, const kessa::Schema* schema,
               report::Report& report) {
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
    std::optional<SchemaFindings> schemaFindings;
    try {
        // A malformed text is refused by the schema's check before any finding, and then by the
        // notation's with its findings before the fault.
        if (schema != nullptr) schemaFindings.emplace(text, *schema, collector);
    } catch (const kessa::SyntaxError&) {
    }
    kessa::FindingHandler& handler =
        schemaFindings ? static_cast<kessa::FindingHandler&>(*schemaFindings) : collector;
    if (schemaFindings) schemaFindings->merge();
    try {
        kessa::checkKessaFindings(text, handler);
        if (schemaFindings) schemaFindings->finish();
    } catch (const kessa::SyntaxError& error) {
        collector.finish(true);
        if (file && file->changed()) return fail(checkChangeFailure(*input));
        const std::uint64_t length = error.length(text);
        report.fault(Item{
            report::kMalformed, kessa::Severity::Error, pelmo::detail::printable(error.describe()),
            kessa::positionAt(text, error.offset()),
            kessa::positionAt(text, error.offset() + length), error.offset(), length});
        return malformed(driver::syntaxFailure(*input, text, error));
    }
    collector.finish(false);
    if (file && file->changed()) return fail(checkChangeFailure(*input));
    report.endInput();
    return collector.count() == 0 ? 0 : 3;
}

/// What is said once of the schema, as findings in its own file. They say nothing of the
/// inputs, so they do not make the status 3.
void reportNotices(const kessa::Schema& schema, const Options& options, report::Report& report) {
    std::string_view file;
    for (const kessa::SchemaNotice& notice : schema.notices()) {
        const kessa::Finding finding{notice.kind, notice.offset, {}};
        if (!wanted(finding, options)) continue;
        if (notice.file != file) {
            if (!file.empty()) report.endInput();
            file = notice.file;
            report.beginInput({pelmo::detail::printable(file), file});
        }
        report.finding(Item{finding.code(), finding.severity(), notice.message, notice.start,
                            notice.end, notice.offset, notice.length});
    }
    if (!file.empty()) report.endInput();
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
        std::optional<kessa::Schema> schema;
        if (options.schema) {
            options.schemaOptions.fetch = kessa::httpSchemaFetch();
            schema.emplace(kessa::Schema::load(*options.schema, options.schemaOptions));
        }
        report = report::makeReport(options.format);
        if (schema) reportNotices(*schema, options, *report);
        for (const std::string_view input : options.inputs) {
            const int part = checkInput(input, options, schema ? &*schema : nullptr, *report);
            // A malformed or unreadable input outweighs findings elsewhere.
            if (part == 2 || status == 0) status = part;
        }
        report->finish(status);
        return status;
    } catch (const Failure& failure) {
        driver::report(failure.what());
    } catch (const kessa::SchemaError& error) {
        driver::report(pelmo::detail::printable(error.what()));
    } catch (const std::bad_alloc&) {
        driver::report("out of memory");
    } catch (const std::exception& failure) {
        driver::report(failure.what());
    } catch (...) {
        driver::report("unexpected failure");
    }
    return 2;
}
