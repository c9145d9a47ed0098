#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lsp/settings.h"

namespace {

/// The model of a glob without braces or classes, character by character.
bool modelMatches(std::string_view pattern, std::string_view path) {
    if (pattern.empty()) return path.empty();
    if (pattern.substr(0, 3) == "**/") {
        for (std::size_t i = 0; i <= path.size(); ++i) {
            const bool folders = i == 0 || path[i - 1] == '/';
            if (folders && modelMatches(pattern.substr(3), path.substr(i))) return true;
        }
        return false;
    }
    if (pattern.substr(0, 2) == "**") {
        for (std::size_t i = 0; i <= path.size(); ++i) {
            if (modelMatches(pattern.substr(2), path.substr(i))) return true;
        }
        return false;
    }
    if (pattern[0] == '*') {
        for (std::size_t i = 0; i <= path.size(); ++i) {
            if (i > 0 && path[i - 1] == '/') break;
            if (modelMatches(pattern.substr(1), path.substr(i))) return true;
        }
        return false;
    }
    if (path.empty()) return false;
    if (pattern[0] == '?') return path[0] != '/' && modelMatches(pattern.substr(1), path.substr(1));
    return pattern[0] == path[0] && modelMatches(pattern.substr(1), path.substr(1));
}

std::vector<std::string> names(const lsp::SchemaSettings& settings, const std::string& uri) {
    std::vector<std::string> found;
    for (const lsp::SchemaAssociation* association : settings.schemasFor(uri)) {
        found.push_back(association->name);
    }
    return found;
}

}  // namespace

TEST(Glob, Matches) {
    const struct {
        const char* pattern;
        const char* path;
        bool matches;
    } rows[] = {
        {"*.kessa", "conf.kessa", true},
        {"*.kessa", "a/conf.kessa", false},
        {"*.kessa", "conf.kessa.bak", false},
        {"**/*.kessa", "conf.kessa", true},
        {"**/*.kessa", "a/b/conf.kessa", true},
        {"a/**/c.kessa", "a/c.kessa", true},
        {"a/**/c.kessa", "a/x/y/c.kessa", true},
        {"a/**/c.kessa", "ab/c.kessa", false},
        {"a/**", "a/b/c", true},
        {"a*", "a/b", false},
        {"?.kessa", "\xC3\xA9.kessa", true},  // one character, two bytes
        {"?.kessa", "ab.kessa", false},
        {"{a,b}.kessa", "b.kessa", true},
        {"{a,b}.kessa", "c.kessa", false},
        {"{a,b{c,d}}.kessa", "bd.kessa", true},
        {"{a,}x", "x", true},
        {"{a,b", "{a,b", true},  // a brace with no match is a character
        {"[a-c]x", "bx", true},
        {"[a-c]x", "dx", false},
        {"[!a-c]x", "dx", true},
        {"[!a-c]x", "/x", false},
        {"[]]x", "]x", true},
        {"[ab", "[ab", true},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(lsp::globMatches(row.pattern, row.path), row.matches)
            << row.pattern << " on " << row.path;
    }
}

// *, **, **/ and ? against the model on random patterns and paths.
TEST(Glob, FollowsTheModel) {
    const char* pieces[] = {"a", "b", "/", "*", "?", "**", "**/", "a/"};
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::string pattern, path;
        for (int i = random() % 6; i > 0; --i) pattern += pieces[random() % std::size(pieces)];
        for (int i = random() % 8; i > 0; --i) path += "ab/"[random() % 3];
        EXPECT_EQ(lsp::globMatches(pattern, path), modelMatches(pattern, path))
            << pattern << " on " << path;
    }
}

TEST(Uri, PathsBothWays) {
    const struct {
        const char* uri;
        const char* path;  // null: names no local file
    } rows[] = {
        {"file:///home/me/a.kessa", "/home/me/a.kessa"},
        {"file://localhost/a", "/a"},
        {"file:///a%20b/%C3%A9.kessa", "/a b/\xC3\xA9.kessa"},
        {"file:///a?x#y", "/a"},
        {"file:///C:/x", "C:/x"},
        {"file://server/a", nullptr},
        {"untitled:Untitled-1", nullptr},
    };
    for (const auto& row : rows) {
        const std::optional<std::string> path = lsp::pathOfUri(row.uri);
        EXPECT_EQ(path.has_value(), row.path != nullptr) << row.uri;
        if (path && row.path) {
            EXPECT_EQ(*path, row.path) << row.uri;
        }
    }
    for (const char* path : {"/a b/\xC3\xA9%#?.kessa", "/", "C:/x y"}) {
        EXPECT_EQ(lsp::pathOfUri(lsp::uriOfPath(path)), path);
    }
    EXPECT_EQ(lsp::uriOfPath("/a b/c"), "file:///a%20b/c");
}

