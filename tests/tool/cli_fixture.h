#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "scratch_dir.h"

struct Outcome {
    int status;
    std::string out, err;
};

/// Runs the tool with `args` in the folder `dir`/work and collects its exit status, standard
/// output and standard error, which go through files in `dir`. Each platform has its own.
Outcome runTool(const std::filesystem::path& dir, const std::vector<std::string>& args);

/// True when `err` is one line, "kessa2json: " and a reason, that contains `reason`.
inline bool isOneLineFailure(const std::string& err, const std::string& reason) {
    return err.rfind("kessa2json: ", 0) == 0 && err.find('\n') == err.size() - 1 &&
           err.find(reason) != std::string::npos;
}

/// A file of the work folder: its name and content; a name ending in "/" is a folder.
struct File {
    std::string name;
    std::optional<std::string> content;  // for a check, nullopt: the file must not exist
};

/// A scratch folder whose work/ folder is the tool's working directory.
class Cli : public testing::Test {
protected:
    Cli() { std::filesystem::create_directories(dir / "work"); }

    std::filesystem::path file(const std::string& name, const std::string& content) const {
        return scratch.write("work/" + name, content);
    }
    std::string read(const std::string& name) const { return slurp(dir / "work" / name); }
    std::size_t filesInWork() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(dir / "work"), {}));
    }
    Outcome run(const std::vector<std::string>& args) const { return runTool(dir, args); }

    /// Makes the files and folders of `files` in the work folder.
    void place(const std::vector<File>& files) const {
        for (const File& setup : files) {
            if (setup.name.back() == '/') {
                std::filesystem::create_directory(dir / "work" / setup.name);
            } else {
                file(setup.name, *setup.content);
            }
        }
    }
    /// Checks that the work folder holds `files` as they say, and no replacement left over (a
    /// hidden file).
    void expectFiles(const std::vector<File>& files, const std::string& what) const {
        for (const auto& entry : std::filesystem::directory_iterator(dir / "work")) {
            EXPECT_NE(entry.path().filename().string().front(), '.') << what;
        }
        for (const File& check : files) {
            if (check.content) {
                EXPECT_EQ(read(check.name), *check.content) << what << ": " << check.name;
            } else {
                EXPECT_FALSE(std::filesystem::exists(dir / "work" / check.name))
                    << what << ": " << check.name;
            }
        }
    }

    ScratchDir scratch{"kessa2json-cli"};
    const std::filesystem::path& dir = scratch.path;
};

/// The same for kessafmt, under a name of its own beside kessa2json's tests.
class Kessafmt : public Cli {};
