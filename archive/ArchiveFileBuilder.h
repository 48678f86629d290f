#pragma once
// ArchiveFileBuilder: writes one complete archive pair (index and data file, see FileFormat.h)
// from a list of files, each a stretch of some file on disk.
//
// - Add registers a file (stored paths unique without regard to case); Write writes index path and
//   index path + ".dat" from scratch, creating both (never through a link, never over an existing
//   file); WriteTemporary does the same under a fresh temporary name of a folder; WriteOnto
//   completes a pair whose data file already holds some of its files (AddPlaced) at its start.
//   Files are copied grouped by source (disk paths compared byte for byte) in source order, and
//   stretches that follow each other in one source are copied as one run, so the surviving part of
//   an old data file is read sequentially.
// - A pair with files is sealed (pair id and data size in the index, the same in a trailer of the
//   data file); both files are flushed to the disk before Write returns S_OK. A pair whose stored
//   bytes would pass GetMaxPairDataSize(), or a source that is larger than 0xFFFFFFFF bytes, is
//   refused.
// - Errors: Write turns every failure (an I/O error, a short source, the size limit, the job's
//   cancel flag, a source that is not a regular file) into E_FAIL after one ERROR line; the files
//   it created are removed again. Nothing throws out of the builder.
// - Threads: one builder per thread; builders of several threads may run at once (the shared copy
//   buffer is locked while in use).
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "foundation/Types.h"
#include "foundation/UniqueFd.h"

namespace Quor::FileSystem::Impl {

// A new temporary pair in folder: an index named as PairCommit::IsTemporaryName has it, and its
// data file beside it, open for reading and writing (both mode 0644, never over an existing file,
// never through a link). False after one ERROR line.
bool CreateTemporaryPair(const std::string& folder, std::string& indexPath, Vorn::UniqueFd& index,
                         Vorn::UniqueFd& data);

class ArchiveFileBuilder {
public:
    struct FileToAdd_t {
        std::string path;      // stored path
        std::string diskPath;  // source file
        uint32_t offset = 0;   // first byte in the source
        uint32_t size = 0;     // bytes; unused for a whole file
        bool wholeFile = false;  // the whole source, measured when it is copied

        // Stored path without regard to case.
        struct PredicateByFilename {
            bool operator()(const FileToAdd_t& a, const FileToAdd_t& b) const;
        };
        // Disk path byte for byte, then offset.
        struct PredicateByDiskLocation {
            bool operator()(const FileToAdd_t& a, const FileToAdd_t& b) const;
        };
    };

    explicit ArchiveFileBuilder(unsigned archiveId);

    // Registers a file: size 0 means the whole disk file (given with offset 0). E_FAIL for an
    // empty path or a path already registered (without regard to case).
    HRESULT Add(const std::string& path, const std::string& diskPath, unsigned offset, unsigned size);
    // Registers exactly `size` bytes (0 included: an empty file) at `offset` of the disk file.
    HRESULT AddStretch(const std::string& path, const std::string& diskPath, unsigned offset, unsigned size);
    // Registers a file whose `size` bytes already lie at `offset` of the data file that WriteOnto
    // is given; they are neither read nor copied.
    HRESULT AddPlaced(const std::string& path, uint64_t offset, uint64_t size);

    // Creates and writes the pair indexPath / indexPath + ".dat"; E_FAIL when either name exists.
    HRESULT Write(const std::string& indexPath, User::AutoUpdateProgress::AutoTimer* timer);
    // Creates and writes a pair under a fresh temporary name of folder ("TMP" and six letters or
    // digits, see PairCommit::IsTemporaryName) and gives its index path in tempIndex.
    HRESULT WriteTemporary(const std::string& folder, std::string& tempIndex,
                           User::AutoUpdateProgress::AutoTimer* timer);

    // Writes the pair into an index file that exists (indexPath, made empty first) and the data
    // file `dataFd` (borrowed; its first `placedLength` bytes, the placed files' bytes, stay as
    // they are and everything after them is overwritten). E_FAIL when a placed file does not lie
    // inside placedLength; on any failure the caller cuts the data file back itself.
    HRESULT WriteOnto(const std::string& indexPath, int dataFd, uint64_t placedLength,
                      User::AutoUpdateProgress::AutoTimer* timer);

    // Stored bytes copied (or placed) by the last Write.
    uint64_t GetBytesWritten() const { return m_BytesWritten; }

private:
    HRESULT Register(FileToAdd_t file);
    HRESULT WriteTo(int indexFd, int dataFd, const std::string& indexPath, uint64_t placedLength,
                    User::AutoUpdateProgress::AutoTimer* timer);

    unsigned m_ArchiveId;
    uint64_t m_BytesWritten = 0;
    std::vector<FileToAdd_t> m_Files;            // in the order they were added
    struct Placed_t {
        std::string path;
        uint64_t offset;
        uint64_t size;
    };
    std::vector<Placed_t> m_Placed;              // in the order they were added
    std::unordered_set<std::string> m_Lowered;  // stored paths with "A"-"Z" lowered
};

}  // namespace Quor::FileSystem::Impl
