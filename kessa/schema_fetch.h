#pragma once

// Schemas by URL, for the programs: fetched with libcurl (http and https only, a size limit, a
// time limit, redirects bounded), kept in a cache folder and revalidated there by ETag and
// Last-Modified; offline, the cached copy with a note. Where the build has no libcurl, every
// fetch says so.

#include <string>

#include "kessa/schema.h"

namespace kessa {

/// The folder schemas are cached in: $KESSA2JSON_CACHE_DIR, else the platform's cache folder
/// ($XDG_CACHE_HOME or ~/.cache on POSIX, %LOCALAPPDATA% on Windows) with kessa2json/schemas.
std::string schemaCacheDirectory();

/// A SchemaFetch over HTTP with the cache in `directory` (none where it is empty).
SchemaFetch httpSchemaFetch(std::string directory = schemaCacheDirectory());

/// The most a schema's text may hold, and how long a fetch may take.
constexpr std::size_t kMaxSchemaBytes = std::size_t{16} << 20;
constexpr long kFetchSeconds = 30;

}  // namespace kessa
