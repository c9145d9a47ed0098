#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/finding_kinds.h"
#include "kessa/writer.h"

namespace kessa {

/// A step from a value to one of its entries: a member's key, or an element's index.
struct ValueStep {
    bool member;
    std::string key;
    std::uint64_t index = 0;
};

/// The steps as a JSON pointer (RFC 6901), such as "/db/ports/0".
std::string jsonPointer(const std::vector<ValueStep>& path);

class KessaEncoder;

/// Receives each value that no kessa text gives.
class RefusalHandler {
public:
    virtual ~RefusalHandler();
    /// `reason` is one of the kinds from NoBoolean on; encoder.path() leads to the value. May
    /// raise, to stop at the first.
    virtual void refused(FindingKind reason, const KessaEncoder& encoder) = 0;
};

/// Writes a JSON value, given as typed events in document order, as kessa text through a
/// KessaWriter: each key and value in the text that gives exactly it (value_text.h), or, where
/// none does, a refusal. From the first refusal on nothing more is written, so that no text
/// that changes a value is ever complete; the events go on being checked, to find every value
/// that has no text. The top level must be an object, the body of a kessa text.
class KessaEncoder {
public:
    /// `writer` may be null, to check only.
    KessaEncoder(KessaWriter* writer, RefusalHandler& refusals);

    void openObject();
    void openArray();
    void close();
    /// The key of the next member: its bytes.
    void key(std::string_view bytes);
    /// A key the caller knows no text gives (one with half a surrogate pair).
    void refuseKey(std::string_view bytes, FindingKind reason);
    void string(std::string_view bytes);
    void integer(std::int64_t value);
    void number(double value);
    /// A number as the JSON text `text` writes it, typed as JSON readers type it: an integer
    /// where it has no point or exponent (refused beyond 64 bits, or with `doubles`, as
    /// JavaScript holds numbers, a float like any other), else a double.
    void numeral(std::string_view text, bool doubles = false);
    /// A value the caller knows no text gives: true, false, null, an integer beyond 64 bits, a
    /// string with half a surrogate pair; `text` is what the refusal's words show of it.
    void refuse(FindingKind reason, std::string_view text = {});
    /// The value is complete; the text is ended, unless something was refused.
    void finish();

    /// The steps from the top to the value being handled.
    const std::vector<ValueStep>& path() const { return path_; }
    /// During RefusalHandler::refused, what whyNoText shows of the value refused: its bytes, or
    /// a number's text.
    std::string_view refusedText() const { return refusedText_; }
    /// Whether some value had no text.
    bool refused() const { return refused_; }

private:
    bool beginScalar();
    void writeNumber(double value, std::string_view text);
    static bool fitsInteger(std::string_view digits, bool negative);
    /// A value of the innermost container is complete: an array's next element comes.
    void endValue();
    void refuseHere(FindingKind reason, std::string_view text);
    bool writing() const { return writer_ != nullptr && !refused_; }

    KessaWriter* writer_;
    RefusalHandler& refusals_;
    /// One step for each open container: the key of its member, or the index of its element.
    std::vector<ValueStep> path_;
    std::size_t depth_ = 0;
    bool refused_ = false;
    std::string_view refusedText_;
    std::string numberText_;
    /// The top is not an object: nothing inside it is looked at.
    bool notObject_ = false;
};

}  // namespace kessa
