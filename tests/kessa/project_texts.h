#pragma once

// Every kessa text the project keeps: the shared cases, the fuzzers' seed corpus and the
// examples, for the properties that must hold over all of them.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "kessa_cases.h"

/// Calls `each` with every text; returns how many files were read.
template <class Each>
std::size_t forEachProjectText(Each each) {
    for (const auto& row : kAcceptedTexts) each(std::string(row.input));
    for (const std::string_view text : kRejectedTexts) each(std::string(text));
    std::size_t files = 0;
    for (const char* folder : {KESSA2JSON_FUZZ_CORPUS, KESSA2JSON_EXAMPLES}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            each(text.str());
            ++files;
        }
    }
    return files;
}
