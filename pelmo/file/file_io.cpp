#include "pelmo/file/file_io.h"

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <system_error>

#include "pelmo/file/mapped_file.h"
#include "pelmo/file/native_path.h"
#include "pelmo/file/stream_read.h"

namespace pelmo {

namespace {

using std::filesystem::filesystem_error;
using std::filesystem::path;

/// Releases a view on every way out of the copy.
struct MappedView {
    const void* start;
    std::uint64_t size;
    ~MappedView() { unmapFile(start, size); }
};

}  // namespace

std::string readFileToString(const char* pathBytes) {
    const path native = toNativePath(pathBytes);
    if (!pathExists(native)) return std::string();
    std::uint64_t size = 0;
    if (const void* start = mapFile(native, size)) {
        const MappedView view{start, size};
        return std::string(static_cast<const char*>(start), static_cast<std::size_t>(size));
    }
    return detail::readThroughStream(native);
}

void writeStringToFile(const char* pathBytes, std::string_view text) {
    const path native = toNativePath(pathBytes);
    errno = 0;
    std::ofstream stream(native, std::ios::binary);
    if (!stream.is_open())
        throw filesystem_error("cannot create", native, detail::lastStreamError());
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!stream.flush()) throw filesystem_error("cannot write", native, detail::lastStreamError());
    stream.close();
    if (!stream) throw filesystem_error("cannot close", native, detail::lastStreamError());
}

}  // namespace pelmo
