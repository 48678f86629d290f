#include "install/PatchFilesStep.h"

#include <map>
#include <memory>

#include "archive/ManagedFileHelper.h"
#include "common/AutoUpdateProgressHelper.h"
#include "common/ConvertVersion.h"
#include "common/DiskFlush.h"
#include "common/EntryPlacement.h"
#include "common/LZMA.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/LzmaContainer.h"
#include "common/ReleaseManifest.h"
#include "common/ZLibHelper.h"
#include "install/ArchiveFlush.h"
#include "install/DownloadManager.h"
#include "install/GetFileUsingPackage.h"
#include "install/PatchWorkers.h"
#include "remote/AutoTemporaryFile.h"
#include "remote/MD5Helper.h"
#include "remote/patch/BinaryPatch.h"

namespace Quor::User::UpdateAndInstallShared {

namespace {

using Common::AutoTemporaryFile;
using Common::ConvertVersion;
using Common::PatchManifest;
using Common::ReleaseManifest;
using ENTRY = ReleaseManifest::ENTRY;
using Temporary = std::shared_ptr<AutoTemporaryFile>;
using DownloadPath = DownloadManager::DownloadPath;

bool CancelRequested(AutoUpdateProgress& progress) {
    if (!Common::IsCancelRequested(progress.GetCancelFlag())) return false;
    QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
    return true;
}

// A fresh temporary file in {root}/temp, or null (logged with `what`).
Temporary MakeTemporary(Common::LocalFileSystem& fileSystem, const char* what, HRESULT& hr) {
    auto file = std::make_shared<AutoTemporaryFile>(fileSystem, hr);
    if (SUCCEEDED(hr)) return file;
    QUOR_LOG(Log::ERROR, "%s", what);
    return nullptr;
}

HRESULT Expand(const std::string& from, const std::string& to, bool zlib, uint64_t maxBytes = UINT64_MAX) {
    return zlib ? Common::ZLibHelper::DecompressFile(from, to, maxBytes)
                : Common::LZMA::DecompressFile(from, to, maxBytes);
}

// Compares the file's MD5 with the target entry's.
HRESULT CheckDigest(const std::string& path, const ENTRY& target) {
    bool equal = false;
    if (FAILED(Common::MD5Helper::VerifyFileMD5(path, target.md5, equal))) {
        QUOR_LOG(Log::DEBUG, "Failed to compute MD5 after applying a patch.");
        return E_FAIL;
    }
    if (!equal) {
        QUOR_LOG(Log::ERROR, "Applied a patch, but the MD5 does not match!");
        return E_FAIL;
    }
    return S_OK;
}

// The result may not pass the target's size.
HRESULT Patch(const std::string& original, const std::string& patch, const std::string& output, const ENTRY& target,
              bool& ran) {
    ran = true;
    return Common::BinaryPatch::Apply(original, patch, output, target.size);
}

// What the step's work needs besides the file's own record.
struct Item {
    const std::string& projectPath;
    const std::string& project;
    const PatchManifest& manifest;
    Common::LocalFileSystem& fileSystem;
    AutoUpdateProgress& progress;  // the job thread's only: workers never touch it
};

// One file on its way through the step: prepared on the job thread, rebuilt on a worker, ended on
// the job thread again, in list order.
struct Work {
    explicit Work(const FileToPatch& item) : file(item) {}

