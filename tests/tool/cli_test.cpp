#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli_fixture.h"
#include "kessa/parser.h"

namespace fs = std::filesystem;

namespace {

const std::string kUsage = "syntax: kessa2json <in-kessa-file> <out-json-file>";

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
    file("demo.kessa", slurp(KESSA2JSON_EXAMPLE));
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
}
