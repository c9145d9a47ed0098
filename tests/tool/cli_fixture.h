#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
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

    ScratchDir scratch{"kessa2json-cli"};
    const std::filesystem::path& dir = scratch.path;
};
