#pragma once

// Internal to the kessa library: the instance of a kessa text as the validator reads a document.
// An object shows each key once, with its last value, as a JSON reader keeps it.

#include <valijson/internal/adapter.hpp>
#include <valijson/internal/basic_adapter.hpp>
#include <valijson/internal/frozen_value.hpp>

#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "kessa/schema_instance.h"

namespace kessa::detail {

class InstanceAdapter;
class InstanceArrayIterator;
class InstanceMemberIterator;

using InstanceMember = std::pair<std::string, InstanceAdapter>;

/// A node of an instance; `wholeFloats` says whether a float with no fraction is an integer, as
/// drafts from 6 on have it.
struct InstanceRef {
    const Instance* instance = nullptr;
    std::uint32_t index = 0;
    bool wholeFloats = true;

    const Instance::Node& node() const { return instance->node(index); }
    InstanceRef at(std::uint32_t child) const { return {instance, child, wholeFloats}; }
};

class InstanceArray {
public:
    using const_iterator = InstanceArrayIterator;
    using iterator = InstanceArrayIterator;
    InstanceArray() = default;
    explicit InstanceArray(InstanceRef ref) : ref_(ref) {}
    InstanceArrayIterator begin() const;
    InstanceArrayIterator end() const;
    std::size_t size() const { return ref_.instance == nullptr ? 0 : ref_.node().count; }

private:
    InstanceRef ref_;
};

class InstanceObject {
public:
    using const_iterator = InstanceMemberIterator;
    using iterator = InstanceMemberIterator;
    InstanceObject() = default;
    explicit InstanceObject(InstanceRef ref) : ref_(ref) {}
    InstanceMemberIterator begin() const;
    InstanceMemberIterator end() const;
    InstanceMemberIterator find(const std::string& name) const;
    std::size_t size() const { return ref_.instance == nullptr ? 0 : ref_.node().kept; }

private:
    InstanceRef ref_;
};

class InstanceValue {
public:
    InstanceValue() = default;
    explicit InstanceValue(InstanceRef ref) : ref_(ref) {}

    valijson::adapters::FrozenValue* freeze() const;

    std::optional<InstanceArray> getArrayOptional() const {
        if (isArray()) return InstanceArray(ref_);
        return {};
    }
    bool getArraySize(std::size_t& result) const {
        if (!isArray()) return false;
        result = ref_.node().count;
        return true;
    }
    bool getBool(bool&) const { return false; }  // the notation has no true or false
    bool getDouble(double& result) const {
        if (!isDouble()) return false;
        result = ref_.node().number;
        return true;
    }
    bool getInteger(std::int64_t& result) const {
        if (!isInteger()) return false;
        const Instance::Node& node = ref_.node();
        result = node.type == pelmo::JsonType::Integer ? node.integer
                                                       : static_cast<std::int64_t>(node.number);
        return true;
    }
    std::optional<InstanceObject> getObjectOptional() const {
        if (isObject()) return InstanceObject(ref_);
        return {};
    }
    bool getObjectSize(std::size_t& result) const {
        if (!isObject()) return false;
        result = ref_.node().kept;
        return true;
    }
    bool getString(std::string& result) const {
        if (!isString()) return false;
        std::string buffer;
        const std::string_view bytes = ref_.instance->string(ref_.node(), buffer);
        result.assign(bytes.data(), bytes.size());
        return true;
    }
    static bool hasStrictTypes() { return true; }
    bool isArray() const { return is(pelmo::JsonType::Array); }
    bool isBool() const { return false; }
    bool isDouble() const { return is(pelmo::JsonType::Float) && !wholeFloat(); }
    bool isInteger() const { return is(pelmo::JsonType::Integer) || wholeFloat(); }
    bool isNull() const { return false; }  // nor null
    bool isNumber() const { return is(pelmo::JsonType::Integer) || is(pelmo::JsonType::Float); }
    bool isObject() const { return is(pelmo::JsonType::Object); }
    bool isString() const { return is(pelmo::JsonType::String); }

    InstanceRef ref() const { return ref_; }

private:
    bool is(pelmo::JsonType type) const {
        return ref_.instance != nullptr && ref_.node().type == type;
    }
    /// A float with no fraction, which from draft 6 on is an integer, where an int64 holds it.
    bool wholeFloat() const {
        if (!ref_.wholeFloats || !is(pelmo::JsonType::Float)) return false;
        const double number = ref_.node().number;
        return std::trunc(number) == number && std::fabs(number) < 0x1p63;
    }

