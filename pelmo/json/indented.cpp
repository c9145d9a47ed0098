// The indented JSON text of a tree: the tree is walked in document order and fed to the same
// IndentedWriter that streams a conversion, so the layout has one home.

#include <algorithm>

#include "pelmo/json/indented_writer.h"
#include "pelmo/json/node.h"
#include "pelmo/json/text_bound.h"
#include "pelmo/json/tree_walk.h"

namespace pelmo {

namespace {

/// Reports the tree's containers, keys and scalars to a writer.
struct WriterFeed {
    IndentedWriter& writer;

    bool open(const JsonNode& container, std::size_t) {
        if (container.type == JsonType::Object) {
            writer.openObject();
        } else {
            writer.openArray();
        }
        return true;
    }
    bool item(const JsonNode* key, std::size_t, std::size_t) {
        if (key != nullptr) writer.key(static_cast<const JsonString&>(*key).value);
        return true;
    }
    bool scalar(const JsonNode& node) {
        switch (node.type) {
            case JsonType::String:
                writer.string(static_cast<const JsonString&>(node).value);
                break;
            case JsonType::Integer:
                writer.integer(static_cast<const JsonInteger&>(node).value);
                break;
            default:
                writer.number(static_cast<const JsonFloat&>(node).value);
        }
        return true;
    }
    bool close(const JsonNode& container, std::size_t) {
        if (container.type == JsonType::Object) {
            writer.closeObject();
        } else {
            writer.closeArray();
        }
        return true;
    }
};

}  // namespace

void JsonNode::appendIndented(std::string& out, std::uint32_t depth) const {
    if (!detail::isContainer(*this)) {
        appendCompact(out);
        return;
    }
    // The text is reserved once, so it is copied into `out` without a reallocation.
    const std::size_t bound = detail::indentedTextBound(*this, depth);
    out.reserve(out.size() + bound);
    StringSink sink(out);
    IndentedWriter writer(sink, depth, std::min<std::size_t>(bound, 1 << 16));
    WriterFeed feed{writer};
    detail::walkTree(*this, depth, feed);
    writer.flush();
}

void JsonObject::appendIndented(std::string& out, std::uint32_t depth) const {
    JsonNode::appendIndented(out, depth);
}

void JsonArray::appendIndented(std::string& out, std::uint32_t depth) const {
    JsonNode::appendIndented(out, depth);
}

std::string JsonNode::toIndentedString() const {
    std::string out;
    appendIndented(out, 0);
    return out;
}

}  // namespace pelmo
