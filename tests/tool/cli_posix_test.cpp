#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <thread>

#include "kessa/conversion.h"
#include "run_tool.h"

namespace fs = std::filesystem;

namespace {

/// Runs the tool in the fixture's work folder as `options` say.
Outcome runWith(const fs::path& dir, std::vector<std::string> args, const RunOptions& options) {
    return runToolWith(dir / "work", dir, std::move(args), options);
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

/// At least `size` bytes of records named record_0, record_1 and so on, each followed by `rest`.
std::string records(std::size_t size, const std::string& rest) {
    std::string text;
    for (int i = 0; text.size() < size; ++i) text.append("record_" + std::to_string(i) + rest);
    return text;
}

/// The JSON text the tool writes for `text`.
std::string jsonOf(std::string_view text) {
    std::string json;
    pelmo::StringSink sink(json);
    kessa::writeIndentedJson(text, sink);
    return json;
}

/// Whether `json` is the JSON text the tool writes for `text`, compared as the text is made.
bool isJsonOf(std::string_view text, std::string_view json) {
    struct Comparison final : pelmo::TextSink {
        std::string_view rest;
        bool same = true;
        void write(const char* data, std::size_t size) override {
            same = same && rest.substr(0, size) == std::string_view(data, size);
            rest.remove_prefix(std::min(size, rest.size()));
        }
    } comparison;
    comparison.rest = json;
    kessa::writeIndentedJson(text, comparison);
    return comparison.same && comparison.rest.empty();
}

/// Whether the process `child` maps `file`, once it is started: waits until it does, or has ended.
bool waitUntilMapped(const std::atomic<pid_t>& child, const fs::path& file) {
    while (child.load() == 0) std::this_thread::yield();
    const std::string maps = "/proc/" + std::to_string(child.load()) + "/maps";
    std::error_code error;  // nothing is raised on the truncating thread
    const std::string name = fs::canonical(file, error).string();
    while (!error) {
        const std::string listed = slurp(maps);
        if (listed.find(name) != std::string::npos) return true;
        if (listed.empty()) return false;  // ended, or no /proc here
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return false;
}

}  // namespace

Outcome runTool(const fs::path& dir, const std::vector<std::string>& args) {
    return runWith(dir, args, {});
}

// Standard input, whether a real pipe or a file, named "-" or as a device, converted or checked; a
// failure there names standard input.
TEST_F(Cli, ReadsStandardInput) {
    const fs::path input = file("in.kessa", "a=\"x\"");
    const fs::path headed = file("headed.kessa", "b=2\na=\"x\"");
    const fs::path zeros = file("zeros.kessa", "b=2\na=007\n");
    const std::string quoted = "a=\"x\"", unclosed = "a=1\nb={\n", padded = "a=007\n";
    const std::string json = "{\n    \"a\": \"x\"\n}";
    const std::string found =
        "<stdin>:1:3: warning: the leading zeros of \"007\" are dropped, quoted or not: it "
        "becomes 7 and cannot stay text [leading-zeros]\n";
    const struct {
        std::vector<std::string> args;
        RunOptions options;
        std::string err;
        std::string out = "";  // with --check: the findings
    } rows[] = {
        {{"-", "out.json"}, {.stdinBytes = &quoted}, ""},
        {{"-", "out.json"}, {.stdinFile = input.c_str()}, ""},
        {{"/dev/stdin", "out.json"}, {.stdinBytes = &quoted}, ""},
        {{"/dev/stdin", "out.json"}, {.stdinFile = input.c_str()}, ""},
        // Read from where the descriptor stands, as after a script read a line off it.
        {{"-", "out.json"}, {.stdinFile = headed.c_str(), .stdinOffset = 4}, ""},
        {{"-", "out.json"},
         {.stdinBytes = &unclosed},
         "kessa2json: <stdin>:2:3: this left brace is never closed (byte offset 6)\n"},
        // Open for appending only, as `0>>in.kessa` leaves it: it cannot be read.
        {{"-", "out.json"},
         {.stdinFile = input.c_str(), .stdinFlags = O_WRONLY | O_APPEND},
         "kessa2json: cannot read standard input: Bad file descriptor\n"},
        {{"--check", "-"}, {.stdinBytes = &padded}, "", found},
        {{"--check", "-"}, {.stdinFile = zeros.c_str(), .stdinOffset = 4}, "", found},
        {{"--check", "-"},
         {.stdinBytes = &unclosed},
         "kessa2json: <stdin>:2:3: this left brace is never closed (byte offset 6)\n"},
    };
    for (const auto& row : rows) {
        file("out.json", "previous");
        const Outcome outcome = runWith(dir, row.args, row.options);
        const bool converts = row.args[0] != "--check";
        EXPECT_EQ(outcome.err, row.err) << row.args[0];
        EXPECT_EQ(outcome.out, row.out) << row.args[0];
        EXPECT_EQ(outcome.status, !row.err.empty() ? 2 : row.out.empty() ? 0 : 3) << row.args[0];
        EXPECT_EQ(read("out.json"), row.err.empty() && converts ? json : "previous") << row.args[0];
    }
}

// "-" as the output writes to standard output as it is: appended to, never truncated.
TEST_F(Cli, AppendsToStandardOutput) {
    file("in.kessa", "a=1\n");
    std::ofstream(dir / "stdout", std::ios::binary) << "log\n";
    const Outcome outcome = runWith(dir, {"in.kessa", "-"}, {.appendStdout = true});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "log\n{\n    \"a\": 1\n}");
}

// Paths in messages are quoted as given, with what cannot be printed as \xNN.
TEST_F(Cli, PathFailures) {
    file("out.json", "previous");
    fs::create_directory(dir / "work" / "locked");
    file("locked/in.kessa", "a=1\n");
    fs::permissions(dir / "work" / "locked", fs::perms::none);
    fs::permissions(dir / "work", fs::perms::all);  // for nobody, who must write out.json
    fs::permissions(dir / "work" / "out.json", fs::perms::all);
    const struct {
        std::vector<std::string> args;
        std::string err;
    } rows[] = {
        {{"caf\xE9.kessa", "out.json"}, "kessa2json: 'caf\\xe9.kessa' is not a valid UTF-8 path\n"},
        {{"in.kessa", "out\xFF\n\x7F.json"},
         "kessa2json: 'out\\xff\\x0a\\x7f.json' is not a valid UTF-8 path\n"},
        {{"locked/in.kessa", "out.json"},
         "kessa2json: cannot read 'locked/in.kessa': Permission denied\n"},
    };
    for (const auto& row : rows) {
        const Outcome outcome = runWith(dir, row.args, {.asNobody = true});
        if (outcome.status == kCannotBeNobody) GTEST_SKIP() << "cannot switch to the user nobody";
        EXPECT_EQ(outcome.status, 2) << row.args[0];
        EXPECT_EQ(outcome.err, row.err);
        EXPECT_EQ(read("out.json"), "previous") << row.args[0];
    }
}

// An output that is the input under another name is found out: a hard link is written in place,
// from the input read whole first, and a symbolic link has the file it leads to replaced.
TEST_F(Cli, OutputThatIsTheInput) {
    for (const bool hard : {true, false}) {
        file("in.kessa", "a=1\n");
        fs::remove(dir / "work" / "alias.json");
        if (hard) {
            fs::create_hard_link(dir / "work" / "in.kessa", dir / "work" / "alias.json");
        } else {
            fs::create_symlink("in.kessa", dir / "work" / "alias.json");
        }
        const Outcome outcome = run({"in.kessa", "alias.json"});
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(read("in.kessa"), "{\n    \"a\": 1\n}") << (hard ? "hard link" : "symlink");
    }
}

// Memory that runs out is a message and status 2, never a signal: an input from a pipe is read
// whole, and here it needs more than the address space allows.
TEST_F(Cli, OutOfMemory) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "ThreadSanitizer needs more address space than the limit leaves";
#endif
    std::string big = "a=\"";
    big.append(std::size_t{300} << 20, 'x');
    big += "\"\n";
    const Outcome outcome =
        runWith(dir, {"-", "out.json"}, {.addressBytes = rlim_t{200} << 20, .stdinBytes = &big});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err, "kessa2json: out of memory\n");
}

