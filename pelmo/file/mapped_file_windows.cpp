#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "pelmo/file/mapped_file.h"

namespace pelmo {

namespace {

/// The view of every zero-length file; never read through and never released.
const unsigned char emptyFileMarker = 0;

}  // namespace

const void* mapFile(const std::filesystem::path& native, std::uint64_t& size) noexcept {
    // Only read sharing: a file that another handle may be writing is left to the stream.
    const HANDLE file = ::CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER length;
    // Pipes and devices have no length to map; the caller reads them through a stream.
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &length)) {
        ::CloseHandle(file);
        return nullptr;
    }
    size = static_cast<std::uint64_t>(length.QuadPart);
    if (size == 0) {
        ::CloseHandle(file);
        return &emptyFileMarker;
    }
    const HANDLE mapping =
        ::CreateFileMappingA(file, nullptr, PAGE_READONLY, static_cast<DWORD>(size >> 32),
                             static_cast<DWORD>(size & 0xFFFFFFFFu), nullptr);
    if (mapping == nullptr) {
        ::CloseHandle(file);
        return nullptr;
    }
    const void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
    // The view outlives both handles.
    ::CloseHandle(mapping);
    ::CloseHandle(file);
    return view;
}

void unmapFile(const void* view, std::uint64_t /*size*/) noexcept {
    if (view == nullptr || view == &emptyFileMarker) return;
    ::UnmapViewOfFile(view);
}

}  // namespace pelmo
