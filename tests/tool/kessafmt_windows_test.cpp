// kessafmt on Windows: a file rewritten in place, which a mapping would keep from being replaced,
// and standard input.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "run_tool_windows.h"

namespace fs = std::filesystem;

Outcome runTool(const fs::path& dir, const std::vector<std::string>& args) {
    return runUtf8(dir, args);
}

// The file is read whole before it is replaced; one already formatted keeps its time.
TEST_F(Kessafmt, RewritesFiles) {
    file("messy.kessa", "box={w=1\r\nh=2}\r\n");
    file("tidy.kessa", "a=1\n");
    const fs::path tidy = dir / "work" / "tidy.kessa";
    const auto past = fs::last_write_time(tidy) - std::chrono::hours(24);
    fs::last_write_time(tidy, past);
    const Outcome outcome = run({"-w", "messy.kessa", "tidy.kessa"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(read("messy.kessa"), "box={\n    w=1\n    h=2\n}\n");
    EXPECT_EQ(fs::last_write_time(tidy), past);
    EXPECT_EQ(filesInWork(), 2u);
}

TEST_F(Kessafmt, ReadsStandardInput) {
    const fs::path input = file("in.kessa", "t={1,\r\n2}\r\n");
    const Outcome outcome = runUtf8(dir, {}, input);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "t={1,2}\n");
    const Outcome check = runUtf8(dir, {"--check", "-"}, input);
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_EQ(check.out, "<stdin>\n");
}
