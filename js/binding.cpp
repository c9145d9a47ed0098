// The WebAssembly module's interface: plain C functions over one input buffer and one result,
// which the package's JavaScript reads straight from the module's memory. A call copies the text
// in and the result out, and nothing else crosses.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/conversion.h"
#include "kessa/findings.h"
#include "kessa/reader.h"
#include "kessa/text_position.h"
#include "pelmo/file/utf8.h"

namespace {

/// What a call ended with, as the JavaScript side tells it apart.
enum Status : int { kDone = 0, kMalformed = 1, kOutOfMemory = 2, kFailed = 3 };

struct State {
    std::unique_ptr<char[]> input;
    std::size_t inputCapacity = 0;
    /// The JSON, or the messages: of the findings, separated by NUL bytes, or of the failure.
    std::string text;
    /// For each finding: its kind (kFindingKindCount for the fault of a malformed text), offset,
    /// length, line, column, end line and end column.
    std::vector<std::uint32_t> numbers;
};

State& state() {
    static State instance;
    return instance;
}

/// The fields of one item as the tool's JSON report gives them.
void addItem(std::uint32_t kind, std::uint64_t offset, std::uint64_t length,
             kessa::TextPosition start, kessa::TextPosition end) {
    const std::uint64_t fields[] = {kind,         offset,   length,    start.line,
                                    start.column, end.line, end.column};
    for (const std::uint64_t field : fields) {
        state().numbers.push_back(static_cast<std::uint32_t>(field));
    }
}

/// Runs `work` on the input and maps what it raises to a status. The fault of a malformed text
/// is added as the last item, after any that `work` left.
template <class Work>
int run(std::size_t size, Work work) {
    State& s = state();
    s.text.clear();
    s.numbers.clear();
    const std::string_view text(s.input.get(), size);
    try {
        work(text);
        return kDone;
    } catch (const kessa::SyntaxError& error) {
        try {
            const std::uint64_t length = error.length(text);
            s.text += pelmo::detail::printable(error.describe());
            s.text += '\0';
            addItem(static_cast<std::uint32_t>(kessa::kFindingKindCount), error.offset(), length,
                    kessa::positionAt(text, error.offset()),
                    kessa::positionAt(text, error.offset() + length));
            return kMalformed;
        } catch (const std::bad_alloc&) {
        }
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    } catch (const std::exception& failure) {
        s.text = failure.what();
        return kFailed;
    } catch (...) {
        s.text = "unexpected failure";
        return kFailed;
    }
    s.text.clear();
    s.numbers.clear();
    return kOutOfMemory;
}

/// Receives the findings, kept until the end to be put in document order: the reader reports a
/// few, such as a repeated key, only once a later value comes.
class Collector final : public kessa::FindingHandler {
public:
    void found(const kessa::Finding& finding) override { findings_.push_back(finding); }

    /// Adds the findings as items in document order, ties in the order of their reports.
    void finish(std::string_view text) {
        std::stable_sort(
            findings_.begin(), findings_.end(),
            [](const kessa::Finding& a, const kessa::Finding& b) { return a.offset < b.offset; });
        // Two counters, since the end of one finding may lie past the start of the next.
        kessa::PositionCounter starts(text), ends(text);
        State& s = state();
        for (const kessa::Finding& finding : findings_) {
            const std::uint64_t end = finding.offset + finding.bytes.size();
            addItem(static_cast<std::uint32_t>(finding.kind), finding.offset, finding.bytes.size(),
                    starts.at(finding.offset), ends.at(end));
            s.text += kessa::describe(finding);
            s.text += '\0';
        }
        findings_.clear();
    }

private:
    std::vector<kessa::Finding> findings_;
};

}  // namespace

extern "C" {

/// Room for an input of `size` bytes, for the caller to write the text into; null when memory
/// runs out. The room stays the caller's until the next call of kessa_input.
char* kessa_input(std::size_t size) {
    State& s = state();
    if (size > s.inputCapacity || size < s.inputCapacity / 4) {
        // Freed first, so that a smaller text gives back the memory of a larger one.
        s.input.reset();
        s.inputCapacity = 0;
        s.input.reset(new (std::nothrow) char[std::max<std::size_t>(size, 1)]);
        if (!s.input) return nullptr;
        s.inputCapacity = std::max<std::size_t>(size, 1);
    }
    return s.input.get();
}

/// Converts the first `size` bytes of the input: kDone with the indented JSON as the result
/// text, or kMalformed with the fault's message and item.
int kessa_convert(std::size_t size) {
    return run(size, [](std::string_view text) {
        std::string& out = state().text;
        // Room for the usual output at once, where memory allows.
        try {
            out.reserve(4 * text.size());
        } catch (const std::bad_alloc&) {
        }
        pelmo::StringSink sink(out);
        try {
            kessa::writeIndentedJson(text, sink);
        } catch (const kessa::SyntaxError&) {
            out.clear();  // what came before the fault
            throw;
        }
    });
}

/// Checks the first `size` bytes of the input: the items of the findings in document order, and
/// their messages, each ended by a NUL byte; for a malformed text, those met before the fault,
/// then the fault's.
int kessa_check(std::size_t size) {
    return run(size, [](std::string_view text) {
        Collector collector;
        try {
            kessa::checkKessaFindings(text, collector);
        } catch (const kessa::SyntaxError&) {
            collector.finish(text);
            throw;
        }
        collector.finish(text);
    });
}

/// The finding kinds: their codes as the result text, each ended by a NUL byte, and their
/// severities (0 note, 1 warning, 2 error) as the numbers.
int kessa_kinds() {
    return run(0, [](std::string_view) {
        for (std::size_t i = 0; i != kessa::kFindingKindCount; ++i) {
            const auto kind = static_cast<kessa::FindingKind>(i);
            state().text.append(kessa::code(kind)).append(1, '\0');
            state().numbers.push_back(static_cast<std::uint32_t>(kessa::severity(kind)));
        }
    });
}

const char* kessa_text() {
    return state().text.data();
}
std::size_t kessa_text_size() {
    return state().text.size();
}
const std::uint32_t* kessa_numbers() {
    return state().numbers.data();
}
std::size_t kessa_numbers_size() {
    return state().numbers.size();
}

/// Gives back the memory of the last result.
void kessa_release() {
    std::string().swap(state().text);
    std::vector<std::uint32_t>().swap(state().numbers);
}

}  // extern "C"
