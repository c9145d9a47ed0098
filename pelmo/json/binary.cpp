// The binary encoding of every kind of node. Each node starts with a lead byte whose low three
// bits hold its type; integers and strings keep a value or length up to 30 in the high five bits,
// and 31 there means a variable-length number follows.

#include <cstring>

#include "pelmo/json/byte_writer.h"
#include "pelmo/json/node.h"
#include "pelmo/json/tree_walk.h"

namespace pelmo {

namespace {

constexpr unsigned char kEndOfContainer = 7;
constexpr unsigned kInlineLimit = 30;
constexpr unsigned char kFollows = 31 << 3;

bool writeByte(ByteWriter& writer, unsigned char byte) {
    return writer.write(&byte, 1);
}

/// Writes containers' lead and closing bytes and each key and scalar's own encoding, stopping at
/// the first failure so that a failed container is left without its closing byte.
struct BinaryWriter {
    ByteWriter& writer;

    bool open(const JsonNode& container, std::size_t) {
        return writeByte(writer, static_cast<unsigned char>(container.type));
    }
    bool item(const JsonNode* key, std::size_t, std::size_t) {
        return key == nullptr || key->appendBinary(writer);
    }
    bool scalar(const JsonNode& node) { return node.appendBinary(writer); }
    bool close(const JsonNode&, std::size_t) { return writeByte(writer, kEndOfContainer); }
};

bool appendContainer(const JsonNode& container, ByteWriter& writer) {
    BinaryWriter binary{writer};
    return detail::walkTree(container, 0, binary);
}

}  // namespace

bool JsonObject::appendBinary(ByteWriter& writer) const {
    return appendContainer(*this, writer);
}

bool JsonArray::appendBinary(ByteWriter& writer) const {
    return appendContainer(*this, writer);
}

bool JsonString::appendBinary(ByteWriter& writer) const {
    const auto tag = static_cast<unsigned char>(JsonType::String);
    const std::size_t length = value.size();
    bool ok;
    if (length <= kInlineLimit) {
        if (!writeByte(writer, static_cast<unsigned char>(length << 3 | tag))) return false;
        ok = true;
    } else {
        if (!writeByte(writer, kFollows | tag)) return false;
        ok = writer.writeVarUInt(length);
    }
    if (length != 0) ok = writer.write(value.data(), length) && ok;
    return ok;
}

bool JsonInteger::appendBinary(ByteWriter& writer) const {
    const auto tag = static_cast<unsigned char>(JsonType::Integer);
    if (value >= 0 && value <= static_cast<std::int64_t>(kInlineLimit)) {
        return writeByte(writer, static_cast<unsigned char>(value << 3 | tag));
    }
    return writeByte(writer, kFollows | tag) && writer.writeVarInt(value);
}

bool JsonFloat::appendBinary(ByteWriter& writer) const {
    if (!writeByte(writer, static_cast<unsigned char>(JsonType::Float))) return false;
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    unsigned char bytes[8];
    for (unsigned char& byte : bytes) {  // least significant byte first, whatever the host order
        byte = static_cast<unsigned char>(bits);
        bits >>= 8;
    }
    return writer.write(bytes, sizeof bytes);
}

}  // namespace pelmo
