#include "pelmo/json/node.h"

#include <algorithm>

#include "pelmo/json/tree_walk.h"

namespace pelmo {

namespace {

bool hasChildren(const JsonNode& node) {
    return detail::isContainer(node) && detail::childCount(node) != 0;
}

/// The owner of the last child of a container that has children: the value of an object's last
/// member, or an array's last element.
JsonNodePtr& lastChild(JsonNode& container) {
    if (container.type == JsonType::Object) {
        return static_cast<JsonObject&>(container).members.back().second;
    }
    return static_cast<JsonArray&>(container).elements.back();
}

/// Destroys the last child of a container, with its key.
void dropLastChild(JsonNode& container) {
    if (container.type == JsonType::Object) {
        static_cast<JsonObject&>(container).members.pop_back();
    } else {
        static_cast<JsonArray&>(container).elements.pop_back();
    }
}

/// Puts the children in reverse order, so that taking them from the back visits them in
/// document order.
void reverseChildren(JsonNode& container) {
    if (container.type == JsonType::Object) {
        auto& members = static_cast<JsonObject&>(container).members;
        std::reverse(members.begin(), members.end());
    } else {
        auto& elements = static_cast<JsonArray&>(container).elements;
        std::reverse(elements.begin(), elements.end());
    }
}

/// Destroys everything below `top`, in document order, without recursion and without allocating:
/// the way back up is kept in the tree itself. Going down into a child, the slot it leaves holds
/// the owner of the path above, and coming back up takes it out again. A chain of unique_ptr
/// destructors would recurse once per level, and a stack of our own could fail to grow while an
/// exception for exhausted memory unwinds.
void destroyNested(JsonNode& top) {
    reverseChildren(top);
    JsonNode* current = &top;
    JsonNodePtr owned;  // owns `current`, unless that is `top`
    JsonNodePtr above;  // owns the parent of `current`, unless that is `top`
    for (;;) {
        if (detail::childCount(*current) == 0) {
            if (current == &top) return;
            owned.reset();  // a container whose children are gone: one level deep
            if (!above) {
                current = &top;
                continue;
            }
            owned = std::move(above);
            current = owned.get();
            above = std::move(lastChild(*current));
            dropLastChild(*current);
            continue;
        }
        JsonNodePtr& slot = lastChild(*current);
        if (!slot || !hasChildren(*slot)) {
            dropLastChild(*current);  // a scalar or an empty container
            continue;
        }
        JsonNodePtr child = std::move(slot);
        reverseChildren(*child);
        if (current == &top) {
            dropLastChild(top);
        } else {
            slot = std::move(above);
            above = std::move(owned);
        }
        owned = std::move(child);
        current = owned.get();
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
