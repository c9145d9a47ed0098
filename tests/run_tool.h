#pragma once

// Runs the built kessa2json in a child process on POSIX systems, for the tests that drive it from
// outside: with limits, a given standard input, or as another user.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tool/cli_fixture.h"

/// How the child runs; every field is optional.
struct RunOptions {
    /// Limits the stack, as `ulimit -s` does, unless 0.
    rlim_t stackBytes = 0;
    /// Limits the address space, as `ulimit -v` does, unless 0.
    rlim_t addressBytes = 0;
    /// Limits the size of files written, as `ulimit -f` does, with SIGXFSZ ignored, unless 0.
    rlim_t fileBytes = 0;
    /// Standard input read from this file, opened with these flags, from this offset on.
    const char* stdinFile = nullptr;
    int stdinFlags = O_RDONLY;
    off_t stdinOffset = 0;
    /// Standard input fed through a real pipe, from another process.
    const std::string* stdinBytes = nullptr;
    /// Standard output appended to what the "stdout" log already holds, as `>>` does.
    bool appendStdout = false;
    /// Standard output a pipe that nobody reads until the tool waits for it, as a slow reader
    /// would; then drained, into memory. Needs /proc.
    bool stalledStdout = false;
    /// With stalledStdout, set to the most memory the tool was seen to hold (its VmHWM).
    std::size_t* peakBytes = nullptr;
    /// With stalledStdout, called once the tool waits for the reader, before the pipe is read:
    /// to act at that point of its run.
    const std::function<void()>* whenStalled = nullptr;
    /// Runs as the user nobody where the tests run as the superuser, so that permissions count. It
    /// runs a copy of the tool in `logs` that all may run, opened before the switch: nobody need
    /// not enter the folders above, nor the build tree, which may lie in one only its owner
    /// enters (such as /root).
    bool asNobody = false;
    /// Set to the child's process id once it is started.
    std::atomic<pid_t>* child = nullptr;
    /// Called with the child's process id once it is started, before the run is waited for: to
    /// act at a point of its run, such as to send it a signal.
    const std::function<void(pid_t)>* watch = nullptr;
};

/// The status of a child that could not become the user nobody; the test cannot run here.
inline constexpr int kCannotBeNobody = 125;

