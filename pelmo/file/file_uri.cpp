#include "pelmo/file/file_uri.h"

namespace pelmo::detail {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool isDrive(std::string_view path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
}

std::optional<std::string> pathOfUri(std::string_view uri) {
    if (uri.size() < 5 || uri.substr(0, 5) != "file:") return std::nullopt;
    std::string_view rest = uri.substr(5);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && host != "localhost") return std::nullopt;
        rest = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
    }
    std::string path = percentDecoded(rest.substr(0, rest.find_first_of("?#")));
    // file:///C:/x names C:/x.
    if (path.size() >= 3 && path[0] == '/' && isDrive(std::string_view(path).substr(1))) {
        path.erase(0, 1);
    }
    return path;
}

std::string uriOfPath(std::string_view path) {
    std::string uri = "file://";
    if (!path.empty() && path.front() != '/') uri += '/';  // C:/x
    constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~' || byte == '/' ||
                           (byte == ':' && i == 1 && isDrive(path));
        if (plain) {
            uri += static_cast<char>(byte);
        } else {
            uri.append(1, '%').append(1, kHex[byte >> 4]).append(1, kHex[byte & 15]);
        }
    }
    return uri;
}

}  // namespace pelmo::detail
