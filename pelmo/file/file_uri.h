#pragma once

// Internal to the project: the file: URIs that editors and schemas name files with.

#include <optional>
#include <string>
#include <string_view>

namespace pelmo::detail {

/// `text` with each %-escape of two hexadecimal digits decoded; a stray '%' stays as it is.
std::string percentDecoded(std::string_view text);

/// Whether `path` begins with a drive letter and a colon, such as "C:".
bool isDrive(std::string_view path);

/// The file a file: URI names (file:///x, file://localhost/x, file:/x), %-escapes decoded and
/// any query or fragment left out; file:///C:/x names C:/x. None for another scheme or host.
std::optional<std::string> pathOfUri(std::string_view uri);

/// The file: URI of an absolute path, every byte a URI path cannot hold %-escaped.
std::string uriOfPath(std::string_view path);

}  // namespace pelmo::detail
