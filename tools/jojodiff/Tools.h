#pragma once
// The two programs as functions: each takes the program's argument vector (argv[0] is the
// program's name) and returns the exit code of ExitCodes.h. The program files only call them.
//
// RunJDiff(original new patch): writes a patch that rebuilds new from original.
// RunJPatch(original patch patched [maximum]): rebuilds the new file, checking both the original and
// the result against the patch; a patch whose result would have more than `maximum` bytes (decimal,
// optional; callers that know the size the result must have pass it) fails before anything is
// written; on any failure the destination is left as it was and no temporary
// file remains. The new file is renamed into place whole but not flushed to the disk: its caller
// flushes it where it finally lies (jdiff flushes its patch before the rename).
//
// Each call is self-contained; they install a SIGBUS handler (FaultGuard) for the process, so
// they are meant for single-threaded programs.
namespace JojoDiff {

int RunJDiff(int argc, const char* const argv[]);
int RunJPatch(int argc, const char* const argv[]);

}  // namespace JojoDiff
