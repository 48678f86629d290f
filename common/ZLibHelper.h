#pragma once
// Quor::Common::ZLibHelper: files and buffers as zlib streams (RFC 1950 header and Adler-32
// trailer, no header of the system's own), and a cooperative task that decodes a buffer on a
// pool thread. The stream loops are in ZPipe.h.
//
// Results: S_OK, or E_FAIL after one ERROR log line naming the zlib result (a file that cannot be
// opened, a corrupt or truncated stream, a failed write or close). A decoded buffer is a
// BufferMalloc of exactly the decoded size (at most 0xFFFFFFFF bytes); the out pointer is set only
// on success. Decoding into a file that fails leaves the partial output in place. Bytes after the
// end of the stream are ignored. Reentrant: calls on different files may run at once.
#include <cstdint>
#include <memory>
#include <string>

#include "common/ICooperativeTask.h"
#include "common/ZPipe.h"
#include "foundation/Types.h"
#include "foundation/api/IBuffer.h"

namespace Quor::Common::ZLibHelper {

constexpr DWORD kAppend = 1;  // CompressFile flag: append the stream to the destination

HRESULT CompressFile(const std::string& sourcePath, const std::string& destinationPath, DWORD flags);
// A stream that decodes to more than maxBytes fails once it passes them (with the bytes before).
HRESULT DecompressFile(const std::string& sourcePath, const std::string& destinationPath,
                       uint64_t maxBytes = UINT64_MAX);
HRESULT DecompressFile(const std::string& sourcePath, std::shared_ptr<Quor::API::IBuffer>& out);
// sizeHint: bytes of the first output block (0: the size of the first decoded piece); the
// decoded size itself decodes without growing the block.
HRESULT Decompress(const std::shared_ptr<Quor::API::IBuffer>& input, std::shared_ptr<Quor::API::IBuffer>& out,
                   DWORD sizeHint);
// Decodes a stream whose decoded size is known (a stored file's, from its release manifest): the
// output is exactly `size` bytes in one block of that size. A stream that inflates past `size`
// fails as soon as it passes it (memory stays within `size`); one that ends short fails too.
HRESULT DecompressToSize(const std::shared_ptr<Quor::API::IBuffer>& input, std::shared_ptr<Quor::API::IBuffer>& out,
                         DWORD size);
// The same decode straight into the caller's block `out` of `size` bytes, in one inflate over the
// whole input: S_OK when the stream ends after exactly that many bytes. On failure out holds what
// was decoded before it; nothing is written past it.
HRESULT DecompressInto(const void* input, uint32_t length, void* out, DWORD size);

// Decodes its input in one step: DoWork answers kDone (output set) or kFailed; the budget is not
// used. Made with a size, it decodes as DecompressToSize does. The owner reads the output after
// completion.
class DecompressCooperativeTask final : public ICooperativeTask {
public:
    explicit DecompressCooperativeTask(std::shared_ptr<Quor::API::IBuffer> input);
    DecompressCooperativeTask(std::shared_ptr<Quor::API::IBuffer> input, DWORD size);
    DWORD DoWork(DWORD budget) override;
    const std::shared_ptr<Quor::API::IBuffer>& GetOutput() const { return m_Output; }

private:
    std::shared_ptr<Quor::API::IBuffer> m_Input;
    std::shared_ptr<Quor::API::IBuffer> m_Output;
    bool m_SizeKnown = false;
    DWORD m_Size = 0;
};

}  // namespace Quor::Common::ZLibHelper
