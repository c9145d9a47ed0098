// Native paths on POSIX systems are byte strings; the bytes pass unchanged once they are known to
// be well-formed UTF-8.

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "pelmo/file/native_path.h"
#include "pelmo/file/utf8.h"

namespace pelmo {

std::filesystem::path toNativePath(std::string_view utf8) {
    if (utf8.size() > INT32_MAX) {
        throw std::system_error(std::make_error_code(std::errc::invalid_argument),
                                "path is too long");
    }
    for (std::string_view rest = utf8; !rest.empty();) {
        const std::size_t length = detail::utf8SequenceLength(rest);
        if (length == 0) {
            throw std::system_error(EILSEQ, std::system_category(), "path is not valid UTF-8");
        }
        rest.remove_prefix(length);
    }
    return std::filesystem::path(utf8);
}

bool pathExists(const std::filesystem::path& native) {
    return std::filesystem::exists(native);
}

}  // namespace pelmo
