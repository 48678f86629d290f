#pragma once
// The output file of jdiff and jpatch, written under a temporary name beside its destination and
// renamed over the destination only when complete.
//
// Until Commit succeeds the destination is untouched; a ReplacementFile that dies uncommitted (or
// a program ended by FaultGuard) removes its temporary file. The rename is atomic, so a program
// that dies leaves the destination with its old content or the whole new one; Commit(true) also
// flushes the bytes to the disk before the rename, so that a power cut does the same. A caller
// that flushes the result itself, where it finally lies, commits without (Commit(false)).
// Owns its descriptor and mapping. Not thread-safe.
#include <cstddef>
#include <cstdint>
#include <string>

namespace JojoDiff {

class ReplacementFile {
public:
    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates "<destination>.XXXXXX" in the destination's folder. False (errno set) when the
    // destination is a folder or the temporary file cannot be created.
    bool Create(const std::string& destination);

    // Appends bytes; false (errno set) on a write error (a full disk included).
    bool Write(const void* data, size_t size);

    // Gives the file size bytes of reserved disk space and memory to write them in (null for size
    // 0): the file's own pages mapped, or, for a result within the bound of Populate.h on a system
    // with transparent huge pages, a buffer of huge pages that Commit writes to the file. A page
    // of a file mapping costs a fault of its own; a huge page stands for 512 of them. False (errno
    // set) when the space cannot be reserved or the memory had; more than the file system has free
    // is refused (ENOSPC) before anything is reserved.
    bool MapForWriting(uint64_t size, uint8_t*& mapping);

    // Writes out a buffer (see MapForWriting), unmaps, flushes when flushToDisk, gives the file
    // the mode a new file gets (0666 less the umask) and renames it over the destination. False
    // (errno set) on any failure; the temporary file is then removed.
    bool Commit(bool flushToDisk);

    const std::string& temporaryPath() const { return m_tempPath; }

private:
    void Discard();
    void Unmap();
    bool WriteOutBuffer();

    std::string m_destination;
    std::string m_tempPath;
    int m_fd = -1;
    uint8_t* m_mapping = nullptr;  // where the result is written
    size_t m_mappedSize = 0;
    void* m_region = nullptr;  // what was mapped for it: the file, or the buffer with its alignment
    size_t m_regionSize = 0;
    bool m_buffered = false;  // m_mapping is a buffer that Commit writes to the file
};

}  // namespace JojoDiff
