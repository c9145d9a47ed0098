#include "tool/check.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <tuple>
#include <vector>

#include "kessa/findings.h"

namespace {

using driver::Failure;

/// Keeps the first findings by offset, in a heap of bounded size, and counts them all: the
/// reader reports a few of them late.
class FirstFindings final : public kessa::FindingHandler {
public:
    struct Entry {
        kessa::Finding finding;
        std::uint64_t order;  // ties keep the order of their reports
        bool operator<(const Entry& other) const {
            return std::tie(finding.offset, order) < std::tie(other.finding.offset, other.order);
        }
    };

    void found(const kessa::Finding& finding) override {
        const Entry entry{finding, count_++};
        if (kept_.size() < kListedFindings) {
            kept_.push_back(entry);
            std::push_heap(kept_.begin(), kept_.end());
        } else if (entry < kept_.front()) {
            std::pop_heap(kept_.begin(), kept_.end());
            kept_.back() = entry;
            std::push_heap(kept_.begin(), kept_.end());
        }
    }

    std::uint64_t count() const { return count_; }
    /// The findings kept, by offset.
    const std::vector<Entry>& sorted() {
        std::sort_heap(kept_.begin(), kept_.end());
        return kept_;
    }

private:
    std::vector<Entry> kept_;
    std::uint64_t count_ = 0;
};

std::string changeFailure(const driver::Path& input) {
    return driver::quoted(input.given) + " changed while it was checked; check it again";
}

}  // namespace

int checkFile(const driver::Path& input) {
    // Nothing to check is a failure here, not an empty text; a name that begins with "-" gets
    // the conversion's reason.
    if (!input.isStandard() && input.given.front() != '-' && !driver::exists(input.given)) {
        const std::system_error missing(std::make_error_code(std::errc::no_such_file_or_directory));
        throw Failure(driver::readFailure(input, missing));
    }
    std::optional<pelmo::InputFile> file = driver::openInput(input);
    std::string_view text;
    if (file) {
        try {
            text = file->read(false);
        } catch (const std::system_error& failure) {
            throw Failure(driver::readFailure(input, failure));
        }
    }

    FirstFindings findings;
    try {
        kessa::checkKessaFindings(text, findings);
    } catch (const kessa::SyntaxError& error) {
        if (file && file->changed()) throw Failure(changeFailure(input));
        throw Failure(driver::syntaxFailure(input, text, error));
    }
    if (file && file->changed()) throw Failure(changeFailure(input));

    const std::string name = driver::inputName(input);
    std::uint64_t line = 1, counted = 0;  // line breaks counted up to offset `counted`
    for (const FirstFindings::Entry& entry : findings.sorted()) {
        const kessa::Finding& finding = entry.finding;
        line += static_cast<std::uint64_t>(
            std::count(text.begin() + counted, text.begin() + finding.offset, '\n'));
        counted = finding.offset;
        const std::string report = name + ":" + std::to_string(line) + ": " +
                                   kessa::describe(finding) + " (byte offset " +
                                   std::to_string(finding.offset) + ")\n";
        std::fputs(report.c_str(), stdout);
    }
    if (findings.count() > kListedFindings) {
        std::printf("%s: %llu more findings\n", name.c_str(),
                    static_cast<unsigned long long>(findings.count() - kListedFindings));
    }
    if (std::fflush(stdout) != 0) {
        throw Failure("cannot write to standard output: " +
                      std::error_code(errno, std::generic_category()).message());
    }
    return findings.count() == 0 ? 0 : 3;
}
