#include "lsp/settings.h"

#include <cstdlib>
#include <filesystem>

#include "pelmo/file/file_uri.h"
#include "pelmo/file/utf8.h"

namespace lsp {

namespace {

using pelmo::detail::isDrive;
using pelmo::detail::percentDecoded;

/// How many patterns one pattern's braces may expand to: settings are typed by hand.
constexpr std::size_t kMaxAlternatives = 1024;

bool isAbsolute(std::string_view path) {
    return (!path.empty() && path.front() == '/') || isDrive(path);
}

/// A name that begins with a scheme, such as https:, other than a drive letter.
bool hasScheme(std::string_view name) {
    const std::size_t colon = name.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;
    return name.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+.-") == colon;
}

/// `path` with '/' between folders (on Windows, backslashes too), "." and ".." taken out as far
/// as they go, and no '/' at the end.
std::string normalPath(std::string_view path) {
    std::string given(path);
#ifdef _WIN32
    for (char& c : given) {
        if (c == '\\') c = '/';
    }
#endif
    const bool absolute = !given.empty() && given.front() == '/';
    std::vector<std::string> parts;
    for (std::size_t begin = 0; begin <= given.size();) {
        std::size_t end = given.find('/', begin);
        if (end == std::string::npos) end = given.size();
        const std::string part = given.substr(begin, end - begin);
        if (part == "..") {
            if (!parts.empty() && parts.back() != ".." && !isDrive(parts.back())) {
                parts.pop_back();
            } else if (!absolute && (parts.empty() || parts.back() == "..")) {
                parts.push_back(part);
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        begin = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += '/';
        out += parts[i];
    }
    return out.empty() ? "." : out;
}

/// The server's working folder, as a normal path.
std::string workingFolder() {
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    if (error) return "/";
    const std::u8string utf8 = here.generic_u8string();
    return normalPath(std::string(utf8.begin(), utf8.end()));
}

std::string homeFolder() {
#ifdef _WIN32
    const char* home = std::getenv("USERPROFILE");
#else
    const char* home = std::getenv("HOME");
#endif
    return home != nullptr ? home : "";
}

/// `name`, a path, made absolute against `folder`; "~/" stands for the home folder.
std::string absolutePath(std::string_view name, const std::string& folder) {
    if (name == "~" || name.substr(0, 2) == "~/") {
        return normalPath(homeFolder() + std::string(name.substr(1)));
    }
    if (isAbsolute(name)) return normalPath(name);
    return normalPath(folder + "/" + std::string(name));
}

// ---- Globs ----------------------------------------------------------------------------------

/// `pattern` with its brace groups expanded, at most kMaxAlternatives; a brace with no match
/// is an ordinary character.
std::vector<std::string> expandBraces(std::string_view pattern) {
    std::vector<std::string> done, pending{std::string(pattern)};
    while (!pending.empty() && done.size() + pending.size() <= kMaxAlternatives) {
        std::string next = std::move(pending.back());
        pending.pop_back();
        // The first brace with a match, and the commas at its level.
        std::size_t open = std::string::npos, close = std::string::npos;
        std::vector<std::size_t> commas;
        for (std::size_t at = 0; at < next.size() && close == std::string::npos; ++at) {
            if (next[at] != '{') continue;
            std::size_t depth = 0;
            commas.clear();
            for (std::size_t i = at; i < next.size(); ++i) {
                if (next[i] == '{') ++depth;
                if (next[i] == '}' && --depth == 0) {
                    open = at;
                    close = i;
                    break;
                }
                if (next[i] == ',' && depth == 1) commas.push_back(i);
            }
        }
        if (close == std::string::npos) {
            done.push_back(std::move(next));
            continue;
        }
        commas.push_back(close);
        std::size_t from = open + 1;
        for (const std::size_t comma : commas) {
            pending.push_back(next.substr(0, open) + next.substr(from, comma - from) +
                              next.substr(close + 1));
            from = comma + 1;
        }
    }
    done.insert(done.end(), pending.begin(), pending.end());
    return done;
}

/// The characters of a text: each a UTF-8 sequence, or a byte that is not part of one.
std::vector<std::string_view> characters(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = pelmo::detail::utf8SequenceLength(text.substr(i));
        const std::size_t size = length == 0 ? 1 : length;
        out.push_back(text.substr(i, size));
        i += size;
    }
    return out;
}

bool sameCharacter(std::string_view a, std::string_view b) {
#ifdef _WIN32
    // Windows' file names ignore the case of ASCII letters.
    if (a.size() == 1 && b.size() == 1) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        return lower(a[0]) == lower(b[0]);
    }
#endif
    return a == b;
}

struct GlobToken {
    enum class Kind { Character, AnyCharacter, Star, GlobStar, Folders, Class };
    Kind kind;
    std::string_view character;                                         // Character
    std::vector<std::pair<std::string_view, std::string_view>> ranges;  // Class
    bool negated = false;                                               // Class
};

std::vector<GlobToken> tokens(const std::vector<std::string_view>& pattern) {
    using Kind = GlobToken::Kind;
    std::vector<GlobToken> out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const std::string_view c = pattern[i];
        if (c == "*") {
            if (i + 1 < pattern.size() && pattern[i + 1] == "*") {
                ++i;
                if (i + 1 < pattern.size() && pattern[i + 1] == "/") {
                    ++i;
                    out.push_back({Kind::Folders, {}, {}});
                } else {
                    out.push_back({Kind::GlobStar, {}, {}});
                }
            } else {
                out.push_back({Kind::Star, {}, {}});
            }
        } else if (c == "?") {
            out.push_back({Kind::AnyCharacter, {}, {}});
        } else if (c == "[") {
            std::size_t end = i + 1;
            if (end < pattern.size() && (pattern[end] == "!" || pattern[end] == "^")) ++end;
            if (end < pattern.size() && pattern[end] == "]") ++end;  // a first ] is a member
            while (end < pattern.size() && pattern[end] != "]") ++end;
            if (end == pattern.size()) {  // no match: an ordinary character
                out.push_back({Kind::Character, c, {}});
                continue;
            }
            GlobToken token{Kind::Class, {}, {}};
            std::size_t at = i + 1;
            if (pattern[at] == "!" || pattern[at] == "^") {
                token.negated = true;
                ++at;
            }
            for (; at < end; ++at) {
                if (at + 2 < end && pattern[at + 1] == "-") {
                    token.ranges.emplace_back(pattern[at], pattern[at + 2]);
                    at += 2;
                } else {
                    token.ranges.emplace_back(pattern[at], pattern[at]);
                }
            }
            out.push_back(std::move(token));
            i = end;
        } else {
            out.push_back({Kind::Character, c, {}});
        }
    }
    return out;
}

bool inClass(const GlobToken& token, std::string_view c) {
    bool found = false;
    for (const auto& [low, high] : token.ranges) {
        found = found || sameCharacter(c, low) || (low < c && c <= high);
    }
    return found != token.negated;
}

/// Runs the pattern as a machine whose states are its tokens, over the path's characters. A
/// "**/" has a second state, inside it: there it has read characters since it was entered, and
/// only a '/' may end it.
bool tokensMatch(const std::vector<GlobToken>& pattern, std::string_view path) {
    using Kind = GlobToken::Kind;
    const std::size_t count = pattern.size();
    std::vector<char> states(count + 1, 0), next(count + 1, 0);
    std::vector<char> inside(count, 0), nextInside(count, 0);
    // Adds the states that need no character to get to from those set.
    const auto close = [&](std::vector<char>& set) {
        for (std::size_t i = 0; i < count; ++i) {
            const Kind kind = pattern[i].kind;
            if (set[i] && (kind == Kind::Star || kind == Kind::GlobStar || kind == Kind::Folders)) {
                set[i + 1] = 1;
            }
        }
    };
    states[0] = 1;
    close(states);
    for (const std::string_view c : characters(path)) {
        std::fill(next.begin(), next.end(), 0);
        std::fill(nextInside.begin(), nextInside.end(), 0);
        const bool slash = c == "/";
        bool any = false;
        for (std::size_t i = 0; i < count; ++i) {
            const GlobToken& token = pattern[i];
            if (inside[i] || (states[i] && token.kind == Kind::Folders)) {
                nextInside[i] = 1;  // (anything/)? : it ends just after a '/'
                if (slash) next[i + 1] = 1;
            }
            if (!states[i]) continue;
            switch (token.kind) {
                case Kind::Character:
                    if (sameCharacter(c, token.character)) next[i + 1] = 1;
                    break;
                case Kind::AnyCharacter:
                    if (!slash) next[i + 1] = 1;
                    break;
                case Kind::Class:
                    if (!slash && inClass(token, c)) next[i + 1] = 1;
                    break;
                case Kind::Star:
                    if (!slash) next[i] = 1;
                    break;
                case Kind::GlobStar:
                    next[i] = 1;
                    break;
                case Kind::Folders:
                    break;
            }
        }
        close(next);
        states.swap(next);
        inside.swap(nextInside);
        for (std::size_t i = 0; i <= count; ++i) any = any || states[i] || (i < count && inside[i]);
        if (!any) return false;
    }
    return states[count] != 0;
}

}  // namespace

