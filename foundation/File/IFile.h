#pragma once
// Virtual files: a read-only file held in memory (IFile) and a source that opens them by path
// (IFileProvider). A file handed out by a provider belongs to the caller, who deletes it through
// the interface; it holds its own copy of the bytes. Neither interface is thread-safe.
namespace Vorn::File {

class IFile {
public:
    virtual ~IFile() = default;
    virtual const char* GetFileName() const = 0;
    virtual unsigned long GetSize() const = 0;
    virtual bool IsValid() const = 0;
    // The bytes followed by one zero byte, or null for an empty file.
    virtual const char* GetUnpackedData() = 0;
    virtual long Tell() = 0;
    virtual bool EoF() = 0;
    // origin 2 counts from the end, 1 from the position, anything else from the start; the
    // position is clamped to 0..size. Returns 0.
    virtual int Seek(long offset, int origin) = 0;
    // Reads one line like fgets, dropping carriage returns; null at the end of the data.
    virtual char* Gets(char* buffer, int size) = 0;
    // Returns the number of whole items copied.
    virtual unsigned long Read(void* buffer, unsigned long size, unsigned long count) = 0;
    virtual unsigned long Write(const void* buffer, unsigned long size, unsigned long count) = 0;
};

class IFileProvider {
public:
    // A new file for path, or null when the provider has none (mode is not used).
    virtual IFile* Open(const char* path, const char* mode) = 0;
    // 0 when path exists (mode 0) or can be read (mode 4), -1 otherwise and for any other mode.
    virtual int CheckAccess(const char* path, int mode) = 0;
    virtual ~IFileProvider() = default;
};

}  // namespace Vorn::File
