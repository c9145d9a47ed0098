#pragma once

/// Runs the program on its arguments (`argv[0]` the program, then its arguments as UTF-8,
/// unexpanded) and returns the exit status: each program defines it, kessa2json in main.cpp and
/// kessafmt in kessafmt.cpp, and the platform's entry point (entry_posix.cpp, entry_windows.cpp)
/// calls it.
int runProgram(int argc, char** argv);
