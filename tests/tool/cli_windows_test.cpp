#include <gtest/gtest.h>

#include <filesystem>

#include "run_tool_windows.h"

namespace fs = std::filesystem;

Outcome runTool(const fs::path& dir, const std::vector<std::string>& args) {
    return runUtf8(dir, args);
}

// A pattern is a name like any other: none of these exists, so the input reads as empty and the
// files the pattern would match stay as they were.
TEST_F(Cli, WildcardsAreNotExpanded) {
    for (const std::string pattern : {"*.kessa", "?.kessa", "[ab].kessa"}) {
        file("a.kessa", "a=1\n");
        file("b.kessa", "b=2\n");
        const Outcome outcome = run({pattern, "out.json"});
        EXPECT_EQ(outcome.status, 0) << pattern << ": " << outcome.err;
        EXPECT_EQ(read("out.json"), "{}") << pattern;
        EXPECT_EQ(read("a.kessa"), "a=1\n") << pattern;
        EXPECT_EQ(read("b.kessa"), "b=2\n") << pattern;
        EXPECT_EQ(filesInWork(), 3u) << pattern;
    }
}

// Names that the active code page cannot hold reach the files they name.
TEST_F(Cli, NonAsciiPaths) {
    const struct {
        const char8_t* input;
        const char8_t* output;
    } rows[] = {
        {u8"caf\u00e9.kessa", u8"r\u00e9sum\u00e9.json"},
        {u8"\u65e5\u672c\u8a9e.kessa", u8"\u20ac \u0153.json"},
        {u8"\U0001F600.kessa", u8"\U0001D11E.json"},  // outside the BMP: surrogate pairs
    };
    for (const auto& row : rows) {
        std::ofstream(dir / "work" / fs::path(row.input), std::ios::binary) << "a=1\n";
        const std::u8string input = row.input, output = row.output;
        const Outcome outcome = run(
            {std::string(input.begin(), input.end()), std::string(output.begin(), output.end())});
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(slurp(dir / "work" / fs::path(row.output)), "{\n    \"a\": 1\n}");
    }
    EXPECT_EQ(filesInWork(), 6u);
}

// A lone surrogate is a valid Windows name but no UTF-8: the path is refused, not replaced by
// some other name.
TEST_F(Cli, UnpairedSurrogatesFail) {
    file("in.kessa", "a=1\n");
    file("out.json", "previous");
    const std::vector<std::wstring> rows[] = {
        {L"in\xD800.kessa", L"out.json"},
        {L"in.kessa", L"out\xDC00.json"},
        {L"in.kessa", L"out.json\xD83D"},
    };
    for (const auto& args : rows) {
        const Outcome outcome = runWide(dir, args);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_TRUE(isOneLineFailure(outcome.err, "is not a valid UTF-8 path")) << outcome.err;
        EXPECT_EQ(read("out.json"), "previous");
        EXPECT_EQ(filesInWork(), 2u);
    }
}
