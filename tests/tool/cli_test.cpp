#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "cli_fixture.h"

namespace fs = std::filesystem;

namespace {

const std::string kUsage = "syntax: kessa2json <in-kessa-file> <out-json-file>";
const std::string kJson = "{\n    \"a\": 1\n}";

/// A file of the work folder: its name and content; a name ending in "/" is a folder.
struct File {
    std::string name;
    std::optional<std::string> content;  // for a check, nullopt: the file must not exist
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

// What a run says and does, for arguments and inputs a user may give. Every row starts from
// in.kessa holding "a=1\n" and out.json holding "previous", plus its own files.
TEST_F(Cli, Outcomes) {
    const struct {
        std::vector<std::string> args;
        std::vector<File> files;
        int status;
        std::string err;  // all of standard error
        std::string out;  // all of standard output
        std::vector<File> after;
    } rows[] = {
        // Option-looking arguments are no options, and no file is overwritten for them.
        {{"-v", "in.kessa", "out.json"},
         {},
         2,
         "kessa2json: no input file '-v' (kessa2json takes no options)\n",
         "",
         {{"in.kessa", "a=1\n"}, {"out.json", "previous"}}},
        {{"--", "in.kessa", "out.json"},
         {},
         2,
         "kessa2json: no input file '--' (kessa2json takes no options)\n",
         "",
         {{"in.kessa", "a=1\n"}}},
        // A missing input still converts as empty text, with a warning.
        {{"conf.kesa", "conf.json"},
         {},
         0,
         "kessa2json: warning: 'conf.kesa' does not exist; writing {}\n",
         "",
         {{"conf.json", "{}"}}},
        {{"absent/in.kessa", "out.json"},
         {},
         0,
         "kessa2json: warning: 'absent/in.kessa' does not exist; writing {}\n",
         "",
         {{"out.json", "{}"}}},
        {{"empty.kessa", "out.json"}, {{"empty.kessa", ""}}, 0, "", "", {{"out.json", "{}"}}},
        // "-" is standard output; a file named "-" is reached as "./-".
        {{"in.kessa", "-"}, {}, 0, "", kJson, {{"-", std::nullopt}, {"out.json", "previous"}}},
        {{"./-", "out.json"}, {{"-", "a=1\n"}}, 0, "", "", {{"out.json", kJson}}},
        {{"in.kessa", "./-"}, {}, 0, "", "", {{"-", kJson}}},
        // Malformed input: where and why, and the output untouched.
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\nb={x=1\n"}},
         2,
         "kessa2json: in.kessa:2: this left brace is never closed (byte offset 6)\n",
         "",
         {{"out.json", "previous"}}},
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\n}\nb=2\n"}},
         2,
         "kessa2json: in.kessa:2: a right brace with no left brace open (byte offset 4)\n",
         "",
         {{"out.json", "previous"}}},
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\nb=\"x\ny=2\n"}},
         2,
         "kessa2json: in.kessa:2: the quoted value that starts here is never closed (byte offset "
         "6)\n",
         "",
         {{"out.json", "previous"}}},
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\n\nb=2"}},
         2,
         "kessa2json: in.kessa:3: the last value needs a line break after it (byte offset 7)\n",
         "",
         {{"out.json", "previous"}}},
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\nport=\n"}},
         2,
         "kessa2json: in.kessa:2: the key \"port\" has no value (byte offset 4)\n",
         "",
         {{"out.json", "previous"}}},
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\n\t"}},
         2,
         "kessa2json: in.kessa:2: stray blanks after the last line break (byte offset 4)\n",
         "",
         {{"out.json", "previous"}}},
        // Files that cannot be read or written, named with the system's reason.
        {{"folder", "out.json"},
         {{"folder/", ""}},
         2,
         "kessa2json: cannot read 'folder': Is a directory\n",
         "",
         {{"out.json", "previous"}}},
        {{"in.kessa", "missing/out.json"},
         {},
         2,
         "kessa2json: cannot write 'missing/out.json': No such file or directory\n",
         "",
         {}},
        // The same path for both: the output replaces the input only once it is whole.
        {{"in.kessa", "in.kessa"}, {}, 0, "", "", {{"in.kessa", kJson}}},
        {{"in.kessa", "./in.kessa"}, {}, 0, "", "", {{"in.kessa", kJson}}},
        {{"in.kessa", "in.kessa"},
         {{"in.kessa", "a={1\n"}},
         2,
         "kessa2json: in.kessa:1: this left brace is never closed (byte offset 2)\n",
         "",
         {{"in.kessa", "a={1\n"}}},
    };
    for (const auto& row : rows) {
        fs::remove_all(dir / "work");
        fs::create_directory(dir / "work");
        file("in.kessa", "a=1\n");
        file("out.json", "previous");
        for (const File& setup : row.files) {
            if (setup.name.back() == '/') {
                fs::create_directory(dir / "work" / setup.name);
            } else {
                file(setup.name, *setup.content);
            }
        }
        std::string command;
        for (const auto& arg : row.args) command += " " + arg;
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.status, row.status) << command;
        EXPECT_EQ(outcome.err, row.err) << command;
        EXPECT_EQ(outcome.out, row.out) << command;
        for (const auto& entry : fs::directory_iterator(dir / "work")) {  // no replacement left
            EXPECT_NE(entry.path().filename().string().front(), '.') << command;
        }
        for (const File& check : row.after) {
            const fs::path path = dir / "work" / check.name;
            if (check.content) {
                EXPECT_EQ(read(check.name), *check.content) << command << ": " << check.name;
            } else {
                EXPECT_FALSE(fs::exists(path)) << command << ": " << check.name;
            }
        }
    }
}
