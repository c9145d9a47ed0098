// The indented JSON text: containers over lines, one member or element per line, four spaces per
// level, ": " after keys, line feeds only, and no line break after the last bracket.

#include "pelmo/json/node.h"
#include "pelmo/json/text_bound.h"
#include "pelmo/json/tree_walk.h"

namespace pelmo {

namespace {

constexpr std::size_t kIndentWidth = 4;

/// Lays containers out over lines; keys and scalars are written in their compact form. Levels
/// are size_t, so the indentation width cannot wrap at any depth.
struct IndentedWriter {
    std::string& out;

    void indent(std::size_t level) { out.append(kIndentWidth * level, ' '); }

    bool open(const JsonNode& container, std::size_t) {
        const bool isObject = container.type == JsonType::Object;
        if (detail::childCount(container) == 0) {
            out += isObject ? "{}" : "[]";
        } else {
            out += isObject ? "{\n" : "[\n";
        }
        return true;
    }
    bool item(const JsonNode* key, std::size_t index, std::size_t level) {
        if (index != 0) out += ",\n";
        indent(level + 1);
        if (key != nullptr) {
            key->appendCompact(out);
            out += ": ";
        }
        return true;
    }
    bool scalar(const JsonNode& node) {
        node.appendCompact(out);
        return true;
    }
    bool close(const JsonNode& container, std::size_t level) {
        if (detail::childCount(container) == 0) return true;  // written whole by open()
        out += '\n';
        indent(level);
        out += container.type == JsonType::Object ? '}' : ']';
        return true;
    }
};

}  // namespace

void JsonNode::appendIndented(std::string& out, std::uint32_t depth) const {
    switch (type) {
        case JsonType::Object:
            static_cast<const JsonObject&>(*this).appendIndented(out, depth);
            break;
        case JsonType::Array:
            static_cast<const JsonArray&>(*this).appendIndented(out, depth);
            break;
        default:
            appendCompact(out);
    }
}

void JsonObject::appendIndented(std::string& out, std::uint32_t depth) const {
    out.reserve(out.size() + detail::indentedTextBound(*this, depth));
    IndentedWriter writer{out};
    detail::walkTree(*this, depth, writer);
}

void JsonArray::appendIndented(std::string& out, std::uint32_t depth) const {
    out.reserve(out.size() + detail::indentedTextBound(*this, depth));
    IndentedWriter writer{out};
    detail::walkTree(*this, depth, writer);
}

std::string JsonNode::toIndentedString() const {
    std::string out;
    appendIndented(out, 0);
    return out;
}

}  // namespace pelmo
