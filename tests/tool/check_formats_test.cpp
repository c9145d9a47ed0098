// kessa2json --check --format: the same findings in each format, placed alike, and the JSON and
// SARIF documents read back by jq, Python and the SARIF schema.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "cli_fixture.h"
#include "kessa/finding_kinds.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

/// `text` with every %XX replaced by its byte, as URIs and workflow commands escape them.
std::string unescapePercent(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

/// What a format tells of a report, in one form for all: a line per item, "NAME:LINE:COLUMN-
/// ENDLINE:ENDCOLUMN @OFFSET+LENGTH SEVERITY CODE" (the parts a format lacks left out), or
/// "NAME failed: REASON" for an input that could not be checked; and the message of each item.
struct Items {
    std::vector<std::string> lines;
    std::vector<std::string> messages;  // beside each line
};

/// The parts of a line with every part: "NAME:LINE:COLUMN-ENDLINE:ENDCOLUMN @OFFSET+LENGTH
/// SEVERITY CODE", read from the right, since a name may hold blanks and colons.
struct Placed {
    std::string name, start, end, bytes, severity, code;  // start and end "LINE:COLUMN"
};
std::optional<Placed> placedOf(std::string line) {
    Placed placed;
    for (std::string* part : {&placed.code, &placed.severity, &placed.bytes}) {
        const std::size_t space = line.rfind(' ');
        if (space == std::string::npos) return std::nullopt;
        *part = line.substr(space + 1);
        line.erase(space);
    }
    const std::size_t dash = line.rfind('-');
    const std::size_t colon =
        dash == std::string::npos ? dash : line.rfind(':', line.rfind(':', dash) - 1);
    if (placed.bytes.front() != '@' || colon == std::string::npos) return std::nullopt;
    placed.end = line.substr(dash + 1);
    placed.start = line.substr(colon + 1, dash - colon - 1);
    placed.name = line.substr(0, colon);
    return placed;
}

bool isFault(const std::string& line) {
    return line.size() > 10 && line.compare(line.size() - 10, 10, " malformed") == 0;
}
bool isFailure(const std::string& line) {
    return line.find(" failed: ") != std::string::npos;
}
std::string nameOf(const std::string& line) {
    const std::optional<Placed> placed = placedOf(line);
    return placed ? placed->name : line.substr(0, line.find(" failed: "));
}

/// `lines`, with every part, as `format` shows them: github has no offsets, and text neither
/// ends nor faults nor failures; neither lists the findings of a malformed input; SARIF gives the
/// failures after all results.
std::vector<std::string> projected(std::vector<std::string> lines, const std::string& format) {
    if (format == "sarif") {
        std::stable_partition(lines.begin(), lines.end(),
                              [](const std::string& line) { return !isFailure(line); });
    }
    if (format == "json" || format == "sarif") return lines;
    std::set<std::string> malformed;
    for (const std::string& line : lines) {
        if (isFault(line)) malformed.insert(nameOf(line));
    }
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        if (malformed.count(nameOf(line)) != 0 && !isFault(line)) continue;
        if (format == "text" && (isFault(line) || isFailure(line))) continue;
        const std::optional<Placed> p = placedOf(line);
        if (!p) {
            out.push_back(line);
        } else if (format == "github") {
            out.push_back(p->name + ":" + p->start + "-" + p->end + " " + p->severity + " " +
                          p->code);
        } else {
            out.push_back(p->name + ":" + p->start + " " + p->severity + " " + p->code);
        }
    }
    return out;
}

/// The messages of the findings that a text report lists too.
std::vector<std::string> listedMessages(const Items& items) {
    std::set<std::string> malformed;
    for (const std::string& line : items.lines) {
        if (isFault(line)) malformed.insert(nameOf(line));
    }
    std::vector<std::string> messages;
    for (std::size_t i = 0; i != items.lines.size(); ++i) {
        const std::string& line = items.lines[i];
        if (!isFault(line) && !isFailure(line) && malformed.count(nameOf(line)) == 0) {
            messages.push_back(items.messages[i]);
        }
    }
    return messages;
}

