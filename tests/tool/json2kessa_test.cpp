// json2kessa from outside: what each command line writes, lists and says, and that the program is
// the library's JSON to kessa and nothing more: the kessa it writes for the JSON kessa2json
// writes converts back to that JSON.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "kessa/conversion.h"
#include "kessa/finding_kinds.h"
#include "kessa/kessa_cases.h"
#include "pelmo/json/text_sink.h"

#ifdef _WIN32
#include "run_tool_windows.h"
#else
#include "run_tool.h"
#endif

namespace fs = std::filesystem;

Outcome runTool(const fs::path& dir, const std::vector<std::string>& args) {
#ifdef _WIN32
    return runUtf8(dir, args);
#else
    return runToolWith(dir / "work", dir, args);
#endif
}

namespace {

const std::string kUsage =
    "syntax: json2kessa [--indent N|tab] [--format FORMAT] <in-json-file> <out-kessa-file>\n";
const std::string kJson = R"({"name": "demo", "box": {"w": 10, "tags": ["a", "b c"]}, "e": {}})";
const std::string kKessa = "name=demo\nbox={\n    w=10\n    tags={a,b c}\n}\ne={=}\n";
const std::string kRefused = R"({"debug": true, "zip": "01234", "ok": 1})";

std::string json(std::string_view text) {
    std::string out;
    pelmo::StringSink sink(out);
    kessa::writeIndentedJson(text, sink);
    return out;
}

/// `depth` objects, each the member "a" of the one around it, never closed.
std::string deepObjects(std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i != depth; ++i) text += "{\"a\": ";
    return text;
}

class Json2kessa : public Cli {};

}  // namespace

TEST_F(Json2kessa, HelpAndVersion) {
    for (const char* option : {"--help", "-h"}) {
        const Outcome outcome = run({option});
        EXPECT_EQ(outcome.status, 0);
        for (const char* part : {"--indent", "--format", "Exit status: 0", "man json2kessa"}) {
            EXPECT_NE(outcome.out.find(part), std::string::npos) << part;
        }
    }
    EXPECT_EQ(run({"--version"}).out, "json2kessa " KESSA2JSON_VERSION "\n");
}

// The manual lists every code a value with no kessa text gets, with its severity.
TEST_F(Json2kessa, ManualListsTheCodes) {
    const std::string page = slurp(JSON2KESSA_MAN_SOURCE);
    ASSERT_FALSE(page.empty());
    for (std::size_t i = kessa::kUnwritableKindStart; i != kessa::kFindingKindCount; ++i) {
        const auto kind = static_cast<kessa::FindingKind>(i);
        if (kessa::code(kind).rfind("schema-", 0) == 0) continue;  // a schema's, listed there
        std::string head = "\n.BR ";
        for (const char c : kessa::code(kind))
            head += c == '-' ? std::string("\\-") : std::string(1, c);
        head += " \" (" + std::string(kessa::name(kessa::severity(kind))) + ")\"\n";
        EXPECT_NE(page.find(head), std::string::npos) << head;
    }
}

