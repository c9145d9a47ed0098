// Any text either converts or is refused with pelmo::Exception alone. What is accepted must come
// out the same through every encoder: the indented text is the compact text with layout added,
// equality holds, and the binary encoding reads back to the same tree.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "binary_decoder.h"
#include "check.h"
#include "kessa/parser.h"
#include "pelmo/exception.h"
#include "pelmo/json/byte_writer.h"

namespace {

/// Follows JSON text byte by byte and tells which bytes stand outside strings.
class StringTracker {
public:
    /// True when `c`, the next byte, is outside every string; quotes count as inside.
    bool isOutside(char c) {
        if (!inString) {
            inString = c == '"';
            return !inString;
        }
        if (escaped) {
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (c == '"') {
            inString = false;
        }
        return false;
    }

private:
    bool inString = false, escaped = false;
};

/// `indented` without the spaces and line feeds that the layout puts between tokens.
std::string withoutLayout(std::string_view indented) {
    std::string out;
    StringTracker tracker;
    for (const char c : indented) {
        if (tracker.isOutside(c) && (c == ' ' || c == '\n')) continue;
        out += c;
    }
    return out;
}

bool hasTrailingSpace(std::string_view text) {
    return text.find(" \n") != std::string_view::npos || (!text.empty() && text.back() == ' ');
}

/// Every line is indented by four spaces for each container open at its start, one fewer when the
/// line closes one. Line feeds never occur inside strings, which escape them.
bool indentsByDepth(std::string_view text) {
    std::size_t depth = 0;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        const std::size_t indent = std::min(line.find_first_not_of(' '), line.size());
        const bool closes = indent < line.size() && (line[indent] == '}' || line[indent] == ']');
        if (closes && depth == 0) return false;
        if (indent != 4 * (depth - (closes ? 1 : 0))) return false;
        StringTracker tracker;
        for (const char c : line.substr(indent)) {
            if (!tracker.isOutside(c)) continue;
            if (c == '{' || c == '[') ++depth;
            if (c == '}' || c == ']') --depth;
        }
        start = end + 1;
    }
    return depth == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kessa::KessaParser parser;
    std::unique_ptr<pelmo::JsonObject> root;
    try {
        root = parser.parse(text);
    } catch (const pelmo::Exception&) {
        // Only pelmo::Exception may leave a refusal; the same parser must refuse the text again.
        try {
            parser.parse(text);
        } catch (const pelmo::Exception&) {
            return 0;
        }
        require(false, "a refused text is accepted on the second try");
    }

    const std::string compact = compactText(*root);
    const std::string indented = root->toIndentedString();
    require(withoutLayout(indented) == compact, "indented text is the compact text with layout");
    require(!hasTrailingSpace(indented), "no line ends with a space");
    require(indentsByDepth(indented), "lines are indented four spaces a level");
    require(!indented.empty() && indented.back() == '}', "the text ends with '}'");
    require(root->isEqual(*root), "a tree equals itself");

    const auto again = parser.parse(text);
    require(again->isEqual(*root) && compactText(*again) == compact,
            "a reused parser gives the same tree");

    std::string binary;
    pelmo::StringByteWriter writer(binary);
    require(root->appendBinary(writer), "writing into memory succeeds");
    const pelmo::JsonNodePtr decoded = decodeBinary(binary);
    require(decoded != nullptr, "the binary encoding is well formed");
    require(decoded->type == pelmo::JsonType::Object, "the binary encoding holds an object");
    require(compactText(*decoded) == compact, "the binary encoding reads back to the same text");
    require(floatBits(*decoded) == floatBits(*root), "floats read back bit for bit");
    return 0;
}
