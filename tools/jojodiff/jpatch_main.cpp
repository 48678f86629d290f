// jpatch original patch patched [maximum result bytes]: rebuilds the new file from original and patch (exit codes: ExitCodes.h).
#include "tools/jojodiff/Tools.h"

int main(int argc, char** argv) { return JojoDiff::RunJPatch(argc, argv); }
