// jpatch original patch patched: rebuilds the new file from original and patch (exit codes: ExitCodes.h).
#include "tools/jojodiff/Tools.h"

int main(int argc, char** argv) { return JojoDiff::RunJPatch(argc, argv); }