// An input that another program truncates while it is converted ends the run with status 2 and
// one line, never with a signal. A truncation after the tool mapped the input and before the
// output took its name must be reported as a change, or not matter: a run that ends well wrote
// the JSON of the whole input.
TEST_F(Cli, InputShrinkingDuringTheRun) {
    const std::string text = records(std::size_t{8} << 20, "={x=1,y=\"a b\"}\n");
    const std::string json = jsonOf(text);
    std::mt19937 random(5);
    int changed = 0, early = 0;
    for (int attempt = 0; attempt < 40; ++attempt) {
        const fs::path input = file("in.kessa", text);
        fs::remove(dir / "work" / "out.json");
        const auto delay =
            std::chrono::microseconds(random() % (attempt % 2 == 0 ? 5'000 : 60'000));
        const auto keep = static_cast<std::uintmax_t>(random() % text.size());
        std::atomic<pid_t> child{0};
        bool whileRunning = false;
        std::error_code cut, looked;
        std::thread truncator([&] {
            const bool mapped = waitUntilMapped(child, input);
            std::this_thread::sleep_for(delay);
            fs::resize_file(input, keep, cut);
            whileRunning = mapped && !fs::exists(dir / "work" / "out.json", looked);
        });
        const Outcome outcome = runWith(dir, {"in.kessa", "out.json"}, {.child = &child});
        truncator.join();
        ASSERT_FALSE(cut || looked) << cut.message() << looked.message();
        // Cut short while the tool reads it, a well-formed input is never reported as malformed,
        // and a run that ends well wrote the JSON of all of it: it read the whole input first.
        EXPECT_TRUE(outcome.status == 0 || outcome.status == 2) << outcome.err;
        if (outcome.status == 0 && whileRunning) {
            EXPECT_TRUE(read("out.json") == json) << "truncated to " << keep << " bytes";
        } else if (whileRunning) {
            EXPECT_TRUE(isOneLineFailure(outcome.err, "'in.kessa' changed during the conversion"))
                << outcome.err << "truncated to " << keep << " bytes";
        }
        changed += outcome.status == 2;
        early += whileRunning;
    }
    std::printf("runs that saw the input change: %d of 40, %d changed while the tool ran\n",
                changed, early);
    if (fs::exists("/proc/self/maps")) {  // where the tool's mappings can be seen
        EXPECT_GT(early, 0);
        EXPECT_GT(changed, 0);
    }
}