/// Text lines: "NAME:LINE:COLUMN: SEVERITY: MESSAGE [CODE]"; the count of the rest is left out.
Items textItems(const std::string& out) {
    Items items;
    for (const std::string& line : linesOf(out)) {
        if (line.find(" more findings") != std::string::npos) continue;
        const std::size_t colon = line.find(": ");
        const std::size_t severityEnd = line.find(": ", colon + 2);
        const std::size_t code = line.rfind(" [");
        if (colon == std::string::npos || severityEnd == std::string::npos ||
            code == std::string::npos) {
            items.lines.push_back("unreadable line: " + line);
            items.messages.emplace_back();
            continue;
        }
        items.lines.push_back(line.substr(0, colon) + " " +
                              line.substr(colon + 2, severityEnd - colon - 2) + " " +
                              line.substr(code + 2, line.size() - code - 3));
        items.messages.push_back(line.substr(severityEnd + 2, code - severityEnd - 2));
    }
    return items;
}

/// Workflow commands: "::LEVEL file=F,line=L,col=C,endLine=E,endColumn=EC,title=CODE::MESSAGE",
/// with endLine only where it differs from line; "::error file=F::REASON" for a failure.
Items githubItems(const std::string& out) {
    static const std::map<std::string, std::string> kSeverities{
        {"notice", "note"}, {"warning", "warning"}, {"error", "error"}};
    Items items;
    for (const std::string& line : linesOf(out)) {
        if (line.find(" more findings") != std::string::npos) continue;
        const std::size_t space = line.find(' '), message = line.find("::", 2);
        if (line.rfind("::", 0) != 0 || space == std::string::npos ||
            message == std::string::npos) {
            items.lines.push_back("unreadable line: " + line);
            items.messages.emplace_back();
            continue;
        }
        std::map<std::string, std::string> properties;
        const std::string list = line.substr(space + 1, message - space - 1);
        for (std::size_t start = 0; start <= list.size();) {
            const std::size_t end = std::min(list.find(',', start), list.size());
            const std::string property = list.substr(start, end - start);
            const std::size_t equals = property.find('=');
            properties[property.substr(0, equals)] = unescapePercent(property.substr(equals + 1));
            start = end + 1;
        }
        const std::string text = unescapePercent(line.substr(message + 2));
        items.messages.push_back(text);
        if (!properties.count("line")) {
            items.lines.push_back(properties["file"] + " failed: " + text);
            continue;
        }
        const std::string endLine =
            properties.count("endLine") ? properties["endLine"] : properties["line"];
        items.lines.push_back(properties["file"] + ":" + properties["line"] + ":" +
                              properties["col"] + "-" + endLine + ":" + properties["endColumn"] +
                              " " + kSeverities.at(line.substr(2, space - 2)) + " " +
                              properties["title"]);
    }
    return items;
}

#ifndef _WIN32

/// Runs `command` through the shell; its exit status.
int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// The first python3 that has the jsonschema module: the one on the path, or Debian's.
std::optional<std::string> pythonWithJsonschema() {
    for (const char* python : {"python3", "/usr/bin/python3"}) {
        if (shell(std::string(python) + " -c 'import jsonschema' >/dev/null 2>&1") == 0) {
            return python;
        }
    }
    return std::nullopt;
}

/// Splits "CANONICAL\tMESSAGE" lines, as the jq filters below write them.
Items splitTabbed(const std::string& text) {
    Items items;
    for (const std::string& line : linesOf(text)) {
        const std::size_t tab = line.find('\t');
        items.lines.push_back(line.substr(0, tab));
        items.messages.push_back(tab == std::string::npos ? "" : line.substr(tab + 1));
    }
    return items;
}

// Each finding as one line: the canonical form above, a tab and the message.
constexpr char kJsonItems[] =
    R"jq(.files[] | .file as $f |)jq"
    R"jq( (.findings[] | "\($f):\(.line):\(.column)-\(.endLine):\(.endColumn))jq"
    R"jq( @\(.offset)+\(.length) \(.severity) \(.code)\t\(.message)"),)jq"
    R"jq( (select(has("error")) | "\($f) failed: \(.error)"))jq";
