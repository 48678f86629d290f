#pragma once
// The MD5 of the content of a stored file: `size` bytes at `offset` of `path`, hashed as they are,
// or, when the manifest entry's flags say the copy is kept compressed (0x10), hashed after
// decompression (zlib for 0x04, else LZMA for 0x20) to exactly `plainSize` bytes: a stream that
// decodes to more or fewer is a failure, and memory stays within `plainSize`. Each failure is
// logged at ERROR under the caller's tag ("Failed to find extract archive file", "Compression
// format not specified", "Failed to decompress") and returned; the digest is then untouched.
// Thread-safe.
#include <string>

#include "foundation/Types.h"
#include "remote/MD5.h"

namespace Quor::User {

HRESULT ComputeStoredFileMD5(const char* tag, const std::string& path, DWORD offset, DWORD size, DWORD entryFlags,
                             DWORD plainSize, MD5::DIGEST& digest);

}  // namespace Quor::User
