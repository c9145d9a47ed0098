#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include "http_server.h"
#endif
#include "lsp/analysis.h"
#include "lsp/schemas.h"
#include "scratch_dir.h"

namespace {

/// The UTF-8 path of a file of the scratch folder, '/' between folders.
std::string pathOf(const std::filesystem::path& file) {
    const std::u8string text = file.generic_u8string();
    return std::string(text.begin(), text.end());
}

/// A schema as the store holds one, from its text.
lsp::LoadedSchema loaded(const char* text) {
    lsp::LoadedSchema schema;
    schema.name = schema.location = "/s/s.json";
    try {
        schema.schema = std::make_shared<kessa::Schema>(kessa::Schema::parse(text, "/s/s.json"));
    } catch (const kessa::SchemaError& error) {
        schema.error = error.what();
    }
    return schema;
}

struct Shown {
    std::uint64_t offset, length;
    std::string code;
    std::string message;  // its start
};

}  // namespace

// A schema's diagnostics beside the notation's, under one cap.
TEST(SchemaDiagnostics, BesideTheFindings) {
    const char* service = R"({"properties": {"port": {"type": "integer", "maximum": 10},
                                                 "version": {"type": "string"}},
                              "required": ["name"]})";
    const struct {
        const char* schema;
        std::string text;
        std::vector<Shown> shown;
    } rows[] = {
        {service, "port=8\n", {{0, 6, "schema-required", "the text has no member \"name\""}}},
        {service,
         "name=a\nport=011\n",
         {{12, 3, "leading-zeros", "the leading zeros"}, {12, 3, "schema-range", "\"011\""}}},
        {service,
         "name=a\nversion=1.10\n",
         {{15, 4, "trailing-zeros", "the zeros"},
          {15, 4, "schema-type", "\"1.10\" is read as a number"}}},
        // A malformed text is not checked against the schema: its fault says why.
        {service, "port=99\nb={\n", {{10, 1, "malformed", "this left brace"}}},
        // A schema that cannot be used: one error on the first line, and nothing else of it.
        {R"({"type": 5})",
         "port=99\nx=2\n",
         {{0, 7, "schema-error", "the schema \"/s/s.json\" cannot be used: /s/s.json:1:10: "}}},
        {"{", "", {{0, 0, "schema-error", "the schema \"/s/s.json\" cannot be used: "}}},
        // What the schema says of itself, on the first line.
        {R"({"$ref": "https://example.com/s.json"})",
         "a=1\r\nb=2\n",
         {{0, 3, "schema-remote-ref", "the schema \"/s/s.json\": "}}},
    };
    for (const auto& row : rows) {
        const lsp::LoadedSchema schema = loaded(row.schema);
        lsp::DiagnosticList list;
        lsp::diagnose(row.text, list);
        lsp::diagnoseSchema(row.text, schema, list);
        const std::vector<lsp::Diagnostic> diagnostics = list.take();
        const std::string what = row.schema + std::string(" on ") + row.text;
        ASSERT_EQ(diagnostics.size(), row.shown.size()) << what;
        for (std::size_t i = 0; i < row.shown.size(); ++i) {
            EXPECT_EQ(diagnostics[i].offset, row.shown[i].offset) << what;
            EXPECT_EQ(diagnostics[i].length, row.shown[i].length) << what;
            EXPECT_EQ(diagnostics[i].code, row.shown[i].code) << what;
            EXPECT_EQ(diagnostics[i].message.rfind(row.shown[i].message, 0), 0u)
                << what << ": " << diagnostics[i].message;
        }
    }
}

// The cap counts the schema's diagnostics with the others; one that says the schema cannot be
// used is always shown, and the note names the command that lists them all.
TEST(SchemaDiagnostics, UnderTheCap) {
    std::string text;
    for (int i = 0; i < 30; ++i) text.append("k").append(std::to_string(i)).append("=01\n");
    const lsp::LoadedSchema strings = loaded(R"({"additionalProperties": {"type": "string"}})");
    lsp::DiagnosticList list(10);
    lsp::diagnose(text, list);
    lsp::diagnoseSchema(text, strings, list);
    list.setLister("kessa2json --check --format json --schema s.json");
    std::vector<lsp::Diagnostic> shown = list.take();
    ASSERT_EQ(shown.size(), 11u);
    EXPECT_EQ(shown[9].code, "schema-type");
    EXPECT_EQ(shown[9].offset, 27u);  // the fifth line's value, its second
    EXPECT_EQ(shown[10].message,
              "50 more findings are not shown, only the first 10; kessa2json --check --format "
              "json --schema s.json lists them all");

    lsp::DiagnosticList full(3);
    lsp::diagnose(text, full);
    lsp::diagnoseSchema(text, loaded("{"), full);
    shown = full.take();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].code, "schema-error");
}

