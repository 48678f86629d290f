#pragma once
// Quor::Common::LZMA: files and buffers in the LZMA2 container of stored files (see
// LzmaContainer.h), and a cooperative task that decodes a buffer on a pool thread.
//
// Results: S_OK, or E_FAIL after one ERROR log line (a file that cannot be opened, a corrupt,
// truncated or inconsistent container, a failed write or close). A decoded buffer is a
// BufferMalloc of exactly the decoded size (at most 0xFFFFFFFF bytes); the out pointer is set only
// on success. Decoding into a file that fails leaves the partial output in place. The compressor
// states the source's 64-bit length in the header and fails when the source does not deliver that
// many bytes. Reentrant: calls on different files may run at once.
#include <cstdint>
#include <memory>
#include <string>

#include "common/ICooperativeTask.h"
#include "foundation/Types.h"
#include "foundation/api/IBuffer.h"

namespace Quor::Common::LZMA {

constexpr DWORD kAppend = 1;  // CompressFile flag: append the container to the destination

HRESULT CompressFile(const std::string& sourcePath, const std::string& destinationPath, DWORD flags);
// A container that states or decodes to more than maxBytes fails before the bytes past them are
// written.
HRESULT DecompressFile(const std::string& sourcePath, const std::string& destinationPath,
                       uint64_t maxBytes = UINT64_MAX);
HRESULT DecompressFile(const std::string& sourcePath, std::shared_ptr<Quor::API::IBuffer>& out);
// sizeHint is not used (the container states the size).
HRESULT Decompress(const std::shared_ptr<Quor::API::IBuffer>& input, std::shared_ptr<Quor::API::IBuffer>& out,
                   DWORD sizeHint);
// Decodes a container whose decoded size is known from outside (a stored file's, from its release
// manifest): the output is exactly `size` bytes in one block of that size. A container that states
// a larger size fails before decoding, one of unknown size as soon as its stream passes `size`
// (memory stays within `size`); one that gives fewer bytes fails too.
HRESULT DecompressToSize(const std::shared_ptr<Quor::API::IBuffer>& input, std::shared_ptr<Quor::API::IBuffer>& out,
                         DWORD size);
// The same decode straight into the caller's block `out` of `size` bytes: S_OK when exactly that
// many came out. On failure out holds what was decoded before it; nothing is written past it.
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

}  // namespace Quor::Common::LZMA
