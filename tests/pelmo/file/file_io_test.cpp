#include <gtest/gtest.h>

#include <filesystem>

#include "file_io_fixture.h"
#include "pelmo/file/file_io.h"
#include "pelmo/file/mapped_file.h"
#include "pelmo/file/native_path.h"
#include "pelmo/file/utf8.h"

using namespace pelmo;
namespace fs = std::filesystem;

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
        const auto error = errorOf([&] {
            const std::u8string native = toNativePath(row.bytes).u8string();
            EXPECT_EQ(std::string(native.begin(), native.end()), row.bytes);
        });
        EXPECT_EQ(error, row.wellFormed ? std::error_code() : kIllFormedPath) << row.bytes;
        EXPECT_EQ(detail::isUtf8(row.bytes), row.wellFormed) << row.bytes;
        EXPECT_EQ(detail::isUtf8("a long ASCII run first/" + row.bytes), row.wellFormed)
            << row.bytes;
    }
}

// The ASCII run counted eight bytes at a time ends where a byte-by-byte count ends, for every
// length around the word and every place of the first high byte.
TEST(Utf8, AsciiPrefixAgainstByteByByte) {
    for (std::size_t size = 0; size <= 25; ++size) {
        for (std::size_t high = 0; high <= size; ++high) {
            std::string bytes(size, 'a');
            if (high < size) bytes[high] = '\x80';
            for (std::size_t from = 0; from <= size; ++from) {
                const std::string_view s = std::string_view(bytes).substr(from);
                std::size_t expected = 0;
                while (expected < s.size() && static_cast<unsigned char>(s[expected]) < 0x80) {
                    ++expected;
                }
                EXPECT_EQ(detail::asciiPrefix(s), expected)
                    << "size " << size << ", high byte at " << high << ", from " << from;
            }
        }
    }
}

TEST_F(FileIo, MissingPathsReadAsEmpty) {
    EXPECT_EQ(readFileToString(path("absent").c_str()), "");
    EXPECT_EQ(readFileToString(path("absent/below").c_str()), "");
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

TEST_F(FileIo, UnreadableInputsRaise) {
    EXPECT_THROW(readFileToString(dir.string().c_str()), fs::filesystem_error);
}

TEST_F(FileIo, FailedWritesRaise) {
    EXPECT_THROW(writeStringToFile(path("absent/out.json").c_str(), "{}"), fs::filesystem_error);
    EXPECT_THROW(writeStringToFile(dir.string().c_str(), "{}"), fs::filesystem_error);
}

TEST_F(FileIo, IllFormedPathsTouchNoFile) {
    const std::string name = path("caf\xE9.json");
    EXPECT_EQ(errorOf([&] { writeStringToFile(name.c_str(), "{}"); }), kIllFormedPath);
    EXPECT_TRUE(fs::is_empty(dir));
    EXPECT_EQ(errorOf([&] { readFileToString(name.c_str()); }), kIllFormedPath);
}