// The input changes while the tool waits for the reader of its output, a FIFO, so at a known
// point of the run: once every thread of the tool waits, with the FIFO full. It must end with the
// change reported.
TEST_F(Cli, InputChangedWhileTheOutputWaits) {
    const struct {
        const char* what;
        std::size_t size;  // of the text; its JSON is far more than a pipe holds
        void (*alter)(const fs::path&);
        bool whole;  // whether all the JSON is written
    } rows[] = {
        // The JSON fits one chunk of the writer: both passes have read the text when it is first
        // written, and only the last look at the input can tell.
        {"re-dated", std::size_t{1} << 18,
         [](const fs::path& path) {
             fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(10));
         },
         true},
        // The second pass waits with the writing thread's buffers all full, about 4 MB of the
        // 14 MB of JSON made, far short of the half it then finds cut off and reads as zeros.
        {"truncated", std::size_t{8} << 20,
         [](const fs::path& path) { fs::resize_file(path, fs::file_size(path) / 2); }, false},
    };
    const fs::path output = dir / "work" / "out.json";
    for (const auto& row : rows) {
        std::string text, expected = "{";
        for (int i = 0; text.size() < row.size; ++i) {
            text.append("k").append(std::to_string(i)).append("=1\n");
            expected.append(i == 0 ? "\n" : ",\n").append("    \"k" + std::to_string(i) + "\": 1");
        }
        expected += "\n}";
        const fs::path input = file("in.kessa", text);
        fs::remove(output);
        ASSERT_EQ(::mkfifo(output.c_str(), 0600), 0);
        const int fifo = ::open(output.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(fifo, 0);
        Outcome outcome;
        std::atomic<pid_t> child{0};
        std::thread tool([&] {
            outcome = runWith(dir, {"in.kessa", "out.json"}, {.child = &child});
        });
        while (child.load() == 0) std::this_thread::yield();
        waitUntilStalled(child.load(), fifo);
        int queued = 0;
        const bool writing = ::ioctl(fifo, FIONREAD, &queued) == 0 && queued > 0;
        row.alter(input);
        ::fcntl(fifo, F_SETFL, 0);
        std::string json;
        char buffer[1 << 16];
        for (ssize_t got; (got = ::read(fifo, buffer, sizeof buffer)) > 0;)
            json.append(buffer, got);
        ::close(fifo);
        tool.join();
        ASSERT_TRUE(writing) << row.what << ": " << outcome.err;
        EXPECT_EQ(outcome.status, 2) << row.what;
        EXPECT_EQ(outcome.err,
                  "kessa2json: 'in.kessa' changed during the conversion; the output may be "
                  "incomplete\n")
            << row.what;
        EXPECT_TRUE(expected.compare(0, json.size(), json) == 0) << row.what;
        EXPECT_EQ(json.size() == expected.size(), row.whole) << row.what << ": " << json.size();
    }
}

