#pragma once
// Exit codes of jdiff and jpatch. Callers read them as a fixed table, so the numbers never change.
//
// jdiff original new patch
//   0 patch written, the files differ        4 new file cannot be opened or read
//   1 patch written, the files are identical 5 patch file cannot be created or written
//   2 wrong command line                     6 (seek error; not produced)
//   3 original cannot be opened or read      7 out of memory, or the compressor failed
//
// jpatch original patch patched [maximum result bytes]
//   0 patched file written                   5 (seek error; not produced)
//   1 wrong command line                     6 a size in the patch does not fit this machine
//   2 original cannot be opened              7 a read failed, the patch is damaged or truncated,
//   3 patch cannot be opened                   the original is not the one the patch was made
//   4 patched file cannot be created           from, or the result does not verify
//                                            8 the patched file cannot be written
// A patch whose result would pass the optional maximum also answers 7.
// jpatch also answers 7 when memory runs out.
namespace JojoDiff {

enum JDiffExit : int {
    kJDiffDifferent = 0,
    kJDiffIdentical = 1,
    kJDiffBadArguments = 2,
    kJDiffOriginalUnreadable = 3,
    kJDiffNewUnreadable = 4,
    kJDiffOutputFailed = 5,
    kJDiffSeekFailed = 6,
    kJDiffOutOfMemory = 7,
};

enum JPatchExit : int {
    kJPatchApplied = 0,
    kJPatchBadArguments = 1,
    kJPatchOriginalUnopenable = 2,
    kJPatchPatchUnopenable = 3,
    kJPatchOutputUnopenable = 4,
    kJPatchSeekFailed = 5,
    kJPatchTooLarge = 6,
    kJPatchReadFailed = 7,
    kJPatchWriteFailed = 8,
};

}  // namespace JojoDiff
