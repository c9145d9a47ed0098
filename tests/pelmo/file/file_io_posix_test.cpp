#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include "file_io_fixture.h"
#include "pelmo/file/file_io.h"
#include "pelmo/file/native_path.h"

using namespace pelmo;
namespace fs = std::filesystem;

const std::error_code kIllFormedPath(EILSEQ, std::system_category());

TEST(NativePath, TooLong) {
    // 2^31 bytes of untouched anonymous memory: the length alone must refuse it.
    const std::size_t length = std::size_t{1} << 31;
    void* bytes =
        ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(bytes, MAP_FAILED);
    const std::string_view path(static_cast<const char*>(bytes), length);
    EXPECT_EQ(errorOf([&] { toNativePath(path); }),
              std::make_error_code(std::errc::invalid_argument));
    ::munmap(bytes, length);
}

TEST_F(FileIo, DanglingLinkReadsAsEmpty) {
    fs::create_symlink(path("nowhere"), path("dangling"));
    EXPECT_EQ(readFileToString(path("dangling").c_str()), "");
}

// What cannot be mapped is read through a stream to its end, whatever size it reports.
TEST_F(FileIo, ReadsPipes) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string content(300'000, 'p');
    std::thread writer([&] {
        for (std::size_t done = 0; done < content.size();) {
            const auto n = ::write(fds[1], content.data() + done, content.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fds[1]);
    });
    const std::string fdPath = "/dev/fd/" + std::to_string(fds[0]);
    EXPECT_EQ(readFileToString(fdPath.c_str()), content);
    writer.join();
    ::close(fds[0]);
}

TEST_F(FileIo, UnreadableFilesRaise) {
    // Ill-formed UTF-8 is refused even when a file of that very byte name exists.
    write("caf\xE9", "x");
    EXPECT_EQ(errorOf([&] { readFileToString(path("caf\xE9").c_str()); }), kIllFormedPath);
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    ::chmod(write("secret", "x").c_str(), 0);
    EXPECT_THROW(readFileToString(path("secret").c_str()), fs::filesystem_error);
}

TEST_F(FileIo, UnwritableFilesRaise) {
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(errorOf([] { writeStringToFile("/dev/full", std::string(100'000, 'x')); }),
                  std::make_error_code(std::errc::no_space_on_device));
        EXPECT_EQ(errorOf([] { writeStringToFile("/dev/full", "{}"); }),
                  std::make_error_code(std::errc::no_space_on_device));
    }
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    ::chmod(write("readonly", "keep").c_str(), 0444);
    EXPECT_THROW(writeStringToFile(path("readonly").c_str(), "{}"), fs::filesystem_error);
    EXPECT_EQ(readFileToString(path("readonly").c_str()), "keep");
}
