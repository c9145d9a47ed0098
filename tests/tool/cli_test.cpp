#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "cli_fixture.h"

namespace fs = std::filesystem;

namespace {

const std::string kUsage = "syntax: kessa2json <in-kessa-file> <out-json-file>";
const std::string kCheckUsage =
    "syntax: kessa2json --check [--format text|json|sarif|github] [--ignore CODE[,CODE...]]\n"
    "                           [--severity note|warning|error] [--schema FILE]\n"
    "                           [--schema-draft 4|6|7|2019-09|2020-12] [--resolve FILE|DIR]...\n"
    "                           <in-kessa-file>...\n";
const std::string kJson = "{\n    \"a\": 1\n}";
/// What --check says after the bytes of a value under the empty key.
const std::string kNoKey =
    "\", so it goes under the empty key; put key= before it, or quote a value that holds a comma "
    "or braces (there are no comments) [no-key]";

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

// --help and -h: the usage, what the tool does and its exit statuses, a complete line at the end.
TEST_F(Cli, HelpAndVersion) {
    for (const char* option : {"--help", "-h"}) {
        const Outcome outcome = run({option});
        EXPECT_EQ(outcome.status, 0) << option;
        EXPECT_EQ(outcome.err, "") << option;
        EXPECT_EQ(outcome.out.rfind("usage: kessa2json <in-kessa-file> <out-json-file>\n", 0), 0u)
            << option;
        for (const char* part : {"--check", "--format", "--ignore", "--severity", "Exit status: 0",
                                 "man kessa2json", "an existing .kessa file"}) {
            EXPECT_NE(outcome.out.find(part), std::string::npos) << option << ": " << part;
        }
        EXPECT_EQ(outcome.out.back(), '\n') << option;
    }
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kessa2json " KESSA2JSON_VERSION "\n");
    EXPECT_EQ(filesInWork(), 0u);
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
         "kessa2json: no input file '-v' (see kessa2json --help)\n",
         "",
         {{"in.kessa", "a=1\n"}, {"out.json", "previous"}}},
        {{"--", "in.kessa", "out.json"},
         {},
         2,
         "kessa2json: no input file '--' (see kessa2json --help)\n",
         "",
         {{"in.kessa", "a=1\n"}}},
        // An output path that looks like an option creates no file; one that exists is a path.
        {{"in.kessa", "--help"},
         {},
         2,
         "kessa2json: output path '--help' looks like an option; write ./--help for a file of "
         "that name\n",
         "",
         {{"--help", std::nullopt}}},
        {{"in.kessa", "-o"},
         {},
         2,
         "kessa2json: output path '-o' looks like an option; write ./-o for a file of that name\n",
         "",
         {{"-o", std::nullopt}, {"out.json", "previous"}}},
        {{"in.kessa", "-o"}, {{"-o", "previous"}}, 0, "", "", {{"-o", kJson}}},
        // An empty path, as an unset variable gives, names no file: nothing is read, written or
        // made, and standard output is only ever "-".
        {{"in.kessa", ""},
         {},
         2,
         "kessa2json: the output path is empty\n",
         "",
         {{"in.kessa", "a=1\n"}, {"out.json", "previous"}}},
        {{"", "out.json"},
         {},
         2,
         "kessa2json: the input path is empty\n",
         "",
         {{"out.json", "previous"}}},
        {{"--check", ""}, {}, 2, "kessa2json: the input path is empty\n", "", {}},
        // Paths past the second that name files come from a wildcard: the second is an input,
        // not overwritten. Those that name nothing are ignored.
        {{"a.kessa", "b.kessa", "c.kessa"},
         {{"a.kessa", "a=1\n"}, {"b.kessa", "b=2\n"}, {"c.kessa", "c=3\n"}},
         1,
         "kessa2json: 3 paths were given, and a conversion takes two, an input and an output; did "
         "a wildcard expand? (--check takes several inputs)\n",
         kUsage,
         {{"a.kessa", "a=1\n"}, {"b.kessa", "b=2\n"}, {"c.kessa", "c=3\n"}}},
        {{"in.kessa", "out.json", "missing", "in.kessa"},
         {},
         1,
         "kessa2json: 4 paths were given, and a conversion takes two, an input and an output; did "
         "a wildcard expand? (--check takes several inputs)\n",
         kUsage,
         {{"out.json", "previous"}}},
        {{"in.kessa", "out.json", "missing", "-"}, {}, 0, "", "", {{"out.json", kJson}}},
        // So does an output that is another kessa file, as from two files; the input itself is
        // converted in place (below), and a kessa file yet to be made is an output like any.
        {{"a.kessa", "b.kessa"},
         {{"a.kessa", "a=1\n"}, {"b.kessa", "b=2\n"}},
         1,
         "kessa2json: the output 'b.kessa' is a kessa file, which a conversion would replace with "
         "JSON; did a wildcard expand? (--check takes several inputs)\n",
         kUsage,
         {{"a.kessa", "a=1\n"}, {"b.kessa", "b=2\n"}}},
        {{"missing.kessa", "sub/b.kessa"},
         {{"sub/", ""}, {"sub/b.kessa", "b=2\n"}},
         1,
         "kessa2json: the output 'sub/b.kessa' is a kessa file, which a conversion would replace "
         "with JSON; did a wildcard expand? (--check takes several inputs)\n",
         kUsage,
         {{"sub/b.kessa", "b=2\n"}}},
        {{"in.kessa", "new.kessa"}, {}, 0, "", "", {{"new.kessa", kJson}}},
        {{"in.kessa", "b.kessa.json"},
         {{"b.kessa.json", "b=2\n"}},
         0,
         "",
         "",
         {{"b.kessa.json", kJson}}},
        // So are the options, where a file of their name exists.
        {{"--check", "out.json"}, {{"--check", "a=1\n"}}, 0, "", "", {{"out.json", kJson}}},
        {{"--version", "out.json"}, {{"--version", "a=1\n"}}, 0, "", "", {{"out.json", kJson}}},
        // --check takes inputs, which must exist, and writes nothing; each is checked.
        {{"--check"}, {}, 1, "", kCheckUsage, {}},
        {{"--check", "in.kessa", "out.json"},
         {},
         2,
         "kessa2json: out.json:1:1: the last value needs a line break after it (byte offset 0)\n",
         "",
         {{"out.json", "previous"}}},
        // Its options: an unknown format, severity or code is wrong arguments.
        {{"--check", "--format", "xml", "in.kessa"},
         {},
         1,
         "kessa2json: unknown format 'xml'; the formats are text, json, sarif and github\n",
         kCheckUsage,
         {}},
        {{"--check", "--severity=fatal", "in.kessa"},
         {},
         1,
         "kessa2json: unknown severity 'fatal'; the severities are note, warning and error\n",
         kCheckUsage,
         {}},
        {{"--check", "--ignore", "leading-zeros,zeros", "in.kessa"},
         {},
         1,
         "kessa2json: unknown code 'zeros' in --ignore; man kessa2json lists the codes\n",
         kCheckUsage,
         {}},
        {{"--check", "in.kessa", "--format"},
         {},
         1,
         "kessa2json: --format needs a value\n",
         kCheckUsage,
         {}},
        {{"--check", "--ignore=", "in.kessa"}, {}, 0, "", "", {}},
        // An option's name that names a file is an input; its value is never one.
        {{"--check", "--format=json", "--ignore", "--format=json"},
         {{"--format=json", "x=007\n"}},
         1,
         "kessa2json: unknown code '--format=json' in --ignore; man kessa2json lists the codes\n",
         kCheckUsage,
         {}},
        {{"--check", "--format=json"},
         {{"--format=json", "x=007\n"}},
         3,
         "",
         "--format=json:1:3: warning: the leading zeros of \"007\" are dropped, quoted or not: it "
         "becomes 7 and cannot stay text [leading-zeros]\n",
         {}},
        {{"--check", "in.kessa"}, {}, 0, "", "", {{"out.json", "previous"}}},
        {{"--check", "conf.kesa"},
         {},
         2,
         "kessa2json: cannot read 'conf.kesa': No such file or directory\n",
         "",
         {}},
        {{"--check", "-v"},
         {},
         2,
         "kessa2json: no input file '-v' (see kessa2json --help)\n",
         "",
         {}},
        {{"--check", "in.kessa"},
         {{"in.kessa", "a=1\nb={x=1\n"}},
         2,
         "kessa2json: in.kessa:2:3: this left brace is never closed (byte offset 6)\n",
         "",
         {}},
        // Nothing is listed for a malformed input, not even what comes before the fault.
        {{"--check", "in.kessa"},
         {{"in.kessa", "a=007\nb={x=1\n"}},
         2,
         "kessa2json: in.kessa:2:3: this left brace is never closed (byte offset 8)\n",
         "",
         {}},
        // A schema that cannot be used ends the check before any input, with its own place.
        {{"--check", "--schema", "s.json", "in.kessa"},
         {{"s.json", "{\"type\": \"objekt\"}"}},
         2,
         "kessa2json: s.json:1:10: not a valid schema: the value at /type names the type "
         "\"objekt\", which is none of array, boolean, integer, null, number, object and string\n",
         "",
         {}},
        {{"--check", "--format", "json", "--schema", "s.json", "in.kessa"},
         {{"s.json", "{\"type\": \n"}},
         2,
         "kessa2json: s.json:2:1: not JSON: syntax error while parsing value - unexpected end of "
         "input; expected '[', '{', or a literal\n",
         "",
         {}},
        {{"--check", "--schema", "gone.json", "in.kessa"},
         {},
         2,
         "kessa2json: gone.json: cannot read the schema: No such file or directory\n",
         "",
         {}},
        {{"--check", "--schema", "s.json", "--schema", "s.json", "in.kessa"},
         {{"s.json", "{}"}},
         1,
         "kessa2json: --schema is given twice; a check takes one schema\n",
         kCheckUsage,
         {}},
        // One that can: a value the schema refuses is a finding, and what is said of the schema
        // itself comes once, before the inputs, for all of them.
        {{"--check", "--schema", "s.json", "in.kessa", "in.kessa"},
         {{"s.json",
           "{\"properties\": {\"a\": {\"minimum\": 2}, \"b\": {\"format\": \"colour\"}}}"}},
         3,
         "",
         "s.json:1:44: note: the format \"colour\" is not one known here, so it is not checked "
         "[schema-unchecked]\n"
         "in.kessa:1:3: error: \"1\" is below the minimum, 2 [schema-range]\n"
         "in.kessa:1:3: error: \"1\" is below the minimum, 2 [schema-range]\n",
         {}},
        // What is said of the schema alone does not fail an input that fits.
        {{"--check", "--schema", "s.json", "in.kessa"},
         {{"s.json", "{\"properties\": {\"b\": {\"format\": \"colour\"}}}"}},
         0,
         "",
         "s.json:1:23: note: the format \"colour\" is not one known here, so it is not checked "
         "[schema-unchecked]\n",
         {}},
        // The draft of a schema that names none: draft 4's exclusiveMaximum is a flag.
        {{"--check", "--schema", "s.json", "--schema-draft", "4", "in.kessa"},
         {{"s.json", "{\"properties\": {\"a\": {\"maximum\": 1, \"exclusiveMaximum\": true}}}"}},
         3,
         "",
         "in.kessa:1:3: error: \"1\" is not below 1, which the schema excludes [schema-range]\n",
         {}},
        {{"--check", "--schema", "s.json", "--schema-draft", "5", "in.kessa"},
         {{"s.json", "{}"}},
         1,
         "kessa2json: unknown draft '5'; the drafts are 4, 6, 7, 2019-09 and 2020-12\n",
         kCheckUsage,
         {}},
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
         "kessa2json: in.kessa:2:3: this left brace is never closed (byte offset 6)\n",
         "",
         {{"out.json", "previous"}}},
        // The column counts characters: a UTF-8 sequence is one, and so is a Latin-1 byte.
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\nk\xC3\xA9y\xFC={x\n"}},
         2,
         "kessa2json: in.kessa:2:6: this left brace is never closed (byte offset 10)\n",
         "",
         {{"out.json", "previous"}}},
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\n}\nb=2\n"}},
         2,
         "kessa2json: in.kessa:2:1: a right brace with no left brace open (byte offset 4)\n",
         "",
         {{"out.json", "previous"}}},
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\nb=\"x\ny=2\n"}},
         2,
         "kessa2json: in.kessa:2:3: the quoted value that starts here is never closed (byte offset "
         "6)\n",
         "",
         {{"out.json", "previous"}}},
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\n\nb=2"}},
         2,
         "kessa2json: in.kessa:3:3: the last value needs a line break after it (byte offset 7)\n",
         "",
         {{"out.json", "previous"}}},
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\nport=\n"}},
         2,
         "kessa2json: in.kessa:2:1: the key \"port\" has no value (byte offset 4)\n",
         "",
         {{"out.json", "previous"}}},
        {{"in.kessa", "out.json"},
         {{"in.kessa", "a=1\n\t"}},
         2,
         "kessa2json: in.kessa:2:1: stray blanks after the last line break (byte offset 4)\n",
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
         "kessa2json: in.kessa:1:3: this left brace is never closed (byte offset 2)\n",
         "",
         {{"in.kessa", "a={1\n"}}},
        // JSON that strict readers refuse is written as ever, with a warning at its first place.
        {{"raw.kessa", "-"},
         {{"raw.kessa", "a=x\x01y\n"}},
         0,
         "kessa2json: warning: raw.kessa:1:3: the JSON holds a control byte that strict JSON "
         "readers refuse [control-byte]; kessa2json --check raw.kessa lists them all\n",
         "{\n    \"a\": \"x\x01y\"\n}",
         {}},
        {{"raw.kessa", "out.json"},
         {{"raw.kessa", "k=1\nb=caf\xe9\n"}},
         0,
         "kessa2json: warning: raw.kessa:2:3: the JSON holds bytes that are not UTF-8 that strict "
         "JSON readers refuse [not-utf8]; kessa2json --check raw.kessa lists them all\n",
         "",
         {{"out.json", "{\n    \"k\": 1,\n    \"b\": \"caf\xe9\"\n}"}}},
        {{"raw.kessa", "-"},
         {{"raw.kessa", "b=caf\xe9\na=\x02\n"}},
         0,
         "kessa2json: warning: raw.kessa:1:3: the JSON holds bytes that are not UTF-8 that strict "
         "JSON readers refuse [not-utf8]; kessa2json --check raw.kessa lists them all\n",
         "{\n    \"b\": \"caf\xe9\",\n    \"a\": \"\x02\"\n}",
         {}},
        {{"raw.kessa", "-"},
         {{"raw.kessa", "b=caf\xc3\xa9\tx\ns={1\x01 {2}}\n"}},
         0,
         "",
         "{\n    \"b\": \"caf\xc3\xa9\\tx\",\n    \"s\": [\n        [\n            2\n        ]\n    ]\n}",
         {}},
    };
    for (const auto& row : rows) {
        fs::remove_all(dir / "work");
        fs::create_directory(dir / "work");
        file("in.kessa", "a=1\n");
        file("out.json", "previous");
        place(row.files);
        std::string command;
        for (const auto& arg : row.args) command += " " + arg;
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.status, row.status) << command;
        EXPECT_EQ(outcome.err, row.err) << command;
        EXPECT_EQ(outcome.out, row.out) << command;
        expectFiles(row.after, command);
    }
}

