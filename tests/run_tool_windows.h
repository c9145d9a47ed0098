#pragma once

// Runs the built program (KESSA2JSON_TOOL) in a child process on Windows, as Windows starts it:
// the arguments as one command line of UTF-16, the standard streams as inherited handles.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tool/cli_fixture.h"

inline std::wstring widen(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

/// Quotes `arg` for the runtime's command-line parser only where it must: a pattern left bare is
/// what the runtime would expand if it expanded wildcards.
inline std::wstring commandLineWord(const std::wstring& arg) {
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

inline HANDLE inheritable(const std::filesystem::path& file, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    return ::CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                         disposition, 0, nullptr);
}

/// Runs the program in `dir`/work on arguments given as the UTF-16 that Windows passes, any code
/// units at all, with standard input read from `input`; standard output and error go through
/// files in `dir`.
inline Outcome runWide(const std::filesystem::path& dir, const std::vector<std::wstring>& args,
                       const std::filesystem::path& input = L"NUL") {
    const std::filesystem::path tool = KESSA2JSON_TOOL;
    std::wstring commandLine = commandLineWord(tool.wstring());
    for (const auto& arg : args) commandLine += L" " + commandLineWord(arg);
    const std::filesystem::path out = dir / "stdout", err = dir / "stderr";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(input, GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = inheritable(out, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = inheritable(err, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const std::filesystem::path work = dir / "work";
    DWORD status = 127;
    // Wine on a loaded machine now and then fails to start a process with an internal error,
    // which a later try does not meet; any other failure is the test's to report.
    BOOL started = FALSE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        started = ::CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                   nullptr, work.c_str(), &startup, &process);
        error = started ? 0 : ::GetLastError();
        if (started || error != ERROR_INTERNAL_ERROR) break;
        ::Sleep(200);
    }
    if (started) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::GetExitCodeProcess(process.hProcess, &status);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "cannot start " << tool << ": error " << error;
    }
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        ::CloseHandle(handle);
    }
    return {static_cast<int>(status), slurp(out), slurp(err)};
}

/// runWide on arguments given as UTF-8.
inline Outcome runUtf8(const std::filesystem::path& dir, const std::vector<std::string>& args,
                       const std::filesystem::path& input = L"NUL") {
    std::vector<std::wstring> wide;
    for (const auto& arg : args) wide.push_back(widen(arg));
    return runWide(dir, wide, input);
}
