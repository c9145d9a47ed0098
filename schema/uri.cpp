#include "schema/uri.h"

#include <cctype>

namespace schema {

namespace {

struct Parts {
    std::string_view scheme, authority, path, query, fragment;
    bool hasAuthority = false, hasQuery = false, hasFragment = false;
};

Parts parse(std::string_view text) {
    Parts parts;
    if (hasScheme(text)) {
        const std::size_t colon = text.find(':');
        parts.scheme = text.substr(0, colon);
        text.remove_prefix(colon + 1);
    }
    if (const std::size_t hash = text.find('#'); hash != std::string_view::npos) {
        parts.hasFragment = true;
        parts.fragment = text.substr(hash + 1);
        text = text.substr(0, hash);
    }
    if (const std::size_t mark = text.find('?'); mark != std::string_view::npos) {
        parts.hasQuery = true;
        parts.query = text.substr(mark + 1);
        text = text.substr(0, mark);
    }
    if (text.substr(0, 2) == "//") {
        parts.hasAuthority = true;
        const std::size_t slash = text.find('/', 2);
        parts.authority = text.substr(2, slash == std::string_view::npos ? text.npos : slash - 2);
        text = slash == std::string_view::npos ? std::string_view() : text.substr(slash);
    }
    parts.path = text;
    return parts;
}

/// RFC 3986's remove_dot_segments.
std::string withoutDots(std::string_view in) {
    std::string out;
    while (!in.empty()) {
        if (in.substr(0, 3) == "../") {
            in.remove_prefix(3);
        } else if (in.substr(0, 2) == "./") {
            in.remove_prefix(2);
        } else if (in.substr(0, 3) == "/./") {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.substr(0, 4) == "/../" || in == "/..") {
            in = in.size() == 3 ? std::string_view("/") : in.substr(3);
            const std::size_t slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const std::size_t next = in.find('/', in.front() == '/' ? 1 : 0);
            const std::size_t length = next == std::string_view::npos ? in.size() : next;
            out.append(in.substr(0, length));
            in.remove_prefix(length);
        }
    }
    return out;
}

std::string compose(std::string_view scheme, bool hasAuthority, std::string_view authority,
                    std::string_view path, bool hasQuery, std::string_view query, bool hasFragment,
                    std::string_view fragment) {
    std::string out;
    if (!scheme.empty()) out.append(scheme).append(":");
    if (hasAuthority) out.append("//").append(authority);
    out.append(path);
    if (hasQuery) out.append("?").append(query);
    if (hasFragment) out.append("#").append(fragment);
    return out;
}

}  // namespace

bool hasScheme(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;  // "C:" is a drive
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const char c = text[i];
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.')) {
            return false;
        }
    }
    return true;
}

std::string resolveUri(std::string_view base, std::string_view reference) {
    const Parts r = parse(reference);
    if (!r.scheme.empty()) {
        return compose(r.scheme, r.hasAuthority, r.authority, withoutDots(r.path), r.hasQuery,
                       r.query, r.hasFragment, r.fragment);
    }
    const Parts b = parse(base);
    if (r.hasAuthority) {
        return compose(b.scheme, true, r.authority, withoutDots(r.path), r.hasQuery, r.query,
                       r.hasFragment, r.fragment);
    }
    if (r.path.empty()) {
        return compose(b.scheme, b.hasAuthority, b.authority, b.path, r.hasQuery || b.hasQuery,
                       r.hasQuery ? r.query : b.query, r.hasFragment, r.fragment);
    }
    std::string path;
    if (r.path.front() == '/') {
        path = withoutDots(r.path);
    } else {
        std::string merged;
        if (b.hasAuthority && b.path.empty()) {
            merged = "/";
            merged += r.path;
        } else {
            const std::size_t slash = b.path.rfind('/');
            merged = std::string(slash == std::string_view::npos ? std::string_view()
                                                                 : b.path.substr(0, slash + 1)) +
                     std::string(r.path);
        }
        path = withoutDots(merged);
    }
    return compose(b.scheme, b.hasAuthority, b.authority, path, r.hasQuery, r.query, r.hasFragment,
                   r.fragment);
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::pair<std::string, std::string> splitFragment(std::string_view uri) {
    const std::size_t hash = uri.find('#');
    if (hash == std::string_view::npos) return {std::string(uri), {}};
    return {std::string(uri.substr(0, hash)), percentDecoded(uri.substr(hash + 1))};
}

std::optional<std::vector<std::string>> pointerSteps(std::string_view pointer) {
    std::vector<std::string> steps;
    if (pointer.empty()) return steps;
    if (pointer.front() != '/') return std::nullopt;
    std::size_t at = 1;
    while (true) {
        const std::size_t slash = pointer.find('/', at);
        const std::string_view raw =
            pointer.substr(at, slash == std::string_view::npos ? pointer.npos : slash - at);
        std::string step;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '~') {
                if (i + 1 < raw.size() && (raw[i + 1] == '0' || raw[i + 1] == '1')) {
                    step += raw[i + 1] == '0' ? '~' : '/';
                    ++i;
                } else {
                    return std::nullopt;
                }
            } else {
                step += raw[i];
            }
        }
        steps.push_back(std::move(step));
        if (slash == std::string_view::npos) break;
        at = slash + 1;
    }
    return steps;
}

void appendStep(std::string& pointer, std::string_view step) {
    pointer += '/';
    for (const char c : step) {
        if (c == '~') {
            pointer += "~0";
        } else if (c == '/') {
            pointer += "~1";
        } else {
            pointer += c;
        }
    }
}

}  // namespace schema
