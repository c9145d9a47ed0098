#include "pelmo/json/text_bound.h"

#include "pelmo/json/number_text.h"
#include "pelmo/json/string_escape.h"
#include "pelmo/json/tree_walk.h"

namespace pelmo::detail {

namespace {

/// Adds up the lengths of the pieces an encoder writes; `indented` selects the layout.
struct TextBound {
    bool indented;
    std::size_t total = 0;

    bool open(const JsonNode& container, std::size_t) {
        // "{" or "[", and the "\n" after it when the indented layout spreads the container out.
        total += (indented && childCount(container) != 0) ? 2 : 1;
        return true;
    }
    bool item(const JsonNode* key, std::size_t index, std::size_t level) {
        if (index != 0) total += indented ? 2 : 1;  // ",\n" or ","
        if (indented) total += 4 * (level + 1);
        if (key != nullptr) {
            scalar(*key);
            total += indented ? 2 : 1;  // ": " or ":"
        }
        return true;
    }
    bool scalar(const JsonNode& node) {
        switch (node.type) {
            case JsonType::String: {
                const std::string& value = static_cast<const JsonString&>(node).value;
                total += value.size() + 2;
                for (char c : value) total += kEscapes[static_cast<unsigned char>(c)] != 0;
                break;
            }
            case JsonType::Integer:
                total += integerTextLength(static_cast<const JsonInteger&>(node).value);
                break;
            default:
                total += floatTextBound(static_cast<const JsonFloat&>(node).value);
        }
        return true;
    }
    bool close(const JsonNode& container, std::size_t level) {
        if (!indented || childCount(container) == 0) {
            total += 1;
        } else {
            total += 2 + 4 * level;  // "\n", the indentation and the bracket
        }
        return true;
    }
};

}  // namespace

std::size_t compactTextBound(const JsonNode& node) {
    TextBound bound{false};
    walkTree(node, 0, bound);
    return bound.total;
}

std::size_t indentedTextBound(const JsonNode& node, std::size_t level) {
    TextBound bound{true};
    walkTree(node, level, bound);
    return bound.total;
}

}  // namespace pelmo::detail