// What a run writes, lists and says. Every row starts from in.json, refused.json (two values no
// kessa text gives), bad.json (not JSON) and old.kessa, plus its own files.
TEST_F(Json2kessa, Outcomes) {
    const std::string refusedLines =
        "refused.json:1:11: error: /debug: true has no kessa text: the notation has no true or "
        "false (written so, it gives the string \"true\") [no-boolean]\n"
        "refused.json:1:24: error: /zip: the string \"01234\" has no kessa text: quoted or not, "
        "it reads as the number 1234 [numeral-string]\n";
    const std::string refusedSaid =
        "json2kessa: refused.json: 2 values have no kessa text, so nothing was written (man "
        "json2kessa tells what to write instead)\n";
    const struct {
        std::vector<std::string> args;
        std::vector<File> files;
        int status;
        std::string err, out;
        std::vector<File> after;
    } rows[] = {
        {{"in.json", "out.kessa"}, {}, 0, "", "", {{"out.kessa", kKessa}}},
        {{"in.json", "old.kessa"}, {}, 0, "", "", {{"old.kessa", kKessa}}},
        {{"in.json", "-"}, {}, 0, "", kKessa, {}},
        {{"--indent", "tab", "in.json", "-"},
         {},
         0,
         "",
         "name=demo\nbox={\n\tw=10\n\ttags={a,b c}\n}\ne={=}\n",
         {}},
        {{"--indent=2", "in.json", "-"},
         {},
         0,
         "",
         "name=demo\nbox={\n  w=10\n  tags={a,b c}\n}\ne={=}\n",
         {}},
        // A value with no kessa text: each listed, nothing written, the old file kept.
        {{"refused.json", "old.kessa"}, {}, 3, refusedSaid, refusedLines, {{"old.kessa", "x=1\n"}}},
        {{"refused.json", "-"}, {}, 3, refusedSaid, refusedLines, {}},
        {{"--format", "github", "refused.json", "new.kessa"},
         {},
         3,
         refusedSaid,
         "::error file=refused.json,line=1,col=11,endColumn=15,title=no-boolean::/debug: true has "
         "no kessa text: the notation has no true or false (written so, it gives the string "
         "\"true\")\n"
         "::error file=refused.json,line=1,col=24,endColumn=31,title=numeral-string::/zip: the "
         "string \"01234\" has no kessa text: quoted or not, it reads as the number 1234\n",
         {{"new.kessa", std::nullopt}}},
        // Not JSON, or nothing to read.
        {{"bad.json", "old.kessa"},
         {},
         2,
         "json2kessa: bad.json:1:7: a comma or a closing bracket was expected (byte offset 6)\n",
         "",
         {{"old.kessa", "x=1\n"}}},
        {{"none.json", "out.kessa"},
         {},
         2,
         "json2kessa: cannot read 'none.json': No such file or directory\n",
         "",
         {{"out.kessa", std::nullopt}}},
        {{"empty.json", "out.kessa"},
         {{"empty.json", ""}},
         2,
         "json2kessa: empty.json:1:1: the text holds no JSON value (byte offset 0)\n",
         "",
         {{"out.kessa", std::nullopt}}},
        // Never closed, and nested so deep that its kessa text would fill the disk first: the
        // text is checked once the replacement grows past what it gives but rarely.
        {{"deep.json", "out.kessa"},
         {{"deep.json", deepObjects(30000)}},
         2,
         "json2kessa: deep.json:1:180001: a value was expected (byte offset 180000)\n",
         "",
         {{"out.kessa", std::nullopt}}},
        // Bytes strict readers refuse are kept, with a warning.
        {{"raw.json", "-"},
         {{"raw.json", "{\"a\": \"x\x01y\"}"}},
         0,
         "json2kessa: warning: raw.json:1:7: a string holds a control byte, which strict JSON "
         "readers refuse; the kessa text keeps it, and its JSON holds it again [control-byte]\n",
         "a=x\x01y\n",
         {}},
        // The slips of a wildcard, and wrong arguments.
        {{"in.json", "refused.json"},
         {},
         1,
         "json2kessa: the output 'refused.json' is a JSON file, which a conversion would replace "
         "with kessa; did a wildcard expand?\n",
         kUsage,
         {{"refused.json", kRefused}}},
        {{"in.json", "old.kessa", "bad.json"},
         {},
         1,
         "json2kessa: 3 paths were given, and a conversion takes two, an input and an output; did "
         "a wildcard expand?\n",
         kUsage,
         {{"old.kessa", "x=1\n"}}},
        {{"in.json"}, {}, 1, "", kUsage, {}},
        {{"--indent", "0", "in.json", "-"},
         {},
         1,
         "json2kessa: --indent takes a number of spaces from 1 to 16, or tab, not '0'\n",
         kUsage,
         {}},
        {{"--colour", "in.json", "-"},
         {},
         1,
         "json2kessa: unknown option '--colour'\n",
         kUsage,
         {}},
    };
    for (const auto& row : rows) {
        const std::string what = testing::PrintToString(row.args);
        fs::remove_all(dir / "work");
        fs::create_directories(dir / "work");
        place({{"in.json", kJson},
               {"refused.json", kRefused},
               {"bad.json", "[1, 2 3]"},
               {"old.kessa", "x=1\n"}});
        place(row.files);
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.status, row.status) << what;
        EXPECT_EQ(outcome.err, row.err) << what;
        EXPECT_EQ(outcome.out, row.out) << what;
        expectFiles(row.after, what);
    }
}

// The JSON of each text kessa2json accepts comes back through the program, byte for byte.
TEST_F(Json2kessa, ConvertersJsonComesBack) {
    int texts = 0;
    for (const auto& row : kAcceptedTexts) {
        const std::string before = json(row.input);
        file("in.json", before);
        const Outcome outcome = run({"in.json", "out.kessa"});
        ASSERT_EQ(outcome.status, 0) << row.input << outcome.err << outcome.out;
        EXPECT_EQ(json(read("out.kessa")), before) << row.input;
        ++texts;
    }
    EXPECT_GT(texts, 40);
}