    const FileToPatch& file;
    Temporary patch;          // the fetched (expanded) patch; null when the entry has no differences
    Temporary sourceHolder;   // an extracted archived source, while the item lasts
    std::string sourcePath;   // the old file, empty for a new file
    DWORD expandSource = 0;   // FLAG_ZLIB or FLAG_LZMA: sourcePath holds the old file compressed
    bool inPlace = false;
    bool prepared = false;    // fetched and prepared: a failure from here on is the patch's
    bool settled = false;     // its fetch is over and it was handed to a worker or failed
    bool handed = false;
    size_t ticket = 0;
    // The worker's:
    HRESULT hr = S_OK;
    bool patchRan = false;    // the patch tool ran: its bytes are counted as done
    bool placed = false;      // a file was moved to the target path
};

// The old file the patch starts from: sourcePath (an extracted archived copy is held in
// work.sourceHolder) and, for a managed or archived copy kept compressed, how to expand it (on the
// worker); empty for a new file. deploy tells whether it lies in a deploy folder.
HRESULT FindSource(const Item& item, Work& work, bool& deploy) {
    deploy = false;
    const FileToPatch& file = work.file;
    if (file.m_Kind & FileToPatch::KIND_NEW_FILE) return S_OK;
    const ENTRY* source = file.m_SourceEntry;
    if (!source) {
        QUOR_LOG(Log::ERROR, "No source entry for \"%s\"", file.m_LocalPath.c_str());
        return E_FAIL;
    }
    HRESULT hr = S_OK;
    // A managed or archived copy lies under the version of its own entry, which may be older
    // than the release patched from.
    const std::string entryVersion = ConvertVersion::ToString(source->version);
    const Common::EntryPlace sourcePlace = Common::PlaceOf(*source);
    if (sourcePlace == Common::EntryPlace::kManaged) {
        work.sourcePath = item.projectPath + "/managedfiles/" + entryVersion + "/" + source->name;
    } else if (sourcePlace == Common::EntryPlace::kArchived) {
        // Extracted into a temporary file of its own: nothing is written into the archive folder.
        work.sourceHolder = MakeTemporary(item.fileSystem, "Failed to create temporary file for extraction", hr);
        if (!work.sourceHolder) return hr;
        hr = ManagedFileHelper::ExtractFile(item.project, source->version, source->name, 0,
                                            work.sourceHolder->GetPath());
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to extract the source file to create the patch");
            return hr;
        }
        work.sourcePath = work.sourceHolder->GetPath();
    } else {
        const DWORD release = (file.m_Kind & FileToPatch::KIND_IN_PLACE) ? item.manifest.m_DestinationReleaseVersion
                                                                          : item.manifest.m_SourceReleaseVersion;
        work.sourcePath =
            item.projectPath + "/releases/" + ConvertVersion::ToString(release) + "/deploy/" + source->name;
        deploy = true;
        return S_OK;
    }
    if (!(source->flags & ReleaseManifest::FLAG_STORED_COMPRESSED)) return S_OK;
    if (!(source->flags & (ReleaseManifest::FLAG_ZLIB | ReleaseManifest::FLAG_LZMA))) {
        QUOR_LOG(Log::ERROR, "Compression format not specified");
        return E_FAIL;
    }
    work.expandSource = (source->flags & ReleaseManifest::FLAG_ZLIB) ? ReleaseManifest::FLAG_ZLIB
                                                                     : ReleaseManifest::FLAG_LZMA;
    return S_OK;
}

// The job thread's part of applying one patch: the checks for cancellation, the old file, the
// target's folder. The rest is Rebuild's, on a worker.
HRESULT Prepare(const Item& item, Work& work) {
    const FileToPatch& file = work.file;
    const std::string patchFile = work.patch ? work.patch->GetPath() : std::string();
    QUOR_LOG(Log::DEBUG, "(%s, %s)", patchFile.c_str(), file.m_LocalPath.c_str());
    if (CancelRequested(item.progress)) return E_ABORT;
    bool deploy = false;
    HRESULT hr = FindSource(item, work, deploy);
    if (FAILED(hr)) return hr;
    QUOR_LOG(Log::DEBUG, "srcFullPath: %s", work.sourcePath.c_str());
    if (CancelRequested(item.progress)) return E_ABORT;

    // In place: the old file is the target itself. A target kept compressed goes the other way,
    // which expands nothing and compresses the checked result over the old file.
    const ENTRY& target = *file.m_TargetEntry;
    work.inPlace = deploy && (file.m_Kind & FileToPatch::KIND_IN_PLACE) &&
                   !(target.flags & (ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED |
                                     ReleaseManifest::FLAG_STORED_COMPRESSED)) &&
                   work.sourcePath == file.m_LocalPath;
    if (work.inPlace) return S_OK;
    // The target's folder is made here, one thread at a time.
    const std::string& path = file.m_LocalPath;
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = path.substr(0, slash);
        if (!item.fileSystem.DoesFileOrDirectoryExist(folder)) {
            hr = item.fileSystem.CreateDirectory(folder);
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to apply patch.");
                return hr;
            }
        }
    }
    return S_OK;
}

