#include "pelmo/json/node.h"

#include "pelmo/json/tree_walk.h"

namespace pelmo {

namespace {

bool hasChildren(const JsonNode& node) {
    return detail::isContainer(node) && detail::childCount(node) != 0;
}

/// Moves every child of `container` that has children of its own onto `pending`, last child
/// first so that the first is taken off first, leaving null in its slot (slots already emptied
/// are skipped); what stays behind can be destroyed without going deeper than one level.
void detachNested(JsonNode& container, std::vector<JsonNodePtr>& pending) {
    auto detach = [&pending](JsonNodePtr& child) {
        if (child && hasChildren(*child)) pending.push_back(std::move(child));
    };
    if (container.type == JsonType::Object) {
        auto& members = static_cast<JsonObject&>(container).members;
        for (auto member = members.rbegin(); member != members.rend(); ++member) {
            detach(member->second);
        }
    } else {
        auto& elements = static_cast<JsonArray&>(container).elements;
        for (auto element = elements.rbegin(); element != elements.rend(); ++element) {
            detach(*element);
        }
    }
}

/// Destroys the subtrees below `container` one container at a time, in document order, which is
/// also the order they were allocated in. A plain chain of unique_ptr destructors would recurse
/// once per level and overflow the stack on deep input.
void destroyNested(JsonNode& container) {
    std::vector<JsonNodePtr> pending;
    detachNested(container, pending);
    while (!pending.empty()) {
        JsonNodePtr node = std::move(pending.back());
        pending.pop_back();
        detachNested(*node, pending);
        // `node` now holds only leaves and empty containers; it dies here, one level deep.
    }
}

}  // namespace

JsonObject::~JsonObject() {
    destroyNested(*this);
}

JsonArray::~JsonArray() {
    destroyNested(*this);
}

void JsonObject::add(std::string key, JsonNodePtr value) {
    auto keyNode = std::make_unique<JsonString>(std::move(key));
    members.emplace_back(std::move(keyNode), std::move(value));
}

void JsonArray::push(JsonNodePtr value) {
    elements.push_back(std::move(value));
}

}  // namespace pelmo
