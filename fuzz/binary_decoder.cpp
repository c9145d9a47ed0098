#include "binary_decoder.h"

#include <bit>
#include <optional>
#include <string>

using pelmo::JsonNode;
using pelmo::JsonNodePtr;
using pelmo::JsonType;

namespace {

constexpr unsigned kEnd = 7;         // type bits of the byte that closes a container
constexpr unsigned kFollows = 31;    // high bits that announce a variable-length number
constexpr unsigned kInlineMax = 30;  // the largest number or length the lead byte holds

/// The bytes of one encoding, consumed from the front.
class Reader {
public:
    explicit Reader(std::string_view bytes) : rest(bytes) {}

    bool atEnd() const { return rest.empty(); }

    bool byte(unsigned& out) {
        if (rest.empty()) return false;
        out = static_cast<unsigned char>(rest.front());
        rest.remove_prefix(1);
        return true;
    }

    bool bytes(std::size_t count, std::string& out) {
        if (rest.size() < count) return false;
        out.assign(rest.substr(0, count));
        rest.remove_prefix(count);
        return true;
    }

    /// Seven bits a byte, low group first, flag 0x80 on all but the last; after eight flagged
    /// groups a ninth byte holds bits 56 to 63 whole. Refuses a needless last group of zeros.
    bool varUInt(std::uint64_t& out) {
        out = 0;
        unsigned b = 0;
        for (int group = 0; group < 8; ++group) {
            if (!byte(b)) return false;
            out |= std::uint64_t{b & 0x7F} << (7 * group);
            if ((b & 0x80) == 0) return group == 0 || (b & 0x7F) != 0;
        }
        if (!byte(b)) return false;
        out |= std::uint64_t{b} << 56;
        return b != 0;
    }

    /// Sign and magnitude: the magnitude's low six bits, the sign in bit 6, the rest above it. A
    /// negative zero stands for the minimum value, whose magnitude does not fit.
    bool varInt(std::int64_t& out) {
        std::uint64_t packed;
        if (!varUInt(packed)) return false;
        const std::uint64_t magnitude = (packed & 0x3F) | (packed >> 7 << 6);
        const bool negative = (packed & 0x40) != 0;
        if (negative && magnitude == 0) {
            out = INT64_MIN;
        } else {
            out = negative ? -static_cast<std::int64_t>(magnitude)
                           : static_cast<std::int64_t>(magnitude);
        }
        return true;
    }

private:
    std::string_view rest;
};

/// A number or length from a lead byte's high bits, or from the bytes after it.
bool inlineOrFollowing(Reader& in, unsigned high, std::uint64_t& out) {
    if (high != kFollows) {
        out = high;
        return true;
    }
    return in.varUInt(out) && out > kInlineMax;
}

bool string(Reader& in, unsigned high, std::string& out) {
    std::uint64_t length;
    return inlineOrFollowing(in, high, length) && in.bytes(length, out);
}

/// The node that starts with `lead`; containers come back empty, to be filled by the caller.
JsonNodePtr node(Reader& in, unsigned lead) {
    const unsigned high = lead >> 3;
    switch (static_cast<JsonType>(lead & 7)) {
        case JsonType::Integer: {
            if (high != kFollows) return std::make_unique<pelmo::JsonInteger>(high);
            std::int64_t value;
            if (!in.varInt(value) || (value >= 0 && value <= kInlineMax)) return nullptr;
            return std::make_unique<pelmo::JsonInteger>(value);
        }
        case JsonType::Float: {
            std::string raw;
            if (high != 0 || !in.bytes(8, raw)) return nullptr;
            std::uint64_t bits = 0;
            for (int i = 7; i >= 0; --i) bits = bits << 8 | static_cast<unsigned char>(raw[i]);
            return std::make_unique<pelmo::JsonFloat>(std::bit_cast<double>(bits));
        }
        case JsonType::String: {
            std::string value;
            if (!string(in, high, value)) return nullptr;
            return std::make_unique<pelmo::JsonString>(std::move(value));
        }
        case JsonType::Array:
            if (high != 0) return nullptr;
            return std::make_unique<pelmo::JsonArray>();
        case JsonType::Object:
            if (high != 0) return nullptr;
            return std::make_unique<pelmo::JsonObject>();
        default:
            return nullptr;
    }
}

}  // namespace

JsonNodePtr decodeBinary(std::string_view bytes) {
    Reader in(bytes);
    JsonNodePtr top;
    std::vector<JsonNode*> open;     // the containers not closed yet, innermost last
    std::optional<std::string> key;  // read inside the innermost object, waiting for its value
    do {
        unsigned lead;
        if (!in.byte(lead)) return nullptr;
        JsonNode* const parent = open.empty() ? nullptr : open.back();
        if ((lead & 7) == kEnd) {
            if (parent == nullptr || lead != kEnd || key) return nullptr;
            open.pop_back();
            continue;
        }
        if (parent != nullptr && parent->type == JsonType::Object && !key) {
            if ((lead & 7) != static_cast<unsigned>(JsonType::String)) return nullptr;
            if (!string(in, lead >> 3, key.emplace())) return nullptr;
            continue;
        }
        JsonNodePtr child = node(in, lead);
        if (!child) return nullptr;
        JsonNode* const added = child.get();
        if (parent == nullptr) {
            top = std::move(child);
        } else if (parent->type == JsonType::Array) {
            static_cast<pelmo::JsonArray*>(parent)->push(std::move(child));
        } else {
            static_cast<pelmo::JsonObject*>(parent)->add(std::move(*key), std::move(child));
            key.reset();
        }
        if (added->type == JsonType::Array || added->type == JsonType::Object)
            open.push_back(added);
    } while (!open.empty());
    return in.atEnd() ? std::move(top) : nullptr;
}

std::vector<std::uint64_t> floatBits(const JsonNode& top) {
    std::vector<std::uint64_t> bits;
    std::vector<const JsonNode*> pending{&top};  // children are pushed last first
    while (!pending.empty()) {
        const JsonNode& node = *pending.back();
        pending.pop_back();
        if (node.type == JsonType::Float) {
            bits.push_back(
                std::bit_cast<std::uint64_t>(static_cast<const pelmo::JsonFloat&>(node).value));
        } else if (node.type == JsonType::Array) {
            const auto& elements = static_cast<const pelmo::JsonArray&>(node).elements;
            for (auto it = elements.rbegin(); it != elements.rend(); ++it)
                pending.push_back(it->get());
        } else if (node.type == JsonType::Object) {
            const auto& members = static_cast<const pelmo::JsonObject&>(node).members;
            for (auto it = members.rbegin(); it != members.rend(); ++it)
                pending.push_back(it->second.get());
        }
    }
    return bits;
}
