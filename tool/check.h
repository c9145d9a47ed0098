#pragma once

#include "tool/driver.h"

/// kessa2json --check: reads the input and writes nothing but, on standard output, one line for
/// each finding in document order, the first kListedFindings of them and then a count of the
/// rest. Returns 0 when there is nothing to report and 3 otherwise; raises driver::Failure for a
/// malformed or unreadable input, with the line a conversion gives.
int checkFile(const driver::Path& input);

/// How many findings --check lists before it only counts.
constexpr std::size_t kListedFindings = 1000;
