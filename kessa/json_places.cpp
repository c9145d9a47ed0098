// A scan of a JSON text that a parser has accepted already, so it only follows its structure:
// strings, brackets, commas and colons. One pass, with its own stack, that compares each key or
// index with the pointer sought only while the way to it holds.

#include "kessa/json_places.h"

#include <nlohmann/json.hpp>

#include <vector>

namespace kessa::detail {

void appendPointerStep(std::string& pointer, std::string_view key) {
    pointer += '/';
    for (const char c : key) {
        if (c == '~') {
            pointer += "~0";
        } else if (c == '/') {
            pointer += "~1";
        } else {
            pointer += c;
        }
    }
}

namespace {

/// The offset just past the string literal that starts at `at`.
std::size_t stringEnd(std::string_view text, std::size_t at) {
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i + 1;
        }
    }
    return text.size();
}

/// The decoded text of the string literal text[begin, end).
std::string decoded(std::string_view literal) {
    if (literal.find('\\') == std::string_view::npos) {
        return std::string(literal.substr(1, literal.size() - 2));
    }
    return nlohmann::json::parse(literal).get<std::string>();
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

std::optional<JsonPlace> findPlace(std::string_view text, const std::vector<std::string>& steps) {
    struct Open {
        bool object;
        bool matched;  // whether the container's pointer is the first steps of the one sought
        std::uint64_t next;
        std::uint64_t begin;
    };
    std::vector<Open> open;
    std::optional<JsonPlace> found;
    bool target = steps.empty();  // whether the value to come is the one sought
    bool matching = true;         // whether it is on the way to it
    std::uint64_t key = 0;
    bool keyed = false;
    std::size_t foundDepth = 0;
    // The next element of an array: whether it is on the way, by its index.
    const auto nextElement = [&]() {
        if (open.empty()) return;
        Open& top = open.back();
        if (top.object) return;
        const std::size_t depth = open.size();
        const std::uint64_t index = top.next++;
        matching =
            top.matched && depth <= steps.size() && steps[depth - 1] == std::to_string(index);
        target = matching && depth == steps.size();
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (isBlank(c) || c == ':') {
            ++i;
        } else if (c == ',') {
            nextElement();
            ++i;
        } else if (c == '{' || c == '[') {
            if (target && !found) {
                found = JsonPlace{i, 1, keyed ? key : i};
                foundDepth = open.size() + 1;
            }
            open.push_back({c == '{', matching, 0, i});
            keyed = false;
            target = false;
            matching = false;
            nextElement();
            ++i;
        } else if (c == '}' || c == ']') {
            if (open.empty()) break;  // not a text a parser accepted
            if (found && foundDepth == open.size() && found->value == open.back().begin) {
                found->length = i + 1 - open.back().begin;
                return found;
            }
            open.pop_back();
            ++i;
        } else if (c == '"') {
            const std::size_t end = stringEnd(text, i);
            // In an object, a string after "{" or "," is a key.
            std::size_t after = end;
            while (after < text.size() && isBlank(text[after])) ++after;
            if (!open.empty() && open.back().object && after < text.size() && text[after] == ':') {
                const std::size_t depth = open.size();
                matching = open.back().matched && depth <= steps.size() &&
                           decoded(text.substr(i, end - i)) == steps[depth - 1];
                target = matching && depth == steps.size();
                key = i;
                keyed = true;
            } else {
                if (target) return JsonPlace{i, end - i, keyed ? key : i};
                keyed = false;
            }
            i = end;
        } else {
            std::size_t end = i;
            while (end < text.size() && !isBlank(text[end]) && text[end] != ',' &&
                   text[end] != '}' && text[end] != ']') {
                ++end;
            }
            if (target) return JsonPlace{i, end - i, keyed ? key : i};
            keyed = false;
            i = end;
        }
    }
    return found;
}

}  // namespace kessa::detail
