#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "file_io_fixture.h"
#include "pelmo/file/background_sink.h"
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

namespace {

/// Takes bytes until it has `limit` of them, then raises for every write.
class FailingSink final : public pelmo::TextSink {
public:
    explicit FailingSink(std::size_t limit) : limit_(limit) {}
    void write(const char* data, std::size_t size) override {
        if (got.size() + size > limit_) throw std::system_error(ENOSPC, std::generic_category());
        got.append(data, size);
    }
    std::string got;

private:
    std::size_t limit_;
};

}  // namespace

// Through the writing thread the other sink gets the same bytes, in order, whether they come as a
// writer's buffers or as plain writes, at any buffer size; its failure is raised on this thread,
// and what came before it arrives whole.
TEST(BackgroundSink, PassesEveryByteOnInOrderAndRaisesTheOtherSinksFailure) {
    const std::string text = allBytes(3 << 20);
    // Whole pieces reach the other sink until the first that would pass its limit.
    const auto chunkOf = [](const auto& row) { return row.piece != 0 ? row.piece : row.capacity; };
    const struct {
        std::size_t piece;  // plain writes of this size, or 0 for a writer's buffers
        std::size_t capacity;
        std::size_t limit;  // where the other sink fails; SIZE_MAX: never
    } rows[] = {
        {0, 64, SIZE_MAX},     {0, 4096, SIZE_MAX},    {0, 1 << 20, SIZE_MAX},
        {1000, 0, SIZE_MAX},   {1 << 20, 0, SIZE_MAX}, {0, 4096, 100'000},
        {0, 1 << 20, 2 << 20}, {1000, 0, 5000},        {0, 4096, 0},
    };
    for (const auto& row : rows) {
        FailingSink target(row.limit);
        std::error_code failure;
        try {
            pelmo::BackgroundSink sink(target);
            for (std::size_t at = 0; at < text.size();) {
                if (row.piece != 0) {
                    const std::size_t size = std::min(row.piece, text.size() - at);
                    sink.write(text.data() + at, size);
                    at += size;
                    continue;
                }
                const std::size_t size = std::min(row.capacity, text.size() - at);
                auto buffer = std::make_unique<char[]>(row.capacity);
                std::memcpy(buffer.get(), text.data() + at, size);
                const char* const given = buffer.get();
                sink.writeBuffer(buffer, size, row.capacity);
                ASSERT_NE(buffer.get(), given);  // the sink kept it and gave another
                ASSERT_NE(buffer.get(), nullptr);
                buffer[row.capacity - 1] = 'x';  // and that one holds `capacity` bytes
                at += size;
            }
            sink.finish();
        } catch (const std::system_error& error) {
            failure = error.code();
        }
        const std::string what = std::to_string(row.piece) + "/" + std::to_string(row.capacity) +
                                 "/" + std::to_string(row.limit);
        EXPECT_EQ(failure.value(), row.limit < text.size() ? ENOSPC : 0) << what;
        EXPECT_TRUE(text.compare(0, target.got.size(), target.got) == 0) << what;
        EXPECT_EQ(target.got.size(), std::min(text.size(), row.limit / chunkOf(row) * chunkOf(row)))
            << what;
    }
}
