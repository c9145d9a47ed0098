#pragma once

#include <filesystem>
#include <string_view>

namespace pelmo {

/// Converts a path given as UTF-8 bytes to the platform's native form; no bytes give an empty
/// path. Raises std::system_error: std::errc::invalid_argument for more than 2^31 - 1 bytes, or
/// the platform's conversion error (in std::system_category) for bytes that are not well-formed
/// UTF-8, before any file is looked at.
std::filesystem::path toNativePath(std::string_view utf8);

/// Whether something exists at `native`, following symbolic links: false when the system reports
/// that nothing is there, true when it finds something. Any other failure of the lookup raises
/// std::filesystem::filesystem_error with the operation "exists", the system error and the path.
bool pathExists(const std::filesystem::path& native);

}  // namespace pelmo