// Also "ruleIndex" where a result's index names another rule, and a first line with the URI of
// each artifact, joined by commas.
constexpr char kSarifItems[] =
    R"jq(.runs[0] as $r | ($r.artifacts | map(.location.uri // "<stdin>") | join(",")),)jq"
    R"jq( ($r.results[] | .locations[0].physicalLocation as $p |)jq"
    R"jq( ($r.artifacts[$p.artifactLocation.index].location.uri // "<stdin>") as $f |)jq"
    R"jq( "\($f):\($p.region.startLine):\($p.region.startColumn)-\($p.region.endLine):)jq"
    R"jq(\($p.region.endColumn) @\($p.region.byteOffset)+\($p.region.byteLength) \(.level))jq"
    R"jq( \(.ruleId)\(if $r.tool.driver.rules[.ruleIndex].id == .ruleId then "" else)jq"
    R"jq( " ruleIndex" end)\t\(.message.text)"),)jq"
    R"jq( ($r.invocations[0].toolExecutionNotifications[] |)jq"
    R"jq( "\(.locations[0].physicalLocation.artifactLocation.uri) failed: \(.message.text)"))jq";
#endif

/// A name that URIs and workflow commands escape (Windows takes no colon in a name), and the
/// latter's escape of it.
#ifdef _WIN32
const std::string kOddName = "a,b%20 d.kessa", kOddNameEscaped = "a%2Cb%2520 d.kessa";
#else
const std::string kOddName = "a,b:c%20 d.kessa", kOddNameEscaped = "a%2Cb%3Ac%2520 d.kessa";
#endif

}  // namespace

/// A schema for the rows that check against one, with a format not known here.
const std::string kSchema =
    R"({"additionalProperties": false, "properties": {"port": {"maximum": 65535}, "b": )"
    R"({"format": "colour"}, "zip": {"type": "string"}}})";

