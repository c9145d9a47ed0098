// Linux's own means (unnamed files, /proc, mount ids, extended attributes) are taken where the
// system has them; elsewhere (the program for Node, in WebAssembly) a named file alone.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#endif

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <system_error>

#include "pelmo/file/output_file_state.h"

namespace pelmo {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void raiseErrno() {
    throw std::system_error(errno, std::generic_category());
}

// The name of the replacement while it has one, for the handler of the signals that end a run:
// it removes the file, then lets the signal end the process as it would have.
char pendingName[PATH_MAX];
std::atomic<bool> namePending{false};
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onEndingSignal(int signal) {
    if (namePending.load()) ::unlink(pendingName);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

/// Installs the handler once, for each ending signal that is not ignored (as nohup makes SIGHUP).
void handleEndingSignals() {
    static const bool installed = [] {
        for (const int signal : kEndingSignals) {
            struct sigaction previous {};
            if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
                continue;
            }
            struct sigaction action {};
            action.sa_handler = onEndingSignal;
            sigemptyset(&action.sa_mask);
            ::sigaction(signal, &action, nullptr);
        }
        return true;
    }();
    (void)installed;
}

/// Holds the ending signals back for as long as it lives, so that a name and its record for the
/// handler come and go together.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : kEndingSignals) sigaddset(&held, signal);
        ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous_;
};

/// A name beside `target` that no file is likely to have: a dot, the target's name, a random part.
std::string besideName(const fs::path& target) {
    static std::mt19937_64 random(std::random_device{}() ^ static_cast<std::uint64_t>(::getpid()));
    constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name(1, '.');  // built by appending: g++ 12 warns wrongly about "." + string
    // Cut short, so that a name near the longest allowed still leaves room for the rest.
    name += target.filename().string().substr(0, 200);
    name += '.';
    for (std::uint64_t bits = random(), i = 0; i < 8; ++i, bits /= 36) name += kDigits[bits % 36];
    name += ".tmp";
    return (target.parent_path() / name).string();
}

/// Whether the folder `directory` is in /proc, whose links name open files (/dev/stdout, a pipe,
/// a deleted file) rather than places for new ones.
bool inProc(const fs::path& directory) {
#ifdef __linux__
    struct statfs system;
    return ::statfs(directory.empty() ? "." : directory.c_str(), &system) == 0 &&
           system.f_type == PROC_SUPER_MAGIC;
#else
    (void)directory;
    return false;
#endif
}

/// Whether `file` lies in the same mount as the folder `directory`: false for a file mounted over
/// another, and wherever it cannot be told.
bool sameMount(const fs::path& directory, const fs::path& file) {
#ifndef __linux__
    struct stat folder, mounted;
    return ::stat(directory.c_str(), &folder) == 0 && ::stat(file.c_str(), &mounted) == 0 &&
           folder.st_dev == mounted.st_dev;
#else
    struct statx folder, mounted;
    constexpr unsigned kWanted = STATX_MNT_ID | STATX_INO;
    if (::statx(AT_FDCWD, directory.c_str(), 0, kWanted, &folder) != 0 ||
        ::statx(AT_FDCWD, file.c_str(), 0, kWanted, &mounted) != 0) {
        return false;
    }
    if ((folder.stx_mask & mounted.stx_mask & STATX_MNT_ID) != 0) {
        return folder.stx_mnt_id == mounted.stx_mnt_id;
    }
    // Older systems tell mounts of other file systems only.
    return folder.stx_dev_major == mounted.stx_dev_major &&
           folder.stx_dev_minor == mounted.stx_dev_minor;
#endif
}

/// `native` with the symbolic links that lead to it followed, as far as they exist; nothing for a
/// link in /proc, which is written through as it is given.
std::optional<fs::path> followLinks(fs::path native) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status;
        if (::lstat(native.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
        if (inProc(native.parent_path())) return std::nullopt;
        char link[PATH_MAX];
        const ssize_t size = ::readlink(native.c_str(), link, sizeof link);
        if (size < 0 || static_cast<std::size_t>(size) == sizeof link) break;
        const fs::path next(std::string(link, static_cast<std::size_t>(size)));
        native = next.is_absolute() ? next : native.parent_path() / next;
    }
    return native;
}

bool refusesNewFiles(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENOENT ||
           error == ENOTDIR;
}

std::string procPath(int descriptor) {
    return "/proc/self/fd/" + std::to_string(descriptor);
}

/// Records `path` as the replacement's name for the signal handler; the signals are held.
void notePending(const std::string& path) {
    if (path.size() >= sizeof pendingName) return;  // too long for it; open would refuse it too
    std::memcpy(pendingName, path.c_str(), path.size() + 1);
    namePending.store(true);
}

