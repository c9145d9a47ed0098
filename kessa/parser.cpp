#include "kessa/parser.h"

#include <array>

#include "kessa/scalar.h"
#include "pelmo/exception.h"

namespace kessa {

namespace {

using pelmo::JsonType;

[[noreturn]] void reject() {
    throw pelmo::Exception(KessaParser::kMalformedMessage);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/// Removes spaces, tabs, line feeds and carriage returns from both ends of `s`.
void trim(std::string& s) {
    std::size_t end = s.size();
    while (end != 0 && isBlank(s[end - 1])) --end;
    std::size_t begin = 0;
    while (begin != end && isBlank(s[begin])) ++begin;
    if (begin == 0 && end == s.size()) return;  // the usual case: nothing to remove
    s.erase(end);
    s.erase(0, begin);
}

/// Bytes that end a run of ordinary bytes outside quotes, and inside them.
constexpr auto kPlainStops = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : std::string_view("={},\"\n\r")) table[c] = true;
    return table;
}();
constexpr auto kQuotedStops = [] {
    std::array<bool, 256> table{};
    table['"'] = table['\t'] = true;
    return table;
}();

/// Returns the first byte at or after `p` that `stops` marks, or `end`.
const char* findStop(const char* p, const char* end, const std::array<bool, 256>& stops) {
    while (p != end && !stops[static_cast<unsigned char>(*p)]) ++p;
    return p;
}

}  // namespace

std::unique_ptr<pelmo::JsonObject> KessaParser::parse(std::string_view text) {
    containerStack.clear();
    key.clear();
    token.clear();
    inQuotes = false;
    containerPending = false;

    auto root = std::make_unique<pelmo::JsonObject>();
    containerStack.push_back(root.get());
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p != end) {
        // Ordinary bytes are collected a run at a time.
        const char* stop = findStop(p, end, inQuotes ? kQuotedStops : kPlainStops);
        token.append(p, stop);
        p = stop;
        if (p == end) break;
        const char c = *p++;
        if (inQuotes) {
            if (c == '"') {  // the closing quote: the value is kept untrimmed
                inQuotes = false;
                emitToken();
            }  // a tab inside quotes is dropped
            continue;
        }
        switch (c) {
            case '=':
                onEquals();
                break;
            case '{':
                onLeftBrace();
                break;
            case ',':
                onComma();
                break;
            case '}':
                onRightBrace();
                break;
            case '"':
                onQuote();
                break;
            case '\n':
                onLineFeed();
                break;
            default:
                break;  // a carriage return is dropped
        }
    }
    finish();
    return root;
}

// The text before an equals sign becomes the pending key, replacing any earlier one.
void KessaParser::onEquals() {
    resolvePending(JsonType::Object);
    key = std::move(token);
    token.clear();
    trim(key);
}

// Text between a value's equals sign and a left brace is discarded.
void KessaParser::onLeftBrace() {
    token.clear();
    resolvePending(JsonType::Array);
    containerPending = true;
}

// A comma right after a left brace makes an array whose first element may be empty.
void KessaParser::onComma() {
    const bool wasPending = containerPending;
    resolvePending(JsonType::Array);
    trim(token);
    if (wasPending || !token.empty()) emitToken();
}

void KessaParser::onRightBrace() {
    resolvePending(JsonType::Array);
    trim(token);
    if (!token.empty()) emitToken();
    // The root has no brace of its own to close.
    if (containerStack.size() == 1) reject();
    containerStack.pop_back();
}

// A double quote opens a quoted value only where nothing has been collected yet.
void KessaParser::onQuote() {
    resolvePending(JsonType::Array);
    if (token.empty()) {
        inQuotes = true;
    } else {
        token += '"';
    }
}

// While a container's kind is pending, line feeds are dropped and the text around them joins.
void KessaParser::onLineFeed() {
    if (containerPending) return;
    trim(token);
    if (!token.empty()) emitToken();
}

// The acceptance test: every brace closed, and no value or key left over. An open quote or a
// pending brace with nothing after it adds nothing and is accepted.
void KessaParser::finish() {
    if (containerStack.size() != 1) reject();
    containerStack.pop_back();
    if (!token.empty() || !key.empty()) reject();
}

/// Creates the pending container, if there is one, as an object or array of `kind`.
void KessaParser::resolvePending(JsonType kind) {
    if (!containerPending) return;
    containerPending = false;
    if (kind == JsonType::Object) {
        openContainer(std::make_unique<pelmo::JsonObject>());
    } else {
        openContainer(std::make_unique<pelmo::JsonArray>());
    }
}

/// Types the token and adds it to the innermost container.
void KessaParser::emitToken() {
    addValue(makeScalar(token));
    token.clear();
}

/// Adds a new container to the innermost one and makes it the innermost.
void KessaParser::openContainer(pelmo::JsonNodePtr node) {
    if (node->type != JsonType::Object && node->type != JsonType::Array) reject();
    pelmo::JsonNode* container = node.get();
    addValue(std::move(node));
    containerStack.push_back(container);
}

/// Appends `node` to the innermost array, or to the innermost object under the pending key,
/// which it consumes (an empty key included).
void KessaParser::addValue(pelmo::JsonNodePtr node) {
    pelmo::JsonNode* top = containerStack.back();
    if (top->type == JsonType::Array) {
        static_cast<pelmo::JsonArray*>(top)->push(std::move(node));
    } else {
        static_cast<pelmo::JsonObject*>(top)->add(std::move(key), std::move(node));
        key.clear();
    }
}

}  // namespace kessa
