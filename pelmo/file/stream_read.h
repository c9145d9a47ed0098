#pragma once

// Internal to the library: reading a whole file through a stream, for what cannot be mapped.

#include <filesystem>
#include <string>
#include <system_error>

namespace pelmo::detail {

/// The C library's error behind a failed stream operation, or a generic I/O error if none was
/// kept. These are errno values, not the system's own codes (which differ on Windows).
std::error_code lastStreamError();

/// Reads the file at `native` to its end, whatever size it reports: pipes report none. Raises
/// std::filesystem::filesystem_error for a directory or a file that cannot be opened or read.
std::string readThroughStream(const std::filesystem::path& native);

}  // namespace pelmo::detail
