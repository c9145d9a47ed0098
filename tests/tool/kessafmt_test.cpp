// kessafmt from outside, on every platform: what each command line writes, rewrites, lists and
// says, and over the project's texts, that the program is the library's formatter and nothing
// more.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "kessa/conversion.h"
#include "kessa/findings_cases.h"
#include "kessa/format.h"
#include "kessa/kessa_cases.h"
#include "kessa/text_position.h"
#include "pelmo/file/utf8.h"
#include "pelmo/json/text_sink.h"
#include "tool/unified_diff.h"

namespace fs = std::filesystem;

namespace {

const std::string kUsage =
    "usage: kessafmt [-w | --check | --diff] [--indent N|tab] [<kessa-file>...]\n"
    "       kessafmt --help | -h | --version\n";
const std::string kMessy = "box={w=1\nh=2}\n";
const std::string kTidy = "box={\n    w=1\n    h=2\n}\n";
const std::string kMalformed = "a=1\nport=\n";
const std::string kMalformedLine =
    "kessafmt: bad.kessa:2:1: the key \"port\" has no value (byte offset 4)\n";

/// More than the formatter's first chunk of text whose layout differs, then a fault.
std::string lateFault() {
    std::string text;
    for (int i = 0; i != 130'000; ++i) text += "k={1,\n2}\n";
    return text + "b={\n";
}
const std::string kLateFaultLine =
    "kessafmt: late.kessa:260001:3: this left brace is never closed (byte offset 1170002)\n";

std::string json(std::string_view text) {
    std::string out;
    pelmo::StringSink sink(out);
    kessa::writeIndentedJson(text, sink);
    return out;
}

/// The line kessafmt writes for the malformed text of the file `name`.
std::string faultLine(const std::string& name, std::string_view text,
                      const kessa::SyntaxError& error) {
    const kessa::TextPosition at = kessa::positionAt(text, error.offset());
    return "kessafmt: " + name + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) +
           ": " + pelmo::detail::printable(error.describe()) + " (byte offset " +
           std::to_string(error.offset()) + ")\n";
}

}  // namespace

TEST_F(Kessafmt, HelpAndVersion) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"--check", "missing", "--help"}}) {
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.status, 0) << args[0];
        EXPECT_EQ(outcome.err, "") << args[0];
        EXPECT_EQ(outcome.out.rfind(kUsage, 0), 0u) << outcome.out;
        for (const char* part : {"--write", "--check", "--diff", "--indent", "Exit status: 0",
                                 "man kessafmt", "same JSON"}) {
            EXPECT_NE(outcome.out.find(part), std::string::npos) << part;
        }
    }
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kessafmt " KESSA2JSON_VERSION "\n");
    EXPECT_EQ(filesInWork(), 0u);
}

// The manual names every option that --help lists.
TEST_F(Kessafmt, ManualListsTheOptions) {
    const std::string page = slurp(KESSAFMT_MAN_SOURCE);
    ASSERT_FALSE(page.empty()) << KESSAFMT_MAN_SOURCE;
    for (const char* option :
         {"\\-w", "\\-\\-write", "\\-\\-check", "\\-\\-diff", "\\-\\-indent", "\\-\\-help", "\\-h",
          "\\-\\-version", ".SH EXIT STATUS", "\n.B 0\n", "\n.B 1\n", "\n.B 2\n"}) {
        EXPECT_NE(page.find(option), std::string::npos) << option;
    }
}

