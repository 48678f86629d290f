#pragma once
// File checks and manifest look-ups shared by installation and update: is a good copy of a
// manifest entry already on disk, which entry has a given name, and how many bytes a work list
// costs to download and to expand.
//
// Free functions without state; they run on the job thread of the calling operation, take every
// object they use as an argument and do not lock. The checks never throw; CheckFile and
// CheckFileFast answer false for any failure (deleting the copy where said), and
// DoesFileExistWithCorrectMD5 returns a failure only when a temporary file cannot be made or a
// digest cannot be computed. Byte counts are 32-bit sums, as the progress totals take them.
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"
#include "install/DownloadManager.h"
#include "install/WorkLists.h"

namespace Quor::User::UpdateAndInstallShared {

// Creates (or empties) the completion mark "S_OK" at okPath; the mark is written last, so its
// presence says that every file of the release was checked. First flushes the file system that
// holds the mark's folder, so that the files the mark vouches for last a power cut; when that
// fails (logged by the flush) no mark is made and the failure is returned. Otherwise logs nothing.
HRESULT CreateOkFile(const std::string& okPath);

// True when the file at path is a good installed copy of entry (MD5 of the plain content). A copy
// kept compressed (0x10) is expanded to be checked; a plain leftover of such an entry that matches
// is compressed in place and accepted. A missing file gives false and nothing else; a wrong digest
// gives false and keeps the file; any other failure deletes the file.
bool CheckFile(const std::string& path, const Common::ReleaseManifest::ENTRY& entry,
               Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

// True when the file at path has the entry's stored size (compressed size for 0x10); a file of
// another size, or one whose size cannot be read, is deleted.
bool CheckFileFast(const std::string& path, const Common::ReleaseManifest::ENTRY& entry,
                   Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

// Whether the copy that release `version` of project would use for entry (in the archive pair of
// the entry's version, in managedfiles/, or in the release's deploy folder) exists and is good.
// Sets valid to true for a good copy; for an archived copy that is bad or cannot be read, sets
// valid to false and archivedCopyBad to true. valid is otherwise left as the caller set it;
// archivedCopyBad starts false.
HRESULT DoesFileExistWithCorrectMD5(const std::string& project, const DWORD version,
                                    const Common::ReleaseManifest::ENTRY& entry,
                                    Common::LocalFileSystem& fileSystem, bool& valid, bool& archivedCopyBad);

// The entry of that name (without regard to case) in a manifest sorted by name; null when absent.
// Several entries of the name: an ERROR line and the first.
const Common::ReleaseManifest::ENTRY* FindManifestEntry(const Common::ReleaseManifest& manifest,
                                                        const std::string& name);

// Bytes to fetch: the compressed size for entries fetched compressed (0x04 or 0x20), else the size.
DWORD GetDownloadSize(const std::vector<FileToDownload>& files);
// plainSizes: every entry's size; otherwise as GetDownloadSize.
DWORD GetDownloadPathSize(const std::vector<DownloadManager::DownloadPath>& files, bool plainSizes);
// size + compressed size of every entry fetched compressed and expanded on disk (not 0x10).
DWORD GetExtractSize(const std::vector<DownloadManager::DownloadPath>& files);

}  // namespace Quor::User::UpdateAndInstallShared
