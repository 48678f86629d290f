#pragma once
// Files and folders through the bounded runtime: stdio forwards, tests, creation, removal,
// copies, moves and listings. See CStd.h. No state of its own; thread-safe as the file system is.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "foundation/CStd/CStdTypes.h"

namespace Vorn {

// fopen after turning every `\` into `/`; null with ENAMETOOLONG for a path of 1024 bytes or more.
FILE* std_fopen(const char* path, const char* mode);
// As std_fopen; shareFlag is ignored.
FILE* std_fsopen(const char* path, const char* mode, int shareFlag);
int std_fclose(FILE* file);
size_t std_fread(void* buf, size_t size, size_t count, FILE* file);
size_t std_fwrite(const void* buf, size_t size, size_t count, FILE* file);
int std_fprintf(FILE* file, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// fseeko / ftello: 64-bit offsets.
int std_fseek(FILE* file, int64_t offset, int origin);
int64_t std_ftell(FILE* file);
char* std_fgets(char* buf, int size, FILE* file);
int std_feof(FILE* file);
int std_fflush(FILE* file);
int std_ferror(FILE* file);

// access() after turning `\` into `/`: modes 0 (exists), 2 (write), 4 (read), 6 (both); any other
// mode tests existence. The C result: 0 when allowed, -1 with errno otherwise.
int std_access(const char* path, int mode);
// True when path exists and is a regular file / a directory.
bool std_file_exists(const char* path);
bool std_dir_exists(const char* path);

// Creates every missing folder of path (mode 0755 under the process umask; existing folders keep
// their modes). True when every component exists as a folder afterwards; an empty path succeeds
// at once; a path of 1024 bytes or more, a component that exists as something other than a
// folder, or a folder the system refuses to make (a parent this process may not write into:
// EACCES) fails. Parents are never opened up to let a folder in.
bool std_mkdir_tree(const char* path);
// Creates one folder with mode 0755 under the umask (an existing one counts as success).
bool std_mkdir(const char* path);
bool std_rmdir(const char* path);
bool std_remove(const char* path);
bool std_chmod(const char* path, uint32_t mode);
bool std_chdir(const char* path);
// rename(); flags are ignored.
bool std_move_file(const char* from, const char* to, uint32_t flags);
// Copies a regular file with its mode and times. With failIfExists an existing file at dest is
// kept and the result is false. Missing folders of dest are created. When dest is a folder the
// copy goes into it under the source's name. True only when the copy was made.
bool std_copy_file(const char* source, const char* dest, bool failIfExists);

// Fragment size, free blocks and total blocks of the file system that holds path (statvfs).
bool std_file_system_size(const char* path, uint32_t& blockSize, uint64_t& freeBlocks,
                          uint64_t& totalBlocks);

// Names of the entries of a folder except "." and "..", in the order the system gives them, as
// one block from std_malloc: each name terminated, the list ended by an empty name (an empty
// folder gives a block holding one terminator). list is null when the result is false (folder
// cannot be opened, out of memory). Free the block with std_free_dir_listing.
bool std_get_dir_listing(const char* path, char*& list);
void std_free_dir_listing(char* list);

// The calling thread's errno.
int std_errno();

}  // namespace Vorn