// What a run says, writes and leaves, for the command lines a user gives. Every row starts from
// a.kessa (whose layout differs), ok.kessa (formatted) and bad.kessa (malformed), plus its own
// files.
TEST_F(Kessafmt, Outcomes) {
    const std::string diff =
        "--- a.kessa\n+++ a.kessa\n@@ -1,2 +1,4 @@\n-box={w=1\n-h=2}\n+box={\n+    w=1\n+    "
        "h=2\n+}\n";
    const std::vector<File> untouched = {{"a.kessa", kMessy}, {"bad.kessa", kMalformed}};
    const struct {
        std::vector<std::string> args;
        std::vector<File> files;
        int status;
        std::string err;  // all of standard error
        std::string out;  // all of standard output
        std::vector<File> after;
    } rows[] = {
        // To standard output, file after file; a malformed one writes nothing there, not even
        // what comes before its fault, and the others are still done.
        {{"a.kessa"}, {}, 0, "", kTidy, untouched},
        {{"a.kessa", "ok.kessa"}, {}, 0, "", kTidy + "a=1\n", untouched},
        {{"bad.kessa", "ok.kessa"}, {}, 2, kMalformedLine, "a=1\n", untouched},
        {{"late.kessa"},
         {{"late.kessa", "x={1,\n2}\nb={\n"}},
         2,
         "kessafmt: late.kessa:3:3: this left brace is never closed (byte offset 11)\n",
         "",
         {}},
        // -w: each file whose layout differs replaced; a malformed one left as it was.
        {{"-w", "a.kessa", "ok.kessa"}, {}, 0, "", "", {{"a.kessa", kTidy}, {"ok.kessa", "a=1\n"}}},
        {{"--write", "a.kessa", "bad.kessa", "c.kessa"},
         {{"c.kessa", "c={1,\n2}\n"}},
         2,
         kMalformedLine,
         "",
         {{"a.kessa", kTidy}, {"bad.kessa", kMalformed}, {"c.kessa", "c={1,2}\n"}}},
        {{"-w", "empty.kessa", "blank.kessa"},
         {{"empty.kessa", ""}, {"blank.kessa", "\n \n"}},
         0,
         "",
         "",
         {{"empty.kessa", ""}, {"blank.kessa", ""}}},
        {{"-w", "late.kessa", "a.kessa"},
         {{"late.kessa", lateFault()}},
         2,
         kLateFaultLine,
         "",
         {{"late.kessa", lateFault()}, {"a.kessa", kTidy}}},
        // --check lists, --diff shows; status 1 where a file would change, 2 the worst.
        {{"--check", "a.kessa", "ok.kessa"}, {}, 1, "", "a.kessa\n", untouched},
        {{"--check", "ok.kessa"}, {}, 0, "", "", {}},
        {{"--check", "bad.kessa", "a.kessa"}, {}, 2, kMalformedLine, "a.kessa\n", untouched},
        // A layout that differs before the fault: malformed all the same.
        {{"--check", "late.kessa"},
         {{"late.kessa", "x={1,\n2}\nb={\n"}},
         2,
         "kessafmt: late.kessa:3:3: this left brace is never closed (byte offset 11)\n",
         "",
         {}},
        {{"--diff", "a.kessa", "ok.kessa"}, {}, 1, "", diff, untouched},
        {{"--diff", "ok.kessa"}, {}, 0, "", "", {}},
        {{"--diff", "bad.kessa"}, {}, 2, kMalformedLine, "", {}},
        {{"--diff", "late.kessa"}, {{"late.kessa", lateFault()}}, 2, kLateFaultLine, "", {}},
        {{"late.kessa"}, {{"late.kessa", lateFault()}}, 2, kLateFaultLine, "", {}},
        // Line ends, bytes that are not UTF-8, carriage returns inside quotes kept.
        {{"-w", "crlf.kessa", "latin.kessa"},
         {{"crlf.kessa", "a=1\r\nq=\"x\r\ny\"\r\nb={x=1}\r\n"},
          {"latin.kessa", "k=caf\xE9\n\xFF={1,\n2}\n"}},
         0,
         "",
         "",
         {{"crlf.kessa", "a=1\nq=\"x\r\ny\"\nb={\n    x=1\n}\n"},
          {"latin.kessa", "k=caf\xE9\n\xFF={1,2}\n"}}},
        // --indent: spaces or a tab.
        {{"--indent", "2", "a.kessa"}, {}, 0, "", "box={\n  w=1\n  h=2\n}\n", {}},
        {{"--indent=tab", "a.kessa"}, {}, 0, "", "box={\n\tw=1\n\th=2\n}\n", {}},
        {{"--indent", "tab", "--check", "a.kessa"}, {}, 1, "", "a.kessa\n", {}},
        // Files that cannot be read are reported with the system's reason; the others done.
        {{"--check", "missing.kessa", "a.kessa"},
         {},
         2,
         "kessafmt: cannot read 'missing.kessa': No such file or directory\n",
         "a.kessa\n",
         {}},
        {{"-w", "folder", "a.kessa"},
         {{"folder/", ""}},
         2,
         "kessafmt: cannot read 'folder': Is a directory\n",
         "",
         {{"a.kessa", kTidy}}},
        // The same file named twice, as a wildcard and a name give, is done once.
        {{"--check", "a.kessa", "./a.kessa", "a.kessa", "ok.kessa"}, {}, 1, "", "a.kessa\n", {}},
        {{"a.kessa", "sub/../a.kessa"}, {{"sub/", ""}}, 0, "", kTidy, {}},
        // Slips: an empty path, an unknown option, -w on standard input, two modes.
        {{"--check", "", "a.kessa"}, {}, 2, "kessafmt: the input path is empty\n", "a.kessa\n", {}},
        {{"-x", "a.kessa"}, {}, 2, "kessafmt: unknown option '-x'\n" + kUsage, "", untouched},
        {{"--writ", "a.kessa"}, {}, 2, "kessafmt: unknown option '--writ'\n" + kUsage, "", {}},
        {{"-w"},
         {},
         2,
         "kessafmt: -w rewrites files, and standard input is none; name the files to rewrite\n" +
             kUsage,
         "",
         {}},
        {{"--write", "a.kessa", "-"},
         {},
         2,
         "kessafmt: --write rewrites files, and standard input is none; name the files to "
         "rewrite\n" +
             kUsage,
         "",
         untouched},
        {{"--check", "--diff", "a.kessa"},
         {},
         2,
         "kessafmt: --check and --diff do not go together; give one of -w, --check and --diff\n" +
             kUsage,
         "",
         {}},
        {{"--indent", "0", "a.kessa"},
         {},
         2,
         "kessafmt: --indent takes a number of spaces from 1 to 16, or tab, not '0'\n" + kUsage,
         "",
         {}},
        {{"--indent=17", "a.kessa"},
         {},
         2,
         "kessafmt: --indent takes a number of spaces from 1 to 16, or tab, not '17'\n" + kUsage,
         "",
         {}},
        {{"a.kessa", "--indent"}, {}, 2, "kessafmt: --indent needs a value\n" + kUsage, "", {}},
        // An option is one only where no file of its name exists; after -- none is.
        {{"-x"}, {{"-x", "a=1\n"}}, 0, "", "a=1\n", {}},
        {{"--check"}, {{"--check", kMessy}}, 0, "", kTidy, {{"--check", kMessy}}},
        {{"--", "-y"}, {}, 2, "kessafmt: cannot read '-y': No such file or directory\n", "", {}},
        {{"-w", "--", "-y"}, {{"-y", kMessy}}, 0, "", "", {{"-y", kTidy}, {"a.kessa", kMessy}}},
    };
    for (const auto& row : rows) {
        fs::remove_all(dir / "work");
        fs::create_directory(dir / "work");
        file("a.kessa", kMessy);
        file("ok.kessa", "a=1\n");
        file("bad.kessa", kMalformed);
        place(row.files);
        std::string command = "kessafmt";
        for (const auto& arg : row.args) command += " " + arg;
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.status, row.status) << command;
        EXPECT_EQ(outcome.err, row.err) << command;
        EXPECT_EQ(outcome.out, row.out) << command;
        expectFiles(row.after, command);
    }
}

