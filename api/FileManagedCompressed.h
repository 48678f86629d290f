#pragma once
// Quor::API::Impl::FileManagedCompressed: a file whose stored bytes are compressed (zlib or LZMA),
// in an archive pair or on disk. Construction reads and decompresses the whole file into memory
// (the archive lock is held only for the read); the decoded contents are exactly the size the
// release manifest states, a stream that decodes to more or fewer bytes fails the construction
// (and never takes more memory than that size). Reads are then served from memory. Binary mode
// serves Read/Seek/Tell, text mode serves lines. A short Read copies what is left and reports the
// elements copied. Construction runs under the main object's mutex; one thread uses the object at
// a time.
#include <memory>
#include <string>

#include "api/IFile.h"
#include "api/MainServices.h"
#include "api/RuntimeEnvironment.h"
#include "foundation/api/IBuffer.h"

namespace Quor::API::Impl {

class FileManagedCompressed final : public IFile {
public:
    FileManagedCompressed(MainServices& main, const ManifestData& data, const FILE_TYPE type, HRESULT& hr);
    FileManagedCompressed(const FileManagedCompressed&) = delete;
    FileManagedCompressed& operator=(const FileManagedCompressed&) = delete;

    HRESULT Seek(const int32_t offset, const SEEK_ORIGIN origin) override;
    HRESULT Read(void* const buffer, const size_t elementSize, const size_t count, size_t& elementsRead) override;
    HRESULT GetString(std::string& line) override;
    HRESULT Tell(int32_t& position) override;
    FILE_TYPE GetFileType() const override { return m_Type; }
    DWORD GetSize() const override { return m_Contents ? m_Contents->GetBufferSize() : 0; }
    bool IsEndOfFile() override { return m_Contents && m_Position >= m_Contents->GetBufferSize(); }

private:
    const char* Data() const { return static_cast<const char*>(m_Contents->GetBufferPointer()); }

    FILE_TYPE m_Type;
    std::shared_ptr<Quor::API::IBuffer> m_Contents;
    DWORD m_Position = 0;
};

}  // namespace Quor::API::Impl
