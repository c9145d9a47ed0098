#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "file_io_fixture.h"
#include "pelmo/file/file_io.h"
#include "pelmo/file/mapped_file.h"
#include "pelmo/file/native_path.h"

using namespace pelmo;
namespace fs = std::filesystem;

const std::error_code kIllFormedPath(ERROR_NO_UNICODE_TRANSLATION, std::system_category());

TEST(NativePath, TooLong) {
    // 2^31 bytes of reserved, inaccessible memory: the length alone must refuse it.
    const std::size_t length = std::size_t{1} << 31;
    void* bytes = ::VirtualAlloc(nullptr, length, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(bytes, nullptr);
    const std::string_view path(static_cast<const char*>(bytes), length);
    EXPECT_EQ(errorOf([&] { toNativePath(path); }),
              std::make_error_code(std::errc::invalid_argument));
    ::VirtualFree(bytes, 0, MEM_RELEASE);
}

// Each way the system says that nothing is there reads as empty text.
TEST_F(FileIo, AbsentNamesReadAsEmpty) {
    write("file", "x");
    const struct {
        const char* name;
        DWORD error;
    } rows[] = {
        {"absent", ERROR_FILE_NOT_FOUND},     {"absent/below", ERROR_PATH_NOT_FOUND},
        {"file/below", ERROR_PATH_NOT_FOUND}, {"a<b.kessa", ERROR_INVALID_NAME},
        {"*.kessa", ERROR_INVALID_NAME},
    };
    for (const auto& row : rows) {
        const fs::path native = toNativePath(path(row.name));
        EXPECT_EQ(::GetFileAttributesW(native.c_str()), INVALID_FILE_ATTRIBUTES) << row.name;
        EXPECT_EQ(::GetLastError(), row.error) << row.name;
        EXPECT_EQ(readFileToString(path(row.name).c_str()), "") << row.name;
    }
}

// The mapping opens the file sharing only reading, so a file that another handle may write is
// read through the stream, which shares writing too; only a handle that shares no reading
// keeps both out.
TEST_F(FileIo, FilesHeldOpenElsewhere) {
    const struct {
        const char* holder;
        DWORD access, share;
        bool mapped, readable;
    } rows[] = {
        {"no other handle", 0, 0, true, true},
        {"a reader sharing reading", GENERIC_READ, FILE_SHARE_READ, true, true},
        {"a writer sharing reading", GENERIC_WRITE, FILE_SHARE_READ, false, true},
        {"a writer sharing reading and writing", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
         false, true},
        {"a writer sharing nothing", GENERIC_WRITE, 0, false, false},
        {"a reader sharing nothing", GENERIC_READ, 0, false, false},
    };
    for (const auto& row : rows) {
        const fs::path file = write("held", "a=1\n");
        std::string expected = "a=1\n";
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (row.access != 0) {
            holder = ::CreateFileW(file.c_str(), row.access, row.share, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
            ASSERT_NE(holder, INVALID_HANDLE_VALUE) << row.holder;
        }
        if ((row.access & GENERIC_WRITE) != 0) {
            // What the writer has written so far is what the read sees.
            DWORD written = 0;
            ::SetFilePointer(holder, 0, nullptr, FILE_END);
            ASSERT_TRUE(::WriteFile(holder, "b=2\n", 4, &written, nullptr)) << row.holder;
            expected += "b=2\n";
        }
        std::uint64_t size = 0;
        const void* view = mapFile(file, size);
        EXPECT_EQ(view != nullptr, row.mapped) << row.holder;
        if (view != nullptr) {
            EXPECT_EQ(std::string(static_cast<const char*>(view), size), expected) << row.holder;
            unmapFile(view, size);
        }
        if (row.readable) {
            EXPECT_EQ(readFileToString(file.string().c_str()), expected) << row.holder;
        } else {
            EXPECT_THROW(readFileToString(file.string().c_str()), fs::filesystem_error)
                << row.holder;
        }
        if (holder != INVALID_HANDLE_VALUE) ::CloseHandle(holder);
    }
}

// UTF-8 names reach the UTF-16 names the system stores, whatever the active code page holds.
TEST_F(FileIo, NonAsciiNames) {
    const struct {
        const char8_t* utf8;
        const wchar_t* utf16;
    } rows[] = {
        {u8"caf\u00e9.json", L"caf\u00e9.json"},
        {u8"\u65e5\u672c\u8a9e \u20ac", L"\u65e5\u672c\u8a9e \u20ac"},
        {u8"\U0001F600", L"\xD83D\xDE00"},
    };
    for (const auto& row : rows) {
        const std::u8string name = row.utf8;
        const std::string utf8Path = path(std::string(name.begin(), name.end()));
        writeStringToFile(utf8Path.c_str(), "{}");
        EXPECT_EQ(slurp(dir / row.utf16), "{}");
        EXPECT_EQ(readFileToString(utf8Path.c_str()), "{}");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 3);
}

TEST_F(FileIo, IllFormedNameRefusedWhereItsLatin1FileExists) {
    std::ofstream(dir / L"caf\u00e9", std::ios::binary) << "x";
    EXPECT_EQ(errorOf([&] { readFileToString(path("caf\xE9").c_str()); }), kIllFormedPath);
    EXPECT_EQ(errorOf([&] { writeStringToFile(path("caf\xE9").c_str(), "{}"); }), kIllFormedPath);
    EXPECT_EQ(slurp(dir / L"caf\u00e9"), "x");
}
