#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pelmo/json/node.h"

namespace kessa {

/// Reads kessa text into a JSON document tree in one pass, byte by byte.
///
/// The text is the body of an implicit root object of `key=value` items. An unquoted value ends
/// at a line feed, a comma or a right brace, and is stripped of surrounding blanks. A left brace
/// opens a container that becomes an object if an equals sign comes first, else an array. Double
/// quotes at the start of a value take everything up to the next double quote verbatim, tabs
/// excepted. Carriage returns are dropped. Values are typed by makeScalar.
class KessaParser {
public:
    /// The message of every rejection.
    static constexpr const char* kMalformedMessage =
        "malformed kessa text: unbalanced braces, a key with no value, or a last value with no "
        "line break after it";

    /// Parses the whole of `text` and returns the root object. Raises pelmo::Exception with
    /// kMalformedMessage for malformed text, std::bad_alloc when memory runs out, and then nothing
    /// of the partial tree survives. The parser may be used again afterwards.
    std::unique_ptr<pelmo::JsonObject> parse(std::string_view text);

private:
    void onEquals();
    void onLeftBrace();
    void onComma();
    void onRightBrace();
    void onQuote();
    void onLineFeed();
    void finish();

    void resolvePending(pelmo::JsonType kind);
    void emitToken();
    void openContainer(pelmo::JsonNodePtr node);
    void addValue(pelmo::JsonNodePtr node);

    /// The open containers, innermost last; the root is always at the bottom. Not owning.
    std::vector<pelmo::JsonNode*> containerStack;
    /// The key for the next value added to an object, already trimmed.
    std::string key;
    /// The bytes collected since the last separator or opening double quote.
    std::string token;
    /// A double quote has opened a value that is not closed yet.
    bool inQuotes = false;
    /// A left brace has been read and its container's kind is not decided yet.
    bool containerPending = false;
};

}  // namespace kessa