// Every format places each finding alike: line and column of its start and of the character just
// past its bytes (characters, not bytes: a Latin-1 byte counts one, as does a four-byte
// character), its byte offset and length, severity and code; and words it alike. The JSON
// document is read back by Python and jq, and the SARIF log is valid by its schema.
TEST_F(Cli, CheckFormats) {
    const std::string missing = "cannot read 'nope.kessa': No such file or directory";
    const struct {
        std::vector<std::pair<std::string, std::string>> files;  // name and content
        std::vector<std::string> args;                           // after --check --format FORMAT
        int status;
        std::vector<std::string> items;
    } rows[] = {
        {{{"in.kessa", "motd = \"Hello, world\"\nzip=\"01234\"\n"}},
         {"in.kessa"},
         3,
         {"in.kessa:1:8-1:14 @7+6 warning blank-before-quote",
          "in.kessa:1:16-1:22 @15+6 warning no-key",
          "in.kessa:2:6-2:11 @27+5 warning leading-zeros"}},
        // Characters before and inside the bytes concerned.
        {{{"in.kessa",
           "\xC3\xBCn\xC3\xAF=\"007\"\n\xFC=\"007\"\n\xF0\x9F\x98\x80=007\nk=\xC3\xA9\x01\n"}},
         {"in.kessa"},
         3,
         {"in.kessa:1:6-1:9 @7+3 warning leading-zeros", "in.kessa:2:1-2:2 @12+1 warning not-utf8",
          "in.kessa:2:4-2:7 @15+3 warning leading-zeros",
          "in.kessa:3:3-3:6 @25+3 warning leading-zeros",
          "in.kessa:4:3-4:5 @31+3 warning control-byte"}},
        // Bytes over several lines.
        {{{"in.kessa", "ports={\n80\n443\n}\n"}},
         {"in.kessa"},
         3,
         {"in.kessa:2:1-3:4 @8+6 error joined-lines"}},
        // Reported late, listed in document order.
        {{{"in.kessa", "x=1\nq={1,x=2,0x1}\n3\n"}},
         {"in.kessa"},
         3,
         {"in.kessa:2:6-2:7 @9+1 error key-in-array", "in.kessa:2:6-2:7 @9+1 warning repeated-key",
          "in.kessa:2:10-2:13 @13+3 warning hexadecimal"}},
        // A malformed input: its fault, as an error, after the findings before it where a format
        // takes every finding.
        {{{"in.kessa", "z=007\nb={\n"}},
         {"in.kessa"},
         2,
         {"in.kessa:1:3-1:6 @2+3 warning leading-zeros", "in.kessa:2:3-2:4 @8+1 error malformed"}},
        {{{"in.kessa", "a=1\n  \t"}}, {"in.kessa"}, 2, {"in.kessa:2:1-2:4 @4+3 error malformed"}},
        {{{"in.kessa", "a=1\nport=\n"}},
         {"in.kessa"},
         2,
         {"in.kessa:2:1-2:5 @4+4 error malformed"}},
        // Several inputs, each reported; one that cannot be read or is malformed makes it status
        // 2, and the others are still checked.
        {{{"a.kessa", "x=+1\n"}, {"b.kessa", "y=1\n"}, {"c.kessa", "}\n"}},
         {"a.kessa", "b.kessa", "nope.kessa", "c.kessa"},
         2,
         {"a.kessa:1:3-1:5 @2+2 warning plus-sign", "nope.kessa failed: " + missing,
          "c.kessa:1:1-1:2 @0+1 error malformed"}},
        {{{"a.kessa", "x=+1\n"}, {"b.kessa", "y=1\n"}},
         {"b.kessa", "a.kessa"},
         3,
         {"a.kessa:1:3-1:5 @2+2 warning plus-sign"}},
        {{{"a.kessa", "x=1\n"}, {"b.kessa", "y=1\n"}}, {"b.kessa", "a.kessa"}, 0, {}},
        // The worst status, whatever the order: findings, then a clean input; a malformed one.
        {{{"a.kessa", "x=+1\n"}, {"b.kessa", "y=1\n"}},
         {"a.kessa", "b.kessa"},
         3,
         {"a.kessa:1:3-1:5 @2+2 warning plus-sign"}},
        {{{"c.kessa", "}\n"}, {"b.kessa", "y=1\n"}, {"a.kessa", "x=+1\n"}},
         {"c.kessa", "b.kessa", "a.kessa"},
         2,
         {"c.kessa:1:1-1:2 @0+1 error malformed", "a.kessa:1:3-1:5 @2+2 warning plus-sign"}},
        // Names that URIs and workflow commands escape.
        {{{kOddName, "x=007\n"}},
         {kOddName},
         3,
         {kOddName + ":1:3-1:6 @2+3 warning leading-zeros"}},
        // What counts: codes left out, and a least severity; the status follows what is reported.
        {{{"in.kessa", "a=1\na=007\nb=0x1F\nempty=\nc=1\n"}},
         {"in.kessa"},
         3,
         {"in.kessa:2:1-2:2 @4+1 warning repeated-key",
          "in.kessa:2:3-2:6 @6+3 warning leading-zeros",
          "in.kessa:3:3-3:7 @12+4 warning hexadecimal",
          "in.kessa:4:1-4:6 @17+5 error key-replaced"}},
        {{{"in.kessa", "a=1\na=007\nb=0x1F\nempty=\nc=1\n"}},
         {"--ignore", "repeated-key,hexadecimal", "in.kessa"},
         3,
         {"in.kessa:2:3-2:6 @6+3 warning leading-zeros",
          "in.kessa:4:1-4:6 @17+5 error key-replaced"}},
        {{{"in.kessa", "a=1\na=007\nb=0x1F\nempty=\nc=1\n"}},
         {"in.kessa", "--severity=error"},
         3,
         {"in.kessa:4:1-4:6 @17+5 error key-replaced"}},
        {{{"in.kessa", "a=1\na=007\nb=0x1F\nempty=\nc=1\n"}},
         {"--severity", "warning", "--ignore=key-replaced", "--ignore", "leading-zeros",
          "in.kessa"},
         3,
         {"in.kessa:2:1-2:2 @4+1 warning repeated-key",
          "in.kessa:3:3-3:7 @12+4 warning hexadecimal"}},
        {{{"in.kessa", "a=1\na=007\nb=0x1F\nempty=\nc=1\n"}},
         {"--severity", "error", "--ignore=key-replaced", "in.kessa"},
         0,
         {}},
        // Against a schema: its findings beside the notation's, in document order, and what is
        // said of the schema itself first, in the schema's file; --ignore and --severity apply.
        {{{"s.json", kSchema}, {"in.kessa", "port=70000\nprot=1\nzip=007\n"}},
         {"--schema", "s.json", "in.kessa"},
         3,
         {"s.json:1:82-1:100 @81+18 note schema-unchecked",
          "in.kessa:1:6-1:11 @5+5 error schema-range",
          "in.kessa:2:1-2:5 @11+4 error schema-additional",
          "in.kessa:3:5-3:8 @22+3 error schema-type",
          "in.kessa:3:5-3:8 @22+3 warning leading-zeros"}},
        {{{"s.json", kSchema}, {"in.kessa", "port=70000\nprot=1\nzip=007\n"}},
         {"--schema", "s.json", "--ignore", "schema-additional", "--severity", "error", "in.kessa"},
         3,
         {"in.kessa:1:6-1:11 @5+5 error schema-range", "in.kessa:3:5-3:8 @22+3 error schema-type"}},
        {{{"s.json", kSchema}, {"in.kessa", "port=80\n"}},
         {"--schema", "s.json", "--ignore=schema-unchecked", "in.kessa"},
         0,
         {}},
        // A malformed input is reported whatever is left out.
        {{{"in.kessa", "a=1\n}\n"}},
         {"--severity", "error", "--ignore=key-replaced", "in.kessa"},
         2,
         {"in.kessa:2:1-2:2 @4+1 error malformed"}},
    };
#ifndef _WIN32
    const bool jq = shell("jq --version >/dev/null 2>&1") == 0;
    const bool python = shell("python3 -c '' >/dev/null 2>&1") == 0;
    EXPECT_TRUE(jq && python) << "jq and python3 read the JSON documents back";
#endif
    std::vector<fs::path> documents, sarifLogs;
    for (const auto& row : rows) {
        fs::remove_all(dir / "work");
        fs::create_directory(dir / "work");
        for (const auto& [name, content] : row.files) file(name, content);
        std::string command = "--check";
        for (const auto& arg : row.args) command += " " + arg;
        std::vector<std::string> textMessages;
        for (const std::string format : {"text", "github", "json", "sarif"}) {
            const std::string what = command + " --format " + format;
            std::vector<std::string> args{"--check", "--format", format};
            args.insert(args.end(), row.args.begin(), row.args.end());
            const Outcome outcome = run(args);
            EXPECT_EQ(outcome.status, row.status) << what;
            Items items;
            if (format == "text") {
                items = textItems(outcome.out);
                textMessages = items.messages;
            } else if (format == "github") {
                items = githubItems(outcome.out);
            } else {
#ifdef _WIN32
                continue;  // no jq nor Python here
#else
                const fs::path document =
                    dir / (format + "-" + std::to_string(documents.size()) + ".json");
                std::ofstream(document, std::ios::binary) << outcome.out;
                documents.push_back(document);
                if (format == "sarif") sarifLogs.push_back(document);
                const fs::path read = dir / "items";
                EXPECT_EQ(
                    shell("jq -r '" + std::string(format == "json" ? kJsonItems : kSarifItems) +
                          "' '" + document.string() + "' > '" + read.string() + "'"),
                    0)
                    << what;
                std::string lines = slurp(read);
                if (format == "sarif") {
                    // The artifacts first: one for each input, in their order.
                    const std::string artifacts = lines.substr(0, lines.find('\n'));
                    std::string inputs;
                    for (std::size_t i = 0; i != row.args.size(); ++i) {
                        const std::string& arg = row.args[i];
                        // A schema is an artifact where something is said of it.
                        const bool schema = i != 0 && row.args[i - 1] == "--schema";
                        const bool said = std::any_of(
                            row.items.begin(), row.items.end(),
                            [&](const std::string& item) { return item.rfind(arg + ":", 0) == 0; });
                        if ((fs::exists(dir / "work" / arg) && (!schema || said)) ||
                            arg == "nope.kessa") {
                            inputs += (inputs.empty() ? "" : ",") + arg;
                        }
                    }
                    EXPECT_EQ(unescapePercent(artifacts), inputs) << what;
                    // Each URI escapes all but unreserved bytes and slashes, blanks included: the
                    // commas between them are the only others.
                    EXPECT_EQ(artifacts.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijkl"
                                                          "mnopqrstuvwxyz0123456789-._~/%,"),
                              std::string::npos)
                        << what << ": " << artifacts;
                    lines =
                        unescapePercent(lines.substr(std::min(lines.size(), artifacts.size() + 1)));
                }
                items = splitTabbed(lines);
#endif
            }
            EXPECT_EQ(items.lines, projected(row.items, format)) << what << "\n" << outcome.out;
            if (format != "text") {
                EXPECT_EQ(listedMessages(items), textMessages) << what;
            }
            // Each failure has its line on standard error, whatever the format.
            EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'),
                      std::count_if(
                          row.items.begin(), row.items.end(),
                          [](const std::string& line) { return isFault(line) || isFailure(line); }))
                << what << ": " << outcome.err;
        }
    }
