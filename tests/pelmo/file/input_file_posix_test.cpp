#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "pelmo/file/input_file.h"
#include "scratch_dir.h"

using pelmo::InputFile;
namespace fs = std::filesystem;

namespace {

const std::size_t kPage = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));

/// Every byte value, NUL, CR and 0x80 to 0xff included, over `size` bytes.
std::string allBytes(std::size_t size) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return out;
}

/// Whether `view` lies in a mapping of the file at `file` (per /proc/self/maps); nullopt where
/// the mappings cannot be listed.
std::optional<bool> isMappedFrom(std::string_view view, const fs::path& file) {
    std::ifstream maps("/proc/self/maps");
    if (!maps) return std::nullopt;
    const auto address = reinterpret_cast<std::uintptr_t>(view.data());
    const std::string wanted = fs::canonical(file).string();
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, path;
        fields >> range >> perms >> offset >> device >> inode;
        std::getline(fields >> std::ws, path);
        const std::size_t dash = range.find('-');
        const std::uintptr_t start = std::stoull(range.substr(0, dash), nullptr, 16);
        const std::uintptr_t end = std::stoull(range.substr(dash + 1), nullptr, 16);
        if (address >= start && address < end) return path == wanted;
    }
    return false;
}

std::error_code openError(const fs::path& path) {
    try {
        InputFile file(path);
    } catch (const std::system_error& e) {
        return e.code();
    }
    return {};
}

/// Reads every byte of the view, so that any page the file lost is faulted in.
std::string touchAll(std::string_view view) {
    return std::string(view.begin(), view.end());
}

class InputFilePosix : public testing::Test {
protected:
    ScratchDir scratch{"kessa2json-input"};
};

}  // namespace

// A regular file is read through a mapping of the file itself, each byte as it is, at sizes
// around a page; an empty one has nothing to map.
TEST_F(InputFilePosix, RegularFileIsMappedByteForByte) {
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, kPage - 1, kPage, kPage + 1, 3 * kPage + 17}) {
        const std::string content = allBytes(size);
        const fs::path path = scratch.write("bytes", content);
        InputFile file(path);
        const std::string_view view = file.read(false);
        EXPECT_EQ(view, content) << size << " bytes";
        EXPECT_FALSE(file.changed()) << size << " bytes";
        if (size == 0) continue;
        const std::optional<bool> mapped = isMappedFrom(view, path);
        if (!mapped) GTEST_SKIP() << "/proc/self/maps cannot be read";
        EXPECT_TRUE(*mapped) << size << " bytes";
    }
}

TEST_F(InputFilePosix, CopyIsReadByteForByteAndNotMapped) {
    for (const std::size_t size : {std::size_t{0}, 2 * kPage + 5}) {
        const std::string content = allBytes(size);
        const fs::path path = scratch.write("bytes", content);
        InputFile file(path);
        const std::string_view view = file.read(true);
        EXPECT_EQ(view, content) << size << " bytes";
        if (size == 0) continue;
        const std::optional<bool> mapped = isMappedFrom(view, path);
        if (!mapped) GTEST_SKIP() << "/proc/self/maps cannot be read";
        EXPECT_FALSE(*mapped) << size << " bytes";
    }
}

