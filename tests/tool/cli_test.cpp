#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "kessa/parser.h"
#include "run_tool.h"
#include "scratch_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kUsage = "syntax: kessa2json <in-kessa-file> <out-json-file>";

/// Runs the tool in its own directory (`dir`), which also receives its standard output and error,
/// and reads standard input from `stdinFile` if one is given.
class Cli : public testing::Test {
protected:
    Cli() { fs::create_directories(dir / "work"); }

    fs::path file(const std::string& name, const std::string& content) const {
        return scratch.write("work/" + name, content);
    }
    std::string read(const std::string& name) const { return slurp(dir / "work" / name); }
    std::size_t filesInWork() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir / "work"), {}));
    }

    Outcome run(std::vector<std::string> args, rlim_t stackBytes = 0,
                const char* stdinFile = nullptr) {
        return runTool(dir / "work", dir, std::move(args), stackBytes, stdinFile);
    }

    ScratchDir scratch{"kessa2json-cli"};
    const fs::path& dir = scratch.path;
};

}  // namespace

TEST_F(Cli, UsageWithFewerThanTwoArguments) {
    file("in.kessa", "a=1\n");
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"in.kessa"}}) {
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, kUsage);
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(filesInWork(), 1u);
    }
}

TEST_F(Cli, ConvertsTheExample) {
    std::ifstream demo(KESSA2JSON_EXAMPLE, std::ios::binary);
    file("demo.kessa", std::string(std::istreambuf_iterator<char>(demo), {}));
    const Outcome outcome = run({"demo.kessa", "demo.json", "ignored", "also-ignored"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(read("demo.json"),
              "{\n"
              "    \"name\": \"demo\",\n"
              "    \"size\": 3,\n"
              "    \"box\": {\n"
              "        \"w\": 10,\n"
              "        \"h\": 20\n"
              "    },\n"
              "    \"tags\": [\n"
              "        \"red\",\n"
              "        \"dark blue\",\n"
              "        7\n"
              "    ]\n"
              "}");
    EXPECT_EQ(filesInWork(), 2u);  // nothing named after the extra arguments
}

TEST_F(Cli, MissingOrEmptyInputGivesEmptyObject) {
    EXPECT_EQ(run({"absent.kessa", "a.json"}).status, 0);
    EXPECT_EQ(read("a.json"), "{}");
    file("empty.kessa", "");
    EXPECT_EQ(run({"empty.kessa", "b.json"}).status, 0);
    EXPECT_EQ(read("b.json"), "{}");
}

TEST_F(Cli, SamePathInAndOut) {
    file("same", "a=1\n");
    EXPECT_EQ(run({"same", "same"}).status, 0);
    EXPECT_EQ(read("same"), "{\n    \"a\": 1\n}");
}

TEST_F(Cli, ReadsStandardInput) {
    const fs::path input = file("in.kessa", "a=\"x\"");
    EXPECT_EQ(run({"/dev/stdin", "out.json"}, 0, input.c_str()).status, 0);
    EXPECT_EQ(read("out.json"), "{\n    \"a\": \"x\"\n}");
}

// Every failure ends with status 2 and one line on standard error, and leaves the output as it was.
TEST_F(Cli, FailuresLeaveOutputUntouched) {
    file("bad.kessa", "a={1\n");
    file("out.json", "previous");
    Outcome outcome = run({"bad.kessa", "out.json"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err,
              "kessa2json: " + std::string(kessa::KessaParser::kMalformedMessage) + "\n");
    EXPECT_EQ(read("out.json"), "previous");

    file("good.kessa", "a=1\n");
    outcome = run({"good.kessa", "missing/out.json"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1);
    EXPECT_NE(outcome.err.find("missing/out.json"), std::string::npos) << outcome.err;

    outcome = run({"caf\xE9.kessa", "out.json"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err.rfind("kessa2json: ", 0), 0u) << outcome.err;
    EXPECT_EQ(read("out.json"), "previous");
}

// Nesting costs heap, not stack: 4,000 levels render under a 128 KiB stack (about 64 MB of
// output). The stress tests reject 10,000,000 unclosed levels under a 1 MiB one.
TEST_F(Cli, DeepNestingOnSmallStack) {
    constexpr std::size_t kDepth = 4000;
    file("deep.kessa", "a=" + std::string(kDepth, '{') + "1" + std::string(kDepth, '}') + "\n");
    const Outcome outcome = run({"deep.kessa", "deep.json"}, 128 * 1024);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    std::string expected = "{\n    \"a\": [\n";
    for (std::size_t level = 2; level <= kDepth; ++level) {
        expected += std::string(4 * level, ' ') + "[\n";
    }
    expected += std::string(4 * (kDepth + 1), ' ') + "1\n";
    for (std::size_t level = kDepth; level >= 1; --level) {
        expected += std::string(4 * level, ' ') + "]\n";
    }
    expected += "}";
    EXPECT_TRUE(read("deep.json") == expected);
}