#ifndef _WIN32
    // Python's JSON reader takes every document, in one run since Python is slow to start.
    std::string read =
        "python3 -c 'import json, sys\nfor name in sys.argv[1:]: json.load(open(name))'";
    for (const fs::path& document : documents) read += " '" + document.string() + "'";
    EXPECT_EQ(shell(read), 0);
    const fs::path schema = KESSA2JSON_SARIF_SCHEMA;
    const std::optional<std::string> validator = pythonWithJsonschema();
    if (!fs::exists(schema)) GTEST_SKIP() << "SARIF logs not validated: no schema at " << schema;
    if (!validator) GTEST_SKIP() << "SARIF logs not validated: no python3 with jsonschema";
    std::string command =
        *validator +
        " -c 'import json, sys, jsonschema\n"
        "schema = json.load(open(sys.argv[1]))\n"
        "checker = jsonschema.Draft4Validator(schema, format_checker=jsonschema.FormatChecker())\n"
        "bad = 0\n"
        "for name in sys.argv[2:]:\n"
        "    for error in checker.iter_errors(json.load(open(name))):\n"
        "        print(name, error.message); bad = 1\n"
        "sys.exit(bad)' '" +
        schema.string() + "'";
    for (const fs::path& log : sarifLogs) command += " '" + log.string() + "'";
    EXPECT_EQ(shell(command), 0);
