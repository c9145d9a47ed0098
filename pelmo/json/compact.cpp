// The compact JSON text of every kind of node.

#include "pelmo/json/node.h"
#include "pelmo/json/number_text.h"
#include "pelmo/json/string_escape.h"
#include "pelmo/json/text_bound.h"
#include "pelmo/json/tree_walk.h"

namespace pelmo {

namespace {

/// Writes containers' punctuation and each key and scalar's own compact text.
struct CompactWriter {
    std::string& out;

    bool open(const JsonNode& container, std::size_t) {
        out += container.type == JsonType::Object ? '{' : '[';
        return true;
    }
    bool item(const JsonNode* key, std::size_t index, std::size_t) {
        if (index != 0) out += ',';
        if (key != nullptr) {
            key->appendCompact(out);
            out += ':';
        }
        return true;
    }
    bool scalar(const JsonNode& node) {
        node.appendCompact(out);
        return true;
    }
    bool close(const JsonNode& container, std::size_t) {
        out += container.type == JsonType::Object ? '}' : ']';
        return true;
    }
};

/// The compact text of an object or array, reserved once and written in one walk.
void appendContainer(const JsonNode& container, std::string& out) {
    out.reserve(out.size() + detail::compactTextBound(container));
    CompactWriter writer{out};
    detail::walkTree(container, 0, writer);
}

}  // namespace

void JsonObject::appendCompact(std::string& out) const {
    appendContainer(*this, out);
}

void JsonArray::appendCompact(std::string& out) const {
    appendContainer(*this, out);
}

void JsonString::appendCompact(std::string& out) const {
    out.reserve(out.size() + value.size() + 2);
    out += '"';
    const char* run = value.data();
    const char* const end = run + value.size();
    for (const char* p = run; p != end; ++p) {
        const char escape = detail::kEscapes[static_cast<unsigned char>(*p)];
        if (escape == 0) continue;
        out.append(run, p);
        out += '\\';
        out += escape;
        run = p + 1;
    }
    out.append(run, end);
    out += '"';
}

void JsonInteger::appendCompact(std::string& out) const {
    char text[detail::kNumberTextCapacity];
    out.append(text, detail::writeInteger(text, value));
}

void JsonFloat::appendCompact(std::string& out) const {
    char text[detail::kNumberTextCapacity];
    out.append(text, detail::writeFloat(text, value));
}

}  // namespace pelmo
