#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pelmo/exception.h"

namespace pelmo {

/// A text that is not JSON: where, in bytes from its start, and why ("a comma or a closing
/// bracket was expected").
class JsonSyntaxError : public Exception {
public:
    JsonSyntaxError(std::uint64_t offset, std::string reason);
    ~JsonSyntaxError() override;

    std::uint64_t offset() const noexcept { return offset_; }
    const std::string& reason() const noexcept { return reason_; }

private:
    std::uint64_t offset_;
    std::string reason_;
};

/// Where a value stands in the text: its first byte and its length, quotes of a string included.
struct JsonPlace {
    std::uint64_t offset = 0, length = 0;
};

/// What a string holds that strict JSON readers refuse or that no UTF-8 text holds; the reader
/// keeps all of it.
enum JsonStringFlags : unsigned {
    kRawControlByte = 1,  ///< a byte below 0x20, unescaped
    kNotUtf8 = 2,         ///< bytes that are not UTF-8, as they stand
    kLoneSurrogate = 4,   ///< a \u escape of half a surrogate pair, kept as its three bytes
};

/// Receives a JSON document's values in document order; the views are valid during the call.
class JsonHandler {
public:
    virtual ~JsonHandler();
    virtual void openObject(JsonPlace place) = 0;
    virtual void closeObject() = 0;
    virtual void openArray(JsonPlace place) = 0;
    virtual void closeArray() = 0;
    /// A member's key, its escapes decoded; `flags` as for a string.
    virtual void key(std::string_view bytes, unsigned flags, JsonPlace place) = 0;
    virtual void string(std::string_view bytes, unsigned flags, JsonPlace place) = 0;
    /// A number, as its text (any size: it is not converted).
    virtual void number(std::string_view text, JsonPlace place) = 0;
    /// true, false or null, as its text.
    virtual void literal(std::string_view word, JsonPlace place) = 0;
};

/// Reads the JSON text `text` (RFC 8259) once, front to back, and reports it to `handler`, in
/// memory that follows the nesting depth: a string is decoded into a buffer only where it holds
/// an escape. A byte-order mark at the start is skipped. Strings may hold raw control bytes and
/// bytes that are not UTF-8, as the JSON kessa2json writes may; they are kept, and flagged.
/// Raises JsonSyntaxError for anything else that is not JSON (after the values before the fault
/// were reported), and whatever the handler raises.
void readJson(std::string_view text, JsonHandler& handler);

}  // namespace pelmo