#endif
}

// Workflow commands escape what would end or split their parts: % and line breaks everywhere, and
// : and , in properties; an input that could not be checked is an error on no line.
TEST_F(Cli, CheckGithubCommands) {
    const struct {
        std::string name, content;
        std::string out;
    } rows[] = {
        {kOddName, "k=caf\xE9%\n",
         "::warning file=" + kOddNameEscaped +
             ",line=1,col=3,endColumn=8,title=not-utf8::\"caf\\xe9%25\" "
             "holds bytes that are not UTF-8, which strict JSON readers refuse; save the file as "
             "UTF-8\n"},
        {"in.kessa", "ports={\n80\n443\n}\n",
         "::error file=in.kessa,line=2,col=1,endLine=3,endColumn=4,title=joined-lines::the line "
         "breaks in \"80\\x0a443\" are dropped while the brace's kind is undecided, joining one "
         "value; a comma after the first element makes an array\n"},
        {"in.kessa", "a=007\nb={\n",
         "::error file=in.kessa,line=2,col=3,endColumn=4,title=malformed::this left brace is never "
         "closed\n"},
        {"in.kessa", "a=1\n", ""},
    };
    for (const auto& row : rows) {
        fs::remove_all(dir / "work");
        fs::create_directory(dir / "work");
        file(row.name, row.content);
        const Outcome outcome = run({"--check", "--format", "github", row.name, "nope.kessa"});
        EXPECT_EQ(outcome.out, row.out +
                                   "::error file=nope.kessa::cannot read 'nope.kessa': No such "
                                   "file or directory\n")
            << row.name << ": " << row.content;
        EXPECT_EQ(outcome.status, 2) << row.content;
    }
}