// kessa2json --check: every place where the conversion changes or drops what the text says, one
// line each in document order; status 3 with findings, 0 without.
TEST_F(Cli, CheckFindings) {
    const struct {
        std::string input;
        std::vector<std::string> lines;  // without "in.kessa:"
    } rows[] = {
        {"motd = \"Hello, world\"\n",
         {"1:8: warning: the double quote that starts \"\\\"Hello\" follows a blank, so it quotes "
          "nothing; remove the blank to quote the value [blank-before-quote]",
          "1:16: warning: no key is waiting for \"world\\\"\", so it goes under the empty key; put "
          "key= before it, or quote a value that holds a comma or braces (there are no comments) "
          "[no-key]"}},
        {"ports={\n80\n443\n}\n",
         {"2:1: error: the line breaks in \"80\\x0a443\" are dropped while the brace's kind is "
          "undecided, joining one value; a comma after the first element makes an array "
          "[joined-lines]"}},
        {"a={\nx\ny=1}\n",
         {"2:1: error: the line breaks in \"x\\x0ay\" are dropped while the brace's kind is "
          "undecided, joining one value; a comma after the first element makes an array "
          "[joined-lines]"}},
        {"empty=\nx=1\n",
         {"1:1: error: the key \"empty\" is dropped, since another key comes before its value; "
          "give it one, such as \"\" for empty text [key-replaced]"}},
        {"a=b=c\n",
         {"1:1: error: the key \"a\" is dropped, since another key comes before its value; give it "
          "one, such as \"\" for empty text [key-replaced]"}},
        {"# comment\n",
         {"1:1: warning: no key is waiting for \"# comment\", so it goes under the empty key; put "
          "key= before it, or quote a value that holds a comma or braces (there are no comments) "
          "[no-key]"}},
        {"a=1\n{x=1}\n",
         {"2:1: warning: no key is waiting for the container that opens here, so it goes under the "
          "empty key; put key= before it [no-key]"}},
        {"a=1\n{{1}}\n",
         {"2:1: warning: no key is waiting for the container that opens here, so it goes under the "
          "empty key; put key= before it [no-key]"}},
        {"zip=\"01234\"\n",
         {"1:6: warning: the leading zeros of \"01234\" are dropped, quoted or not: it becomes "
          "1234 and cannot stay text [leading-zeros]"}},
        {"phone=+4915112345678\n",
         {"1:7: warning: the plus sign of \"+4915112345678\" is dropped, quoted or not: it becomes "
          "4915112345678 and cannot stay text [plus-sign]"}},
        {"hex=0x1F\n",
         {"1:5: warning: \"0x1F\" is read as hexadecimal, quoted or not: it becomes 31.0 and "
          "cannot stay text [hexadecimal]"}},
        {"v=1.\nw=-00.5e1\n",
         {"1:3: warning: the point at the end of \"1.\" makes a float, quoted or not: it becomes "
          "1.0 and cannot stay text [trailing-point]",
          "2:3: warning: the leading zeros of \"-00.5e1\" are dropped, quoted or not: it becomes "
          "-5.0 and cannot stay text [leading-zeros]",
          "2:3: warning: \"-00.5e1\" is written without its exponent, quoted or not: it becomes "
          "-5.0 and cannot stay text [exponent]"}},
        {"n=\" 12\"\n",
         {"1:4: warning: the blanks in front of \" 12\" are dropped, quoted or not: it becomes 12 "
          "and cannot stay text [leading-blanks]"}},
        {"big=12345678901234567890\nlow=-9223372036854775809\nmax=9223372036854775807\n",
         {"1:5: error: \"12345678901234567890\" is beyond the 64-bit range, quoted or not: it "
          "becomes 9223372036854775807 and cannot stay text [saturated]",
          "2:5: error: \"-9223372036854775809\" is beyond the 64-bit range, quoted or not: it "
          "becomes -9223372036854775808 and cannot stay text [saturated]",
          "3:5: note: \"9223372036854775807\" is beyond 2^53, quoted or not: the JSON keeps it "
          "exactly, but JavaScript and other readers that hold numbers as doubles read "
          "9223372036854775808 [unsafe-integer]"}},
        {"pi=3.14159265358979\nfar=1e23\n",
         {"1:4: error: \"3.14159265358979\" loses digits (floats keep six decimals at most), "
          "quoted or not: it becomes 3.141593 and cannot stay text [rounded]",
          "2:5: error: \"1e23\" is not exactly a double, quoted or not: it becomes "
          "99999999999999991611392.0 and cannot stay text [rounded]"}},
        {"eps=1e-9\ntiny=-1e-400\n",
         {"1:5: error: \"1e-9\" is too small for six decimals, quoted or not: it becomes 0.0 and "
          "cannot stay text [underflow]",
          "2:6: error: \"-1e-400\" is too small for six decimals, quoted or not: it becomes 0.0 "
          "and cannot stay text [underflow]"}},
        {"huge=1e400\n",
         {"1:6: error: \"1e400\" is too large for a double, quoted or not: it becomes 1e999 and "
          "cannot stay text [overflow]"}},
        // Numbers the JSON spells as the text does.
        {"a=0.5\nb=-0.25\ne=0\nh=123456789.123456\nj=\"1.5\"\nk=0.0\nl=-1.0\n"
         "m=9007199254740992\nn=-9223372036854775808\n",
         {}},
        {"c=1.50\nd=1e5\nf=-0\n",
         {"1:3: warning: the zeros at the end of the decimals of \"1.50\" are dropped, quoted or "
          "not: it becomes 1.5 and cannot stay text [trailing-zeros]",
          "2:3: warning: \"1e5\" is written without its exponent, quoted or not: it becomes "
          "100000.0 and cannot stay text [exponent]",
          "3:3: warning: the minus sign of \"-0\" is dropped, quoted or not: it becomes 0 and "
          "cannot stay text [negative-zero]"}},
        {"greeting=Hello {name}, welcome\n",
         {"1:10: error: \"Hello\" before a left brace is dropped; quote the whole value to keep "
          "text with braces [discarded-text]",
          "1:24: warning: no key is waiting for \"welcome\", so it goes under the empty key; put "
          "key= before it, or quote a value that holds a comma or braces (there are no comments) "
          "[no-key]"}},
        {"\xEF\xBB\xBFname=1\n",
         {"1:1: warning: the text begins with a byte-order mark (\\xef\\xbb\\xbf), which stays in "
          "the first key or value; save the file without it [byte-order-mark]"}},
        {std::string("k=a\x01"
                     "b\nm=x\0y\n",
                     12),
         {"1:3: warning: \"a\\x01b\" holds a control byte, which the JSON keeps raw and strict "
          "JSON readers refuse [control-byte]",
          "2:3: warning: \"x\\x00y\" holds a control byte, which the JSON keeps raw and strict "
          "JSON readers refuse [control-byte]"}},
        {"l=caf\xE9\n\xFF=1\nok=caf\xC3\xA9\td\r\n",
         {"1:3: warning: \"caf\\xe9\" holds bytes that are not UTF-8, which strict JSON readers "
          "refuse; save the file as UTF-8 [not-utf8]",
          "2:1: warning: \"\\xff\" holds bytes that are not UTF-8, which strict JSON readers "
          "refuse; save the file as UTF-8 [not-utf8]"}},
        {"a=1\nb={a=1}\na=2\n",
         {"3:1: warning: the object already has the key \"a\"; most JSON readers keep only its "
          "last value [repeated-key]"}},
        // Keys are compared as the JSON has them, carriage returns dropped.
        {"k\r1=1\r\nk1=2\r\n",
         {"2:1: warning: the object already has the key \"k1\"; most JSON readers keep only its "
          "last value [repeated-key]"}},
        {"a={1,x=2}\nb=3\n",
         {"1:6: error: an array takes no keys: \"x\" waits for the next value added to an object; "
          "an = before any comma makes the brace an object [key-in-array]",
          "1:6: error: the key \"x\" is dropped, since another key comes before its value; give it "
          "one, such as \"\" for empty text [key-replaced]"}},
        // Reported late, listed in document order.
        {"x=1\nq={1,x=2,0x1}\n3\n",
         {"2:6: error: an array takes no keys: \"x\" waits for the next value added to an object; "
          "an = before any comma makes the brace an object [key-in-array]",
          "2:6: warning: the object already has the key \"x\"; most JSON readers keep only its "
          "last value [repeated-key]",
          "2:10: warning: \"0x1\" is read as hexadecimal, quoted or not: it becomes 1.0 and cannot "
          "stay text [hexadecimal]"}},
        // The bytes shown: 60 at most, never part of a UTF-8 sequence, quotes and backslashes
        // escaped.
        {"a=1," + std::string(59, 'x') + "\xC3\xA9yyyy\nb=1," + std::string(60, 'z') +
             "\nc=1,d\\e\"f\n",
         {"1:5: warning: no key is waiting for \"" + std::string(59, 'x') + "..." + kNoKey,
          "2:5: warning: no key is waiting for \"" + std::string(60, 'z') + kNoKey,
          "3:5: warning: no key is waiting for \"d\\\\e\\\"f" + kNoKey}},
        {"a=1\r\nb=\"x y\"\nc={1,2}\nd=x\"y\"\ne=\"\"\n=1\nf={=}\ng=\"caf\xC3\xA9\"\n", {}},
    };
    for (const auto& row : rows) {
        file("in.kessa", row.input);
        const Outcome outcome = run({"--check", "in.kessa"});
        std::string expected;
        for (const std::string& line : row.lines) expected += "in.kessa:" + line + "\n";
        EXPECT_EQ(outcome.out, expected) << row.input;
        EXPECT_EQ(outcome.status, row.lines.empty() ? 0 : 3) << row.input;
        EXPECT_EQ(outcome.err, "") << row.input;
        EXPECT_EQ(filesInWork(), 1u) << row.input;
    }
}

// Past the first 1,000 findings by offset --check only counts; one reported last but standing
// early in the text is among those listed.
TEST_F(Cli, CheckListsTheFirstThousand) {
    // The key x waits in the array, past a thousand hexadecimal elements, for the value 3.
    std::string text = "x=1\nq={1,x=2";
    for (int i = 0; i < 1000; ++i) text += ",0x1";
    file("in.kessa", text + "}\n3\n");
    const Outcome outcome = run({"--check", "in.kessa"});
    EXPECT_EQ(outcome.status, 3);
    EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 1001);
    EXPECT_EQ(outcome.out.find("in.kessa:2:6: warning: the object already has the key \"x\""),
              outcome.out.find('\n') + 1);
    EXPECT_EQ(outcome.out.substr(outcome.out.rfind('\n', outcome.out.size() - 2) + 1),
              "in.kessa: 2 more findings\n");
}
