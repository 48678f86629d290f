#pragma once
// Decoding a compressed file straight into a byte writer, for callers that place, hash or check
// the bytes as they come (one pass over the output, no second file): a zlib stream (RFC 1950) or
// the LZMA2 container of stored files (LzmaContainer.h).
//
// The decoded size is known from outside (a release manifest): output past it is refused before it
// reaches the writer, and a stream that ends short of it fails, so a hostile source never makes
// the writer take more than `size` bytes. Results: S_OK when the stream ended whole after exactly
// `size` bytes; E_FAIL after one ERROR line otherwise (the source cannot be opened or read, a
// corrupt or truncated stream, another size, a writer that took fewer bytes than it was given).
// The writer may have taken part of the output before a failure. Reentrant: the two 256 KiB
// buffers belong to the calling thread and are kept for its life.
#include <cstdint>
#include <string>

#include "common/LzmaContainer.h"
#include "foundation/Types.h"

namespace Quor::Common::StreamDecode {

enum class Codec { kZlib, kLzma };

HRESULT DecodeFile(const std::string& sourcePath, Codec codec, uint64_t size, LzmaContainer::IByteWriter& out);

}  // namespace Quor::Common::StreamDecode
