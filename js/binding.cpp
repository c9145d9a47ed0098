// The WebAssembly module's interface: plain C functions over one input buffer and one result,
// which the package's JavaScript reads straight from the module's memory. A call copies the text
// in and the result out, and nothing else crosses.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/conversion.h"
#include "kessa/findings.h"
#include "kessa/format.h"
#include "kessa/json_to_kessa.h"
#include "kessa/reader.h"
#include "kessa/schema.h"
#include "kessa/text_position.h"
#include "pelmo/file/utf8.h"
#include "pelmo/json/json_reader.h"

namespace {

/// What a call ended with, as the JavaScript side tells it apart.
enum Status : int {
    kDone = 0,
    kMalformed = 1,
    kOutOfMemory = 2,
    kFailed = 3,
    kRefused = 4,
    kUnusableSchema = 5
};

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
    /// The schema of kessa_schema, kept for the checks that name it.
    std::optional<kessa::Schema> schema;
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

/// Adds the fault of a malformed text as an item and returns its message.
std::string addFault(std::string_view text, const kessa::SyntaxError& error) {
    const std::uint64_t length = error.length(text);
    std::string message = pelmo::detail::printable(error.describe());
    addItem(static_cast<std::uint32_t>(kessa::kFindingKindCount), error.offset(), length,
            kessa::positionAt(text, error.offset()),
            kessa::positionAt(text, error.offset() + length));
    return message;
}

/// Adds `words` to the result as its length in decimal, a colon and its bytes.
void addMeasured(std::string_view words) {
    state().text.append(std::to_string(words.size())).append(1, ':').append(words);
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
            s.text += addFault(text, error);
            s.text += '\0';
            return kMalformed;
        } catch (const std::bad_alloc&) {
        }
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    } catch (const kessa::SchemaError& error) {
        // The file (or URL) to blame and the reason as the text, the place as the numbers.
        s.text.assign(error.file()).append(1, '\0').append(error.reason());
        s.numbers.clear();
        if (error.position()) {
            s.numbers.push_back(static_cast<std::uint32_t>(error.position()->line));
            s.numbers.push_back(static_cast<std::uint32_t>(error.position()->column));
        }
        return kUnusableSchema;
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

/// Receives the findings, a schema's first, kept until the end to be put in document order: the
/// reader reports a few, such as a repeated key, only once a later value comes.
class Collector final : public kessa::FindingHandler {
public:
    void found(const kessa::Finding& finding) override {
        std::uint32_t words = kNoWords;
        // A schema's finding owns its words only during the call.
        if (!finding.keyword.empty()) {
            words = static_cast<std::uint32_t>(words_.size());
            words_.push_back({std::string(finding.message), std::string(finding.pointer),
                              std::string(finding.keyword)});
        }
        findings_.push_back({finding, words});
    }

    /// Adds the findings as items in document order, ties in the order of their reports, then
    /// the fault of a malformed text where `fault` is one. With `pointers`, after the messages
    /// come each finding's pointer and keyword, measured (addMeasured), empty but for a schema's.
    void finish(std::string_view text, const kessa::SyntaxError* fault, bool pointers) {
        std::stable_sort(findings_.begin(), findings_.end(), [](const Entry& a, const Entry& b) {
            return a.finding.offset < b.finding.offset;
        });
        // Two counters, since the end of one finding may lie past the start of the next.
        kessa::PositionCounter starts(text), ends(text);
        State& s = state();
        for (const Entry& entry : findings_) {
            const kessa::Finding& finding = entry.finding;
            const std::uint64_t end = finding.offset + finding.bytes.size();
            addItem(static_cast<std::uint32_t>(finding.kind), finding.offset, finding.bytes.size(),
                    starts.at(finding.offset), ends.at(end));
            s.text += entry.words == kNoWords ? kessa::describe(finding) : words_[entry.words][0];
            s.text += '\0';
        }
        if (fault != nullptr) s.text.append(addFault(text, *fault)).append(1, '\0');
        if (pointers) {
            for (const Entry& entry : findings_) {
                const bool schema = entry.words != kNoWords;
                addMeasured(schema ? words_[entry.words][1] : std::string_view());
                addMeasured(schema ? words_[entry.words][2] : std::string_view());
            }
        }
        findings_.clear();
        words_.clear();
    }

private:
    static constexpr std::uint32_t kNoWords = UINT32_MAX;
    struct Entry {
        kessa::Finding finding;
        std::uint32_t words;  // the index of a schema's message, pointer and keyword
    };
    std::vector<Entry> findings_;
    std::vector<std::array<std::string, 3>> words_;
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

/// Reads the schema in the input, its first `draftSize` bytes the name of the draft of a schema
/// that names none (none: the library's default) and the rest its JSON, for the checks after it;
/// a URL it names is not fetched. kDone; kRefused with the words for a draft not known;
/// kUnusableSchema with SchemaError's file and reason and its place as the numbers.
int kessa_schema(std::size_t size, std::size_t draftSize) {
    state().schema.reset();
    return run(size, [draftSize](std::string_view input) {
        kessa::SchemaOptions options;
        if (draftSize != 0) {
            const std::string_view name = input.substr(0, draftSize);
            const auto draft = kessa::schemaDraftOfName(name);
            if (!draft) {
                state()
                    .text.append("unknown draft \"")
                    .append(pelmo::detail::printable(name))
                    .append("\"; the drafts are 4, 6, 7, 2019-09 and 2020-12");
                return kRefused;
            }
            options.draft = *draft;
        }
        options.fetch = [](const std::string& url, std::vector<std::string>&) -> std::string {
            throw kessa::SchemaError(url, std::nullopt,
                                     "cannot fetch the schema: the package fetches nothing; "
                                     "embed that schema, with its $id, in this one");
        };
        state().schema.emplace(kessa::Schema::parse(input.substr(draftSize), "<schema>", options));
        return kDone;
    });
}

/// Checks the first `size` bytes of the input, against the schema of kessa_schema too where
/// `withSchema` is nonzero: the items of the findings in document order, and their messages,
/// each ended by a NUL byte; for a malformed text, those met before the fault, then the fault's.
/// With the schema, then each item's pointer and keyword (Collector::finish).
int kessa_check(std::size_t size, int withSchema) {
    return run(size, [withSchema](std::string_view text) {
        const kessa::Schema* schema =
            withSchema != 0 && state().schema ? &*state().schema : nullptr;
        Collector collector;
        try {
            // A malformed text is refused by the schema's check before any finding, and then
            // by the notation's with its findings before the fault.
            if (schema != nullptr) kessa::checkSchemaFindings(text, *schema, collector);
        } catch (const kessa::SyntaxError&) {
        }
        try {
            kessa::checkKessaFindings(text, collector);
        } catch (const kessa::SyntaxError& error) {
            collector.finish(text, &error, schema != nullptr);
            return kMalformed;
        }
        collector.finish(text, nullptr, schema != nullptr);
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
