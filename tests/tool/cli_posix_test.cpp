#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "run_tool.h"

namespace fs = std::filesystem;

namespace {

/// Runs the tool in the fixture's work folder under a stack limit of `stackBytes` (unless 0),
/// reading standard input from `stdinFile` if one is given.
Outcome runLimited(const fs::path& dir, std::vector<std::string> args, rlim_t stackBytes,
                   const char* stdinFile = nullptr) {
    return runToolLimited(dir / "work", dir, std::move(args), stackBytes, stdinFile);
}

/// A small tmpfs at `where`, mounted in a mount namespace of this test process's own so that it
/// is private to the test and vanishes with it. `mounted` is false where the process may not
/// mount (no privilege, no namespaces); the mount point is created either way.
class PrivateMount {
public:
    PrivateMount(const fs::path& where, const char* options) : where(where) {
        fs::create_directory(where);
        static const bool isolated =
            ::unshare(CLONE_NEWNS) == 0 &&
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        mounted = isolated && ::mount("tmpfs", where.c_str(), "tmpfs", 0, options) == 0;
    }
    ~PrivateMount() {
        if (mounted) ::umount2(where.c_str(), MNT_DETACH);
    }
    PrivateMount(const PrivateMount&) = delete;
    PrivateMount& operator=(const PrivateMount&) = delete;

    void makeReadOnly() {
        mounted = ::mount("tmpfs", where.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

    const fs::path where;
    bool mounted;
};

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
// output). The stress tests reject 10,000,000 unclosed levels under a 1 MiB one.
TEST_F(Cli, DeepNestingOnSmallStack) {
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
}

// An output that cannot be written, wholly or in part, ends with status 2 and one line that names
// the reason; one that could not be opened keeps its content. Full and read-only file systems are
// small tmpfs mounts where the tests may mount; /dev/full stands for a full disk anywhere.
TEST_F(Cli, UnwritableOutputs) {
    std::string big;  // about 150 KB of JSON, more than the full file system holds
    for (int i = 0; i < 10'000; ++i) {
        big.append("key").append(std::to_string(i)).append("=").append(std::to_string(i)) += '\n';
    }
    file("big.kessa", big);
    file("locked.json", "previous");
    ::chmod((dir / "work" / "locked.json").c_str(), 0444);
    const PrivateMount full(dir / "work" / "full", "size=64k");
    PrivateMount readOnly(dir / "work" / "ro", "size=64k");
    if (readOnly.mounted) {
        file("ro/out.json", "previous");
        readOnly.makeReadOnly();
    }
    const bool root = ::geteuid() == 0;
    const struct {
        const char* output;
        bool possible;  // whether this machine can set the case up
        int error;
        const char* kept;  // the content an existing output keeps, if it has one
    } rows[] = {
        {"missing/out.json", true, ENOENT, nullptr},
        {"/dev/full", fs::exists("/dev/full"), ENOSPC, nullptr},
        {"full/out.json", full.mounted, ENOSPC, nullptr},
        {"ro/out.json", readOnly.mounted, EROFS, "previous"},
        {"ro/new.json", readOnly.mounted, EROFS, nullptr},
        {"locked.json", !root, EACCES, "previous"},
    };
    for (const auto& row : rows) {
        if (!row.possible) {
            std::printf("not tried here: writing to %s\n", row.output);
            continue;
        }
        const Outcome outcome = run({"big.kessa", row.output});
        EXPECT_EQ(outcome.status, 2) << row.output;
        EXPECT_EQ(outcome.out, "") << row.output;
        EXPECT_TRUE(isOneLineFailure(outcome.err, std::strerror(row.error))) << outcome.err;
        EXPECT_NE(outcome.err.find(row.output), std::string::npos) << outcome.err;
        if (row.kept != nullptr) {
            EXPECT_EQ(read(row.output), row.kept) << row.output;
        }
    }
}