// Moves a finished, checked temporary file to its place. Its bytes were handed to the disk's
// writeback when it was written; they are made durable with every other file of the release by
// the flush that comes before the release's completion mark.
HRESULT Place(AutoTemporaryFile& file, const std::string& path, Common::LocalFileSystem& fileSystem) {
    const HRESULT hr = fileSystem.MoveFile(file.GetPath(), path, 3);
    if (SUCCEEDED(hr)) file.SetKeep();
    return hr;
}

// The worker's part: rebuilds the file from its patch (none when the entry has no differences;
// a new file's whole content otherwise), checks it against the target entry's MD5 and moves it to
// the target path. Nothing unchecked ever reaches the target path. Touches no progress and no
// archive; a worker does not test the cancellation flag (the job thread did before handing over).
HRESULT Rebuild(Common::LocalFileSystem& fileSystem, Work& work) {
    const FileToPatch& file = work.file;
    const ENTRY& target = *file.m_TargetEntry;
    const PatchManifest::ENTRY& patchEntry = *file.m_PatchEntry;
    const std::string& targetPath = file.m_LocalPath;
    const bool noDifferences = (patchEntry.flags & PatchManifest::FLAG_NO_DIFF) != 0;
    const std::string patchFile = work.patch ? work.patch->GetPath() : std::string();
    HRESULT hr = S_OK;

    std::string sourcePath = work.sourcePath;
    Temporary expandedSource;
    if (work.expandSource) {
        expandedSource = MakeTemporary(fileSystem, "Failed to create temporary file for decompression", hr);
        if (!expandedSource) return hr;
        hr = Expand(sourcePath, expandedSource->GetPath(), work.expandSource == ReleaseManifest::FLAG_ZLIB);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to decompress source file");
            return hr;
        }
        sourcePath = expandedSource->GetPath();
    }

    if (work.inPlace) {
        if (noDifferences) {
            QUOR_LOG(Log::DEBUG, "No action required.  Patching a deploy folder file, in place, with no differences.");
            return CheckDigest(targetPath, target);
        }
        Temporary patched = MakeTemporary(fileSystem, "Failed to get temporary file name.", hr);
        if (!patched) return hr;
        hr = Patch(targetPath, patchFile, patched->GetPath(), target, work.patchRan);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to apply patch to temporary file.");
            return hr;
        }
        // The old file stays until its replacement has been checked; the writing out of the
        // replacement starts meanwhile.
        Common::StartFlushToDisk(patched->GetPath());
        hr = CheckDigest(patched->GetPath(), target);
        if (FAILED(hr)) return hr;
        hr = Place(*patched, targetPath, fileSystem);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to move patched file.");
            return hr;
        }
        work.placed = true;
        QUOR_LOG(Log::DEBUG, "Succesfully applied patch to deploy file");
        return S_OK;
    }

    // Elsewhere the result is built in a temporary file (a new file's is the fetched one) and
    // reaches the target path only once it matched.
    Temporary output;
    if (!noDifferences && (file.m_Kind & FileToPatch::KIND_NEW_FILE)) {
        output = std::move(work.patch);
    } else {
        output = MakeTemporary(fileSystem, "Failed to create temporary file for dest", hr);
        if (!output) return hr;
        if (noDifferences) {
            hr = fileSystem.CopyFile(sourcePath, output->GetPath(), false);
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to copy file with no differences");
                return hr;
            }
        } else {
            hr = Patch(sourcePath, patchFile, output->GetPath(), target, work.patchRan);
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to apply patch.");
                return hr;
            }
        }
    }
    const bool placedAsItIs = !(target.flags & ReleaseManifest::FLAG_STORED_COMPRESSED) &&
                              Common::PlaceOf(target) != Common::EntryPlace::kArchived;
    if (placedAsItIs) Common::StartFlushToDisk(output->GetPath());
    hr = CheckDigest(output->GetPath(), target);
    if (FAILED(hr)) return hr;

    if (target.flags & ReleaseManifest::FLAG_STORED_COMPRESSED) {
        Temporary packed = MakeTemporary(fileSystem, "Failed to create temporary file for dest", hr);
        if (!packed) return hr;
        if (target.flags & ReleaseManifest::FLAG_ZLIB) {
            hr = Common::ZLibHelper::CompressFile(output->GetPath(), packed->GetPath(), 0);
        } else if (target.flags & ReleaseManifest::FLAG_LZMA) {
            hr = Common::LZMA::CompressFile(output->GetPath(), packed->GetPath(), 0);
        } else {
            QUOR_LOG(Log::ERROR, "Missing compression type");
            return E_FAIL;
        }
        if (FAILED(hr)) return hr;
        output = std::move(packed);
    }
    hr = Place(*output, targetPath, fileSystem);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to apply patch.");
        return hr;
    }
    work.placed = true;
    return S_OK;
}

