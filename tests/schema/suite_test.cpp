// The JSON Schema project's own test suite, vendored in suite/: every case of drafts 4, 6, 7,
// 2019-09 and 2020-12, required and optional, through the validator's entry point, with the
// suite's remote schemas served from suite/remotes as http://localhost:1234/ expects. Each case
// that fails is listed with its reason in suite_failures.txt, so that a new failure, or a listed
// one that passes, breaks the test. The counts per draft are printed.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "schema/compile.h"
#include "schema/evaluate.h"
#include "schema/meta_schemas.h"
#include "schema/regex.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

const fs::path kSuite = fs::path(KESSA2JSON_SOURCE_DIR) / "tests/schema/suite";

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// The suite's remote schemas, and the meta-schemas the library carries.
class SuiteResolver final : public schema::Resolver {
public:
    std::optional<schema::SchemaDocument> fetch(const std::string& uri, const schema::Plan&,
                                                std::uint32_t, const std::string&,
                                                std::string_view) override {
        std::string text;
        if (const auto meta = schema::bundledMetaSchema(uri)) {
            text = std::string(*meta);
        } else if (const std::string prefix = "http://localhost:1234/"; uri.rfind(prefix, 0) == 0) {
            const fs::path file = kSuite / "remotes" / uri.substr(prefix.size());
            if (!fs::is_regular_file(file)) return std::nullopt;
            text = slurp(file);
        } else {
            return std::nullopt;
        }
        return schema::SchemaDocument{uri, uri, text, Json::parse(text)};
    }
};

/// "FILE | GROUP | TEST" to the reason, from the list of failures.
std::map<std::string, std::string> listedFailures() {
    std::map<std::string, std::string> listed;
    std::istringstream lines(
        slurp(fs::path(KESSA2JSON_SOURCE_DIR) / "tests/schema/suite_failures.txt"));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t last = line.rfind(" | ");
        listed[line.substr(0, last)] = line.substr(last + 3);
    }
    return listed;
}

struct Counts {
    int cases = 0, passed = 0;
};

TEST(Suite, EveryDraft) {
    // The failures listed are those of RE2's build; another engine reads patterns otherwise.
    if (!schema::regexOnRe2()) GTEST_SKIP() << "this build runs patterns without RE2";

    const std::map<std::string, std::string> listed = listedFailures();
    std::set<std::string> failed;
    std::ostringstream newList;
    std::map<std::string, Counts> counts;
    const std::pair<const char*, schema::Draft> drafts[] = {
        {"draft4", schema::Draft::Draft4},
        {"draft6", schema::Draft::Draft6},
        {"draft7", schema::Draft::Draft7},
        {"draft2019-09", schema::Draft::Draft2019},
        {"draft2020-12", schema::Draft::Draft2020}};
    for (const auto& [draft, dialect] : drafts) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(kSuite / draft)) {
            if (entry.path().extension() == ".json") files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            const std::string name = file.lexically_relative(kSuite).generic_string();
            const bool optional = name.find("/optional/") != std::string::npos;
            // Formats assert in the optional cases that test them.
            const bool formats = name.find("/optional/format") != std::string::npos;
            Counts& count = counts[std::string(draft) + (optional ? " optional" : "")];
            for (const Json& group : Json::parse(slurp(file))) {
                schema::Plan plan;
                std::string refused;
                try {
                    plan.documents.push_back({"http://localhost:1234/suite.json", name,
                                              group.at("schema").dump(), group.at("schema")});
                    SuiteResolver resolver;
                    schema::compile(plan, resolver, {dialect, false});
                } catch (const std::exception& error) {
                    refused = error.what();
                }
                for (const Json& test : group.at("tests")) {
                    ++count.cases;
                    const std::string key = name + " | " +
                                            group.at("description").get<std::string>() + " | " +
                                            test.at("description").get<std::string>();
                    bool valid = false;
                    std::string why = refused.empty() ? "" : "schema refused: " + refused;
                    if (refused.empty()) {
                        const schema::JsonDocument data =
                            schema::JsonDocument::parse(test.at("data").dump());
                        std::vector<schema::Fault> faults;
                        try {
                            valid = schema::Evaluator<schema::JsonDocument>(plan, data, &faults)
                                        .run(data.root());
                            if (formats && !faults.empty()) valid = false;
                        } catch (const std::exception& error) {
                            why = std::string("raised: ") + error.what();
                        }
                    }
                    if (valid == test.at("valid").get<bool>() && why.empty()) {
                        ++count.passed;
                        continue;
                    }
                    failed.insert(key);
                    const auto reason = listed.find(key);
                    newList << key << " | "
                            << (reason != listed.end() ? reason->second
                                : why.empty()          ? "?"
                                                       : why)
                            << "\n";
                }
            }
        }
    }
    for (const auto& [name, count] : counts) {
        std::cout << name << ": " << count.passed << " of " << count.cases << " cases pass\n";
    }
    for (const std::string& key : failed) {
        EXPECT_TRUE(listed.count(key) != 0) << "a new failure: " << key;
    }
    for (const auto& [key, reason] : listed) {
        EXPECT_TRUE(failed.count(key) != 0) << "listed, but passes now: " << key;
    }
    if (const char* out = std::getenv("KESSA2JSON_WRITE_SUITE_FAILURES")) {
        std::ofstream(out) << newList.str();
    }
}

}  // namespace
