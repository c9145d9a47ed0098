#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

/// The whole content of `file`, or nothing if it cannot be opened.
inline std::string slurp(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

/// A fresh directory for the running test, named after it and removed with it.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix)
        : path(std::filesystem::temp_directory_path() /
               (prefix + "-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    /// Removes the directory, opening first the folders a test left closed: its owner may need
    /// that, unlike the superuser.
    ~ScratchDir() {
        namespace fs = std::filesystem;
        std::error_code error;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, error);
        for (fs::recursive_directory_iterator at(path, error), end; !error && at != end;
             at.increment(error)) {
            if (at->is_directory(error) && !at->is_symlink(error)) {
                fs::permissions(at->path(), fs::perms::owner_all, fs::perm_options::add, error);
            }
        }
        fs::remove_all(path, error);
    }

    /// Writes `content` to the file `name` in the directory and returns its path.
    std::filesystem::path write(const std::string& name, const std::string& content) const {
        std::ofstream(path / name, std::ios::binary) << content;
        return path / name;
    }

    const std::filesystem::path path;
};
