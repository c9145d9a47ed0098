#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

#include "pelmo/file/file_io.h"
#include "pelmo/file/mapped_file.h"
#include "pelmo/file/native_path.h"
#include "scratch_dir.h"

using namespace pelmo;
namespace fs = std::filesystem;

namespace {

class FileIo : public testing::Test {
protected:
    std::string path(const std::string& name) const { return (scratch.path / name).string(); }
    std::string write(const std::string& name, const std::string& content) const {
        return scratch.write(name, content).string();
    }

    ScratchDir scratch{"kessa2json-file"};
    const std::filesystem::path& dir = scratch.path;
};

template <class Call>
std::error_code errorOf(Call call) {
    try {
        call();
    } catch (const std::system_error& e) {
        return e.code();
    }
    return {};
}

const std::error_code kIllFormed(EILSEQ, std::system_category());

}  // namespace

// Paths are taken as UTF-8 and refused, before any file is looked at, unless well-formed.
TEST(NativePath, Utf8) {
    const struct {
        std::string bytes;
        bool wellFormed;
    } rows[] = {
        {"", true},
        {"plain/ascii.txt", true},
        {"caf\xC3\xA9", true},        // U+00E9
        {"\xE2\x82\xAC", true},       // U+20AC
        {"\xED\x9F\xBF", true},       // U+D7FF, just below the surrogates
        {"\xF0\x90\x80\x80", true},   // U+10000
        {"\xF4\x8F\xBF\xBF", true},   // U+10FFFF
        {"caf\xE9.txt", false},       // a Latin-1 byte
        {"\xC0\xAF", false},          // overlong "/"
        {"\xE0\x9F\xBF", false},      // overlong
        {"\xF0\x8F\xBF\xBF", false},  // overlong
        {"\xED\xA0\x80", false},      // surrogate U+D800
        {"\xF4\x90\x80\x80", false},  // U+110000
        {"\xF5\x80\x80\x80", false},
        {"\xE2\x82", false},  // truncated
        {"\x80", false},      // stray continuation
        {"\xC3\xA9\xC3", false},
    };
    for (const auto& row : rows) {
        const auto error = errorOf([&] { EXPECT_EQ(toNativePath(row.bytes).string(), row.bytes); });
        EXPECT_EQ(error, row.wellFormed ? std::error_code() : kIllFormed) << row.bytes;
    }
}

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

TEST_F(FileIo, MissingPathsReadAsEmpty) {
    EXPECT_EQ(readFileToString(path("absent").c_str()), "");
    EXPECT_EQ(readFileToString(path("absent/below").c_str()), "");
    fs::create_symlink(path("nowhere"), path("dangling"));
    EXPECT_EQ(readFileToString(path("dangling").c_str()), "");
}

TEST_F(FileIo, BytesRoundTrip) {
    const std::string bytes(
        "\xEF\xBB\xBF"
        "a=1\r\n\0\x80\xFF\n",
        11);
    writeStringToFile(path("bytes").c_str(), bytes);
    EXPECT_EQ(fs::file_size(path("bytes")), bytes.size());
    EXPECT_EQ(readFileToString(path("bytes").c_str()), bytes);
    writeStringToFile(path("bytes").c_str(), "xy");  // an existing, longer file is truncated
    EXPECT_EQ(readFileToString(path("bytes").c_str()), "xy");
    writeStringToFile(path("bytes").c_str(), "");
    EXPECT_EQ(fs::file_size(path("bytes")), 0u);
    EXPECT_EQ(readFileToString(path("bytes").c_str()), "");
}

TEST_F(FileIo, MapsOnlyRegularFiles) {
    std::uint64_t size = 99;
    const void* empty = mapFile(write("empty", ""), size);
    EXPECT_NE(empty, nullptr);
    EXPECT_EQ(size, 0u);
    unmapFile(empty, size);
    const void* view = mapFile(write("three", "abc"), size);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(view), size), "abc");
    unmapFile(view, size);
    EXPECT_EQ(mapFile(dir, size), nullptr);
    EXPECT_EQ(mapFile(path("absent"), size), nullptr);
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

TEST_F(FileIo, UnreadableInputsRaise) {
    EXPECT_THROW(readFileToString(dir.c_str()), fs::filesystem_error);
    // Ill-formed UTF-8 is refused even when a file of that name exists.
    write("caf\xE9", "x");
    EXPECT_EQ(errorOf([&] { readFileToString(path("caf\xE9").c_str()); }), kIllFormed);
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    ::chmod(write("secret", "x").c_str(), 0);
    EXPECT_THROW(readFileToString(path("secret").c_str()), fs::filesystem_error);
}

TEST_F(FileIo, FailedWritesRaise) {
    EXPECT_THROW(writeStringToFile(path("absent/out.json").c_str(), "{}"), fs::filesystem_error);
    EXPECT_THROW(writeStringToFile(dir.c_str(), "{}"), fs::filesystem_error);
    EXPECT_EQ(errorOf([&] { writeStringToFile(path("caf\xE9").c_str(), "{}"); }), kIllFormed);
    EXPECT_FALSE(fs::exists(path("caf\xE9")));
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(errorOf([] { writeStringToFile("/dev/full", std::string(100'000, 'x')); }),
                  std::error_code(ENOSPC, std::system_category()));
        EXPECT_EQ(errorOf([] { writeStringToFile("/dev/full", "{}"); }),
                  std::error_code(ENOSPC, std::system_category()));
    }
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    ::chmod(write("readonly", "keep").c_str(), 0444);
    EXPECT_THROW(writeStringToFile(path("readonly").c_str(), "{}"), fs::filesystem_error);
    EXPECT_EQ(readFileToString(path("readonly").c_str()), "keep");
}
