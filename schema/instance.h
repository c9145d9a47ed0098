#pragma once

// What the validator reads: a JSON value, through a small interface that any document type can
// give (see JsonDocument below, and the kessa text's own instance). A value is named by a Ref;
// a member's key is a value of its own (Ref::key), so that propertyNames checks it as a string.
//
// A document type D gives:
//   Ref root() const;
//   Type type(Ref) const;                       a key's type is String
//   Number number(Ref) const;                   for Integer and Number
//   bool boolean(Ref) const;
//   std::string_view string(Ref, std::string& buffer) const;   a string's bytes, or a key's
//   std::uint32_t size(Ref) const;              an array's elements, an object's members
//   Ref entry(Ref, std::uint32_t) const;        the entry at an index
//   bool shadowed(Ref) const;                   a member whose key comes again later
//   std::uint32_t kept(Ref) const;              an object's members less those shadowed

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "schema/number.h"

namespace schema {

enum class Type : std::uint8_t { Null, Boolean, Integer, Number, String, Array, Object };

/// The bit of each type in a set of types.
constexpr std::uint8_t bitOf(Type type) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(type));
}

struct Ref {
    std::uint32_t index = 0;
    /// The key of the member `index`, rather than its value.
    bool key = false;
    bool operator==(const Ref&) const = default;
};

/// A JSON document as a flat array of values, built without recursion: for constants of a
/// schema, and for documents given as JSON.
class JsonDocument {
public:
    struct Value {
        Type type;
        bool boolean = false;
        Number number;
        std::uint32_t text = 0, textSize = 0;  ///< a string's bytes in the arena
        std::uint32_t keyText = 0, keySize = 0;
        std::uint32_t first = 0, count = 0;  ///< entries: children_[first, first + count)
        std::uint32_t kept = 0;
    };

    JsonDocument() = default;

    /// Adds a value: call with containers' entries in order, between open and close.
    void null();
    void boolean(bool value);
    void number(Number value);
    void string(std::string_view value);
    void key(std::string_view key);
    void openArray();
    void openObject();
    void close();

    Ref root() const { return {}; }
    Type type(Ref ref) const { return ref.key ? Type::String : values_[ref.index].type; }
    Number number(Ref ref) const { return values_[ref.index].number; }
    bool boolean(Ref ref) const { return values_[ref.index].boolean; }
    std::string_view string(Ref ref, std::string&) const {
        const Value& v = values_[ref.index];
        return ref.key ? std::string_view(arena_).substr(v.keyText, v.keySize)
                       : std::string_view(arena_).substr(v.text, v.textSize);
    }
    std::uint32_t size(Ref ref) const { return values_[ref.index].count; }
    Ref entry(Ref ref, std::uint32_t i) const {
        return {children_[values_[ref.index].first + i], false};
    }
    bool shadowed(Ref ref) const { return shadowed_[ref.index]; }
    std::uint32_t kept(Ref ref) const { return values_[ref.index].kept; }
    bool empty() const { return values_.empty(); }
    std::uint32_t valueCount() const { return static_cast<std::uint32_t>(values_.size()); }

    /// The document a JSON text gives; raises std::invalid_argument for text that is not JSON.
    static JsonDocument parse(std::string_view text);

private:
    std::uint32_t add(Type type);
    std::vector<Value> values_;
    std::vector<bool> shadowed_;
    std::vector<std::uint32_t> children_;
    std::string arena_;
    struct Open {
        std::uint32_t value;
        std::size_t firstEntry;
    };
    std::vector<Open> open_;
    std::vector<std::uint32_t> entries_;
    bool pendingKey_ = false;
    std::uint32_t keyText_ = 0, keySize_ = 0;
};

}  // namespace schema
