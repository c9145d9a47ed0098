#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "cli_fixture.h"

namespace fs = std::filesystem;

namespace {

/// Runs the tool under a stack limit of `stackBytes` (unless 0), reading standard input from
/// `stdinFile` if one is given.
Outcome runLimited(const fs::path& dir, std::vector<std::string> args, rlim_t stackBytes,
                   const char* stdinFile = nullptr) {
    const fs::path out = dir / "stdout", err = dir / "stderr";
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir((dir / "work").c_str()) != 0) ::_exit(127);
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

}  // namespace

Outcome runTool(const fs::path& dir, const std::vector<std::string>& args) {
    return runLimited(dir, args, 0);
}

TEST_F(Cli, ReadsStandardInput) {
    const fs::path input = file("in.kessa", "a=\"x\"");
    EXPECT_EQ(runLimited(dir, {"/dev/stdin", "out.json"}, 0, input.c_str()).status, 0);
    EXPECT_EQ(read("out.json"), "{\n    \"a\": \"x\"\n}");
}

TEST_F(Cli, IllFormedPathFails) {
    file("out.json", "previous");
    const Outcome outcome = run({"caf\xE9.kessa", "out.json"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err.rfind("kessa2json: ", 0), 0u) << outcome.err;
    EXPECT_EQ(read("out.json"), "previous");
}

// Nesting costs heap, not stack: 4,000 levels render under a 128 KiB stack (about 64 MB of
// output), and 10,000,000 unclosed levels are rejected under a 1 MiB one.
TEST_F(Cli, DeepNestingOnSmallStacks) {
    constexpr std::size_t kDepth = 4000;
    file("deep.kessa", "a=" + std::string(kDepth, '{') + "1" + std::string(kDepth, '}') + "\n");
    const Outcome outcome = runLimited(dir, {"deep.kessa", "deep.json"}, 128 * 1024);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    std::string expected = "{\n    \"a\": [\n";
    for (std::size_t level = 2; level <= kDepth; ++level) {
        expected += std::string(4 * level, ' ') + "[\n";
    }
    expected += std::string(4 * (kDepth + 1), ' ') + "1\n";
    for (std::size_t level = kDepth; level >= 1; --level) {
        expected += std::string(4 * level, ' ') + "]\n";
    }
    expected += "}";
    EXPECT_TRUE(read("deep.json") == expected);

    file("unclosed.kessa", "a=" + std::string(10'000'000, '{'));
    EXPECT_EQ(runLimited(dir, {"unclosed.kessa", "unclosed.json"}, 1024 * 1024).status, 2);
    EXPECT_FALSE(fs::exists(dir / "work" / "unclosed.json"));
}
