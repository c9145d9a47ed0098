#pragma once

/// Runs kessa2json on its arguments (`argv[0]` the program, then the input and output paths as
/// UTF-8, unexpanded) and returns the exit status.
int runKessa2json(int argc, char** argv);
