#pragma once
// The steps shared by the compression helpers (LZMA and ZLibHelper): opening the source and the
// destination of an operation, closing them into its result, and decoding a stream of known size
// into a block of its own.
//
// An open failure is logged at ERROR under the caller's tag and returned as E_FAIL (the error
// number is logged by CRT; a positive error number would read as success). CloseInto reports a
// failed close (lost data of a writer) as E_FAIL when the operation had succeeded. Stateless;
// reentrant.
#include <cstdint>
#include <memory>
#include <string>

#include "common/UniqueFile.h"
#include "foundation/Types.h"
#include "foundation/api/IBuffer.h"

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

// A decoder of a stream whose decoded size is known, straight into the caller's block of that size.
using DecodeInto = HRESULT (*)(const void* input, uint32_t length, void* out, DWORD size);
// The input decoded by `decode` into a new block of exactly `size` bytes, handed out through out
// only on success; E_OUTOFMEMORY (logged at ERROR) when the block cannot be had.
HRESULT DecodeIntoNewBlock(DecodeInto decode, const std::shared_ptr<Quor::API::IBuffer>& input,
                           std::shared_ptr<Quor::API::IBuffer>& out, DWORD size);

}  // namespace Quor::Common::CompressionFiles