// Nesting costs heap, not stack: 4,000 levels render under a 128 KiB stack (about 64 MB of
// output). The stress tests reject 10,000,000 unclosed levels under a 1 MiB one.
TEST_F(Cli, DeepNestingOnSmallStack) {
    constexpr std::size_t kDepth = 4000;
    file("deep.kessa", "a=" + std::string(kDepth, '{') + "1" + std::string(kDepth, '}') + "\n");
    const Outcome outcome = runWith(dir, {"deep.kessa", "deep.json"}, {.stackBytes = 128 * 1024});
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

namespace {

/// The names in `folder`, sorted.
std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct stat statusOf(const fs::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status;
}

/// An access list as the system keeps it in the attribute system.posix_acl_access: the owner may
/// read and write, the user 12345 and the group may read, others nothing, as mode 0640 says.
std::string accessList() {
    std::string bytes;
    const auto put = [&bytes](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> 8 * i & 0xFF);
    };
    constexpr std::uint32_t kNoId = 0xFFFFFFFF;
    put(2, 4);  // the format's version
    const struct {
        std::uint16_t tag, permissions;
        std::uint32_t id;
    } entries[] = {
        {0x01, 6, kNoId}, {0x02, 4, 12345}, {0x04, 4, kNoId}, {0x10, 4, kNoId}, {0x20, 0, kNoId}};
    for (const auto& entry : entries) {
        put(entry.tag, 2);
        put(entry.permissions, 2);
        put(entry.id, 4);
    }
    return bytes;
}

/// Where /proc can be hidden, the tool finds no way to name an unnamed file and makes a named one
/// beside the output instead: both ways of replacing are then tried.
std::vector<const char*> replacementKinds(const fs::path& scratch,
                                          std::optional<PrivateMount>& hidden) {
    std::vector<const char*> kinds{"unnamed"};
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    (void)scratch;
    (void)hidden;
    std::printf("not tried here: a named replacement (the sanitizer needs /proc)\n");
    return kinds;
#endif
    hidden.emplace(scratch / "unused", "size=4k");  // only to enter a private mount namespace
    if (hidden->mounted && ::mount("tmpfs", "/proc", "tmpfs", 0, "size=4k") == 0) {
        ::umount2("/proc", MNT_DETACH);
        kinds.push_back("named");
    }
    return kinds;
}

}  // namespace

