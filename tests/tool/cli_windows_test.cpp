#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "cli_fixture.h"

namespace fs = std::filesystem;

namespace {

std::wstring widen(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

/// Quotes `arg` for the runtime's command-line parser only where it must: a pattern left bare is
/// what the runtime would expand if it expanded wildcards.
std::wstring commandLineWord(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring word = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        word.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        word += c;
    }
    word.append(2 * backslashes, L'\\');
    return word + L'"';
}

HANDLE inheritable(const fs::path& file, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    return ::CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                         disposition, 0, nullptr);
}

/// Runs the tool on arguments given as the UTF-16 that Windows passes, any code units at all.
Outcome runWide(const fs::path& dir, const std::vector<std::wstring>& args) {
    const fs::path tool = KESSA2JSON_TOOL;
    std::wstring commandLine = commandLineWord(tool.wstring());
    for (const auto& arg : args) commandLine += L" " + commandLineWord(arg);
    const fs::path out = dir / "stdout", err = dir / "stderr";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = inheritable(out, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = inheritable(err, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const fs::path work = dir / "work";
    DWORD status = 127;
    if (::CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         work.c_str(), &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::GetExitCodeProcess(process.hProcess, &status);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "cannot start " << tool << ": error " << ::GetLastError();
    }
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        ::CloseHandle(handle);
    }
    return {static_cast<int>(status), slurp(out), slurp(err)};
}

}  // namespace

Outcome runTool(const fs::path& dir, const std::vector<std::string>& args) {
    std::vector<std::wstring> wide;
    for (const auto& arg : args) wide.push_back(widen(arg));
    return runWide(dir, wide);
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
