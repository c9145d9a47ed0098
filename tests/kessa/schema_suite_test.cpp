// The JSON Schema project's own test suite, drafts 7 and 4, through the check a kessa text gets:
// each instance written as the value of a member, read as kessa text, and that member's value
// checked. Instances no kessa text gives (true, false, null, a string that reads as a number) are
// counted apart. Each case that fails is listed with its reason in schema_suite_failures.txt, so
// that a new failure, or a listed one that passes, breaks the test.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "kessa/parser.h"
#include "kessa/schema.h"
#include "kessa/schema_impl.h"
#include "kessa/schema_instance.h"

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
    std::istringstream lines(slurp(KESSA2JSON_SCHEMA_SUITE_FAILURES));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t last = line.rfind(" | ");
        listed[line.substr(0, last)] = line.substr(last + 3);
    }
    return listed;
}

struct Counts {
    int cases = 0, passed = 0, unproducible = 0;
};

/// Whether the check of the kessa text that gives `instance` finds nothing; none where no kessa
/// text gives exactly that instance.
std::optional<bool> fits(const kessa::Schema& schema, const Json& instance) {
    const auto written = kessa::kessaTextFor(instance);
    if (!written) return std::nullopt;
    const std::string text = "v=" + *written + "\n";
    std::string compact;
    kessa::KessaParser().parse(text)->appendCompact(compact);
    if (Json::parse(compact).at("v") != instance) return std::nullopt;
    const kessa::detail::Instance read(text);
    struct Findings final : kessa::FindingHandler {
        void found(const kessa::Finding&) override { ++count; }
        int count = 0;
    } findings;
    kessa::detail::checkInstance(schema.impl(), read, read.entries(read.root())[0], findings);
    return findings.count == 0;
}

TEST(SchemaSuite, Drafts7And4) {
    const fs::path suite = KESSA2JSON_SCHEMA_SUITE;
    if (!fs::is_directory(suite / "draft7")) {
        GTEST_SKIP() << "the JSON Schema test suite is not at " << suite
                     << " (Debian package json-schema-test-suite)";
    }
    const std::map<std::string, std::string> listed = listedFailures();
    std::set<std::string> failed;
    std::ostringstream newList;
    std::map<std::string, Counts> counts;  // by draft, and by draft's optional tests
    for (const char* draft : {"draft7", "draft4"}) {
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
            for (const Json& group : Json::parse(slurp(file))) {
                Json schemaJson = group.at("schema");
                if (std::string(draft) == "draft4" && schemaJson.is_object() &&
                    !schemaJson.contains("$schema")) {
                    schemaJson["$schema"] = "http://json-schema.org/draft-04/schema#";
                }
                std::optional<kessa::Schema> schema;
                std::string refused;
                try {
                    schema.emplace(kessa::Schema::parse(schemaJson.dump(), file.string()));
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
                        got = fits(*schema, test.at("data"));
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
                  << count.cases - count.passed - count.unproducible << " failed, "
                  << count.unproducible << " no kessa text can give\n";
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
