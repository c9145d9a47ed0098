#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "kessa/parser.h"
#include "run_tool.h"
#include "scratch_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kUsage = "syntax: kessa2json <in-kessa-file> <out-json-file>";

/// True when `err` is one line, "kessa2json: " and a reason, that contains `reason`.
bool isOneLineFailure(const std::string& err, const std::string& reason) {
    return err.rfind("kessa2json: ", 0) == 0 && err.find('\n') == err.size() - 1 &&
           err.find(reason) != std::string::npos;
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

/// Runs the tool in its own directory (`dir`), which also receives its standard output and error,
/// and reads standard input from `stdinFile` if one is given.
class Cli : public testing::Test {
protected:
    Cli() { fs::create_directories(dir / "work"); }

    fs::path file(const std::string& name, const std::string& content) const {
        return scratch.write("work/" + name, content);
    }
    std::string read(const std::string& name) const { return slurp(dir / "work" / name); }
    std::size_t filesInWork() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir / "work"), {}));
    }

    Outcome run(std::vector<std::string> args, rlim_t stackBytes = 0,
                const char* stdinFile = nullptr) {
        return runTool(dir / "work", dir, std::move(args), stackBytes, stdinFile);
    }

    ScratchDir scratch{"kessa2json-cli"};
    const fs::path& dir = scratch.path;
};

}  // namespace

TEST_F(Cli, UsageWithFewerThanTwoArguments) {
    file("in.kessa", "a=1\n");
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"in.kessa"}}) {
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, kUsage);
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(filesInWork(), 1u);
    }
}

TEST_F(Cli, ConvertsTheExample) {
    std::ifstream demo(KESSA2JSON_EXAMPLE, std::ios::binary);
    file("demo.kessa", std::string(std::istreambuf_iterator<char>(demo), {}));
    const Outcome outcome = run({"demo.kessa", "demo.json", "ignored", "also-ignored"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(read("demo.json"),
              "{\n"
              "    \"name\": \"demo\",\n"
              "    \"size\": 3,\n"
              "    \"box\": {\n"
              "        \"w\": 10,\n"
              "        \"h\": 20\n"
              "    },\n"
              "    \"tags\": [\n"
              "        \"red\",\n"
              "        \"dark blue\",\n"
              "        7\n"
              "    ]\n"
              "}");
    EXPECT_EQ(filesInWork(), 2u);  // nothing named after the extra arguments
}

// A path where no file exists, below a missing directory or below a plain file included, reads as
// empty text.
TEST_F(Cli, MissingOrEmptyInputGivesEmptyObject) {
    file("empty.kessa", "");
    file("plain", "a=1\n");
    for (const char* input : {"absent.kessa", "absent/in.kessa", "plain/in.kessa", "empty.kessa"}) {
        fs::remove(dir / "work" / "out.json");
        EXPECT_EQ(run({input, "out.json"}).status, 0) << input;
        EXPECT_EQ(read("out.json"), "{}") << input;
    }
}

// The input is read whole before the output is opened, so the file ends up holding the JSON text;
// a failure leaves it as it was.
TEST_F(Cli, SamePathInAndOut) {
    const struct {
        const char* input;
        const char* output;  // the same file, named as given
        int status;
        const char* after;
    } rows[] = {
        {"a=1\n", "same", 0, "{\n    \"a\": 1\n}"},
        {"a=1\n", "./same", 0, "{\n    \"a\": 1\n}"},
        {"a={1\n", "same", 2, "a={1\n"},
    };
    for (const auto& row : rows) {
        file("same", row.input);
        EXPECT_EQ(run({"same", row.output}).status, row.status) << row.output;
        EXPECT_EQ(read("same"), row.after) << row.output;
    }
}

TEST_F(Cli, ReadsStandardInput) {
    const fs::path input = file("in.kessa", "a=\"x\"");
    EXPECT_EQ(run({"/dev/stdin", "out.json"}, 0, input.c_str()).status, 0);
    EXPECT_EQ(read("out.json"), "{\n    \"a\": \"x\"\n}");
}

// A failure before the write ends with status 2 and one line on standard error, and leaves the
// output as it was.
TEST_F(Cli, FailuresLeaveOutputUntouched) {
    file("bad.kessa", "a={1\n");
    fs::create_directory(dir / "work" / "folder");
    const struct {
        const char* input;
        std::string message;
    } rows[] = {
        {"bad.kessa", kessa::KessaParser::kMalformedMessage},
        {"folder", std::strerror(EISDIR)},
        {"caf\xE9.kessa", "UTF-8"},
    };
    for (const auto& row : rows) {
        file("out.json", "previous");
        const Outcome outcome = run({row.input, "out.json"});
        EXPECT_EQ(outcome.status, 2) << row.input;
        EXPECT_EQ(outcome.out, "") << row.input;
        EXPECT_TRUE(isOneLineFailure(outcome.err, row.message)) << outcome.err;
        EXPECT_EQ(read("out.json"), "previous") << row.input;
    }
}

// An output that cannot be written, wholly or in part, ends with status 2 and one line that names
// the reason; one that could not be opened keeps its content. Full and read-only file systems are
// small tmpfs mounts where the tests may mount; /dev/full stands for a full disk anywhere.
TEST_F(Cli, UnwritableOutputs) {
    std::string big;  // about 150 KB of JSON, more than the full file system holds
    for (int i = 0; i < 10'000; ++i)
        big += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
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

// Nesting costs heap, not stack: 4,000 levels render under a 128 KiB stack (about 64 MB of
// output). The stress tests reject 10,000,000 unclosed levels under a 1 MiB one.
TEST_F(Cli, DeepNestingOnSmallStack) {
    constexpr std::size_t kDepth = 4000;
    file("deep.kessa", "a=" + std::string(kDepth, '{') + "1" + std::string(kDepth, '}') + "\n");
    const Outcome outcome = run({"deep.kessa", "deep.json"}, 128 * 1024);
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
