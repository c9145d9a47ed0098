// Value equality between nodes.

#include "pelmo/json/node.h"

namespace pelmo {

bool JsonNode::isEqual(const JsonNode& other) const {
    if (other.type != type) return false;
    // Containers and floats are equal when their texts are, so member order and repeated keys
    // count, and floats are compared at the six decimals they are written with.
    std::string otherText;
    other.appendCompact(otherText);
    std::string ownText;
    appendCompact(ownText);
    return ownText == otherText;
}

bool JsonString::isEqual(const JsonNode& other) const {
    return other.type == JsonType::String && static_cast<const JsonString&>(other).value == value;
}

bool JsonInteger::isEqual(const JsonNode& other) const {
    return other.type == JsonType::Integer && static_cast<const JsonInteger&>(other).value == value;
}

}  // namespace pelmo
