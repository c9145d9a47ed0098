// RE2 and PCRE2 (JIT, match limits) side by side on the patterns of the JSON Schema suite's
// pattern, patternProperties and ecmascript-regex cases, each translated from ECMAScript the same
// way: how many cases each gets right, how many patterns it cannot run, the time to compile them
// all and to match every case's strings many times, and the time on one long string that
// backtracking engines take exponential time on.
//
//   regex_engines SUITE_DIR [ROUNDS]

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <re2/re2.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "schema/regex.h"

namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

struct Case {
    std::string pattern, text;
    bool matches;  // what the suite expects of a search
};

/// The cases whose verdict a pattern's search alone decides.
std::vector<Case> casesOf(const std::filesystem::path& suite) {
    std::vector<Case> cases;
    for (const char* draft : {"draft2020-12"}) {
        for (const char* name : {"pattern.json", "patternProperties.json",
                                 "optional/ecmascript-regex.json", "optional/non-bmp-regex.json"}) {
            std::ifstream in(suite / draft / name);
            for (const Json& group : Json::parse(in)) {
                const Json& schema = group.at("schema");
                for (const Json& test : group.at("tests")) {
                    const Json& data = test.at("data");
                    if (schema.contains("pattern") && data.is_string()) {
                        cases.push_back({schema["pattern"], data, test.at("valid")});
                    }
                    const auto patterns = schema.find("patternProperties");
                    if (patterns != schema.end() && data.is_object() && data.size() == 1 &&
                        patterns->size() == 1 &&
                        schema.value("additionalProperties", true) == false) {
                        cases.push_back(
                            {patterns->begin().key(), data.begin().key(), test.at("valid")});
                    }
                }
            }
        }
    }
    return cases;
}

struct Engine {
    virtual ~Engine() = default;
    virtual bool compile(const std::string& pattern) = 0;
    virtual bool search(const std::string& text) = 0;
};

struct Re2Engine final : Engine {
    std::unique_ptr<RE2> re;
    bool compile(const std::string& pattern) override {
        const auto translated = schema::translatePattern(pattern, schema::RegexEngine::Re2, false);
        if (translated.pattern.empty()) return false;
        RE2::Options options;
        options.set_log_errors(false);
        re = std::make_unique<RE2>(translated.pattern, options);
        return re->ok();
    }
    bool search(const std::string& text) override { return RE2::PartialMatch(text, *re); }
};

struct Pcre2Engine final : Engine {
    pcre2_code* code = nullptr;
    pcre2_match_data* data = nullptr;
    pcre2_match_context* context = pcre2_match_context_create(nullptr);
    Pcre2Engine() { pcre2_set_match_limit(context, 1'000'000); }
    ~Pcre2Engine() override {
        release();
        pcre2_match_context_free(context);
    }
    void release() {
        if (data != nullptr) pcre2_match_data_free(data);
        if (code != nullptr) pcre2_code_free(code);
        data = nullptr;
        code = nullptr;
    }
    bool compile(const std::string& pattern) override {
        release();
        const auto translated =
            schema::translatePattern(pattern, schema::RegexEngine::Pcre2, false);
        if (translated.pattern.empty()) return false;
        // RE2's \x{...} is PCRE2's too; UTF and Unicode properties for \p.
        int error = 0;
        PCRE2_SIZE offset = 0;
        code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.pattern.data()),
                             translated.pattern.size(), PCRE2_UTF | PCRE2_NO_UTF_CHECK, &error,
                             &offset, nullptr);
        if (code == nullptr) return false;
        pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
        data = pcre2_match_data_create_from_pattern(code, nullptr);
        return true;
    }
    bool search(const std::string& text) override {
        const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0,
                                   0, data, context);
        if (rc < -1) failures++;  // a limit reached: no verdict
        return rc >= 0;
    }
    int failures = 0;
};

void measure(const char* name, Engine& engine, const std::vector<Case>& cases, int rounds) {
    int right = 0, refused = 0;
    const auto start = Clock::now();
    for (const Case& one : cases) {
        if (!engine.compile(one.pattern)) {
            ++refused;
            continue;
        }
        right += engine.search(one.text) == one.matches;
    }
    const auto compiled = Clock::now();
    for (int r = 0; r < rounds; ++r) {
        for (const Case& one : cases) {
            if (engine.compile(one.pattern)) {
                for (int k = 0; k < 100; ++k) (void)engine.search(one.text);
            }
        }
    }
    const auto matched = Clock::now();
    engine.compile("^(a|aa)*(a|aa)*b$");
    const std::string longText(1 << 20, 'a');
    const auto longStart = Clock::now();
    const bool found = engine.search(longText);
    const auto longEnd = Clock::now();
    using ms = std::chrono::duration<double, std::milli>;
    std::printf(
        "%-6s %3d of %zu right, %d refused; compile+check %.2f ms; %d rounds x100 %.1f ms; "
        "1 MiB of a on ^(a|aa)*(a|aa)*b$: %s in %.1f ms\n",
        name, right, cases.size(), refused, ms(compiled - start).count(), rounds,
        ms(matched - compiled).count(), found ? "match" : "no match",
        ms(longEnd - longStart).count());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: regex_engines SUITE_DIR [ROUNDS]\n");
        return 1;
    }
    const std::vector<Case> cases = casesOf(argv[1]);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 20;
    Re2Engine re2;
    Pcre2Engine pcre2;
    measure("RE2", re2, cases, rounds);
    measure("PCRE2", pcre2, cases, rounds);
    std::printf("PCRE2 searches that reached a limit (no verdict): %d\n", pcre2.failures);
}
