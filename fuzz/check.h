#pragma once

#include <cstdio>
#include <cstdlib>

/// Ends the run as a crash, so that libFuzzer keeps the input, when an invariant does not hold.
inline void require(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}
