#include "pelmo/file/stream_read.h"

#include <cerrno>
#include <fstream>

namespace pelmo::detail {

using std::filesystem::filesystem_error;

std::error_code lastStreamError() {
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

std::string readThroughStream(const std::filesystem::path& native) {
    if (std::filesystem::is_directory(native)) {
        throw filesystem_error("cannot read", native,
                               std::make_error_code(std::errc::is_a_directory));
    }
    errno = 0;
    std::ifstream stream(native, std::ios::binary);
    if (!stream.is_open()) {
        throw filesystem_error("cannot open for reading", native, lastStreamError());
    }
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

}  // namespace pelmo::detail