// A schema is read again once one of its files changed, or is said to have, and a file that
// was missing is read once it is there.
TEST(SchemaStore, ReadsAgainWhenChanged) {
    const ScratchDir dir("lsp-schema-store");
    const std::string ref = pathOf(dir.path / "ref.json");
    const std::string main = pathOf(dir.write("main.json", R"({"$ref": "ref.json"})"));
    const lsp::SchemaAssociation association{"main.json", main, {"*.kessa"}};
    lsp::SchemaStore store;

    auto first = store.get(association);
    EXPECT_FALSE(first->schema);
    EXPECT_NE(first->error.find("ref.json"), std::string::npos) << first->error;
    // The missing file is watched itself: a folder's time may move by whole seconds only.
    EXPECT_EQ(first->files, (std::vector<std::string>{main, ref}));
    dir.write("ref.json", R"({"type": "object"})");
    auto second = store.get(association);
    ASSERT_TRUE(second->schema) << second->error;
    EXPECT_EQ(second->files, (std::vector<std::string>{main, ref}));
    EXPECT_EQ(store.get(association), second);  // nothing changed

    dir.write("ref.json", R"({"type": "object", "title": "changed"})");
    const auto third = store.get(association);
    EXPECT_NE(third, second);
    EXPECT_EQ(third->schema->hint({}).title, "changed");

    EXPECT_FALSE(store.changed(pathOf(dir.path / "other.json")));
    EXPECT_TRUE(store.changed(ref));
    EXPECT_NE(store.get(association), third);
    EXPECT_EQ(store.files(), (std::vector<std::string>{main, ref}));
    store.keepOnly({});
    EXPECT_TRUE(store.files().empty());

    const lsp::SchemaAssociation remote{"ftp://a/s.json", "ftp://a/s.json", {}, false};
    EXPECT_EQ(store.get(remote)->error,
              "ftp://a/s.json: the server reads schemas from local files and http(s) URLs only");
}

#ifndef _WIN32
// A URL as a schema's name: fetched as the tool fetches it, its $refs too, and no file to watch.
TEST(SchemaStore, ReadsUrls) {
    ScratchDir dir("store-url");
    std::filesystem::create_directories(dir.path / "site");
    std::ofstream(dir.path / "site/s.json") << R"({"properties": {"a": {"$ref": "t.json"}}})";
    std::ofstream(dir.path / "site/t.json") << R"({"title": "remote", "type": "integer"})";
    HttpServer server(dir.path / "site", 0);
    ASSERT_TRUE(server.listening());
    setenv("KESSA2JSON_CACHE_DIR", (dir.path / "cache").c_str(), 1);
    lsp::SchemaStore store;
    const std::string url = server.url("s.json");
    const auto loaded = store.get({url, url, {}, false});
    unsetenv("KESSA2JSON_CACHE_DIR");
    ASSERT_TRUE(loaded->schema) << loaded->error;
    EXPECT_EQ(loaded->schema->hint({std::string("a")}).title, "remote");
    EXPECT_TRUE(store.files().empty());
}
#endif

TEST(SchemaHints, HoverAndCompletionText) {
    kessa::SchemaHint hint;
    hint.file = "/s/my schema.json";
    hint.position = {3, 7};
    EXPECT_EQ(lsp::hintText(hint, true), "");
    hint.title = "Port";
    EXPECT_EQ(lsp::hintText(hint, true),
              "**Port**\n\nFrom [my schema.json:3](file:///s/my%20schema.json#L3,7)");
    EXPECT_EQ(lsp::hintText(hint, false), "Port\nFrom /s/my schema.json:3:7");
    hint.title.clear();
    hint.description = "a_b [c]\nd";
    EXPECT_EQ(lsp::hintText(hint, false), "a_b [c]\nd\nFrom /s/my schema.json:3:7");
    EXPECT_EQ(lsp::markdownEscaped(hint.description), "a\\_b \\[c\\]  \nd");
}
