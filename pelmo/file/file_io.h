#pragma once

#include <string>
#include <string_view>

namespace pelmo {

/// Returns the whole content of the file at `path` (UTF-8) byte for byte, or an empty string if
/// nothing exists there. A regular file is read through a memory mapping, anything else (a pipe,
/// a device) through a stream to its end. Raises std::system_error for a path that is not
/// well-formed UTF-8, and std::filesystem::filesystem_error, naming the path and the system
/// error, when the path exists but cannot be tested or read (a directory, no read permission).
std::string readFileToString(const char* path);

/// Creates or truncates the file at `path` (UTF-8) and writes `text` to it byte for byte. Raises
/// std::system_error for a path that is not well-formed UTF-8, and
/// std::filesystem::filesystem_error, naming the path and the system error, when the file cannot
/// be created, written or closed (a missing directory, a read-only file, a full disk).
void writeStringToFile(const char* path, std::string_view text);

}  // namespace pelmo