// The program is the library's formatter over files: on every text the project knows (the
// readers' shared rows, the fuzz corpus, the examples), its output is kessa::formatKessa's, whose
// JSON is the text's; --check lists exactly the texts that formatting changes, -w rewrites
// exactly those, and a refused text is reported with the converter's fault and left as it was.
TEST_F(Kessafmt, IsTheLibrarysFormatter) {
    std::vector<std::string> texts;
    for (const auto& row : kAcceptedTexts) texts.emplace_back(row.input);
    for (const std::string_view text : kRejectedTexts) texts.emplace_back(text);
    for (const auto& row : kFaultRows) texts.emplace_back(row.input);
    for (const auto& row : kFindingRows) texts.push_back(row.input);
    for (const auto& row : kWordRows) texts.push_back(row.input);
    for (const char* folder : {KESSA2JSON_FUZZ_CORPUS, KESSA2JSON_EXAMPLES}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file()) texts.push_back(slurp(entry.path()));
        }
    }
    std::vector<std::string> names;
    std::string printed, listed, faults;
    std::vector<std::optional<std::string>> formatted;
    for (std::size_t i = 0; i != texts.size(); ++i) {
        names.push_back(std::string("t").append(std::to_string(1000 + i)).append(".kessa"));
        file(names.back(), texts[i]);
        try {
            formatted.push_back(kessa::formatKessa(texts[i]));
            printed += *formatted.back();
            if (*formatted.back() != texts[i]) listed += names.back() + "\n";
        } catch (const kessa::SyntaxError& error) {
            formatted.emplace_back();
            faults += faultLine(names.back(), texts[i], error);
        }
    }
    ASSERT_GT(texts.size(), 150u);
    ASSERT_FALSE(faults.empty());
    ASSERT_FALSE(listed.empty());

    std::vector<std::string> args = names;
    const Outcome print = run(args);
    EXPECT_EQ(print.status, 2);
    EXPECT_EQ(print.err, faults);
    EXPECT_TRUE(print.out == printed);

    args.insert(args.begin(), "--check");
    const Outcome check = run(args);
    EXPECT_EQ(check.status, 2);
    EXPECT_EQ(check.err, faults);
    EXPECT_EQ(check.out, listed);

    args.front() = "-w";
    const Outcome write = run(args);
    EXPECT_EQ(write.status, 2);
    EXPECT_EQ(write.err, faults);
    EXPECT_EQ(write.out, "");
    for (std::size_t i = 0; i != texts.size(); ++i) {
        const std::string now = read(names[i]);
        EXPECT_TRUE(now == formatted[i].value_or(texts[i])) << testing::PrintToString(texts[i]);
        if (formatted[i]) {
            EXPECT_EQ(json(now), json(texts[i])) << testing::PrintToString(texts[i]);
        }
    }
}

