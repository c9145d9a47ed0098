#pragma once

/// kessa2json --check [options] IN...: reads each input as a conversion would, writes no file,
/// and reports on standard output each place where the conversion would change or drop what the
/// text says, in the format chosen (see report.h). `argv[1]` is "--check"; the options may come
/// anywhere after it. Returns the exit status: 0 when nothing is reported, 3 when something is,
/// 2 when an input is malformed or unreadable (the others are still checked and reported), 1 for
/// wrong arguments, after the usage text.
int runCheck(int argc, char** argv);
