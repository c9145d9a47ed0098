#pragma once

// Internal to pelmo: what an OutputFile holds. The platform's file (output_file_posix.cpp,
// output_file_windows.cpp) decides the route and makes, discards and renames the replacement.

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <filesystem>
#include <optional>
#include <string>

#include "pelmo/file/file_sink.h"
#include "pelmo/file/output_file.h"

namespace pelmo {

struct OutputFile::State {
    /// The file to write, with the links that lead to it followed; empty for standard output,
    /// which is written in place and left open.
    std::filesystem::path target;
    Route route = Route::InPlace;
    /// The file written: the replacement, or the target once open() has opened it.
    std::optional<FileSink> sink;
#ifdef _WIN32
    std::wstring name;
#else
    /// The replacement has no name yet (made with O_TMPFILE).
    bool unnamed = false;
    std::string name;
    /// The permission bits of the file replaced, given to the replacement once more when it is
    /// complete: writing it cleared their set-ID bits, unless the process may keep them.
    std::optional<mode_t> mode;
#endif

    ~State() {
        discard();
    }

    /// Takes the replacing route where the target allows it, and makes the replacement.
    void choose();
    /// Closes and removes the replacement, named or not.
    void discard();
    /// Closes the replacement and renames it over the target.
    void putInPlace();
};

}  // namespace pelmo