// The unified diff of --diff, as `diff -u` writes it: three lines of context, hunks apart by more
// than six kept lines split, ranges of one or none written short, a last line without a line feed
// marked.
TEST(UnifiedDiff, AsDiffWritesIt) {
    std::string lines;  // l1 to l20
    for (int i = 1; i <= 20; ++i) lines.append("l").append(std::to_string(i)) += '\n';
    const auto replaced = [&lines](std::initializer_list<int> numbers) {
        std::string text = lines;
        for (const int n : numbers) {
            const std::string number = std::to_string(n);
            const std::string line = std::string("\nl").append(number) += '\n';
            text.replace(text.find(line) + 1, line.size() - 1,
                         std::string("L").append(number) += '\n');
        }
        return text;
    };
    const struct {
        std::string before, after, diff;
    } rows[] = {
        {"a\n", "a\n", ""},
        {"", "", ""},
        {"", "a\n", "@@ -0,0 +1 @@\n+a\n"},
        {"a\n", "", "@@ -1 +0,0 @@\n-a\n"},
        {"a\nb", "a\nb\n", "@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+b\n"},
        {"a\r\nb\r\n", "a\nb\r\n", "@@ -1,2 +1,2 @@\n-a\r\n+a\n b\r\n"},
        {lines, replaced({5}), "@@ -2,7 +2,7 @@\n l2\n l3\n l4\n-l5\n+L5\n l6\n l7\n l8\n"},
        {lines, replaced({2}), "@@ -1,5 +1,5 @@\n l1\n-l2\n+L2\n l3\n l4\n l5\n"},
        {lines, replaced({19}), "@@ -16,5 +16,5 @@\n l16\n l17\n l18\n-l19\n+L19\n l20\n"},
        // Six kept lines between two changes: one hunk; seven: two.
        {lines, replaced({5, 12}),
         "@@ -2,14 +2,14 @@\n l2\n l3\n l4\n-l5\n+L5\n l6\n l7\n l8\n l9\n l10\n l11\n-l12\n+L12\n"
         " l13\n l14\n l15\n"},
        {lines, replaced({5, 13}),
         "@@ -2,7 +2,7 @@\n l2\n l3\n l4\n-l5\n+L5\n l6\n l7\n l8\n"
         "@@ -10,7 +10,7 @@\n l10\n l11\n l12\n-l13\n+L13\n l14\n l15\n l16\n"},
        {"k=1\nbox={w=1\nh=2\n}\nz=3\n", "k=1\nbox={\n    w=1\n    h=2\n}\nz=3\n",
         "@@ -1,5 +1,6 @@\n k=1\n-box={w=1\n-h=2\n+box={\n+    w=1\n+    h=2\n }\n z=3\n"},
    };
    for (const auto& row : rows) {
        const std::string expected =
            row.diff.empty() ? "" : "--- x.kessa\n+++ x.kessa\n" + row.diff;
        std::string diff;
        pelmo::StringSink sink(diff);
        tool::unifiedDiff("x.kessa", row.before, row.after, sink);
        EXPECT_EQ(diff, expected) << row.before;
    }
}
