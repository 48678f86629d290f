#pragma once
// The zip archives' file iterator: lists the members and subfolders that the zip file provider
// knows for the pattern's folder, then the disk's matches of the same pattern.
//
// The zip file provider registers it with CreateFileIterator once it holds an archive; until then
// CreateFileIterator lists the disk alone. An iterator owns its entries and belongs to one thread.
#include "foundation/File/FileIterator.h"

namespace Vorn::File {

// Empty when the provider holds no archive (the provider is made if needed).
FileIteratorPtr CreateZipArchiveFileIterator(const char* pattern, unsigned flags);

// Makes CreateFileIterator ask the zip archives (idempotent, thread-safe).
void RegisterZipFileIterator();

}  // namespace Vorn::File
