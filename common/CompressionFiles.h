#pragma once
// The file steps shared by the compression helpers (LZMA and ZLibHelper): opening the source and
// the destination of an operation, and closing them into its result.
//
// An open failure is logged at ERROR under the caller's tag and returned as E_FAIL (the error
// number is logged by CRT; a positive error number would read as success). CloseInto reports a
// failed close (lost data of a writer) as E_FAIL when the operation had succeeded. Stateless;
// reentrant.
#include <string>

#include "common/UniqueFile.h"
#include "foundation/Types.h"

namespace Quor::Common::CompressionFiles {

// The files of CompressFile: the source opened "rb", the destination "ab" with append, else "wb".
HRESULT OpenForCompression(const char* tag, const std::string& sourcePath, UniqueFile& source,
                           const std::string& destinationPath, bool append, UniqueFile& destination);
// The source of DecompressFile, opened "rb".
HRESULT OpenSource(const char* tag, const std::string& sourcePath, UniqueFile& source);
// The destination of DecompressFile, opened "wb".
HRESULT OpenDestination(const char* tag, const std::string& destinationPath, UniqueFile& destination);
// Closes the file (when one is open) and returns result, or E_FAIL when result was a success and
// the close failed.
HRESULT CloseInto(UniqueFile& file, HRESULT result);

}  // namespace Quor::Common::CompressionFiles
