#pragma once

// Runs the built kessa2json in a child process on POSIX systems, for the tests that drive it from
// outside with a limited stack or a given standard input.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tool/cli_fixture.h"

/// Runs the tool with `args` in the directory `work`; its standard output and error pass through
/// the files "stdout" and "stderr" in `logs`. `stackBytes`, unless 0, limits its stack;
/// `stdinFile`, if given, is its standard input.
inline Outcome runToolLimited(const std::filesystem::path& work, const std::filesystem::path& logs,
                              std::vector<std::string> args, rlim_t stackBytes = 0,
                              const char* stdinFile = nullptr) {
    const std::filesystem::path out = logs / "stdout", err = logs / "stderr";
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(work.c_str()) != 0) ::_exit(127);
        ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        if (stdinFile != nullptr) ::dup2(::open(stdinFile, O_RDONLY), 0);
        if (stackBytes != 0) {
            const rlimit limit{stackBytes, stackBytes};
            ::setrlimit(RLIMIT_STACK, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(KESSA2JSON_TOOL)};
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(KESSA2JSON_TOOL, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), slurp(out),
            slurp(err)};
}