// A regular output is replaced whole and keeps its permission bits, owner and group; a link stays
// a link. Outputs that cannot be replaced so are written in place. Whatever happens, nothing is
// left beside the output, and a failure leaves the output as it was.
TEST_F(Cli, OutputRoutes) {
    std::string big;  // about 400 KB of JSON
    for (int i = 0; i < 20'000; ++i)
        big += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    // Enough input for the writing thread, and enough JSON to fill far more than its buffers.
    const std::string threaded = records(std::size_t{2} << 20, "=1\n");
    const std::string slow = records(std::size_t{24} << 20, "={x=1,y=\"a b\",z={1,2,3}}\n");
    std::string unclosed;  // 80 KB whose JSON would take 800 MB, the depth squared
    for (int i = 0; i < 20'000; ++i) unclosed += "a={\n";
    const bool root = ::geteuid() == 0;
    const passwd* nobody = ::getpwnam("nobody");
    const mode_t umask = ::umask(0);
    ::umask(umask);
    /// Who owns out.json before the run: the tester, or the user nobody with nobody's group or
    /// with the group 0, which nobody is not in.
    enum class Owner : std::uint8_t { Tester, Nobody, NobodyGroupZero };
    const struct {
        const char* what;
        bool possible;
        std::vector<std::string> args;
        std::string input;
        RunOptions options;
        int status;
        const char* err;     // a part of standard error; empty: none at all
        bool replaced;       // out.json is a new file, not the one that was there
        bool converted;      // out.json holds the JSON text of the input
        mode_t mode = 0640;  // out.json's permission bits before the run
        mode_t folder = 0;   // the work folder's during the run; 0: as it was made
        Owner owner = Owner::Tester;
        std::size_t spare = 0;  // the most memory the run may take beyond its input; 0: not seen
        const char* attribute = nullptr;  // an extended attribute out.json has, and keeps
        std::string value = "kept";       // its value
    } rows[] = {
        {"mode 0640 kept", true, {"in.kessa", "out.json"}, "a=1\n", {}, 0, "", true, true},
        // Bits that writing the new file clears, unless its writer may keep them.
        {"set-id and sticky bits kept",
         true,
         {"in.kessa", "out.json"},
         "a=1\n",
         {},
         0,
         "",
         true,
         true,
         07754},
        {"set-id and sticky bits kept by a plain user",
         root && nobody != nullptr,
         {"in.kessa", "out.json"},
         "a=1\n",
         {.asNobody = true},
         0,
         "",
         true,
         true,
         07754,
         01777,
         Owner::Nobody},
        // Set-id bits that giving the new file its owner clears.
        {"owner kept",
         root && nobody != nullptr,
         {"in.kessa", "out.json"},
         "a=1\n",
         {},
         0,
         "",
         true,
         true,
         06750,
         0,
         Owner::Nobody},
        {"an owner that cannot be kept: in place",
         root && nobody != nullptr,
         {"in.kessa", "out.json"},
         "a=1\n",
         {.asNobody = true},
         0,
         "",
         false,
         true,
         0666,
         01777},
        {"a group that cannot be kept: in place",
         root && nobody != nullptr,
         {"in.kessa", "out.json"},
         "a=1\n",
         {.asNobody = true},
         0,
         "",
         false,
         true,
         0644,
         01777,
         Owner::NobodyGroupZero},
        {"a link stays a link", true, {"in.kessa", "link.json"}, "a=1\n", {}, 0, "", true, true},
        {"a link from another folder stays a link",
         true,
         {"in.kessa", "sub/link.json"},
         "a=1\n",
         {},
         0,
         "",
         true,
         true},
        {"a second name: in place",
         true,
         {"in.kessa", "twin.json"},
         "a=1\n",
         {},
         0,
         "",
         false,
         true},
        {"a new file: 0666 less the umask",
         true,
         {"in.kessa", "new.json"},
         "a=1\n",
         {},
         0,
         "",
         false,
         false},
        {"malformed",
         true,
         {"in.kessa", "out.json"},
         "a=1\nb={\n",
         {},
         2,
         "in.kessa:2:3: this left brace is never closed (byte offset 6)",
         false,
         false},
        {"malformed after a chunk of text",
         true,
         {"in.kessa", "out.json"},
         big + "b={\n",
         {},
         2,
         "this left brace is never closed",
         false,
         false},
        {"malformed, in place",
         true,
         {"in.kessa", "twin.json"},
         "a=1\nb={\n",
         {},
         2,
         "in.kessa:2:3: this left brace is never closed (byte offset 6)",
         false,
         false},
        // Found by a check once the JSON outgrows what the input could give, long before the
        // limit on the file's size.
        {"braces that never close: stopped before the disk fills",
         true,
         {"in.kessa", "out.json"},
         unclosed,
         {.fileBytes = rlim_t{96} << 20},
         2,
         "in.kessa:20000:3: this left brace is never closed (byte offset 79998)",
         false,
         false},
        {"a write that fails part-way",
         true,
         {"in.kessa", "out.json"},
         big,
         {.fileBytes = 64 << 10},
         2,
         "cannot write 'out.json': File too large",
         false,
         false},
        {"a write that fails part-way, from the writing thread",
         true,
         {"in.kessa", "out.json"},
         threaded,
         {.fileBytes = 64 << 10},
         2,
         "cannot write 'out.json': File too large",
         false,
         false},
        {"a new file, a write that fails part-way: none left",
         true,
         {"in.kessa", "new.json"},
         big,
         {.fileBytes = 64 << 10},
         2,
         "cannot write 'new.json': File too large",
         false,
         false},
        {"the same file in and out",
         true,
         {"out.json", "out.json"},
         "a=1\n",
         {},
         0,
         "",
         true,
         true},
        {"/dev/null", true, {"in.kessa", "/dev/null"}, "a=1\n", {}, 0, "", false, false},
        {"extended attributes kept",
         true,
         {"in.kessa", "out.json"},
         "a=1\n",
         {},
         0,
         "",
         true,
         true,
         0640,
         0,
         Owner::Tester,
         0,
         "user.note"},
        {"an access list kept",
         true,
         {"in.kessa", "out.json"},
         "a=1\n",
         {},
         0,
         "",
         true,
         true,
         0640,
         0,
         Owner::Tester,
         0,
         "system.posix_acl_access",
         accessList()},
        // Only a privileged user may set an attribute of the security namespace.
        {"attributes that cannot be kept: in place",
         root && nobody != nullptr,
         {"in.kessa", "out.json"},
         "a=1\n",
         {.asNobody = true},
         0,
         "",
         false,
         true,
         0644,
         01777,
         Owner::Nobody,
         0,
         "security.note"},
        {"a file mounted over another: in place",
         true,
         {"in.kessa", "out.json"},
         "a=1\n",
         {},
         0,
         "",
         false,
         true},
        {"a folder that takes no new file: in place",
         true,
         {"in.kessa", "out.json"},
         "a=1\n",
         {.asNobody = true},
         0,
         "",
         false,
         true,
         0666,
         0555},
        {"standard output", true, {"in.kessa", "-"}, "a=1\n", {}, 0, "", false, false},
        {"standard output by name",
         true,
         {"in.kessa", "/dev/stdout"},
         "a=1\n",
         {},
         0,
         "",
         false,
         false},
        // The mapped input, and at most four buffers of a MiB waiting for the reader.
        {"standard output read slowly: the JSON waits in a few buffers",
         true,
         {"in.kessa", "-"},
         slow,
         {.stalledStdout = true},
         0,
         "",
         false,
         false,
         0640,
         0,
         Owner::Tester,
         std::size_t{32} << 20},
        {"a name near the longest",
         true,
         {"in.kessa", std::string(250, 'n')},
         "a=1\n",
         {},
         0,
         "",
         false,
         false},
    };
    std::optional<PrivateMount> hidden;
    for (const char* kind : replacementKinds(dir, hidden)) {
        for (const auto& row : rows) {
            const std::string what = std::string(kind) + ", " + row.what;
            // /dev/stdout leads through /proc, which the named kind hides; so does the watch on a
            // slow reader's writer.
            const bool throughProc = row.args[1] == "/dev/stdout" || row.options.stalledStdout;
            if (!row.possible || (std::string(kind) == "named" && throughProc)) {
                std::printf("not tried here: %s\n", what.c_str());
                continue;
            }
            fs::remove_all(dir / "work");
            fs::create_directory(dir / "work");
            const fs::path out = file("out.json", row.args[0] == "out.json" ? row.input : "old");
            file("in.kessa", row.input);
            if (row.owner != Owner::Tester) {
                ASSERT_EQ(::chown(out.c_str(), nobody->pw_uid,
                                  row.owner == Owner::Nobody ? nobody->pw_gid : 0),
                          0);
            }
            ::chmod(out.c_str(), row.mode);  // after the owner, whose change clears set-id bits
            fs::create_symlink("out.json", dir / "work" / "link.json");
            fs::create_directory(dir / "work" / "sub");
            fs::create_symlink("../out.json", dir / "work" / "sub" / "link.json");
            if (row.args[1] == "twin.json") fs::create_hard_link(out, dir / "work" / "twin.json");
            const std::string name = row.what;
            if (row.attribute != nullptr && ::setxattr(out.c_str(), row.attribute, row.value.data(),
                                                       row.value.size(), 0) != 0) {
                std::printf("not tried here: %s (no %s)\n", what.c_str(), row.attribute);
                continue;
            }
            std::unique_ptr<const char, void (*)(const char*)> bound(
                nullptr, [](const char* at) { ::umount2(at, MNT_DETACH); });
            if (name == "a file mounted over another: in place") {
                const fs::path under = file("under.json", "old");
                if (!hidden->mounted ||
                    ::mount(under.c_str(), out.c_str(), nullptr, MS_BIND, nullptr) != 0) {
                    std::printf("not tried here: %s (no mounts)\n", what.c_str());
                    continue;
                }
                bound.reset(out.c_str());
            }
            if (row.folder != 0) ::chmod((dir / "work").c_str(), row.folder);
            const struct stat before = statusOf(out);
            std::vector<std::string> names = namesIn(dir / "work");
            const fs::path made = dir / "work" / row.args[1];  // a file the run makes
            const bool makes = row.status == 0 && row.args[1] != "-" && !fs::exists(made);
            if (makes) {
                names.push_back(row.args[1]);
                std::sort(names.begin(), names.end());
            }
            if (std::string(kind) == "named") {
                ASSERT_EQ(::mount("tmpfs", "/proc", "tmpfs", 0, "size=4k"), 0);
            }
            RunOptions options = row.options;
            std::size_t peak = 0;
            options.peakBytes = &peak;
            const Outcome outcome = runWith(dir, row.args, options);
            if (std::string(kind) == "named") ::umount2("/proc", MNT_DETACH);
            if (row.folder != 0) ::chmod((dir / "work").c_str(), 0755);
            if (outcome.status == kCannotBeNobody) {
                std::printf("not tried here: %s (cannot become nobody)\n", what.c_str());
                continue;
            }

            EXPECT_EQ(outcome.status, row.status) << what << ": " << outcome.err;
            EXPECT_EQ(std::string(row.err).empty(), outcome.err.empty()) << what;
            EXPECT_NE(outcome.err.find(row.err), std::string::npos) << what << ": " << outcome.err;
            EXPECT_EQ(namesIn(dir / "work"), names) << what;
            EXPECT_TRUE(fs::is_symlink(dir / "work" / "link.json")) << what;
            EXPECT_TRUE(fs::is_symlink(dir / "work" / "sub" / "link.json")) << what;
            const struct stat after = statusOf(out);
            EXPECT_EQ(after.st_ino != before.st_ino, row.replaced) << what;
            EXPECT_EQ(after.st_mode, before.st_mode) << what;
            EXPECT_EQ(after.st_uid, before.st_uid) << what;
            EXPECT_EQ(after.st_gid, before.st_gid) << what;
            if (makes) {
                EXPECT_EQ(statusOf(made).st_mode & 07777, 0666 & ~umask) << what;
            }
            if (row.attribute != nullptr) {
                std::string value(row.value.size() + 1, '\0');
                const ssize_t size =
                    ::getxattr(out.c_str(), row.attribute, value.data(), value.size());
                value.resize(size < 0 ? 0 : static_cast<std::size_t>(size));
                EXPECT_TRUE(value == row.value) << what;
            }
            const std::string kept = row.args[0] == "out.json" ? row.input : "old";
            EXPECT_TRUE(read("out.json") == (row.converted ? jsonOf(row.input) : kept)) << what;
            if (row.status == 0 && row.args[1] != "/dev/null") {  // what the output got
                const bool toStdout = row.args[1] == "-" || row.args[1] == "/dev/stdout";
                EXPECT_TRUE(isJsonOf(row.input, toStdout ? outcome.out : read(row.args[1])))
                    << what;
            }
            std::size_t spare = row.spare;
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
            // ThreadSanitizer's shadow memory is several times the program's own, and
            // AddressSanitizer holds each freed buffer in quarantine rather than reuse it.
            if (spare != 0) std::printf("%s: memory not measured here\n", what.c_str());
            spare = 0;
#endif
            if (spare != 0) {
                EXPECT_GT(peak, 0u) << what;
                EXPECT_LT(peak, row.input.size() + spare) << what;
                std::printf("%s: %zu MB at most\n", what.c_str(), peak >> 20);
            }
        }
    }
}

// /dev/stdout and the other links of /proc name open files, pipes included: they are written in
// place, never replaced.
TEST_F(Cli, OpenFilesByName) {
    file("in.kessa", "a=1\n");
    const std::string tool = "'" KESSA2JSON_TOOL "' in.kessa ";
    for (const char* output : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        fs::remove(dir / "work" / "piped.json");
        const std::string command =
            "cd '" + (dir / "work").string() + "' && " + tool + output + " | cat > piped.json";
        EXPECT_EQ(std::system(command.c_str()), 0) << output;
        EXPECT_EQ(read("piped.json"), "{\n    \"a\": 1\n}") << output;
    }
    // A file that has lost its name is written through the descriptor that still holds it.
    const std::string command = "cd '" + (dir / "work").string() +
                                "' && exec 3<>gone.json && rm gone.json && " + tool +
                                "/dev/fd/3 && cat /dev/fd/3 > kept.json";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read("kept.json"), "{\n    \"a\": 1\n}");
    EXPECT_EQ(namesIn(dir / "work"),
              (std::vector<std::string>{"in.kessa", "kept.json", "piped.json"}));
}

// Standard input that is a file is read to its end, as from a pipe: nothing is left for the next
// reader of it.
TEST_F(Cli, StandardInputIsReadToItsEnd) {
    file("in.kessa", "a=1\n");
    const std::string command = "cd '" + (dir / "work").string() +
                                "' && { '" KESSA2JSON_TOOL "' - out.json; cat > rest; } < in.kessa";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read("out.json"), "{\n    \"a\": 1\n}");
    EXPECT_EQ(read("rest"), "");
}

