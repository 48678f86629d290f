#pragma once
// Quor::User::ManagedFileHelper: the one door to the archive pairs of installed projects.
//
// - One archive manager per (project, release version), on the folder
//   {root}/projects/{project}/filearchives/{a.b.c.d}, made on first use and cached until Release;
//   project names compare without regard to case (the first caller's spelling names the folder)
//   and must be plain folder names.
// - Readers lock a stored file (LockFile) and get the data file's path (archive folder, "\" and
//   data-file name; the foundation's file functions read "\" as "/"), the offset and size of its
//   bytes and a global handle numbered 1, 2, 3, ... per process; the pair is not rewritten until
//   UnlockFile. A lock entry keeps its manager alive, also after Release.
// - ExtractFile copies a stored file (zlib: flag 0x01, LZMA: flag 0x02, zlib when both) to a
//   destination, or, with an empty destination, to archive folder/path, never outside the folder.
// - FileWrittenInPlace stores a file by writing it straight into its archive pair
//   (IManager::BeginAddInPlace): no copy of it is made at the flush. What it wrote is dropped
//   unless Keep succeeded, and until the next Flush writes the pair no reader sees it.
// - Flush rewrites the changed pairs of every cached manager; a manager that fails does not keep
//   the others from being written.
// - Results are HRESULTs with one ERROR log line per failure. No lock anywhere: the caches, the
//   handle table and the progress pointer are process-wide and unsynchronised, so callers enter
//   the helper from one thread at a time (the kernel's request worker).
#include <cstdint>
#include <memory>
#include <string>

#include "archive/IManager.h"
#include "common/AutoUpdateProgress.h"
#include "foundation/Types.h"
#include "foundation/UniqueFd.h"

namespace Quor::User::ManagedFileHelper {

// ExtractFile flags: how the stored bytes are compressed.
constexpr DWORD kStoredZLib = 0x01;
constexpr DWORD kStoredLZMA = 0x02;

HRESULT GetFileSystemManager(const std::string& project, DWORD version, std::shared_ptr<FileSystem::IManager>& out);
HRESULT ExtractFile(const std::string& project, DWORD version, const std::string& path, DWORD flags,
                    const std::string& destination);
HRESULT RemoveFile(const std::string& project, DWORD version, const std::string& path);
HRESULT AddFile(const std::string& project, DWORD version, const std::string& path, const std::string& source);
HRESULT ReplaceFile(const std::string& project, DWORD version, const std::string& path, const std::string& source);
bool DoesFileOrDirectoryExist(const std::string& project, DWORD version, const std::string& path);
HRESULT LockFile(const std::string& project, DWORD version, const std::string& path, std::string& archivePath,
                 uint32_t& offset, uint32_t& size, uint32_t& handle);
HRESULT UnlockFile(DWORD handle);
// True when a reader holds a lock (LockFile, not yet unlocked) on a pair of the archive folder of
// that project and version: such a pair cannot be rewritten until it is unlocked.
bool IsArchiveLocked(const std::string& project, DWORD version);
void Release();
// After a job that failed or was cancelled: every manager of the process (cached, or kept alive
// by a reader's lock) drops the changes that job queued and did not write, so that the next job
// starts from the pairs on disk.
void DiscardChanges();
// flags bit 0x01: rewrite every pair, changed or not.
HRESULT Flush(DWORD flags);

// A file being written into an archive (see the head of this file). One thread; not copyable.
class FileWrittenInPlace {
public:
    FileWrittenInPlace() = default;
    ~FileWrittenInPlace();
    FileWrittenInPlace(const FileWrittenInPlace&) = delete;
    FileWrittenInPlace& operator=(const FileWrittenInPlace&) = delete;

    // Starts storing `size` bytes under path: S_OK. S_FALSE when the archive does not take the file
    // that way (what AddFile would refuse, or no manager for the release); nothing is logged then
    // but a failure to prepare the archive, and AddFile is the caller's road. A failure when the
    // archive cannot be changed now (another writer holds it): logged as AddFile logs it, which
    // would fail alike after waiting again; the caller reports it instead of calling AddFile.
    HRESULT Begin(const std::string& project, DWORD version, const std::string& path, uint64_t size);
    // A descriptor of the caller's own (it closes it; invalid before Begin) positioned where the
    // bytes go; it shares its file position with every other one given out for this file.
    Vorn::UniqueFd Output() const;
    // The file the bytes are written into, for messages ("" before Begin).
    const std::string& Where() const { return m_Where; }
    // Queues the file as AddFile does, when exactly the size given to Begin was written; else
    // E_FAIL and the bytes are dropped. After Keep, or once this object dies, Output's
    // descriptors must no longer be written.
    HRESULT Keep();

private:
    bool End(bool keep);

    std::shared_ptr<FileSystem::IManager> m_Manager;
    std::string m_Path;
    std::string m_Where;
    Vorn::UniqueFd m_Output;
    uint64_t m_Begun = 0;  // the manager's number of this begin
};

// While it lives, Add, Delete and archive writing report to `progress`. Scopes do not nest: the
// destructor clears the pointer.
class SetAutoUpdateProgress {
public:
    explicit SetAutoUpdateProgress(AutoUpdateProgress& progress);
    ~SetAutoUpdateProgress();
    SetAutoUpdateProgress(const SetAutoUpdateProgress&) = delete;
    SetAutoUpdateProgress& operator=(const SetAutoUpdateProgress&) = delete;
};

}  // namespace Quor::User::ManagedFileHelper
