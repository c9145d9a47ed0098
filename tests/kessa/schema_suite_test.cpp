// The JSON Schema project's own test suite (tests/schema/suite), every draft, through the check a
// kessa text gets: each instance written as the value of a member, read as kessa text, and that
// member's value checked. Instances no kessa text gives (true, false, null, a string that reads as
// a number) are counted apart. The suite's remote schemas are served on 127.0.0.1:1234, as it
// expects them, and fetched as any URL is. Each case that fails is listed with its reason in
// schema_suite_failures.txt, so that a new failure, or a listed one that passes, breaks the test.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#ifndef _WIN32
#include "../http_server.h"
#endif
#include "../scratch_dir.h"
#include "kessa/parser.h"
#include "kessa/schema.h"
#include "kessa/schema_fetch.h"
#include "kessa/schema_impl.h"
#include "kessa/schema_instance.h"
#include "schema/regex.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// The failures listed in the file: "FILE | GROUP | TEST" to the reason.
std::map<std::string, std::string> listedFailures() {
    std::map<std::string, std::string> listed;
    std::istringstream lines(
        slurp(fs::path(KESSA2JSON_SOURCE_DIR) / "tests/kessa/schema_suite_failures.txt"));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t last = line.rfind(" | ");
        listed[line.substr(0, last)] = line.substr(last + 3);
    }
    return listed;
}

struct Counts {
    int cases = 0, passed = 0, unproducible = 0, remote = 0;
};

/// Whether the check of the kessa text that gives `instance` finds nothing; none where no kessa
/// text gives exactly that instance.
std::optional<bool> fits(const kessa::Schema& schema, const Json& instance, bool formats) {
    const auto written = kessa::kessaTextFor(instance);
    if (!written) return std::nullopt;
    const std::string text = "v=" + *written + "\n";
    std::string compact;
    kessa::KessaParser().parse(text)->appendCompact(compact);
    // A control byte stays raw in the JSON, which strict readers, nlohmann's among them, refuse.
    const Json back = Json::parse(compact, nullptr, false);
    if (back.is_discarded() || back.at("v") != instance) return std::nullopt;
    const kessa::detail::Instance read(text);
    // A format that is only an annotation fails the case only where the suite tests formats.
    struct Findings final : kessa::FindingHandler {
        void found(const kessa::Finding& finding) override {
            if (formats || finding.kind != kessa::FindingKind::SchemaFormat) ++count;
        }
        bool formats = false;
        int count = 0;
    } findings;
    findings.formats = formats;
    kessa::detail::checkInstance(schema.impl(), read, read.entries(read.root())[0], findings);
    return findings.count == 0;
}

TEST(SchemaSuite, EveryDraft) {
    // The failures listed are those of RE2's build; another engine reads patterns otherwise.
    if (!schema::regexOnRe2()) GTEST_SKIP() << "this build runs patterns without RE2";

    const fs::path suite = fs::path(KESSA2JSON_SOURCE_DIR) / "tests/schema/suite";
    // The suite's remote schemas, where it expects them; the remote cases are counted apart
    // where the port cannot be had.
#ifndef _WIN32
    HttpServer server(suite / "remotes", 1234);
#else
    struct {
        bool listening() const { return false; }
    } server;
#endif
    ScratchDir cache("suite-cache");
    const std::map<std::string, std::string> listed = listedFailures();
    std::set<std::string> failed;
    std::ostringstream newList;
    std::map<std::string, Counts> counts;  // by draft, and by draft's optional tests
    const std::pair<const char*, kessa::SchemaDraft> drafts[] = {
        {"draft4", kessa::SchemaDraft::Draft4},
        {"draft6", kessa::SchemaDraft::Draft6},
        {"draft7", kessa::SchemaDraft::Draft7},
        {"draft2019-09", kessa::SchemaDraft::Draft2019_09},
        {"draft2020-12", kessa::SchemaDraft::Draft2020_12}};
    for (const auto& [draft, dialect] : drafts) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(suite / draft)) {
            if (entry.path().extension() == ".json") files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            const std::string name = file.lexically_relative(suite).generic_string();
            Counts& count = counts[name.find("/optional/") != std::string::npos
                                       ? std::string(draft) + " optional"
                                       : std::string(draft)];
            const bool formats = name.find("/optional/format") != std::string::npos;
            for (const Json& group : Json::parse(slurp(file))) {
                const Json& schemaJson = group.at("schema");
                const bool remote = schemaJson.dump().find("localhost:1234") != std::string::npos;
                if (remote && !server.listening()) {
                    count.remote += static_cast<int>(group.at("tests").size());
                    count.cases += static_cast<int>(group.at("tests").size());
                    continue;
                }
                kessa::SchemaOptions options;
                options.draft = dialect;
                options.fetch = kessa::httpSchemaFetch(cache.path.string());
                std::optional<kessa::Schema> schema;
                std::string refused;
                try {
                    schema.emplace(kessa::Schema::parse(schemaJson.dump(), file.string(), options));
                } catch (const kessa::SchemaError& error) {
                    refused = error.what();
                }
                for (const Json& test : group.at("tests")) {
                    ++count.cases;
                    const std::string key = name + " | " +
                                            group.at("description").get<std::string>() + " | " +
                                            test.at("description").get<std::string>();
                    std::optional<bool> got;
                    if (schema) {
                        got = fits(*schema, test.at("data"), formats);
                        if (!got) {
                            ++count.unproducible;
                            continue;
                        }
                    }
                    if (got == test.at("valid").get<bool>()) {
                        ++count.passed;
                        continue;
                    }
                    failed.insert(key);
                    const auto reason = listed.find(key);
                    newList << key << " | "
                            << (reason != listed.end() ? reason->second
                                : refused.empty()      ? "?"
                                                       : "schema refused: " + refused)
                            << "\n";
                }
            }
        }
    }
    for (const auto& [name, count] : counts) {
        std::cout << name << ": " << count.cases << " cases, " << count.passed << " passed, "
                  << count.cases - count.passed - count.unproducible - count.remote << " failed, "
                  << count.unproducible << " no kessa text can give, " << count.remote
                  << " with remote schemas\n";
    }
    for (const std::string& key : failed) {
        EXPECT_TRUE(listed.count(key) != 0) << "a new failure: " << key;
    }
    for (const auto& [key, reason] : listed) {
        EXPECT_TRUE(failed.count(key) != 0) << "listed, but passes now: " << key;
    }
    if (std::getenv("KESSA2JSON_WRITE_SUITE_FAILURES") != nullptr) {
        std::ofstream(std::getenv("KESSA2JSON_WRITE_SUITE_FAILURES")) << newList.str();
    }
}

}  // namespace
