#pragma once

// Internal to the library: the one depth-first walk that every encoder shares. It keeps its own
// stack of open containers, so a tree nested millions of levels deep costs heap, not call stack.

#include <cstddef>
#include <vector>

#include "pelmo/json/node.h"

namespace pelmo::detail {

inline bool isContainer(const JsonNode& node) {
    return node.type == JsonType::Object || node.type == JsonType::Array;
}

/// Number of children (members or elements) of a container.
inline std::size_t childCount(const JsonNode& container) {
    return container.type == JsonType::Object
               ? static_cast<const JsonObject&>(container).members.size()
               : static_cast<const JsonArray&>(container).elements.size();
}

/// Walks the subtree under `top` in document order and reports it to `visitor`:
///   open(container, level)              a container begins (the top one at `topLevel`);
///   item(key, index, level)             child `index` of the container at `level` begins, with
///                                       its key, or null inside an array;
///   scalar(node)                        a child, or `top` itself, that is no container;
///   close(container, level)             a container ends.
/// Each returns false to stop the walk, and walkTree then returns false.
template <class Visitor>
bool walkTree(const JsonNode& top, std::size_t topLevel, Visitor& visitor) {
    if (!isContainer(top)) return visitor.scalar(top);
    struct Frame {
        const JsonNode* container;
        std::size_t next;  // index of the next child to visit
    };
    std::vector<Frame> open;
    if (!visitor.open(top, topLevel)) return false;
    open.push_back({&top, 0});
    while (!open.empty()) {
        Frame& frame = open.back();
        const std::size_t level = topLevel + open.size() - 1;
        const JsonNode& container = *frame.container;
        if (frame.next == childCount(container)) {
            if (!visitor.close(container, level)) return false;
            open.pop_back();
            continue;
        }
        const std::size_t index = frame.next++;
        const JsonNode* key = nullptr;
        const JsonNode* child;
        if (container.type == JsonType::Object) {
            const auto& member = static_cast<const JsonObject&>(container).members[index];
            key = member.first.get();
            child = member.second.get();
        } else {
            child = static_cast<const JsonArray&>(container).elements[index].get();
        }
        if (!visitor.item(key, index, level)) return false;
        if (isContainer(*child)) {
            if (!visitor.open(*child, level + 1)) return false;
            open.push_back({child, 0});  // `frame` is not used past this point
        } else if (!visitor.scalar(*child)) {
            return false;
        }
    }
    return true;
}

}  // namespace pelmo::detail
