// Native paths on Windows are UTF-16; the bytes are converted strictly as UTF-8, whatever the
// process's code page.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdint>
#include <string>
#include <system_error>

#include "pelmo/file/native_path.h"

namespace pelmo {

namespace {

[[noreturn]] void raiseIllFormed() {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "path is not valid UTF-8");
}

/// Whether the system error `error`, met while looking `native` up, means that nothing is there
/// (a missing file or folder, an unknown server, characters no name may hold); any other error
/// is raised.
bool isAbsence(DWORD error, const std::filesystem::path& native) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_NAME:
            return true;
        default:
            throw std::filesystem::filesystem_error(
                "exists", native, std::error_code(static_cast<int>(error), std::system_category()));
    }
}

}  // namespace

std::filesystem::path toNativePath(std::string_view utf8) {
    if (utf8.empty()) return std::filesystem::path();
    if (utf8.size() > INT32_MAX) {
        throw std::system_error(std::make_error_code(std::errc::invalid_argument),
                                "path is too long");
    }
    const int length = static_cast<int>(utf8.size());
    const int wideLength =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (wideLength == 0) raiseIllFormed();
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(),
                              wideLength) == 0) {
        raiseIllFormed();
    }
    return std::filesystem::path(std::move(wide));
}

bool pathExists(const std::filesystem::path& native) {
    const DWORD attributes = ::GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return !isAbsence(::GetLastError(), native);
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
    // A link exists when its target does: opening it, with no access to the content, follows it.
    const HANDLE target =
        ::CreateFileW(native.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (target == INVALID_HANDLE_VALUE) return !isAbsence(::GetLastError(), native);
    ::CloseHandle(target);
    return true;
}

}  // namespace pelmo
