#include "pelmo/file/file_io.h"

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <system_error>

#include "pelmo/file/mapped_file.h"
#include "pelmo/file/native_path.h"

namespace pelmo {

namespace {

using std::filesystem::filesystem_error;
using std::filesystem::path;

/// The C library's error behind a failed stream operation, or a generic I/O error if none was
/// kept. These are errno values, not the system's own codes (which differ on Windows).
std::error_code lastError() {
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

/// Releases a view on every way out of the copy.
struct MappedView {
    const void* start;
    std::uint64_t size;
    ~MappedView() { unmapFile(start, size); }
};

/// Reads a file that cannot be mapped to its end, whatever size it reports: pipes report none.
std::string readThroughStream(const path& native) {
    if (std::filesystem::is_directory(native)) {
        throw filesystem_error("cannot read", native,
                               std::make_error_code(std::errc::is_a_directory));
    }
    errno = 0;
    std::ifstream stream(native, std::ios::binary);
    if (!stream.is_open()) throw filesystem_error("cannot open for reading", native, lastError());
    std::filebuf& buffer = *stream.rdbuf();
    std::string content;
    const auto reported = buffer.pubseekoff(0, std::ios::end, std::ios::in);
    if (reported > 0) {
        content.reserve(static_cast<std::size_t>(reported));
        buffer.pubseekpos(0, std::ios::in);
    }
    constexpr std::size_t kChunk = 1 << 16;
    try {
        for (;;) {
            const std::size_t filled = content.size();
            content.resize(filled + kChunk);
            const auto got = buffer.sgetn(content.data() + filled, kChunk);
            content.resize(filled + static_cast<std::size_t>(got));
            if (got == 0) break;
        }
    } catch (const std::ios_base::failure& failure) {
        throw filesystem_error("cannot read", native, failure.code());
    }
    return content;
}

}  // namespace

std::string readFileToString(const char* pathBytes) {
    const path native = toNativePath(pathBytes);
    if (!pathExists(native)) return std::string();
    std::uint64_t size = 0;
    if (const void* start = mapFile(native, size)) {
        const MappedView view{start, size};
        return std::string(static_cast<const char*>(start), static_cast<std::size_t>(size));
    }
    return readThroughStream(native);
}

void writeStringToFile(const char* pathBytes, std::string_view text) {
    const path native = toNativePath(pathBytes);
    errno = 0;
    std::ofstream stream(native, std::ios::binary);
    if (!stream.is_open()) throw filesystem_error("cannot create", native, lastError());
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!stream.flush()) throw filesystem_error("cannot write", native, lastError());
    stream.close();
    if (!stream) throw filesystem_error("cannot close", native, lastError());
}

}  // namespace pelmo
