#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "file_io_fixture.h"
#include "pelmo/file/file_sink.h"

using pelmo::FileSink;
namespace fs = std::filesystem;

namespace {

/// Every byte value, line ends and NUL included, so that no translation goes unseen.
std::string allBytes(std::size_t size) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 13 + i / 256) & 0xFF);
    return out;
}

}  // namespace

// A new file, or an existing one cut to nothing, gets exactly the bytes written, in order.
TEST(FileSink, CreatesOrTruncatesAndWritesBytesUnchanged) {
    ScratchDir scratch("kessa2json-sink");
    const std::string pieces[] = {allBytes(1000), "\r\n\n\r", std::string(1, '\0'), "",
                                  allBytes(3 << 20)};
    std::string whole;
    for (const std::string& piece : pieces) whole += piece;
    const struct {
        const char* what;
        std::string before;  // empty: no file
    } rows[] = {
        {"new file", ""}, {"longer file", std::string(5 << 20, 'x')}, {"shorter file", "x"}};
    for (const auto& row : rows) {
        const fs::path path = scratch.path / "out";
        fs::remove(path);
        if (!row.before.empty()) scratch.write("out", row.before);
        FileSink sink(path);
        EXPECT_EQ(fs::file_size(path), 0u) << row.what;  // cut at once, before any write
        for (const std::string& piece : pieces) sink.write(piece.data(), piece.size());
        sink.close();
        EXPECT_TRUE(slurp(path) == whole) << row.what;
    }
}

TEST(FileSink, MissingDirectoryRaisesAtConstruction) {
    ScratchDir scratch("kessa2json-sink");
    EXPECT_EQ(errorOf([&] { FileSink sink(scratch.path / "missing" / "out"); }),
              std::make_error_code(std::errc::no_such_file_or_directory));
    EXPECT_FALSE(fs::exists(scratch.path / "missing"));
}

// A full device refuses the bytes: the write raises, whatever its size.
TEST(FileSink, FullDeviceRaisesOnWrite) {
#ifdef _WIN32
    GTEST_SKIP() << "no /dev/full";
#else
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    FileSink sink("/dev/full");
    for (const std::size_t size : {std::size_t{1}, std::size_t{1} << 20}) {
        const std::string bytes(size, 'x');
        EXPECT_EQ(errorOf([&] { sink.write(bytes.data(), bytes.size()); }),
                  std::make_error_code(std::errc::no_space_on_device))
            << size << " bytes";
    }
#endif
}
