#pragma once
// Quor::API::Impl::FileUnmanaged: a plain file on disk read through stdio, in text or binary mode.
// Seek, Read, GetString and Tell keep the C library's meaning (Seek from the end places the
// position after the end by the offset); lines come back in pieces of at most 4095 bytes, with
// "\r\n" turned into "\n". A failed open leaves an object whose every operation fails.
#include <cstdio>
#include <string>

#include "api/IFile.h"

namespace Quor::API::Impl {

class FileUnmanaged final : public IFile {
public:
    FileUnmanaged(const std::string& path, const FILE_TYPE type, HRESULT& hr);
    ~FileUnmanaged() override;
    FileUnmanaged(const FileUnmanaged&) = delete;
    FileUnmanaged& operator=(const FileUnmanaged&) = delete;

    HRESULT Seek(const int32_t offset, const SEEK_ORIGIN origin) override;
    HRESULT Read(void* const buffer, const size_t elementSize, const size_t count, size_t& elementsRead) override;
    HRESULT GetString(std::string& line) override;
    HRESULT Tell(int32_t& position) override;
    FILE_TYPE GetFileType() const override { return m_Type; }
    DWORD GetSize() const override { return m_Size; }
    bool IsEndOfFile() override;

private:
    std::string m_Path;
    FILE_TYPE m_Type;
    DWORD m_Size = 0;
    FILE* m_Stream = nullptr;
};

}  // namespace Quor::API::Impl
