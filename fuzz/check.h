#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "pelmo/json/node.h"

/// Ends the run as a crash, so that libFuzzer keeps the input, when an invariant does not hold.
inline void require(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

/// The node's compact text, the form in which the harnesses compare trees.
inline std::string compactText(const pelmo::JsonNode& node) {
    std::string out;
    node.appendCompact(out);
    return out;
}
