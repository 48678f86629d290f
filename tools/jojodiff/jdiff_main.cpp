// jdiff original new patch: writes a patch that rebuilds new from original (exit codes: ExitCodes.h).
#include "tools/jojodiff/Tools.h"

int main(int argc, char** argv) { return JojoDiff::RunJDiff(argc, argv); }
