#pragma once

#include <filesystem>
#include <string_view>

namespace pelmo {

/// Converts a path given as UTF-8 bytes to the platform's native form; no bytes give an empty
/// path. Raises std::system_error: std::errc::invalid_argument for more than 2^31 - 1 bytes, or
/// the platform's conversion error (in std::system_category) for bytes that are not well-formed
/// UTF-8, before any file is looked at.
std::filesystem::path toNativePath(std::string_view utf8);

}  // namespace pelmo
