#include "pelmo/file/file_sink.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace pelmo {

namespace {

[[noreturn]] void raiseErrno() {
    throw std::system_error(errno, std::generic_category());
}

int openForWriting(const std::filesystem::path& native) {
#ifdef _WIN32
    return ::_wopen(native.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY,
                    _S_IREAD | _S_IWRITE);
#else
    return ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
#endif
}

/// Writes part of `size` bytes and returns how many, or -1 with errno set.
long long writeSome(int descriptor, const char* data, std::size_t size) {
#ifdef _WIN32
    return ::_write(descriptor, data, static_cast<unsigned>(std::min<std::size_t>(size, 1 << 30)));
#else
    return ::write(descriptor, data, size);
#endif
}

int closeDescriptor(int descriptor) {
#ifdef _WIN32
    return ::_close(descriptor);
#else
    return ::close(descriptor);
#endif
}

}  // namespace

FileSink::FileSink(const std::filesystem::path& native)
    : descriptor_(openForWriting(native)), owned_(true) {
    if (descriptor_ < 0) raiseErrno();
}

FileSink FileSink::standardOutput() {
    return FileSink(1, false);
}

FileSink::FileSink(FileSink&& other) noexcept
    : descriptor_(other.descriptor_), owned_(other.owned_) {
    other.descriptor_ = -1;
}

FileSink::~FileSink() {
    if (owned_ && descriptor_ >= 0) closeDescriptor(descriptor_);
}

void FileSink::write(const char* data, std::size_t size) {
    while (size != 0) {
        const long long written = writeSome(descriptor_, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            raiseErrno();
        }
        if (written == 0) throw std::system_error(std::make_error_code(std::errc::io_error));
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void FileSink::close() {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (owned_ && descriptor >= 0 && closeDescriptor(descriptor) != 0) raiseErrno();
}

}  // namespace pelmo