// Text and workflow commands list the first 1,000 findings of an input by offset, then a count;
// JSON and SARIF carry them all, whatever the reader reports late, in document order while the
// late one comes within 4,096 of those after it.
TEST_F(Cli, CheckCapsTextAndGithubOnly) {
    const struct {
        int elements;  // hexadecimal elements the key waits past
        const char* format;
        std::size_t lines;    // of the output; for json and sarif, the findings
        const char* more;     // the last line
        bool ordered = true;  // json and sarif: the offsets never fall
    } rows[] = {
        {1000, "text", 1001, "in.kessa: 2 more findings"},
        {1000, "github", 1001, "in.kessa: 2 more findings"},
        {998, "github", 1000,
         "::warning file=in.kessa,line=2,col=3998,endColumn=4001,title=hexadecimal::\"0x1\" is "
         "read as hexadecimal, quoted or not: it becomes 1.0 and cannot stay text"},
        {1000, "json", 1002, nullptr},
        {1000, "sarif", 1002, nullptr},
        {4000, "sarif", 4002, nullptr},
        // Past the window the repeated key comes where the reader tells it, out of order.
        {10000, "json", 10002, nullptr, false},
    };
    for (const auto& row : rows) {
        // The key x waits in the array, past the hexadecimal elements, for the value 3.
        std::string text = "x=1\nq={1,x=2";
        for (int i = 0; i < row.elements; ++i) text += ",0x1";
        file("in.kessa", text + "}\n3\n");
        const std::string what = std::string(row.format) + ", " + std::to_string(row.elements);
        const Outcome outcome = run({"--check", "--format", row.format, "in.kessa"});
        EXPECT_EQ(outcome.status, 3) << what;
        if (row.more != nullptr) {
            const std::vector<std::string> lines = linesOf(outcome.out);
            EXPECT_EQ(lines.size(), row.lines) << what;
            EXPECT_EQ(lines.back(), row.more) << what;
            EXPECT_NE(lines.at(1).find("repeated-key"), std::string::npos) << what;
            continue;
        }
#ifndef _WIN32
        const fs::path document = dir / "document.json";
        std::ofstream(document, std::ios::binary) << outcome.out;
        const std::string filter = std::string(row.format) == "json"
                                       ? "[.files[].findings[] | {code, offset}]"
                                       : "[.runs[].results[] | {code: .ruleId, offset: "
                                         ".locations[0].physicalLocation.region.byteOffset}]";
        EXPECT_EQ(shell("test \"$(jq -c '" + filter +
                        " | [length, (map(select(.code == \"repeated-key\")) | length), "
                        "(map(.offset) | . == sort)]' '" +
                        document.string() + "')\" = '[" + std::to_string(row.lines) + ",1," +
                        (row.ordered ? "true" : "false") + "]'"),
                  0)
            << what;
#endif
    }
}

// The manual lists every code of the library's list, with its severity, as the head of its entry.
TEST(Manual, ListsEveryCode) {
    const std::string page = slurp(KESSA2JSON_MAN_SOURCE);
    ASSERT_FALSE(page.empty()) << KESSA2JSON_MAN_SOURCE;
    const auto entry = [](std::string_view code, kessa::Severity severity) {
        std::string head = "\n.BR ";
        for (const char c : code) head += c == '-' ? std::string("\\-") : std::string(1, c);
        return head + " \" (" + std::string(kessa::name(severity)) + ")\"\n";
    };
    // The kinds from NoBoolean to RootNotObject are json2kessa's, listed in its own manual.
    for (std::size_t i = 0; i != kessa::kFindingKindCount; ++i) {
        const auto kind = static_cast<kessa::FindingKind>(i);
        if (i >= kessa::kUnwritableKindStart &&
            i <= static_cast<std::size_t>(kessa::FindingKind::RootNotObject)) {
            continue;
        }
        EXPECT_NE(page.find(entry(kessa::code(kind), kessa::severity(kind))), std::string::npos)
            << entry(kessa::code(kind), kessa::severity(kind));
    }
    EXPECT_NE(page.find(entry("malformed", kessa::Severity::Error)), std::string::npos);
}

