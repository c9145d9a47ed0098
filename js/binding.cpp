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
#include "kessa/format.h"
#include "kessa/json_to_kessa.h"
#include "kessa/reader.h"
#include "kessa/text_position.h"
#include "pelmo/file/utf8.h"
#include "pelmo/json/json_reader.h"

namespace {

/// What a call ended with, as the JavaScript side tells it apart.
enum Status : int { kDone = 0, kMalformed = 1, kOutOfMemory = 2, kFailed = 3, kRefused = 4 };

/// The bits of a layout or conversion option word: the spaces a level (or a tab's columns), a
/// tab a level, numbers held as doubles, and a stop at the first value no kessa text gives.
constexpr unsigned kIndentMask = 0x1F;
constexpr unsigned kTabs = 0x20;
constexpr unsigned kDoubles = 0x40;
constexpr unsigned kFirstOnly = 0x80;

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

/// Runs `work` on the input, which returns its status, and maps what it raises to a status. The
/// fault of a malformed text is added as the last item, after any that `work` left.
template <class Work>
int run(std::size_t size, Work work) {
    State& s = state();
    s.text.clear();
    s.numbers.clear();
    const std::string_view text(s.input.get(), size);
    try {
        return work(text);
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

kessa::Layout layoutOf(unsigned options) {
    kessa::Layout layout;
    layout.tabs = (options & kTabs) != 0;
    layout.indent = std::max(options & kIndentMask, 1u);
    return layout;
}

/// Receives what the JSON to kessa conversion says of the values, as items in document order
/// with the pointer of each refused value (empty for bytes kept) as its message, which is its
/// length in decimal, a colon and its bytes: a key may hold a NUL byte.
class JsonItems final : public kessa::JsonToKessaHandler {
public:
    struct Stop {};

    JsonItems(std::string_view json, bool firstOnly) : positions_(json), firstOnly_(firstOnly) {}

    void refused(const kessa::JsonRefusal& refusal) override {
        add(refusal.reason, refusal.place, refusal.pointer);
        if (firstOnly_) throw Stop{};
    }
    void kept(kessa::FindingKind kind, pelmo::JsonPlace place) override { add(kind, place, {}); }

    std::string messages;

private:
    void add(kessa::FindingKind kind, pelmo::JsonPlace place, std::string_view pointer) {
        const kessa::TextPosition start = positions_.at(place.offset);
        const kessa::TextPosition end = positions_.at(place.offset + place.length);
        addItem(static_cast<std::uint32_t>(kind), place.offset, place.length, start, end);
        messages.append(std::to_string(pointer.size())).append(1, ':').append(pointer);
    }

    kessa::PositionCounter positions_;
    bool firstOnly_;
};

}  // namespace

extern "C" {

/// Room for an input of `size` bytes, for the caller to write the text into; null when memory
/// runs out. The room stays the caller's until the next call of kessa_input.
char* kessa_input(std::size_t size) {
    State& s = state();
    // Made on the first call too, for an empty text.
    if (!s.input || size > s.inputCapacity || size < s.inputCapacity / 4) {
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
        return kDone;
    });
}

/// Formats the first `size` bytes of the input in the layout of `options`: kDone with the
/// formatted text as the result, or kMalformed with the fault's message and item.
int kessa_format(std::size_t size, unsigned options) {
    return run(size, [options](std::string_view text) {
        state().text = kessa::formatKessa(text, layoutOf(options));
        return kDone;
    });
}

/// Writes the JSON text of the first `size` bytes of the input as kessa text in the layout of
/// `options`: kDone with the kessa text as the result and, as items, the strings whose bytes it
/// keeps; kRefused with the items of the values no kessa text gives (only the first, with
/// kFirstOnly) and of the strings kept, in document order, each refused value's JSON pointer as
/// its message (JsonItems); kMalformed with the fault of a text that is not JSON and its reason.
int kessa_from_json(std::size_t size, unsigned options) {
    return run(size, [options](std::string_view json) {
        JsonItems items(json, (options & kFirstOnly) != 0);
        kessa::JsonToKessaOptions conversion;
        conversion.layout = layoutOf(options);
        conversion.numbersAreDoubles = (options & kDoubles) != 0;
        std::string& out = state().text;
        pelmo::StringSink sink(out);
        bool written = false;
        try {
            written = kessa::jsonToKessa(json, &sink, items, conversion);
        } catch (const JsonItems::Stop&) {
        } catch (const pelmo::JsonSyntaxError& error) {
            const std::uint64_t length = error.offset() < json.size() ? 1 : 0;
            state().numbers.clear();
            addItem(static_cast<std::uint32_t>(kessa::kFindingKindCount), error.offset(), length,
                    kessa::positionAt(json, error.offset()),
                    kessa::positionAt(json, error.offset() + length));
            out = error.reason();
            out += '\0';
            return kMalformed;
        }
        if (written) return kDone;
        out = std::move(items.messages);
        return kRefused;
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
        return kDone;
    });
}

/// The finding kinds: their codes and then their summaries as the result text, each ended by a
/// NUL byte, and their severities (0 note, 1 warning, 2 error) as the numbers.
int kessa_kinds() {
    return run(0, [](std::string_view) {
        for (std::size_t i = 0; i != kessa::kFindingKindCount; ++i) {
            const auto kind = static_cast<kessa::FindingKind>(i);
            state().text.append(kessa::code(kind)).append(1, '\0');
            state().numbers.push_back(static_cast<std::uint32_t>(kessa::severity(kind)));
        }
        for (std::size_t i = 0; i != kessa::kFindingKindCount; ++i) {
            state().text.append(kessa::summary(static_cast<kessa::FindingKind>(i))).append(1, '\0');
        }
        return kDone;
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