// A pipe has no size to map: it is read to its end, over many reads.
TEST_F(InputFilePosix, PipeIsReadWhole) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string content = allBytes(300'000);
    // Small pieces with pauses between them, so that reads come back short before the end.
    std::thread writer([&] {
        for (std::size_t done = 0; done < content.size();) {
            const std::size_t piece = std::min<std::size_t>(10'000, content.size() - done);
            const auto n = ::write(fds[1], content.data() + done, piece);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ::close(fds[1]);
    });
    {
        InputFile file("/dev/fd/" + std::to_string(fds[0]));
        EXPECT_EQ(file.read(false), content);
        EXPECT_FALSE(file.changed());
    }
    // A reader that stopped early must not leave the writer blocked: it gets EPIPE instead.
    const auto previous = ::signal(SIGPIPE, SIG_IGN);
    ::close(fds[0]);
    writer.join();
    ::signal(SIGPIPE, previous);
}

TEST_F(InputFilePosix, UnopenablePathsRaise) {
    const struct {
        fs::path path;
        int error;
    } rows[] = {
        {scratch.path, EISDIR},
        {scratch.path / "missing", ENOENT},
        {scratch.path / "missing" / "file", ENOENT},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(openError(row.path), std::error_code(row.error, std::generic_category()))
            << "path: " << row.path;
    }
}

// The same file under any name is recognised; another file or no file is not.
TEST_F(InputFilePosix, IsSameFileAs) {
    const fs::path input = scratch.write("input", "a=1\n");
    fs::create_hard_link(input, scratch.path / "hard");
    fs::create_symlink(input, scratch.path / "soft");
    scratch.write("other", "a=1\n");
    const struct {
        fs::path output;
        bool same;
    } rows[] = {
        {input, true},
        {scratch.path / "." / "input", true},
        {scratch.path / "hard", true},
        {scratch.path / "soft", true},
        {scratch.path / "other", false},
        {scratch.path / "missing", false},
        {scratch.path, false},
    };
    InputFile file(input);
    for (const auto& row : rows) {
        EXPECT_EQ(file.isSameFileAs(row.output), row.same) << "output: " << row.output;
    }
}

// A mapped file that is rewritten, appended to, re-dated or shrunk after read() has changed; one
// left alone has not.
TEST_F(InputFilePosix, ChangedAfterMappedFileIsAltered) {
    const std::string content = allBytes(2 * kPage);
    const struct {
        const char* what;
        void (*alter)(const fs::path&);
        bool changed;
    } rows[] = {
        {"untouched", [](const fs::path&) {}, false},
        {"rewritten shorter", [](const fs::path& path) { std::ofstream(path) << "a=1\n"; }, true},
        {"appended to", [](const fs::path& path) { std::ofstream(path, std::ios::app) << "b=2\n"; },
         true},
        {"same size, later time",
         [](const fs::path& path) {
             fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(10));
         },
         true},
        {"same size and second, another nanosecond",
         [](const fs::path& path) {
             struct stat status;
             ASSERT_EQ(::stat(path.c_str(), &status), 0);
             timespec times[2] = {{0, UTIME_OMIT}, status.st_mtim};
             times[1].tv_nsec = (times[1].tv_nsec + 1) % 1'000'000'000;
             ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
         },
         true},
        {"truncated to zero", [](const fs::path& path) { fs::resize_file(path, 0); }, true},
    };
    for (const auto& row : rows) {
        const fs::path path = scratch.write("input", content);
        InputFile file(path);
        file.read(false);
        row.alter(path);
        EXPECT_EQ(file.changed(), row.changed) << row.what;
    }
}

// Pages a shrinking file takes from under its mapping read as zeros instead of ending the
// process; the bytes still in the file keep their values.
TEST_F(InputFilePosix, ShrunkWhileMappedReadsZerosPastTheEnd) {
    const std::string content = allBytes(5 * kPage + 100);
    for (const std::size_t size : {std::size_t{0}, kPage / 2, 2 * kPage + 10}) {
        const fs::path path = scratch.write("input", content);
        InputFile file(path);
        const std::string_view view = file.read(false);
        fs::resize_file(path, size);
        touchAll(view);  // every lost page faults here, then the view is read again
        EXPECT_EQ(view.substr(0, size), content.substr(0, size)) << "shrunk to " << size;
        EXPECT_EQ(view.substr(size), std::string(content.size() - size, '\0'))
            << "shrunk to " << size;
        EXPECT_TRUE(file.changed()) << "shrunk to " << size;
    }
}

// Lost pages alone make the file changed, even when it has its old size and time again.
TEST_F(InputFilePosix, LostPagesAreAChangeEvenWhenRestored) {
    const std::string content = allBytes(3 * kPage);
    const fs::path path = scratch.write("input", content);
    const fs::file_time_type before = fs::last_write_time(path);
    InputFile file(path);
    const std::string_view view = file.read(false);
    fs::resize_file(path, 0);
    EXPECT_EQ(touchAll(view), std::string(content.size(), '\0'));
    scratch.write("input", content);
    fs::last_write_time(path, before);
    ASSERT_EQ(fs::last_write_time(path), before);
    ASSERT_EQ(fs::file_size(path), content.size());
    EXPECT_TRUE(file.changed());
}

// Bytes read whole are the program's own: whatever happens to the file, they stay and have not
// changed.
TEST_F(InputFilePosix, CopyNeverChanges) {
    const std::string content = allBytes(3 * kPage);
    const fs::path path = scratch.write("input", content);
    InputFile file(path);
    const std::string_view view = file.read(true);
    std::ofstream(path) << "a=1\n";
    EXPECT_FALSE(file.changed());
    fs::resize_file(path, 0);
    EXPECT_FALSE(file.changed());
    EXPECT_EQ(touchAll(view), content);
}

// The handler guards 16 mappings at once; a 17th file is read whole instead, and a released
// mapping frees its place.
TEST_F(InputFilePosix, SeventeenthOpenFileIsCopied) {
    constexpr int kGuarded = 16;
    const std::string content = allBytes(kPage + 1);
    std::vector<fs::path> paths;
    for (int i = 0; i <= kGuarded; ++i) {
        paths.push_back(scratch.write("input" + std::to_string(i), content));
    }
    for (int round = 0; round < 2; ++round) {
        std::vector<std::unique_ptr<InputFile>> files;
        int mapped = 0;
        for (const fs::path& path : paths) {
            files.push_back(std::make_unique<InputFile>(path));
            const std::string_view view = files.back()->read(false);
            EXPECT_EQ(view, content) << path;
            const std::optional<bool> fromFile = isMappedFrom(view, path);
            if (!fromFile) GTEST_SKIP() << "/proc/self/maps cannot be read";
            mapped += *fromFile ? 1 : 0;
        }
        EXPECT_EQ(mapped, kGuarded) << "round " << round;
    }
}