/// The text of a file of /proc, or as much of it as could be read: one of a process that ends
/// meanwhile fails to read, where slurp would raise.
inline std::string readProc(const std::string& path) {
    std::string text;
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(file, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
    ::close(file);
    return text;
}

/// How far the process `pid` has come, writing to the pipe it shares with `reader`.
enum class Progress { Going, Waiting, Ended };

/// Waiting once the pipe is full and every thread of `pid` sleeps, so that it can go on only once
/// the pipe is read; Ended once it has ended or cannot be seen.
inline Progress progressOf(pid_t pid, int reader) {
    int queued = 0;
    if (::ioctl(reader, FIONREAD, &queued) != 0) return Progress::Ended;
    bool sleeping = queued >= ::fcntl(reader, F_GETPIPE_SZ);
    std::error_code error;
    std::filesystem::directory_iterator task("/proc/" + std::to_string(pid) + "/task", error);
    if (error) return Progress::Ended;
    for (; !error && task != std::filesystem::directory_iterator(); task.increment(error)) {
        const std::string stat = readProc(task->path() / "stat");
        const std::size_t name = stat.rfind(')');  // the state follows the command's name
        const char state =
            name != std::string::npos && name + 2 < stat.size() ? stat[name + 2] : 'X';
        if (state == 'Z' || state == 'X') return Progress::Ended;
        sleeping = sleeping && state == 'S';
    }
    return sleeping ? Progress::Waiting : Progress::Going;
}

/// The most memory the process `pid` has held so far, in bytes; 0 once it has ended.
inline std::size_t peakMemoryOf(pid_t pid) {
    const std::string status = readProc("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : std::stoull(status.substr(at + 6)) * 1024;
}

/// Returns once the process `pid` waits for the reader of the pipe it writes to `reader` (or
/// has ended): its progress is watched, not timed. Waiting must be seen a few times in a row: a
/// thread that blocks on a lock a moment is not stalled.
inline void waitUntilStalled(pid_t pid, int reader) {
    for (int seen = 0; seen < 5;) {
        const Progress progress = progressOf(pid, reader);
        if (progress == Progress::Ended) return;
        seen = progress == Progress::Waiting ? seen + 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

/// Reads nothing from `reader` until the tool `pid` waits for it, then reads it to its end into
/// `text`, noting the tool's peak memory in `peak`. The text is kept in memory, not on a disk that
/// may fill: a reader that stopped early would end the tool with SIGPIPE.
inline void drainWhenStalled(pid_t pid, int reader, std::string& text, std::size_t& peak,
                             const std::function<void()>* whenStalled = nullptr) {
    waitUntilStalled(pid, reader);
    if (whenStalled != nullptr) (*whenStalled)();
    char buffer[1 << 16];
    for (ssize_t got; (got = ::read(reader, buffer, sizeof buffer)) > 0;) {
        peak = std::max(peak, peakMemoryOf(pid));
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(reader);
}

/// Runs the tool with `args` in the directory `work`; its standard output and error pass through
/// the files "stdout" and "stderr" in `logs`.
inline Outcome runToolWith(const std::filesystem::path& work, const std::filesystem::path& logs,
                           std::vector<std::string> args, const RunOptions& options = {}) {
    const std::filesystem::path out = logs / "stdout", err = logs / "stderr";
    const bool switchUser = options.asNobody && ::geteuid() == 0;
    const std::filesystem::path program = switchUser ? logs / "kessa2json" : KESSA2JSON_TOOL;
    if (switchUser && !std::filesystem::exists(program)) {
        std::filesystem::copy_file(KESSA2JSON_TOOL, program);
        std::filesystem::permissions(program, static_cast<std::filesystem::perms>(0755));
    }
    const passwd* nobody = switchUser ? ::getpwnam("nobody") : nullptr;
    const uid_t nobodyUser = nobody != nullptr ? nobody->pw_uid : 0;
    const gid_t nobodyGroup = nobody != nullptr ? nobody->pw_gid : 0;
    int feed[2] = {-1, -1}, drain[2] = {-1, -1};
    if (options.stdinBytes != nullptr && ::pipe(feed) != 0) return {127, "", "pipe failed"};
    if (options.stalledStdout && ::pipe(drain) != 0) return {127, "", "pipe failed"};
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(work.c_str()) != 0) ::_exit(127);
        const int outFlags = O_WRONLY | O_CREAT | (options.appendStdout ? O_APPEND : O_TRUNC);
        if (options.stalledStdout) {
            ::dup2(drain[1], 1);
            ::close(drain[0]);
            ::close(drain[1]);
        } else {
            ::dup2(::open(out.c_str(), outFlags, 0666), 1);
        }
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 2);
        if (options.stdinFile != nullptr) {
            ::dup2(::open(options.stdinFile, options.stdinFlags), 0);
            ::lseek(0, options.stdinOffset, SEEK_SET);
        }
        if (options.stdinBytes != nullptr) {
            ::dup2(feed[0], 0);
            ::close(feed[0]);
            ::close(feed[1]);
        }
        for (const auto& [resource, bytes] : {std::pair{RLIMIT_STACK, options.stackBytes},
                                              {RLIMIT_AS, options.addressBytes},
                                              {RLIMIT_FSIZE, options.fileBytes}}) {
            if (bytes == 0) continue;
            const rlimit limit{bytes, bytes};
            ::setrlimit(resource, &limit);
        }
        if (options.fileBytes != 0) ::signal(SIGXFSZ, SIG_IGN);
        // Opened while every folder on the way can still be entered.
        const int image = ::open(program.c_str(), O_RDONLY | O_CLOEXEC);
        if (switchUser) {
            if (nobody == nullptr || ::setgroups(0, nullptr) != 0 || ::setgid(nobodyGroup) != 0 ||
                ::setuid(nobodyUser) != 0) {
                ::_exit(kCannotBeNobody);
            }
        }
        std::vector<char*> argv{const_cast<char*>(KESSA2JSON_TOOL)};
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::fexecve(image, argv.data(), environ);
        ::_exit(127);
    }
    if (options.child != nullptr) options.child->store(child);
    std::size_t peak = 0;
    std::string drained;
    std::thread drainer;
    if (options.stalledStdout) {
        ::close(drain[1]);  // before the writer below is forked, so that the drain sees an end
        drainer = std::thread(drainWhenStalled, child, drain[0], std::ref(drained), std::ref(peak),
                              options.whenStalled);
    }
    pid_t writer = -1;
    if (options.stdinBytes != nullptr) {
        ::close(feed[0]);
        // A writer of its own, so that a tool that reads nothing cannot block the test.
        writer = ::fork();
        if (writer == 0) {
            ::signal(SIGPIPE, SIG_IGN);
            const std::string& bytes = *options.stdinBytes;
            for (std::size_t done = 0; done < bytes.size();) {
                const ssize_t wrote = ::write(feed[1], bytes.data() + done, bytes.size() - done);
                if (wrote <= 0) break;
                done += static_cast<std::size_t>(wrote);
            }
            ::_exit(0);
        }
        ::close(feed[1]);
    }
    if (options.watch != nullptr) (*options.watch)(child);
    int status = 0;
    // The drain ends with the child's output, before the child is reaped: until then its /proc
    // files are its own.
    if (drainer.joinable()) drainer.join();
    ::waitpid(child, &status, 0);
    if (writer > 0) ::waitpid(writer, nullptr, 0);
    if (options.peakBytes != nullptr) *options.peakBytes = peak;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            options.stalledStdout ? std::move(drained) : slurp(out), slurp(err)};
}