    InstanceRef ref_;
};

class InstanceAdapter
    : public valijson::adapters::BasicAdapter<InstanceAdapter, InstanceArray, InstanceMember,
                                              InstanceObject, InstanceValue> {
public:
    explicit InstanceAdapter(InstanceRef ref) : BasicAdapter(InstanceValue(ref)) {}
};

class InstanceFrozenValue final : public valijson::adapters::FrozenValue {
public:
    explicit InstanceFrozenValue(InstanceRef ref) : ref_(ref) {}
    FrozenValue* clone() const override { return new InstanceFrozenValue(ref_); }
    bool equalTo(const valijson::adapters::Adapter& other, bool strict) const override {
        return InstanceAdapter(ref_).equalTo(other, strict);
    }

private:
    InstanceRef ref_;
};

inline valijson::adapters::FrozenValue* InstanceValue::freeze() const {
    return new InstanceFrozenValue(ref_);
}

class InstanceArrayIterator {
public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = InstanceAdapter;
    using difference_type = std::ptrdiff_t;
    using pointer = InstanceAdapter*;
    using reference = InstanceAdapter&;

    InstanceArrayIterator(InstanceRef array, std::uint32_t position)
        : array_(array), position_(position) {}
    InstanceAdapter operator*() const {
        return InstanceAdapter(array_.at(array_.instance->entries(array_.node())[position_]));
    }
    valijson::adapters::DerefProxy<InstanceAdapter> operator->() const {
        return valijson::adapters::DerefProxy<InstanceAdapter>(**this);
    }
    bool operator==(const InstanceArrayIterator& other) const {
        return position_ == other.position_;
    }
    bool operator!=(const InstanceArrayIterator& other) const { return !(*this == other); }
    const InstanceArrayIterator& operator++() {
        ++position_;
        return *this;
    }
    InstanceArrayIterator operator++(int) {
        InstanceArrayIterator before = *this;
        ++position_;
        return before;
    }
    const InstanceArrayIterator& operator--() {
        --position_;
        return *this;
    }
    void advance(std::ptrdiff_t n) { position_ = static_cast<std::uint32_t>(position_ + n); }

private:
    InstanceRef array_;
    std::uint32_t position_;
};

/// Walks an object's members, skipping those whose key comes again.
class InstanceMemberIterator {
public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = InstanceMember;
    using difference_type = std::ptrdiff_t;
    using pointer = InstanceMember*;
    using reference = InstanceMember&;

    InstanceMemberIterator(InstanceRef object, std::uint32_t position)
        : object_(object), position_(position) {
        skipShadowed();
    }
    InstanceMember operator*() const {
        const Instance::Node& member = memberAt(position_);
        std::string buffer;
        const std::string_view key = object_.instance->key(member, buffer);
        return {std::string(key), InstanceAdapter(object_.at(object_.instance->indexOf(member)))};
    }
    valijson::adapters::DerefProxy<InstanceMember> operator->() const {
        return valijson::adapters::DerefProxy<InstanceMember>(**this);
    }
    bool operator==(const InstanceMemberIterator& other) const {
        return position_ == other.position_;
    }
    bool operator!=(const InstanceMemberIterator& other) const { return !(*this == other); }
    const InstanceMemberIterator& operator++() {
        ++position_;
        skipShadowed();
        return *this;
    }
    InstanceMemberIterator operator++(int) {
        InstanceMemberIterator before = *this;
        ++*this;
        return before;
    }
    const InstanceMemberIterator& operator--() {
        do {
            --position_;
        } while ((memberAt(position_).flags & Instance::kShadowed) != 0);
        return *this;
    }

private:
    const Instance::Node& memberAt(std::uint32_t position) const {
        return object_.instance->node(object_.instance->entries(object_.node())[position]);
    }
    void skipShadowed() {
        const std::uint32_t count = object_.instance == nullptr ? 0 : object_.node().count;
        while (position_ < count && (memberAt(position_).flags & Instance::kShadowed) != 0) {
            ++position_;
        }
    }

    InstanceRef object_;
    std::uint32_t position_;
};

inline InstanceArrayIterator InstanceArray::begin() const {
    return {ref_, 0};
}
inline InstanceArrayIterator InstanceArray::end() const {
    return {ref_, static_cast<std::uint32_t>(size())};
}
inline InstanceMemberIterator InstanceObject::begin() const {
    return {ref_, 0};
}
inline InstanceMemberIterator InstanceObject::end() const {
    return {ref_, ref_.instance == nullptr ? 0 : ref_.node().count};
}
inline InstanceMemberIterator InstanceObject::find(const std::string& name) const {
    if (ref_.instance == nullptr) return end();
    const auto members = ref_.instance->entries(ref_.node());
    std::string buffer;
    // The last member of that key is the one a reader keeps.
    for (std::uint32_t i = static_cast<std::uint32_t>(members.size()); i-- != 0;) {
        if (ref_.instance->key(ref_.instance->node(members[i]), buffer) == name) return {ref_, i};
    }
    return end();
}

}  // namespace kessa::detail

template <>
struct valijson::adapters::AdapterTraits<kessa::detail::InstanceAdapter> {
    using DocumentType = kessa::detail::Instance;
    static std::string adapterName() { return "InstanceAdapter"; }
};
