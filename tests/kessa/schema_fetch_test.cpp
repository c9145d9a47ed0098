// Schemas by URL, served by a server of the test's own on 127.0.0.1: fetched, cached and
// revalidated, used from the cache offline with a note, refused with the reason where they
// cannot be had, and a remote schema kept from local files; --resolve's files taken first.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "../http_server.h"
#include "../scratch_dir.h"
#include "kessa/schema.h"
#include "kessa/schema_fetch.h"

namespace {

std::string write(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file.generic_string();
}

int findingsOf(std::string_view text, const kessa::Schema& schema) {
    struct Count final : kessa::FindingHandler {
        void found(const kessa::Finding&) override { ++count; }
        int count = 0;
    } count;
    kessa::checkSchemaFindings(text, schema, count);
    return count.count;
}

TEST(SchemaFetch, FetchedCachedAndRevalidated) {
    ScratchDir dir("fetch");
    write(dir.path / "site/port.json",
          R"({"type": "object", "properties": {"port": {"$ref": "n.json"}}})");
    write(dir.path / "site/n.json", R"({"type": "integer", "maximum": 9})");
    kessa::SchemaOptions options;
    options.fetch = kessa::httpSchemaFetch((dir.path / "cache").string());
    std::string url;
    {
        HttpServer server(dir.path / "site", 0);
        ASSERT_TRUE(server.listening());
        url = server.url("port.json");
        const kessa::Schema first = kessa::Schema::load(url, options);
        EXPECT_EQ(findingsOf("port=10\n", first), 1);
        EXPECT_EQ(first.files(), (std::vector<std::string>{url, server.url("n.json")}));
        EXPECT_TRUE(first.notices().empty());
        EXPECT_EQ(server.notModified(), 0);
        // Again: the cache's copies, which the server confirms by their ETag.
        const kessa::Schema second = kessa::Schema::load(url, options);
        EXPECT_EQ(findingsOf("port=10\n", second), 1);
        EXPECT_EQ(server.notModified(), 2);
    }
    // Offline: the cached copy, with a note.
    const kessa::Schema offline = kessa::Schema::load(url, options);
    EXPECT_EQ(findingsOf("port=10\n", offline), 1);
    ASSERT_EQ(offline.notices().size(), 2u);
    EXPECT_EQ(offline.notices()[0].kind, kessa::FindingKind::SchemaCached);
    EXPECT_EQ(
        offline.notices()[0].message.rfind("the schema " + url + " could not be fetched (", 0), 0u)
        << offline.notices()[0].message;
}

TEST(SchemaFetch, RefusedWithTheReason) {
    ScratchDir dir("fetch");
    write(dir.path / "site/local.json", R"({"$ref": "file:///etc/hostname"})");
    write(dir.path / "site/big.json", "{\"description\": \"" + std::string(17 << 20, 'x') + "\"}");
    write(dir.path / "site/broken.json", R"({"$ref": "gone.json"})");
    HttpServer server(dir.path / "site", 0);
    ASSERT_TRUE(server.listening());
    kessa::SchemaOptions options;
    options.fetch = kessa::httpSchemaFetch((dir.path / "cache").string());
    const struct {
        std::string url, error;
    } rows[] = {
        {server.url("local.json"),
         server.url("local.json") + ":1:10: the $ref \"file:///etc/hostname\" of a remote schema "
                                    "names a local file, \"/etc/hostname\", which a remote "
                                    "schema may not read"},
        {server.url("big.json"),
         server.url("big.json") + ": cannot fetch the schema: it is larger than 16 MiB"},
        {server.url("absent.json"),
         server.url("absent.json") + ": cannot fetch the schema: the server answered 404"},
        {server.url("broken.json"),
         server.url("broken.json") + ":1:10: the $ref \"gone.json\" names " +
             server.url("gone.json") + ", which cannot be fetched: the server answered 404"},
    };
    for (const auto& row : rows) {
        try {
            kessa::Schema::load(row.url, options);
            ADD_FAILURE() << "loaded " << row.url;
        } catch (const kessa::SchemaError& error) {
            EXPECT_EQ(std::string(error.what()), row.error);
        }
    }
    // Without a fetch at hand, a URL is no schema, and a remote $ref is left with a notice.
    EXPECT_THROW(kessa::Schema::load(server.url("local.json")), kessa::SchemaError);
}

TEST(SchemaFetch, ResolvedFilesComeFirst) {
    ScratchDir dir("fetch");
    write(dir.path / "defs/n.json", R"({"$id": "http://schemas.invalid/n.json", "maximum": 9})");
    kessa::SchemaOptions options;
    options.resolve = {(dir.path / "defs").string()};
    options.fetch = [](const std::string& url, std::vector<std::string>&) -> std::string {
        throw kessa::SchemaError(url, std::nullopt, "fetched");
    };
    const kessa::Schema schema =
        kessa::Schema::parse(R"({"properties": {"n": {"$ref": "http://schemas.invalid/n.json"}}})",
                             "main.json", options);
    EXPECT_EQ(findingsOf("n=10\n", schema), 1);
    EXPECT_TRUE(schema.notices().empty());
}

}  // namespace