/// Makes the replacement for `target` in its directory and opens `sink` on it: unnamed where the
/// file system can (an empty name), else under a name beside the target, with permission bits
/// `mode` less the umask. Nothing where the directory takes no new file.
std::optional<std::string> makeReplacement(const fs::path& target, mode_t mode,
                                           std::optional<FileSink>& sink) {
#ifdef __linux__
    const fs::path directory = target.has_parent_path() ? target.parent_path() : ".";
    const int unnamedFd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (unnamedFd >= 0) {
        // Naming it at the end goes through /proc, which needs no privilege.
        if (::access(procPath(unnamedFd).c_str(), F_OK) == 0) {
            sink.emplace(FileSink::adopt(unnamedFd));
            return std::string();
        }
        ::close(unnamedFd);
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        if (refusesNewFiles(errno)) return std::nullopt;
        raiseErrno();
    }
#endif
    const SignalsHeld held;
    handleEndingSignals();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = besideName(target);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            sink.emplace(FileSink::adopt(fd));
            notePending(path);
            return path;
        }
        if (errno == EEXIST) continue;
        if (refusesNewFiles(errno)) return std::nullopt;
        raiseErrno();
    }
    raiseErrno();
}

/// Gives the file open at `fd` the extended attributes of the file at `target` (access lists and
/// labels among them); false where one cannot be read or set.
bool keepAttributes(int fd, const fs::path& target) {
#ifndef __linux__
    (void)fd;
    (void)target;
    return true;
#else
    std::string names(256, '\0');
    ssize_t size;
    while ((size = ::listxattr(target.c_str(), names.data(), names.size())) < 0 &&
           errno == ERANGE) {
        names.resize(names.size() * 4);
    }
    if (size < 0) return errno == ENOTSUP;  // a file system without them
    std::string value(256, '\0');
    for (const char* name = names.data(); name < names.data() + size;
         name += std::strlen(name) + 1) {
        ssize_t length;
        while ((length = ::getxattr(target.c_str(), name, value.data(), value.size())) < 0 &&
               errno == ERANGE) {
            value.resize(value.size() * 4);
        }
        if (length < 0 ||
            ::fsetxattr(fd, name, value.data(), static_cast<std::size_t>(length), 0) != 0) {
            return false;
        }
    }
    return true;
#endif
}

/// Gives the file open at `fd` the owner, group, extended attributes and permission bits of
/// `existing`, the file at `target`; false where the process may not.
bool keep(int fd, const fs::path& target, const struct stat& existing) {
    struct stat made;
    if (::fstat(fd, &made) != 0) return false;
    if ((made.st_uid != existing.st_uid || made.st_gid != existing.st_gid) &&
        ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        return false;
    }
    // After the owner, whose change clears the set-user-ID and set-group-ID bits; and after an
    // access list, which sets the group bits from its mask, the same as the file's.
    return keepAttributes(fd, target) && ::fchmod(fd, existing.st_mode & 07777) == 0;
}

/// Gives the unnamed file open at `fd` a name beside `target`, and returns it.
std::string nameUnnamed(const fs::path& target, int fd) {
    const SignalsHeld held;
    handleEndingSignals();
    const std::string source = procPath(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = besideName(target);
        if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            notePending(path);
            return path;
        }
        if (errno != EEXIST) raiseErrno();
    }
    raiseErrno();
}

}  // namespace

void OutputFile::State::discard() {
    sink.reset();
    if (name.empty()) return;
    const SignalsHeld held;
    ::unlink(name.c_str());
    namePending.store(false);
    name.clear();
}

void OutputFile::State::choose() {
    const std::optional<fs::path> followed = followLinks(target);
    if (!followed) return;
    target = *followed;
    struct stat existing;
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) return;  // in place, where opening it tells why
    const fs::path directory = target.has_parent_path() ? target.parent_path() : ".";
    if (inProc(directory)) return;
    if (exists) {
        if (!S_ISREG(existing.st_mode) || existing.st_nlink > 1) return;
        // A file its owner made read-only is refused as before, not replaced behind their back.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return;
        // A file mounted over another (a bind mount) cannot be renamed over.
        if (!sameMount(directory, target)) return;
    }
    // A named replacement of an existing file is private until it takes the file's bits.
    std::optional<std::string> made = makeReplacement(target, exists ? 0600 : 0666, sink);
    if (!made) return;
    unnamed = made->empty();
    if (!unnamed) name = std::move(*made);
    if (exists && !keep(sink->descriptor(), target, existing)) {
        discard();
        return;
    }
    if (exists) mode = existing.st_mode & 07777;
    route = Route::Replace;
}

void OutputFile::State::putInPlace() {
    if (mode && ::fchmod(sink->descriptor(), *mode) != 0) raiseErrno();
    if (unnamed) {
        name = nameUnnamed(target, sink->descriptor());
        unnamed = false;
    }
    sink->close();  // where the file system reports a failed write late, it does so here
    if (::rename(name.c_str(), target.c_str()) != 0) raiseErrno();
    const SignalsHeld held;
    namePending.store(false);
    name.clear();
}

}  // namespace pelmo
