#pragma once
// An IFile over bytes held in memory (a zip member after unpacking).
//
// The object owns its bytes; it does not depend on the archive they came from. Not thread-safe.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/File/IFile.h"

namespace Vorn::File {

class UnpackedFile : public IFile {
public:
    explicit UnpackedFile(const std::string& path) : m_path(path) {}

    // The bytes; the caller fills them and then calls Seal(), which appends the terminating zero.
    std::vector<char>& Data() { return m_data; }
    void Seal() { m_data.push_back('\0'); }

    const char* GetFileName() const override { return m_path.c_str(); }
    unsigned long GetSize() const override { return Size(); }
    bool IsValid() const override { return Size() != 0; }
    const char* GetUnpackedData() override { return Size() ? m_data.data() : nullptr; }
    long Tell() override { return static_cast<long>(m_position); }
    bool EoF() override { return m_position >= Size(); }
    int Seek(long offset, int origin) override;
    char* Gets(char* buffer, int size) override;
    unsigned long Read(void* buffer, unsigned long size, unsigned long count) override;
    unsigned long Write(const void*, unsigned long, unsigned long) override { return 0; }

private:
    size_t Size() const { return m_data.empty() ? 0 : m_data.size() - 1; }

    std::vector<char> m_data;
    size_t m_position = 0;
    std::string m_path;
};

}  // namespace Vorn::File
