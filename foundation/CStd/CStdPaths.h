#pragma once
// Path text functions of the bounded runtime: split, join, parent, wildcard match, separator
// conversion, and the paths of the running program. See CStd.h. No state; thread-safe.
#include "foundation/CStd/CStdTypes.h"

namespace Vorn {

// Splits path at its last separator (`/` or `\`) and the last `.` after it. Each output that is
// given (non-null, size not 0) is emptied first, then filled with its component when that fits
// (it stays empty otherwise); an empty directory becomes ".". drive is only ever emptied.
// Returns false (touching nothing) for a null or empty path, and false when a requested
// component did not fit. "/a/b/c.txt" gives "/a/b", "c", ".txt"; "/" gives "/", "", "".
bool std_splitpath(const char* path, char* drive, uint_size driveSize, char* dir, uint_size dirSize,
                   char* fname, uint_size fnameSize, char* ext, uint_size extSize);
// Joins dir (plus a `/` unless it ends in one), fname and ext (plus a `.` unless it starts with
// one) into path, cut to fit in size bytes and terminated (nothing written when size is 0).
// drive is ignored; null or empty parts are skipped.
void std_makepath(char* path, uint_size size, const char* drive = nullptr, const char* dir = nullptr,
                  const char* fname = nullptr, const char* ext = nullptr);
// Parent folder of path, ending in `/`: "/a/b/c" and "/a/b/c/" both give "/a/b/".
// False when the path cannot be split (null, empty, or a part longer than 1023 bytes).
bool std_parentpath(const char* path, char* buf, uint_size size);
// Case-insensitive wildcard match without backtracking (`*`, `?`, and `.` that after a `*` skips
// to the name's first dot). "*.*" matches every name. False when either is null.
bool std_path_match_spec(const char* name, const char* spec);

// Copy src into dest turning `\` into `/` (native) or `/` into `\` (standard); dest must hold the
// whole of src and may be src itself. flag is ignored. Return dest.
char* std_get_native_path(char* dest, const char* src, int flag);
char* std_get_standard_path(char* dest, const char* src, int flag);

// realpath(path, resolved): resolved must hold PATH_MAX (4096) bytes, or be null for a new
// block (free it with std_free).
char* std_realpath(const char* path, char* resolved);
// getcwd(buf, size); size comes first.
char* std_getcwd(uint_size size, char* buf);

// Paths of the running program. All three return false when size is 0, buf is null, or the
// executable's path cannot be read, and never write past size bytes.
// Folder of the executable, canonical, without a trailing `/`; for a program inside an
// application bundle (".../X.app/Contents/MacOS/") the folder that holds the bundle. When the
// folder cannot be made canonical it is given as found. False when the result does not fit.
bool std_get_module_directory(uint_size size, char* buf);
// File name and extension of the executable, cut to fit.
bool std_get_module_filename(uint_size size, char* buf);
// Canonical full path of the executable; buf is emptied first. False when the path cannot be
// made canonical or does not fit.
bool std_get_module_fullpath(uint_size size, char* buf);

}  // namespace Vorn
