#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "scratch_dir.h"

/// The error that a path of ill-formed UTF-8 raises on this platform.
extern const std::error_code kIllFormedPath;

class FileIo : public testing::Test {
protected:
    /// The UTF-8 path of `name` in the scratch directory, whatever bytes `name` holds.
    std::string path(const std::string& name) const { return scratch.path.string() + "/" + name; }
    std::string write(const std::string& name, const std::string& content) const {
        return scratch.write(name, content).string();
    }

    ScratchDir scratch{"kessa2json-file"};
    const std::filesystem::path& dir = scratch.path;
};

/// The code of the std::system_error that `call` raises, or no error.
template <class Call>
std::error_code errorOf(Call call) {
    try {
        call();
    } catch (const std::system_error& e) {
        return e.code();
    }
    return {};
}
