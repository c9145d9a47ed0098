#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
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

// A path where no file exists, below a missing directory or below a plain file included, reads as
// empty text.
TEST_F(Cli, MissingOrEmptyInputGivesEmptyObject) {
    file("empty.kessa", "");
    file("plain", "a=1\n");
    for (const char* input : {"absent.kessa", "absent/in.kessa", "plain/in.kessa", "empty.kessa"}) {
        fs::remove(dir / "work" / "out.json");
        EXPECT_EQ(run({input, "out.json"}).status, 0) << input;
        EXPECT_EQ(read("out.json"), "{}") << input;
    }
}

// The input is read whole before the output is opened, so the file ends up holding the JSON text;
// a failure leaves it as it was.
TEST_F(Cli, SamePathInAndOut) {
    const struct {
        const char* input;
        const char* output;  // the same file, named as given
        int status;
        const char* after;
    } rows[] = {
        {"a=1\n", "same", 0, "{\n    \"a\": 1\n}"},
        {"a=1\n", "./same", 0, "{\n    \"a\": 1\n}"},
        {"a={1\n", "same", 2, "a={1\n"},
    };
    for (const auto& row : rows) {
        file("same", row.input);
        EXPECT_EQ(run({"same", row.output}).status, row.status) << row.output;
        EXPECT_EQ(read("same"), row.after) << row.output;
    }
}

// A failure before the write ends with status 2 and one line on standard error, and leaves the
// output as it was.
TEST_F(Cli, FailuresLeaveOutputUntouched) {
    file("bad.kessa", "a={1\n");
    fs::create_directory(dir / "work" / "folder");
    const struct {
        const char* input;
        std::string message;
    } rows[] = {
        {"bad.kessa", "bad.kessa:1: this left brace is never closed (byte offset 2)"},
        {"folder", std::strerror(EISDIR)},
    };
    for (const auto& row : rows) {
        file("out.json", "previous");
        const Outcome outcome = run({row.input, "out.json"});
        EXPECT_EQ(outcome.status, 2) << row.input;
        EXPECT_EQ(outcome.out, "") << row.input;
        EXPECT_TRUE(isOneLineFailure(outcome.err, row.message)) << outcome.err;
        EXPECT_EQ(read("out.json"), "previous") << row.input;
    }
    file("good.kessa", "a=1\n");
    const Outcome outcome = run({"good.kessa", "missing/out.json"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_TRUE(isOneLineFailure(outcome.err, "missing/out.json")) << outcome.err;
}
