#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

#include "pelmo/file/input_file.h"

namespace pelmo {

namespace {

[[noreturn]] void raiseErrno() {
    throw std::system_error(errno, std::generic_category());
}

// Mappings whose lost pages the SIGBUS handler may replace. A handler may only touch lock-free
// atomics, so the table is fixed; a mapping that finds no free slot is not made.
struct Guarded {
    std::atomic<char*> start{nullptr};
    std::atomic<std::size_t> size{0};
    std::atomic<bool> lost{false};
};
constexpr int kGuarded = 16;
Guarded guarded[kGuarded];
struct sigaction previousHandler;

void onBusError(int signal, siginfo_t* info, void* context) {
    char* const address = static_cast<char*>(info->si_addr);
    for (Guarded& slot : guarded) {
        char* const start = slot.start.load();
        const std::size_t size = slot.size.load();
        if (start == nullptr || address < start || address >= start + size) continue;
        // The file shrank: zeros take the place of its pages from this one to the end of the
        // mapping, and the reader goes on over them instead of the process ending. mmap is a
        // plain system call here, safe in a handler although POSIX does not list it.
        const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        char* const from = start + (static_cast<std::size_t>(address - start) & ~(page - 1));
        const std::size_t length = static_cast<std::size_t>(start + size - from);
        if (::mmap(from, length, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            slot.lost.store(true);
            return;
        }
    }
    // Not ours: whoever handled it before does, or the default action once the access repeats.
    if ((previousHandler.sa_flags & SA_SIGINFO) != 0 && previousHandler.sa_sigaction != nullptr) {
        previousHandler.sa_sigaction(signal, info, context);
    } else if (previousHandler.sa_handler != SIG_DFL && previousHandler.sa_handler != SIG_IGN) {
        previousHandler.sa_handler(signal);
    } else {
        ::signal(SIGBUS, SIG_DFL);
    }
}

/// Takes a slot for the mapping, installing the handler first; -1 when none is free.
int guard(char* start, std::size_t size) {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, &previousHandler) == 0;
    }();
    if (!installed) return -1;
    for (int i = 0; i < kGuarded; ++i) {
        char* expected = nullptr;
        if (guarded[i].start.compare_exchange_strong(expected, start)) {
            guarded[i].lost.store(false);
            guarded[i].size.store(size);
            return i;
        }
    }
    return -1;
}

#ifdef __EMSCRIPTEN__
// Node maps no files: emscripten's stand-in for a mapping reads the file in one call, which
// stops short at 2 GiB, so the program for Node reads files as it reads pipes.
constexpr bool kMapsFiles = false;
#else
constexpr bool kMapsFiles = true;
#endif

bool sameStatus(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

struct InputFile::State {
    int fd = -1;
    bool ownsFd = true;
    struct stat status {};
    char* mapping = nullptr;
    std::size_t mappedSize = 0;
    /// Bytes at the start of the mapping that come before the text.
    std::size_t skipped = 0;
    int slot = -1;
    std::string copy;

    ~State() {
        if (mapping != nullptr) {
            if (slot >= 0) guarded[slot].start.store(nullptr);
            ::munmap(mapping, mappedSize);
        }
        if (ownsFd && fd >= 0) ::close(fd);
    }

    /// Maps the whole regular file; false, with nothing mapped, where that cannot be done.
    bool map() {
        // The size to map, and the state later changes are measured against, are the current ones.
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0 ||
            static_cast<std::uint64_t>(status.st_size) > SIZE_MAX) {
            return false;
        }
        // Standard input starts where its descriptor stands, as for a reader of it: a script
        // may have read a header line off it first.
        off_t from = 0;
        if (!ownsFd) {
            from = ::lseek(fd, 0, SEEK_CUR);
            if (from < 0) return false;
        }
        const auto page = static_cast<off_t>(::sysconf(_SC_PAGESIZE));
        const off_t pageStart = from / page * page;
        if (from >= status.st_size) return true;  // nothing left to read
        skipped = static_cast<std::size_t>(from - pageStart);
        mappedSize = static_cast<std::size_t>(status.st_size - pageStart);
        // Every page is read, so they are all brought in at once rather than faulted one by one.
        void* view =
            ::mmap(nullptr, mappedSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, pageStart);
        if (view == MAP_FAILED) {
            mappedSize = 0;
            return false;
        }
        slot = guard(static_cast<char*>(view), mappedSize);
        if (slot < 0) {  // unguarded, a shrinking file could end the process
            ::munmap(view, mappedSize);
            mappedSize = 0;
            return false;
        }
        mapping = static_cast<char*>(view);
        // Read to its end, as a reader would leave it, for whoever reads standard input next.
        if (!ownsFd) ::lseek(fd, status.st_size, SEEK_SET);
        return true;
    }

    /// Reads from the descriptor to its end, whatever size it reported.
    void readWhole() {
        constexpr std::size_t kChunk = 1 << 16;
        // With room for the last read, which finds the end, so the text is not moved for it.
        if (S_ISREG(status.st_mode) && status.st_size > 0) {
            copy.reserve(static_cast<std::size_t>(status.st_size) + kChunk);
        }
        for (;;) {
            const std::size_t filled = copy.size();
            copy.resize(filled + kChunk);
            const ssize_t got = ::read(fd, copy.data() + filled, kChunk);
            if (got < 0 && errno == EINTR) {
                copy.resize(filled);
                continue;
            }
            if (got < 0) raiseErrno();
            copy.resize(filled + static_cast<std::size_t>(got));
            if (got == 0) return;
        }
    }
};

InputFile::InputFile(const std::filesystem::path& native) : state_(std::make_unique<State>()) {
    state_->fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (state_->fd < 0 || ::fstat(state_->fd, &state_->status) != 0) raiseErrno();
    if (S_ISDIR(state_->status.st_mode)) {
        throw std::system_error(std::make_error_code(std::errc::is_a_directory));
    }
}

InputFile::InputFile(std::unique_ptr<State> state) : state_(std::move(state)) {}

InputFile InputFile::standardInput() {
    auto state = std::make_unique<State>();
    state->fd = STDIN_FILENO;
    state->ownsFd = false;
    if (::fstat(state->fd, &state->status) != 0) raiseErrno();
    if (S_ISDIR(state->status.st_mode)) {
        throw std::system_error(std::make_error_code(std::errc::is_a_directory));
    }
    return InputFile(std::move(state));
}

InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

bool InputFile::isSameFileAs(const std::filesystem::path& output) const {
    struct stat other;
    const int result =
        output.empty() ? ::fstat(STDOUT_FILENO, &other) : ::stat(output.c_str(), &other);
    return result == 0 && other.st_dev == state_->status.st_dev &&
           other.st_ino == state_->status.st_ino;
}

std::string_view InputFile::read(bool copy) {
    State& state = *state_;
    if (!copy && kMapsFiles && state.map()) {
        if (state.mapping == nullptr) return {};
        return std::string_view(state.mapping + state.skipped, state.mappedSize - state.skipped);
    }
    state.readWhole();
    return state.copy;
}

bool InputFile::changed() const {
    const State& state = *state_;
    if (state.mapping == nullptr) return false;
    if (guarded[state.slot].lost.load()) return true;
    struct stat now;
    return ::fstat(state.fd, &now) != 0 || !sameStatus(now, state.status);
}

}  // namespace pelmo
