#pragma once
// Quor::API::Impl::FileManagedUncompressed: a file stored uncompressed in an archive pair of an
// installed project release, read straight from the pair's data file. The file is locked in this
// process from construction to destruction, so the pair is not rewritten while the object lives.
// Binary mode reads ranges of the data file and never past the file's own bytes; text mode reads
// the file once into memory and serves lines (Read and Tell then fail).
// Construction runs under the main object's mutex; the destructor takes that mutex, so it must not
// run on a thread that holds it. One thread uses the object at a time.
#include <cstdio>
#include <string>

#include "api/IFile.h"
#include "api/MainServices.h"

namespace Quor::API::Impl {

class FileManagedUncompressed final : public IFile {
public:
    FileManagedUncompressed(MainServices& main, const std::string& projectName, const uint32_t releaseVersion,
                            const std::string& fileName, const FILE_TYPE type, HRESULT& hr);
    ~FileManagedUncompressed() override;
    FileManagedUncompressed(const FileManagedUncompressed&) = delete;
    FileManagedUncompressed& operator=(const FileManagedUncompressed&) = delete;

    HRESULT Seek(const int32_t offset, const SEEK_ORIGIN origin) override;
    HRESULT Read(void* const buffer, const size_t elementSize, const size_t count, size_t& elementsRead) override;
    HRESULT GetString(std::string& line) override;
    HRESULT Tell(int32_t& position) override;
    FILE_TYPE GetFileType() const override { return m_Type; }
    DWORD GetSize() const override { return m_Size; }
    bool IsEndOfFile() override { return m_Position >= m_Size; }

private:
    MainServices& m_Main;
    FILE_TYPE m_Type;
    std::string m_ArchivePath;
    DWORD m_Offset = 0xFFFFFFFF;
    DWORD m_Size = 0;
    DWORD m_LockHandle = 0xFFFFFFFF;
    FILE* m_Stream = nullptr;
    DWORD m_Position = 0;
    std::string m_Text;
};

}  // namespace Quor::API::Impl
