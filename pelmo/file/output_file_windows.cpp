// Windows: the replacement is a named file beside the output, moved over it with
// MoveFileExW(MOVEFILE_REPLACE_EXISTING), which keeps no file half-written under the output's
// name. A console's Ctrl+C or Ctrl+Break removes it before the process ends.

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <random>
#include <string>
#include <system_error>

#include "pelmo/file/output_file_state.h"

namespace pelmo {

namespace {

namespace fs = std::filesystem;

wchar_t pendingName[MAX_PATH * 4];
std::atomic<bool> namePending{false};

BOOL WINAPI onConsoleEnd(DWORD) {
    if (namePending.exchange(false)) ::DeleteFileW(pendingName);
    return FALSE;  // the default handling then ends the process
}

std::wstring besideName(const fs::path& target) {
    static std::mt19937_64 random(std::random_device{}() ^ ::GetCurrentProcessId());
    constexpr wchar_t kDigits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
    std::wstring name = L"." + target.filename().wstring() + L".";
    for (std::uint64_t bits = random(), i = 0; i < 8; ++i, bits /= 36) name += kDigits[bits % 36];
    name += L".tmp";
    return (target.parent_path() / name).wstring();
}

/// Whether the file at `target` may be replaced: nothing is there yet, or a plain file with one
/// name. Folders, devices, links and read-only files are written in place, as before.
bool replaceable(const fs::path& target) {
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return false;
    }
    const HANDLE file =
        ::CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = ::GetFileInformationByHandle(file, &information) != 0;
    const DWORD kind = ::GetFileType(file);
    ::CloseHandle(file);
    return known && kind == FILE_TYPE_DISK && information.nNumberOfLinks == 1;
}

}  // namespace

void OutputFile::State::discard() {
    sink.reset();
    if (name.empty()) return;
    namePending.store(false);
    ::DeleteFileW(name.c_str());
    name.clear();
}

void OutputFile::State::choose() {
    if (!replaceable(target) || ::SetConsoleCtrlHandler(onConsoleEnd, TRUE) == 0) return;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring path = besideName(target);
        if (path.size() >= std::size(pendingName)) return;
        const int fd = ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                                _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            sink.emplace(FileSink::adopt(fd));
            name = std::move(path);
            std::wmemcpy(pendingName, name.c_str(), name.size() + 1);
            namePending.store(true);
            route = Route::Replace;
            return;
        }
        if (errno == EEXIST) continue;
        if (errno == EACCES || errno == ENOENT || errno == EROFS) return;
        throw std::system_error(errno, std::generic_category());
    }
}

void OutputFile::State::putInPlace() {
    sink->close();
    if (::MoveFileExW(name.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category());
    }
    namePending.store(false);
    name.clear();
}

}  // namespace pelmo