// Which schemas check which documents, with names and patterns relative to the folder.
TEST(SchemaSettings, DocumentsAndSchemas) {
    const lsp::Json value = {
        {"service.json", {"*.kessa", "!skip.kessa"}}, {"./schemas/../deep.json", "conf/**/*.kessa"},
        {"/abs/all.json", "/elsewhere/*.kessa"},      {"file:///srv/uri.json", "**/uri.kessa"},
        {"https://example.com/s.json", "web.kessa"},
    };
    std::vector<std::string> problems;
    const lsp::SchemaSettings settings(value, "/work/project/", problems);
    EXPECT_TRUE(problems.empty());
    const struct {
        const char* uri;
        std::vector<std::string> schemas;
    } rows[] = {
        {"file:///work/project/a.kessa", {"service.json"}},
        {"file:///other/a.kessa", {"service.json"}},  // a name alone: any folder
        {"file:///work/project/skip.kessa", {}},
        {"file:///work/project/conf/a.json", {}},
        {"file:///work/project/conf/x/y/a.kessa", {"./schemas/../deep.json", "service.json"}},
        {"file:///work/project/other/conf/a.kessa", {"service.json"}},
        {"file:///elsewhere/b.kessa", {"/abs/all.json", "service.json"}},
        {"file:///x/y/uri.kessa", {"file:///srv/uri.json", "service.json"}},
        {"file:///work/project/web.kessa", {"https://example.com/s.json", "service.json"}},
        {"untitled:web.kessa", {"https://example.com/s.json", "service.json"}},
    };
    for (const auto& row : rows) EXPECT_EQ(names(settings, row.uri), row.schemas) << row.uri;
    const std::vector<lsp::SchemaAssociation>& all = settings.associations();
    ASSERT_EQ(all.size(), 5u);
    // In the order of their names, as the settings' JSON keeps them.
    EXPECT_EQ(all[0].location, "/work/project/deep.json");
    EXPECT_EQ(all[1].location, "/abs/all.json");
    EXPECT_EQ(all[2].location, "/srv/uri.json");
    EXPECT_EQ(all[3].location, "https://example.com/s.json");
    EXPECT_FALSE(all[3].local);
    EXPECT_EQ(all[4].location, "/work/project/service.json");
    EXPECT_TRUE(all[4].local);
}

// Entries of another form are left out, each said once; the others still count.
TEST(SchemaSettings, Problems) {
    const struct {
        lsp::Json value;
        std::size_t kept;
        std::size_t problems;
    } rows[] = {
        {nullptr, 0, 0},
        {lsp::Json::object(), 0, 0},
        {lsp::Json::array({"a.json"}), 0, 1},
        {"a.json", 0, 1},
        {{{"a.json", 1}}, 0, 1},
        {{{"a.json", {"*.kessa", 2}}, {"b.json", "*.kessa"}}, 1, 1},
        {{{"", "*.kessa"}}, 0, 1},
    };
    for (const auto& row : rows) {
        std::vector<std::string> problems;
        const lsp::SchemaSettings settings(row.value, "/w", problems);
        EXPECT_EQ(settings.associations().size(), row.kept) << row.value.dump();
        EXPECT_EQ(problems.size(), row.problems) << row.value.dump();
    }
}

// The settings as each kind of client sends them.
TEST(SchemaSettings, WhereClientsPutIt) {
    const lsp::Json schemas = {{"s.json", "*.kessa"}};
    const lsp::Json indent = "2";
    const struct {
        lsp::Json settings;
        bool found;
        bool indentFound = false;
    } rows[] = {
        {{{"kessa", {{"schemas", schemas}}}}, true},
        {{{"kessa.schemas", schemas}}, true},
        {{{"schemas", schemas}}, true},
        {{{"kessa", {{"server", 1}}}}, false},
        {{{"json", {{"schemas", schemas}}}}, false},
        {nullptr, false},
        {{{"kessa", {{"schemas", schemas}, {"format", {{"indent", indent}}}}}}, true, true},
        {{{"kessa.format.indent", indent}}, false, true},
        {{{"format", {{"indent", indent}}}}, false, true},
        {{{"kessa", {{"format", indent}}}}, false, false},
        {{{"indent", indent}}, false, false},
    };
    for (const auto& row : rows) {
        const lsp::Json* found = lsp::schemasSetting(row.settings);
        EXPECT_EQ(found != nullptr, row.found) << row.settings.dump();
        if (found != nullptr) {
            EXPECT_EQ(*found, schemas);
        }
        const lsp::Json* indentFound = lsp::indentSetting(row.settings);
        EXPECT_EQ(indentFound != nullptr, row.indentFound) << row.settings.dump();
        if (indentFound != nullptr) {
            EXPECT_EQ(*indentFound, indent);
        }
    }
}

// kessa.format.indent, as kessafmt's --indent: tab, or 1 to 16 spaces; unset, the project's four.
TEST(FormatSettings, Indent) {
    const struct {
        lsp::Json value;
        bool taken;
        bool tabs = false;
        unsigned indent = 4;
    } rows[] = {
        {nullptr, true},       {"4", true},           {"tab", true, true},
        {"2", true, false, 2}, {2, true, false, 2},   {"16", true, false, 16},
        {16, true, false, 16}, {"1", true, false, 1}, {0, false},
        {"0", false},          {17, false},           {"17", false},
        {-2, false},           {2.5, false},          {"002", false},
        {"2 ", false},         {"", false},           {"tabs", false},
        {"Tab", false},        {true, false},         {lsp::Json::object(), false},
    };
    for (const auto& row : rows) {
        std::string problem;
        const std::optional<kessa::Layout> layout = lsp::layoutOfIndent(row.value, problem);
        ASSERT_EQ(layout.has_value(), row.taken) << row.value.dump();
        EXPECT_EQ(problem.empty(), row.taken) << row.value.dump();
        if (!layout) continue;
        EXPECT_EQ(layout->tabs, row.tabs) << row.value.dump();
        EXPECT_EQ(layout->indent, row.indent) << row.value.dump();
        EXPECT_EQ(layout->width, kessa::Layout{}.width) << row.value.dump();
    }
}
