#pragma once
// StagedData: the two files a pair's next rewrite is built in, made ahead of the rewrite so that
// added files can be written straight into the new data file as they arrive instead of being
// copied there at the rewrite.
//
// - Both files lie in the archive folder under a temporary pair name (an index name T as
//   PairCommit::IsTemporaryName has it, an empty file until the rewrite, and T + ".dat"), so that
//   no reader ever opens them and a crash leaves only leftovers that the next writer of the folder
//   removes (PairCommit::RemoveLeftovers). The caller holds the folder's writer lock.
// - The data file holds the bytes of recorded files at offsets 0 .. Length(); anything past that
//   is a file being written (or one that was dropped) and is cut off by Rewind.
// - Owns both files: they are removed when the object dies, unless Release hands them over (to a
//   commit, which renames or removes them). Errors: Create gives null after one ERROR line.
// - One thread; not copyable.
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/UniqueFd.h"

namespace Quor::FileSystem::Impl {

class StagedData {
public:
    // Creates both files (mode 0644, never over an existing file, never through a link).
    static std::unique_ptr<StagedData> Create(const std::string& folder);
    ~StagedData();
    StagedData(const StagedData&) = delete;
    StagedData& operator=(const StagedData&) = delete;

    // The data file, open for reading and writing.
    int DataFd() const { return m_Data.Get(); }
    const std::string& IndexPath() const { return m_Index; }
    std::string DataPath() const;
    // Bytes of the data file that belong to recorded files.
    uint64_t Length() const { return m_Length; }
    // The bytes of the data file past Length() (-1 when it cannot be measured).
    int64_t Pending() const;
    // Cuts the data file back to Length() and puts its position there; false (logged) on failure.
    bool Rewind();
    // The pending bytes (exactly `size` of them) now belong to a recorded file; their writing to the
    // disk is started.
    void Extend(uint64_t size);
    // The files are no longer this object's to remove.
    void Release();

private:
    StagedData(std::string index, Vorn::UniqueFd data) : m_Index(std::move(index)), m_Data(std::move(data)) {}

    std::string m_Index;
    Vorn::UniqueFd m_Data;
    uint64_t m_Length = 0;
    bool m_Owned = true;
};

}  // namespace Quor::FileSystem::Impl
