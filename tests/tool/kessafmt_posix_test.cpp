// kessafmt on POSIX systems: standard input, what a rewrite keeps of a file, its diff applied by
// patch, standard output that fails, and a file that changes while it is formatted.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "kessa/format.h"
#include "run_tool.h"

namespace fs = std::filesystem;

namespace {

const std::string kMessy = "box={w=1\nh=2}\n";
const std::string kTidy = "box={\n    w=1\n    h=2\n}\n";

struct stat statusOf(const fs::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status;
}

/// Runs `command` with sh in `folder`; returns its exit status.
int shell(const fs::path& folder, const std::string& command) {
    const int status = std::system(("cd '" + folder.string() + "' && " + command).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

Outcome runTool(const fs::path& dir, const std::vector<std::string>& args) {
    return runToolWith(dir / "work", dir, args);
}

// Standard input, a pipe or a file, named "-" or not named at all; it is called <stdin>.
TEST_F(Kessafmt, ReadsStandardInput) {
    const fs::path messy = file("messy.kessa", kMessy);
    const fs::path headed = file("headed.kessa", "a=1\n" + kMessy);
    const std::string piped = kMessy, unclosed = "a=1\nb={\n", latin = "k=caf\xE9,\n2\n";
    const struct {
        std::vector<std::string> args;
        RunOptions options;
        int status;
        std::string out, err;
    } rows[] = {
        {{}, {.stdinBytes = &piped}, 0, kTidy, ""},
        {{"-"}, {.stdinFile = messy.c_str()}, 0, kTidy, ""},
        // From where the descriptor stands, as after a script read a line off it.
        {{"-"}, {.stdinFile = headed.c_str(), .stdinOffset = 4}, 0, kTidy, ""},
        {{"-"}, {.stdinBytes = &latin}, 0, "k=caf\xE9\n,2\n", ""},
        {{"--check"}, {.stdinBytes = &piped}, 1, "<stdin>\n", ""},
        {{"--diff", "-"},
         {.stdinFile = messy.c_str()},
         1,
         "--- <stdin>\n+++ <stdin>\n@@ -1,2 +1,4 @@\n-box={w=1\n-h=2}\n+box={\n+    w=1\n+    "
         "h=2\n+}\n",
         ""},
        // Named twice, it is read once.
        {{"-", "-"}, {.stdinBytes = &piped}, 0, kTidy, ""},
        {{"-"},
         {.stdinBytes = &unclosed},
         2,
         "",
         "kessafmt: <stdin>:2:3: this left brace is never closed (byte offset 6)\n"},
    };
    for (const auto& row : rows) {
        const Outcome outcome = runToolWith(dir / "work", dir, row.args, row.options);
        const std::string shown = row.args.empty() ? "(none)" : row.args[0];
        EXPECT_EQ(outcome.status, row.status) << shown;
        EXPECT_EQ(outcome.out, row.out) << shown;
        EXPECT_EQ(outcome.err, row.err) << shown;
    }
    EXPECT_EQ(read("messy.kessa"), kMessy);
}

// A rewritten file is replaced as kessa2json replaces its output: a new file with the old one's
// permission bits, a link kept a link, a file of several names written in place; one already
// formatted is not touched, its inode and time of modification kept.
TEST_F(Kessafmt, RewriteKeepsTheFile) {
    const fs::path work = dir / "work";
    file("messy.kessa", kMessy);
    file("tidy.kessa", kTidy);
    file("target.kessa", kMessy);
    file("linked.kessa", kMessy);
    ::chmod((work / "messy.kessa").c_str(), 0640);
    ::chmod((work / "tidy.kessa").c_str(), 0604);
    fs::create_symlink("target.kessa", work / "link.kessa");
    fs::create_hard_link(work / "linked.kessa", work / "second-name");
    const auto past = fs::last_write_time(work / "tidy.kessa") - std::chrono::hours(24);
    fs::last_write_time(work / "tidy.kessa", past);
    const struct stat messyBefore = statusOf(work / "messy.kessa");
    const struct stat tidyBefore = statusOf(work / "tidy.kessa");
    const struct stat linkedBefore = statusOf(work / "linked.kessa");

    const Outcome outcome = run({"-w", "messy.kessa", "tidy.kessa", "link.kessa", "linked.kessa"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out + outcome.err, "");

    const struct stat messy = statusOf(work / "messy.kessa");
    EXPECT_EQ(read("messy.kessa"), kTidy);
    EXPECT_NE(messy.st_ino, messyBefore.st_ino);  // replaced whole
    EXPECT_EQ(messy.st_mode & 07777, 0640u);

    const struct stat tidy = statusOf(work / "tidy.kessa");
    EXPECT_EQ(tidy.st_ino, tidyBefore.st_ino);
    EXPECT_EQ(tidy.st_mtim.tv_sec, tidyBefore.st_mtim.tv_sec);
    EXPECT_EQ(tidy.st_mtim.tv_nsec, tidyBefore.st_mtim.tv_nsec);
    EXPECT_EQ(tidy.st_mode & 07777, 0604u);

    EXPECT_TRUE(fs::is_symlink(work / "link.kessa"));
    EXPECT_EQ(read("target.kessa"), kTidy);

    // Written in place, from a copy of the text: its own mapped pages change under the writing.
    EXPECT_EQ(statusOf(work / "linked.kessa").st_ino, linkedBefore.st_ino);
    EXPECT_EQ(read("linked.kessa"), kTidy);
    EXPECT_EQ(read("second-name"), kTidy);
}

// What --diff prints, patch applies: the files become what -w makes of them, line ends and bytes
// that are not UTF-8 included.
TEST_F(Kessafmt, DiffAppliedByPatch) {
    std::string longer;  // changes far apart, in several hunks
    for (int i = 0; i < 40; ++i) {
        longer.append("k").append(std::to_string(i)).append(i % 13 == 0 ? "={1,\n2}\n" : "=1\n");
    }
    const std::string texts[] = {
        kMessy,
        "a=1\r\nq=\"x\r\ny\"\r\nb={x=1}\r\n",
        "k=caf\xE9\n\xFF={1,\n2}\n",
        "a=1\nb={1}",  // no line feed at the end
        longer,
        "a=1\n",
    };
    std::vector<std::string> names;
    for (std::size_t i = 0; i != std::size(texts); ++i) {
        names.push_back(std::string("f").append(std::to_string(i)).append(".kessa"));
        file(names.back(), texts[i]);
    }
    std::vector<std::string> args = names;
    args.insert(args.begin(), "--diff");
    const Outcome diff = run(args);
    ASSERT_EQ(diff.status, 1) << diff.err;
    std::ofstream(dir / "changes.diff", std::ios::binary) << diff.out;
    ASSERT_EQ(shell(dir / "work", "patch -s -p0 < ../changes.diff"), 0) << diff.out;
    for (std::size_t i = 0; i != std::size(texts); ++i) {
        EXPECT_TRUE(read(names[i]) == kessa::formatKessa(texts[i])) << names[i] << "\n" << diff.out;
    }
}

// Standard output that cannot be written ends the run with one line: every file after would
// fail the same way.
TEST_F(Kessafmt, UnwritableStandardOutput) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    file("a.kessa", kMessy);
    file("b.kessa", kMessy);
    const std::string tool = KESSA2JSON_TOOL;
    for (const char* mode : {"", "--check ", "--diff "}) {
        EXPECT_EQ(shell(dir / "work",
                        "'" + tool + "' " + mode + "a.kessa b.kessa >/dev/full 2>../stderr"),
                  2)
            << mode;
        EXPECT_EQ(slurp(dir / "stderr"),
                  "kessafmt: cannot write to standard output: No space left on device\n")
            << mode;
    }
}

// A file that changes while its formatted text waits for the reader of standard output, a pipe,
// is reported: the output may hold the text before the change.
TEST_F(Kessafmt, InputChangedWhileTheOutputWaits) {
    std::string text;  // about 256 KB, far more than a pipe holds
    for (int i = 0; text.size() < (std::size_t{1} << 18); ++i) {
        text.append("k")
            .append(std::to_string(i))
            .append("={")
            .append(std::to_string(i))
            .append(",\n2}\n");
    }
    const fs::path input = file("in.kessa", text);
    bool writing = false;
    const std::function<void()> redate = [&] {
        writing = true;
        fs::last_write_time(input, fs::last_write_time(input) + std::chrono::seconds(10));
    };
    const Outcome outcome = runToolWith(dir / "work", dir, {"in.kessa"},
                                        {.stalledStdout = true, .whenStalled = &redate});
    ASSERT_TRUE(writing) << outcome.err;
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err,
              "kessafmt: 'in.kessa' changed while it was formatted; the output may be "
              "incomplete\n");
    EXPECT_TRUE(outcome.out == kessa::formatKessa(text));
}
