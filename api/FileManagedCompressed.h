#pragma once
// Quor::API::Impl::FileManagedCompressed: a file whose stored bytes are compressed (zlib or LZMA),
// in an archive pair or on disk. Construction reads the stored bytes into memory (the archive lock
// is held only for that read); its size is the one the release manifest states, and the stream
// must decode to exactly that size (never taking more memory than that).
// Text mode decodes at construction and serves lines; a damaged stream fails the construction.
// Binary mode serves Read/Seek/Tell and decodes at the first Read that needs the bytes: a Read of
// the whole file from its start is decoded straight into the caller's buffer (and again after a
// Seek back), any other Read decodes once into a buffer of the object's own and copies from it.
// A damaged stream fails that Read with nothing read, and the file is closed from then on (size
// 0). A short Read copies what is left and reports the elements copied; nothing is written past
// the elements reported. Construction runs under the main object's mutex; one thread uses the
// object at a time.
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
    DWORD GetSize() const override { return m_Size; }
    bool IsEndOfFile() override { return IsOpen() && m_Position >= m_Size; }

private:
    bool IsOpen() const { return m_Stored || m_Contents; }
    const char* Data() const { return static_cast<const char*>(m_Contents->GetBufferPointer()); }
    // The stored bytes decoded into the contents, or into `out` (m_Size bytes). A failure closes
    // the file.
    HRESULT Decode();
    HRESULT DecodeInto(void* out);
    void Close();

    FILE_TYPE m_Type;
    bool m_Zlib = false;
    std::shared_ptr<Quor::API::IBuffer> m_Stored;    // compressed, until decoded into the contents
    std::shared_ptr<Quor::API::IBuffer> m_Contents;  // decoded
    DWORD m_Size = 0;
    DWORD m_Position = 0;
};

}  // namespace Quor::API::Impl
