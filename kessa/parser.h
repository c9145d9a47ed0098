#pragma once

#include <memory>
#include <string_view>

#include "kessa/reader.h"
#include "pelmo/json/node.h"

namespace kessa {

/// Reads kessa text into a JSON document tree in one pass.
///
/// The text is the body of an implicit root object of `key=value` items. An unquoted value ends
/// at a line feed, a comma or a right brace, and is stripped of surrounding blanks. A left brace
/// opens a container that becomes an object if an equals sign comes first, else an array. Double
/// quotes at the start of a value take everything up to the next double quote verbatim, tabs
/// excepted. Carriage returns are dropped. Values are typed by makeScalar.
class KessaParser {
public:
    /// The message of every rejection.
    static constexpr const char* kMalformedMessage = SyntaxError::kMessage;

    /// Parses the whole of `text` and returns the root object. Raises SyntaxError (a
    /// pelmo::Exception) with kMalformedMessage for malformed text, std::bad_alloc when memory
    /// runs out, and then nothing of the partial tree survives. The parser may be used again
    /// afterwards.
    std::unique_ptr<pelmo::JsonObject> parse(std::string_view text);
};

}  // namespace kessa
