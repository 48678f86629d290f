#pragma once
// The bounded C-runtime layer: every other layer reaches strings, numbers, files, paths,
// directories, memory and time through these `Vorn::std_*` functions.
//
// Conventions of the whole family:
// - Sizes are `uint_size` (32-bit) counts of destination elements and include the terminator.
//   Destination first, then its size, then the source, unless a function says otherwise.
// - Sized copies and appends without a count (std_strcpy/std_strcat/std_wcscpy/std_wcscat with a
//   size) always cut to fit and terminate; a size of 0 writes nothing. Copies with a count
//   (std_strncpy, std_strncat, std_strncpy_utf8) follow the count rule: with TRUNCATE they cut to
//   fit; with any other count a text that does not fit leaves the destination empty (unchanged
//   for std_strncat). No function writes past the size it is given.
// - String builders return the destination; file-system functions return bool, true on success;
//   forwards to the C library return its result unchanged.
// - std_fopen, std_fsopen and std_access read `\` as `/`; std_splitpath (and so std_parentpath
//   and std_copy_file's split) takes both as separators. Other path functions use paths as given.
//   Paths are handled in 1024-byte stack buffers; a path that does not fit is refused
//   (ENAMETOOLONG), never cut or overrun.
// - No locks and no shared buffers: every function may be called from any thread, except that
//   deterministic time (Vorn::Determinism) is switched and stepped by one thread.
// - Two builds from one source: the plain library `vorn_cstd` checks nothing beyond what each
//   function states; the asserting build `vorn_cstd_checked` also checks the preconditions of
//   std_strnlen, std_strncpy, std_strncat, std_memcpy and std_mkdir_tree, and on a broken one
//   hands an assertion report (foundation/AssertionReport.h) to the handler and stops the process
//   with a trap instruction.
#include "foundation/CStd/CStdException.h"
#include "foundation/CStd/CStdFiles.h"
#include "foundation/CStd/CStdFormat.h"
#include "foundation/CStd/CStdMemory.h"
#include "foundation/CStd/CStdPaths.h"
#include "foundation/CStd/CStdStrings.h"
#include "foundation/CStd/CStdTime.h"
#include "foundation/CStd/CStdTypes.h"
