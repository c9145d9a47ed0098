#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>

#include "pelmo/file/mapped_file.h"

namespace pelmo {

namespace {

/// The view of every zero-length file; never read through and never released.
const unsigned char emptyFileMarker = 0;

}  // namespace

const void* mapFile(const std::filesystem::path& native, std::uint64_t& size) noexcept {
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd == -1) return nullptr;
    struct stat info;
    // Pipes and devices have no length to map; the caller reads them through a stream.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<std::uint64_t>(info.st_size) > SIZE_MAX) {
        ::close(fd);
        return nullptr;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    if (size == 0) {
        ::close(fd);
        return &emptyFileMarker;
    }
    // The whole view is read at once, so map its pages in one go rather than fault them in
    // one at a time.
    void* view = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ,
                        MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);  // the mapping outlives the descriptor
    return view == MAP_FAILED ? nullptr : view;
}

void unmapFile(const void* view, std::uint64_t size) noexcept {
    if (view == nullptr || view == &emptyFileMarker) return;
    ::munmap(const_cast<void*>(view), static_cast<std::size_t>(size));
}

}  // namespace pelmo