// How long the job thread waits for the next fetched patch at most before it looks whether the
// worker of the next file to end has returned.
constexpr DWORD kArrivalWaitMilliseconds = 10;

// The fetch of a patch: its server path, bounded by the size the patch manifest gives for the
// form served (plus the LZMA container's header); a size of 0 or 1 is what a line without one
// reads as, and bounds nothing.
DownloadPath PatchDownload(const std::string& remotePath, const FileToPatch& file) {
    const PatchManifest::ENTRY& entry = *file.m_PatchEntry;
    const int64_t served = static_cast<int32_t>(entry.size);
    const int64_t maximum =
        served > 1 ? served + ((entry.flags & PatchManifest::FLAG_LZMA)
                                   ? static_cast<int64_t>(Common::LzmaContainer::kHeaderSize)
                                   : 0)
                   : -1;
    DownloadPath path{remotePath, nullptr, file.m_LocalPath};
    path.m_Announced = entry.size;
    path.m_Maximum = maximum;
    return path;
}

// Expands a fetched patch that comes compressed (to no more than a patch for the target can
// hold); `patch` then holds the expanded one.
HRESULT ExpandPatch(const Item& item, const PatchManifest::ENTRY& entry, const ENTRY& target, Temporary& patch) {
    if (!(entry.flags & (PatchManifest::FLAG_ZLIB | PatchManifest::FLAG_LZMA))) return S_OK;
    HRESULT hr = S_OK;
    Temporary expanded = MakeTemporary(item.fileSystem, "Failed to create temporary file for downloading patch.", hr);
    if (!expanded) return hr;
    {
        AutoUpdateProgress::AutoTimer timer(item.progress, WORK_TYPE_DISK_ACCESS);
        hr = Expand(patch->GetPath(), expanded->GetPath(), (entry.flags & PatchManifest::FLAG_ZLIB) != 0,
                    Common::BinaryPatch::MaxPatchBytes(target.size));
        timer.DeltaBytesCompleted(2 * static_cast<int64_t>(entry.size));
    }
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to decompress patch file");
        return hr;
    }
    patch = std::move(expanded);
    return S_OK;
}

}  // namespace

