// A scan of a JSON text that a parser has accepted already, so it only follows its structure:
// strings, brackets, commas and colons. One pass, with its own stack.

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

JsonPlaces jsonPlaces(std::string_view text) {
    struct Open {
        bool object;
        std::uint64_t next;   // the index of the next element
        std::string pointer;  // the container's own pointer
        std::uint64_t begin;
    };
    JsonPlaces out;
    std::vector<Open> open;
    std::string pointer;  // of the value to come
    std::uint64_t key = 0;
    bool keyed = false;
    const auto place = [&](std::size_t begin, std::size_t end) {
        out.places[pointer] = {begin, end - begin, keyed ? key : begin};
        keyed = false;
    };
    // The pointer of the next element of an array, or nothing for an object (its key sets it).
    const auto nextPointer = [&]() {
        if (open.empty()) return;
        Open& top = open.back();
        pointer = top.pointer;
        if (!top.object) pointer += "/" + std::to_string(top.next++);
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (isBlank(c) || c == ':') {
            ++i;
        } else if (c == ',') {
            nextPointer();
            ++i;
        } else if (c == '{' || c == '[') {
            open.push_back({c == '{', 0, pointer, i});
            out.depth = std::max(out.depth, open.size());
            out.places[pointer] = {i, 1, keyed ? key : i};
            keyed = false;
            nextPointer();
            ++i;
        } else if (c == '}' || c == ']') {
            if (open.empty()) break;  // not a text a parser accepted
            const Open top = std::move(open.back());
            open.pop_back();
            out.places[top.pointer].length = i + 1 - top.begin;
            ++i;
            pointer = top.pointer;
        } else if (c == '"') {
            const std::size_t end = stringEnd(text, i);
            // In an object, a string after "{" or "," is a key.
            std::size_t after = end;
            while (after < text.size() && isBlank(text[after])) ++after;
            if (!open.empty() && open.back().object && after < text.size() && text[after] == ':') {
                pointer = open.back().pointer;
                appendPointerStep(pointer, decoded(text.substr(i, end - i)));
                key = i;
                keyed = true;
            } else {
                place(i, end);
            }
            i = end;
        } else {
            std::size_t end = i;
            while (end < text.size() && !isBlank(text[end]) && text[end] != ',' &&
                   text[end] != '}' && text[end] != ']') {
                ++end;
            }
            place(i, end);
            i = end;
        }
    }
    return out;
}

}  // namespace kessa::detail