#ifndef _WIN32
namespace {

/// How many characters `bytes` holds as editors count them, by the plain rule: a well-formed
/// UTF-8 sequence is one character, and so is every other byte.
std::uint64_t charactersIn(std::string_view bytes) {
    std::uint64_t characters = 0;
    for (std::size_t i = 0; i < bytes.size(); ++characters) {
        const auto at = [&](std::size_t k) -> unsigned {
            return i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0u;
        };
        const unsigned lead = at(0);
        std::size_t length = 1;
        unsigned low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) length = 2;
        if (lead >= 0xE0 && lead <= 0xEF) length = 3;
        if (lead >= 0xF0 && lead <= 0xF4) length = 4;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
        bool wellFormed = length == 1 || (at(1) >= low && at(1) <= high);
        for (std::size_t k = 2; k < length; ++k)
            wellFormed = wellFormed && at(k) >= 0x80 && at(k) <= 0xBF;
        i += wellFormed ? length : 1;
    }
    return characters;
}

/// "LINE:COLUMN" of the byte at `offset`, by the plain rule.
std::string placeOf(std::string_view text, std::uint64_t offset) {
    const std::string_view before = text.substr(0, offset);
    const std::size_t lineStart =
        before.rfind('\n') == std::string_view::npos ? 0 : before.rfind('\n') + 1;
    return std::to_string(1 + std::count(before.begin(), before.end(), '\n')) + ":" +
           std::to_string(1 + charactersIn(before.substr(lineStart)));
}

}  // namespace

// Property: on generated texts that mix ASCII, multi-byte characters, Latin-1 bytes and cut
// sequences with values that give findings, every finding of the JSON report is placed where a
// plain count of lines and characters puts its first byte and the byte past it, in document
// order, and the text report lists the same places and codes.
TEST_F(Cli, CheckPlacesFindingsAsAPlainCountDoes) {
    const char* const pieces[] = {
        "k",        "name", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE9",
        "\xE2\x82", "\x80", " ",        "\xED\xA0\x80"};
    const char* const values[] = {"007",     "+1",          "0x1F",          "1.",
                                  "word",    "\"q\"",       " \"quoted\"",   "\"\xC3\xA9\xE9\"",
                                  "{1,x=2}", "{1,x=2,0x1}", "{\n80\n443\n}", "\"01\"",
                                  "a\x01"};
    for (const unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 random(seed);
        const auto pick = [&random](std::size_t n) {
            return static_cast<std::size_t>(random() % n);
        };
        std::string text;
        for (int line = 0; line < 400; ++line) {
            for (std::size_t i = 0, n = 1 + pick(3); i < n; ++i)
                text += pieces[pick(std::size(pieces))];
            text += pick(8) == 0 ? "k" : "";  // sometimes a repeated key
            text += "=";
            text += values[pick(std::size(values))];
            text += "\n";
        }
        file("in.kessa", text);
        const Outcome json = run({"--check", "--format", "json", "in.kessa"});
        const Outcome lines = run({"--check", "in.kessa"});
        ASSERT_EQ(json.status, 3) << "seed " << seed << ": " << json.err;
        std::ofstream(dir / "report.json", std::ios::binary) << json.out;
        ASSERT_EQ(
            shell("jq -r '.files[0].findings[] | \"\\(.offset) \\(.length) \\(.line):\\(.column) "
                  "\\(.endLine):\\(.endColumn) \\(.code)\"' '" +
                  (dir / "report.json").string() + "' > '" + (dir / "places").string() + "'"),
            0);
        std::vector<std::string> listed;
        std::uint64_t last = 0;
        for (const std::string& place : linesOf(slurp(dir / "places"))) {
            std::istringstream fields(place);
            std::uint64_t offset = 0, length = 0;
            std::string start, end, code;
            fields >> offset >> length >> start >> end >> code;
            EXPECT_EQ(start, placeOf(text, offset)) << "seed " << seed << ": " << place;
            EXPECT_EQ(end, placeOf(text, offset + length)) << "seed " << seed << ": " << place;
            EXPECT_GE(offset, last) << "seed " << seed << ": " << place;
            last = offset;
            listed.push_back("in.kessa:" + start + ": " + code);
        }
        std::vector<std::string> shown;  // "NAME:LINE:COLUMN: CODE"
        for (const std::string& line : linesOf(lines.out)) {
            const std::size_t code = line.rfind(" [");
            shown.push_back(line.substr(0, line.find(": ") + 2) +
                            line.substr(code + 2, line.size() - code - 3));
        }
        EXPECT_EQ(shown, listed) << "seed " << seed;
        EXPECT_GT(listed.size(), 200u) << "seed " << seed;
    }
}
#endif