namespace {

/// How many bytes the replacement that the run `pid` writes in `folder` holds, or -1 while it has
/// none: a hidden file of the folder, or an unnamed one that the run holds open, seen through
/// /proc.
long long replacementBytes(pid_t pid, const fs::path& folder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().filename().string().front() != '.') continue;
        const std::uintmax_t size = fs::file_size(entry.path(), error);
        if (!error) return static_cast<long long>(size);
    }
    // The system names a file made with O_TMPFILE "#" and its inode number, in its folder.
    const std::string unnamed = fs::canonical(folder, error).string() + "/#";
    for (const auto& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code gone;
        struct stat status;
        if (fs::read_symlink(entry.path(), gone).string().rfind(unnamed, 0) == 0 &&
            ::stat(entry.path().c_str(), &status) == 0) {
            return status.st_size;
        }
    }
    return -1;
}

/// Whether the child `pid` has ended; it is left to be waited for.
bool hasEnded(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

}  // namespace

// A run killed, interrupted or hung up leaves the old output or the whole new one, and nothing
// beside it; each signal ends it as it would have, as the shell expects. The signal comes at
// points of the run that the test sees, not after a time: at once, once the replacement is made,
// and once it holds a quarter, a half and three quarters of the JSON. A named replacement cannot
// be removed after SIGKILL, so that case is left out.
TEST_F(Cli, KilledRuns) {
    const std::string text = records(std::size_t{4} << 20, "={x=1,y=\"a b\",z={1,2,3}}\n");
    const std::string json = jsonOf(text);
    file("in.kessa", text);
    const auto size = static_cast<long long>(json.size());
    const long long points[] = {-1, 0, size / 4, size / 2, size / 4 * 3};  // -1: at once
    std::optional<PrivateMount> hidden;
    for (const char* kind : replacementKinds(dir, hidden)) {
        const bool named = std::string(kind) == "named";
        for (const int signal : {SIGKILL, SIGTERM, SIGINT, SIGHUP}) {
            if (named && signal == SIGKILL) continue;
            int finished = 0;
            for (const long long point : points) {
                for (int attempt = 0; attempt < 2; ++attempt) {
                    file("out.json", "old");
                    if (named) {
                        ASSERT_EQ(::mount("tmpfs", "/proc", "tmpfs", 0, "size=4k"), 0);
                    }
                    const std::function<void(pid_t)> signalAtThePoint = [&](pid_t child) {
                        while (point >= 0 && !hasEnded(child) &&
                               replacementBytes(child, dir / "work") < point) {
                            std::this_thread::sleep_for(std::chrono::microseconds(100));
                        }
                        ::kill(child, signal);
                    };
                    const Outcome outcome =
                        runWith(dir, {"in.kessa", "out.json"}, {.watch = &signalAtThePoint});
                    if (named) ::umount2("/proc", MNT_DETACH);
                    const std::string what = std::string(kind) + ", " + strsignal(signal) +
                                             " at byte " + std::to_string(point);
                    ASSERT_TRUE(outcome.status == 0 || outcome.status == 128 + signal)
                        << what << ": status " << outcome.status << " " << outcome.err;
                    finished += outcome.status == 0;
                    const std::string left = read("out.json");
                    EXPECT_TRUE(left == (outcome.status == 0 ? json : "old") || left == json)
                        << what;
                    EXPECT_EQ(namesIn(dir / "work"),
                              (std::vector<std::string>{"in.kessa", "out.json"}))
                        << what;
                }
            }
            std::printf("%s, %s: %d of %zu runs finished first\n", kind, strsignal(signal),
                        finished, 2 * std::size(points));
        }
    }
}
