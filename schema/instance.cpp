#include "schema/instance.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <unordered_map>

namespace schema {

std::uint32_t JsonDocument::add(Type type) {
    if (values_.size() >= std::numeric_limits<std::uint32_t>::max() / 2) {
        throw std::length_error("too many values in a JSON document");
    }
    const auto index = static_cast<std::uint32_t>(values_.size());
    Value& value = values_.emplace_back();
    value.type = type;
    shadowed_.push_back(false);
    if (!open_.empty()) entries_.push_back(index);
    if (pendingKey_) {
        value.keyText = keyText_;
        value.keySize = keySize_;
        pendingKey_ = false;
    }
    return index;
}

void JsonDocument::null() {
    add(Type::Null);
}

void JsonDocument::boolean(bool value) {
    values_[add(Type::Boolean)].boolean = value;
}

void JsonDocument::number(Number value) {
    values_[add(value.kind == Number::Kind::Real ? Type::Number : Type::Integer)].number = value;
}

void JsonDocument::string(std::string_view text) {
    const std::uint32_t index = add(Type::String);
    values_[index].text = static_cast<std::uint32_t>(arena_.size());
    values_[index].textSize = static_cast<std::uint32_t>(text.size());
    arena_.append(text);
}

void JsonDocument::key(std::string_view key) {
    keyText_ = static_cast<std::uint32_t>(arena_.size());
    keySize_ = static_cast<std::uint32_t>(key.size());
    arena_.append(key);
    pendingKey_ = true;
}

void JsonDocument::openArray() {
    open_.push_back({add(Type::Array), entries_.size()});
}

void JsonDocument::openObject() {
    open_.push_back({add(Type::Object), entries_.size()});
}

void JsonDocument::close() {
    const Open open = open_.back();
    open_.pop_back();
    Value& value = values_[open.value];
    value.first = static_cast<std::uint32_t>(children_.size());
    value.count = static_cast<std::uint32_t>(entries_.size() - open.firstEntry);
    children_.insert(children_.end(),
                     entries_.begin() + static_cast<std::ptrdiff_t>(open.firstEntry),
                     entries_.end());
    entries_.resize(open.firstEntry);
    value.kept = value.count;
    if (value.type != Type::Object || value.count < 2) return;
    // A repeated key counts once, with its last value, as JSON readers keep it.
    std::unordered_map<std::string_view, std::uint32_t> last;
    for (std::uint32_t i = 0; i < value.count; ++i) {
        const std::uint32_t member = children_[value.first + i];
        const Value& m = values_[member];
        const std::string_view key = std::string_view(arena_).substr(m.keyText, m.keySize);
        const auto [at, inserted] = last.try_emplace(key, member);
        if (!inserted) {
            shadowed_[at->second] = true;
            at->second = member;
            --values_[open.value].kept;
        }
    }
}

namespace {

/// Builds the document from the JSON parser's events, without recursion.
class Builder : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit Builder(JsonDocument& out) : out_(out) {}
    bool null() override {
        out_.null();
        return true;
    }
    bool boolean(bool value) override {
        out_.boolean(value);
        return true;
    }
    bool number_integer(number_integer_t value) override {
        out_.number(Number::ofInteger(value));
        return true;
    }
    bool number_unsigned(number_unsigned_t value) override {
        out_.number(Number::ofUnsigned(value));
        return true;
    }
    bool number_float(number_float_t value, const string_t& text) override {
        Number number = Number::ofReal(value);
        number.wholeLiteral = text.find_first_of(".eE") == std::string::npos;
        out_.number(number);
        return true;
    }
    bool string(string_t& value) override {
        out_.string(value);
        return true;
    }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override {
        out_.openObject();
        return true;
    }
    bool key(string_t& value) override {
        out_.key(value);
        return true;
    }
    bool end_object() override {
        out_.close();
        return true;
    }
    bool start_array(std::size_t) override {
        out_.openArray();
        return true;
    }
    bool end_array() override {
        out_.close();
        return true;
    }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& error) override {
        throw std::invalid_argument(error.what());
    }

private:
    JsonDocument& out_;
};

}  // namespace

JsonDocument JsonDocument::parse(std::string_view text) {
    JsonDocument document;
    Builder builder(document);
    nlohmann::json::sax_parse(text, &builder);
    return document;
}

}  // namespace schema