HRESULT PatchFilesStep(const std::vector<FileToPatch>& files, std::vector<FileToDownload>& toDownload,
                       const std::string& project, const PatchManifest& manifest, IRemoteFileServer& server,
                       Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    if (CancelRequested(progress)) return E_ABORT;
    if (files.empty()) return S_OK;
    std::string projectPath;
    HRESULT hr = Common::LocalDirectoryStructure::GetProjectPath(project, projectPath);
    if (FAILED(hr)) return hr;

    const std::string base = server.GetDownloadPath() + "/projects/" + manifest.m_ProjectName + "/releases/" +
                             ConvertVersion::ToString(manifest.m_DestinationReleaseVersion) + "/packages/patches/" +
                             ConvertVersion::ToString(manifest.m_SourceReleaseVersion) + "/";
    GetFileUsingPackage fetcher(base, server, fileSystem, progress);

    // The patches are fetched by a download manager, several in flight when the server offers it
    // (bins through the package fetcher, which it announces every patch to first); files with no
    // differences fetch nothing. Each fetched patch is found again by its server and local paths.
    std::vector<std::unique_ptr<Work>> works;
    std::vector<DownloadPath> paths;
    std::map<std::pair<std::string, std::string>, std::vector<size_t>> fetching;
    for (const FileToPatch& file : files) {
        works.push_back(std::make_unique<Work>(file));
        if (file.m_PatchEntry->flags & PatchManifest::FLAG_NO_DIFF) continue;
        paths.push_back(
            PatchDownload(server.GetDownloadPath() + Common::GetRemoteFilePath(project, *file.m_PatchEntry), file));
        fetching[{paths.back().m_RemotePath, file.m_LocalPath}].push_back(works.size() - 1);
    }
    const auto fetchOf = [&](const std::string& remotePath, const std::string& localPath) -> Work* {
        auto it = fetching.find({remotePath, localPath});
        if (it == fetching.end() || it->second.empty()) return nullptr;
        Work* work = works[it->second.front()].get();
        it->second.erase(it->second.begin());
        return work;
    };

    const Item item{projectPath, project, manifest, fileSystem, progress};
    std::vector<std::string> archived;
    PatchWorkers workers;
    // The job thread's part of a file whose fetch is over (or that fetches nothing): the checks,
    // the expansion of its patch and its preparation; then it goes to a worker, or fails.
    const auto settle = [&](Work& work, const HRESULT fetched, Temporary patch) {
        const FileToPatch& file = work.file;
        const PatchManifest::ENTRY& entry = *file.m_PatchEntry;
        AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, file.m_LocalPath);
        progress.Tick(0);
        work.settled = true;
        if (CancelRequested(progress)) {
            work.hr = E_ABORT;
        } else if (entry.flags & PatchManifest::FLAG_NO_DIFF) {
            QUOR_LOG(Log::DEBUG, "No differences detected, skipping download");
        } else if (FAILED(fetched)) {
            QUOR_LOG(Log::ERROR, "Failed to download patch file: %s",
                     (server.GetDownloadPath() + Common::GetRemoteFilePath(project, entry)).c_str());
            work.hr = fetched;
        } else {
            work.patch = std::move(patch);
            work.hr = ExpandPatch(item, entry, *work.file.m_TargetEntry, work.patch);
        }
        if (SUCCEEDED(work.hr)) {
            work.prepared = true;
            work.hr = Prepare(item, work);
        }
        if (SUCCEEDED(work.hr)) {
            Work* handed = &work;
            handed->handed = true;
            handed->ticket = workers.Hand([handed, &fileSystem] { handed->hr = Rebuild(fileSystem, *handed); });
        }
    };
    // Files are ended in list order, so what goes to toDownload and into the archives does not
    // depend on which fetch or which worker finished first.
    const auto end = [&](Work& work) {
        const FileToPatch& file = work.file;
        if (work.handed) {
            AutoUpdateProgress::AutoTimer timer(progress, WORK_TYPE_DISK_ACCESS);
            workers.Wait(work.ticket);
            if (work.patchRan)
                timer.DeltaBytesCompleted(static_cast<int64_t>(file.m_TargetEntry->size) +
                                          (file.m_SourceEntry ? file.m_SourceEntry->size : 0) +
                                          file.m_PatchEntry->size);
        }
        if (SUCCEEDED(work.hr) && Common::PlaceOf(*file.m_TargetEntry) == Common::EntryPlace::kArchived) {
            const ENTRY& target = *file.m_TargetEntry;
            work.hr = ManagedFileHelper::AddFile(project, target.version, target.name, file.m_LocalPath);
            if (FAILED(work.hr)) {
                QUOR_LOG(Log::ERROR, "Failed to move \"%s\" into an archive", file.m_LocalPath.c_str());
                fileSystem.DeleteFile(file.m_LocalPath);
            } else {
                archived.push_back(file.m_LocalPath);
            }
        }
        if (FAILED(work.hr)) {
            if (work.prepared) QUOR_LOG(Log::ERROR, "Applying the downloaded patch failed");
            QUOR_LOG(Log::DEBUG, "Failed to patch \"%s\" so will attempt to download it", file.m_LocalPath.c_str());
            toDownload.push_back({file.m_TargetEntry, file.m_LocalPath});
        }
        work.patch.reset();
        work.sourceHolder.reset();
    };

    DownloadManager manager(paths, server, fileSystem, progress, false, &fetcher);
    // A manager that did not start fetches nothing: every patch then counts as failed to fetch.
    bool fetchesOver = FAILED(manager.GetResult());
    size_t failuresSeen = 0;
    size_t inTurn = 0;  // files before it have had their fetch settled
    size_t ended = 0;
    std::vector<DownloadManager::DownloadedFile> arrived;
    std::vector<DownloadPath> failed;
    while (ended < works.size()) {
        arrived.clear();
        failed.clear();
        if (!fetchesOver) {
            manager.Lock();
            while (!manager.IsQueueEmpty()) arrived.push_back(manager.PopDownloadedFile());
            const std::vector<DownloadPath>& failures = manager.GetFailed();
            failed.assign(failures.begin() + static_cast<std::ptrdiff_t>(failuresSeen), failures.end());
            failuresSeen = failures.size();
            fetchesOver = manager.IsDone();
            manager.Unlock();
        }
        // Each fetched patch goes to a worker as it arrives, whatever its place in the list.
        for (DownloadManager::DownloadedFile& file : arrived)
            if (Work* work = fetchOf(file.m_RemotePath, file.m_LocalPath))
                settle(*work, S_OK, std::move(file.m_TemporaryFile));
        for (const DownloadPath& path : failed)
            if (Work* work = fetchOf(path.m_RemotePath, path.m_LocalPath)) settle(*work, E_FAIL, nullptr);
        // A file that fetches nothing takes its turn once the fetches before it are settled; once
        // the manager is done, a fetch it never ended (a cancellation, no temporary file) failed.
        for (; inTurn < works.size(); ++inTurn) {
            Work& work = *works[inTurn];
            if (work.settled) continue;
            const bool fetches = !(work.file.m_PatchEntry->flags & PatchManifest::FLAG_NO_DIFF);
            if (fetches && !fetchesOver) break;
            settle(work, fetches ? E_FAIL : S_OK, nullptr);
        }
        // While patches still arrive, the job thread waits for no worker.
        while (ended < inTurn &&
               (fetchesOver || !works[ended]->handed || workers.HasReturned(works[ended]->ticket)))
            end(*works[ended++]);
        if (!fetchesOver && ended < works.size()) manager.WaitForWork(kArrivalWaitMilliseconds);
    }

    // The results become durable with the rest of the release, by the flush that comes before its
    // completion mark.
    return FlushArchivesAndDeleteSources(archived, fileSystem);
}

}  // namespace Quor::User::UpdateAndInstallShared
