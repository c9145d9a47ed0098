#include "tool/main.h"

// The arguments arrive as the byte strings the command line holds.
int main(int argc, char** argv) {
    return runProgram(argc, argv);
}