bool globMatches(std::string_view pattern, std::string_view path) {
    for (const std::string& alternative : expandBraces(pattern)) {
        if (tokensMatch(tokens(characters(alternative)), path)) return true;
    }
    return false;
}

SchemaSettings::SchemaSettings(const Json& value, const std::string& folder,
                               std::vector<std::string>& problems)
    : folder_(folder.empty() ? workingFolder() : normalPath(folder)) {
    if (folder_ == "/") folder_.clear();  // so that folder_ + "/" + name stays one slash
    if (value.is_null()) return;
    if (!value.is_object()) {
        problems.push_back(
            "kessa.schemas must map each schema's path to glob patterns of documents");
        return;
    }
    for (const auto& [name, patterns] : value.items()) {
        SchemaAssociation association;
        association.name = name;
        bool good = !name.empty();
        if (patterns.is_string()) {
            association.patterns.push_back(patterns.get<std::string>());
        } else if (patterns.is_array()) {
            for (const Json& pattern : patterns) {
                if (pattern.is_string()) {
                    association.patterns.push_back(pattern.get<std::string>());
                } else {
                    good = false;
                }
            }
        } else {
            good = false;
        }
        if (!good) {
            problems.push_back("kessa.schemas: \"" + name +
                               "\" must have a glob pattern or a list of them; it is left out");
            continue;
        }
        if (name.substr(0, 5) == "file:") {
            const std::optional<std::string> path = pathOfUri(name);
            association.location = path ? normalPath(*path) : name;
            association.local = path.has_value();
        } else if (hasScheme(name)) {
            association.location = name;
            association.local = false;
        } else {
            association.location = absolutePath(name, folder_);
        }
        associations_.push_back(std::move(association));
    }
}

