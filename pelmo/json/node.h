#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pelmo {

class ByteWriter;

/// The kind of a node, stored in one byte. The values are also the type bits of the binary
/// encoding, which adds 7 for the end of a container.
enum class JsonType : std::uint8_t { Integer = 0, Float = 1, String = 2, Array = 5, Object = 6 };

class JsonNode;

/// The exclusive owner of a node. Every node of a tree is held by exactly one.
using JsonNodePtr = std::unique_ptr<JsonNode>;

/// A node of a JSON document tree. Nodes live on the heap, never move and are never copied; a
/// container owns its children. Walks over a tree, destruction included, keep their own stack, so
/// a tree of any depth that fits in memory can be encoded, compared and destroyed.
class JsonNode {
public:
    /// The node's kind, fixed by its class.
    const JsonType type;

    JsonNode(const JsonNode&) = delete;
    JsonNode& operator=(const JsonNode&) = delete;
    virtual ~JsonNode() = default;

    /// True when `other` is of the same kind and has the same compact text. Raises only
    /// std::bad_alloc, while building those texts.
    virtual bool isEqual(const JsonNode& other) const;

    /// Appends the node's compact JSON text to `out`. Raises only std::bad_alloc or
    /// std::length_error; what was appended before the failure stays in `out`.
    virtual void appendCompact(std::string& out) const = 0;

    /// Writes the node's binary encoding to `writer` and returns true if every write succeeded.
    /// Nothing follows a lead byte that could not be written, and a container stops at the first
    /// child that failed; a number or string whose lead byte was written still writes the rest.
    /// Raises nothing of its own.
    virtual bool appendBinary(ByteWriter& writer) const = 0;

    /// Appends the node's indented JSON text to `out`, as if it stood at nesting level `depth`:
    /// containers over several lines, four spaces per level; scalars in their compact form. Raises
    /// only std::bad_alloc or std::length_error, leaving what was appended before in `out`.
    void appendIndented(std::string& out, std::uint32_t depth) const;

    /// Returns the node's indented JSON text at level 0, with no line break at the end. Raises
    /// only std::bad_alloc or std::length_error.
    std::string toIndentedString() const;

protected:
    explicit JsonNode(JsonType kind) : type(kind) {}
};

/// An ordered object whose keys may repeat; members keep their insertion order.
class JsonObject final : public JsonNode {
public:
    /// A member: the key, always a JsonString, then the value. Neither is ever null.
    using Member = std::pair<JsonNodePtr, JsonNodePtr>;

    /// The members in insertion order. Grow it only through `add`.
    std::vector<Member> members;

    JsonObject() : JsonNode(JsonType::Object) {}
    ~JsonObject() override;

    /// Appends the member (`key`, `value`) without looking the key up. On failure (std::bad_alloc)
    /// the object is unchanged and `value` is destroyed.
    void add(std::string key, JsonNodePtr value);

    void appendCompact(std::string& out) const override;
    bool appendBinary(ByteWriter& writer) const override;
    /// The object's indented layout; see JsonNode::appendIndented.
    void appendIndented(std::string& out, std::uint32_t depth) const;
};

/// An ordered array of nodes.
class JsonArray final : public JsonNode {
public:
    /// The elements in insertion order, never null. Grow it only through `push`.
    std::vector<JsonNodePtr> elements;

    JsonArray() : JsonNode(JsonType::Array) {}
    ~JsonArray() override;

    /// Appends `value`. On failure (std::bad_alloc) the array is unchanged and `value` destroyed.
    void push(JsonNodePtr value);

    void appendCompact(std::string& out) const override;
    bool appendBinary(ByteWriter& writer) const override;
    /// The array's indented layout; see JsonNode::appendIndented.
    void appendIndented(std::string& out, std::uint32_t depth) const;
};

/// A string of arbitrary bytes, NUL included; no character set is assumed.
class JsonString final : public JsonNode {
public:
    const std::string value;

    /// Takes over the bytes of `bytes`.
    explicit JsonString(std::string bytes) : JsonNode(JsonType::String), value(std::move(bytes)) {}

    bool isEqual(const JsonNode& other) const override;
    void appendCompact(std::string& out) const override;
    bool appendBinary(ByteWriter& writer) const override;
};

/// A signed 64-bit integer.
class JsonInteger final : public JsonNode {
public:
    const std::int64_t value;

    explicit JsonInteger(std::int64_t number) : JsonNode(JsonType::Integer), value(number) {}

    bool isEqual(const JsonNode& other) const override;
    void appendCompact(std::string& out) const override;
    bool appendBinary(ByteWriter& writer) const override;
};

/// A double-precision number; compared by its text, so values equal to six decimals are equal.
class JsonFloat final : public JsonNode {
public:
    const double value;

    explicit JsonFloat(double number) : JsonNode(JsonType::Float), value(number) {}

    void appendCompact(std::string& out) const override;
    bool appendBinary(ByteWriter& writer) const override;
};

}  // namespace pelmo