bool SchemaSettings::matches(const std::string& given, std::string_view path) const {
    std::string pattern = given;
#ifdef _WIN32
    for (char& c : pattern) {
        if (c == '\\') c = '/';
    }
#endif
    if (pattern.substr(0, 5) == "file:") pattern = pathOfUri(pattern).value_or(pattern);
    while (pattern.substr(0, 2) == "./") pattern.erase(0, 2);
    if (pattern.find('/') == std::string::npos) {
        const std::size_t slash = path.find_last_of('/');
        return globMatches(pattern,
                           slash == std::string_view::npos ? path : path.substr(slash + 1));
    }
    if (isAbsolute(pattern)) return globMatches(pattern, path);
    if (pattern.substr(0, 2) == "**" && globMatches(pattern, path)) return true;
    const std::string inside = folder_ + "/";
    return path.substr(0, inside.size()) == inside &&
           globMatches(pattern, path.substr(inside.size()));
}

std::vector<const SchemaAssociation*> SchemaSettings::schemasFor(std::string_view uri) const {
    const std::optional<std::string> file = pathOfUri(uri);
    // Another scheme's path, such as untitled:Untitled-1's, matches by its name.
    const std::string path = file ? normalPath(*file) : std::string(uri.substr(uri.find(':') + 1));
    std::vector<const SchemaAssociation*> found;
    for (const SchemaAssociation& association : associations_) {
        bool matched = false, excluded = false;
        for (const std::string& pattern : association.patterns) {
            if (!pattern.empty() && pattern.front() == '!') {
                excluded = excluded || matches(pattern.substr(1), path);
            } else {
                matched = matched || matches(pattern, path);
            }
        }
        if (matched && !excluded) found.push_back(&association);
    }
    return found;
}

namespace {

/// The setting kessa.NAME (NAME may hold dots): nested in {"kessa": ...}, under its whole dotted
/// name, or nested without "kessa" as initializationOptions hold it.
const Json* kessaSetting(const Json& settings, std::string_view name) {
    if (!settings.is_object()) return nullptr;
    std::string full = "kessa.";
    full.append(name);
    if (const Json* nested = optionalMember(settings, full)) return nested;
    if (const auto dotted = settings.find(full); dotted != settings.end()) return &*dotted;
    return optionalMember(settings, name);
}

}  // namespace

const Json* schemasSetting(const Json& settings) {
    return kessaSetting(settings, "schemas");
}

const Json* indentSetting(const Json& settings) {
    return kessaSetting(settings, "format.indent");
}

std::optional<kessa::Layout> layoutOfIndent(const Json& value, std::string& problem) {
    constexpr unsigned kMostSpaces = 16;
    kessa::Layout layout;
    if (value.is_null() || value == "tab") {
        layout.tabs = !value.is_null();
        return layout;
    }
    unsigned spaces = 0;
    if (value.is_number_integer() && value.get<std::int64_t>() > 0 &&
        value.get<std::int64_t>() <= kMostSpaces) {
        spaces = value.get<unsigned>();
    } else if (value.is_string()) {
        const std::string& digits = value.get_ref<const std::string&>();
        if (!digits.empty() && digits.size() <= 2 &&
            digits.find_first_not_of("0123456789") == std::string::npos) {
            spaces = static_cast<unsigned>(std::stoul(digits));
        }
    }
    if (spaces == 0 || spaces > kMostSpaces) {
        problem = "kessa.format.indent must be \"tab\" or a number of spaces from 1 to " +
                  std::to_string(kMostSpaces);
        return std::nullopt;
    }
    layout.indent = spaces;
    return layout;
}

}  // namespace lsp
