#include "install/PatchFilesStep.h"

#include <memory>

#include "archive/ManagedFileHelper.h"
#include "common/AutoUpdateProgressHelper.h"
#include "common/ConvertVersion.h"
#include "common/EntryPlacement.h"
#include "common/LZMA.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/LzmaContainer.h"
#include "common/ReleaseManifest.h"
#include "common/ZLibHelper.h"
#include "install/ArchiveFlush.h"
#include "install/GetFileUsingPackage.h"
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
using Temporary = std::unique_ptr<AutoTemporaryFile>;

bool CancelRequested(AutoUpdateProgress& progress) {
    if (!Common::IsCancelRequested(progress.GetCancelFlag())) return false;
    QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
    return true;
}

// A fresh temporary file in {root}/temp, or null (logged with `what`).
Temporary MakeTemporary(Common::LocalFileSystem& fileSystem, const char* what, HRESULT& hr) {
    auto file = std::make_unique<AutoTemporaryFile>(fileSystem, hr);
    if (SUCCEEDED(hr)) return file;
    QUOR_LOG(Log::ERROR, "%s", what);
    return nullptr;
}

HRESULT Expand(const std::string& from, const std::string& to, bool zlib) {
    return zlib ? Common::ZLibHelper::DecompressFile(from, to) : Common::LZMA::DecompressFile(from, to);
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

HRESULT Patch(const std::string& original, const std::string& patch, const std::string& output, const ENTRY* source,
              const ENTRY& target, const PatchManifest::ENTRY& patchEntry, AutoUpdateProgress& progress) {
    AutoUpdateProgress::AutoTimer timer(progress, WORK_TYPE_DISK_ACCESS);
    const HRESULT hr = Common::BinaryPatch::Apply(original, patch, output);
    timer.DeltaBytesCompleted(static_cast<int64_t>(target.size) + (source ? source->size : 0) + patchEntry.size);
    return hr;
}

// Moves a finished temporary file to its place, making the place's folder when it is missing.
HRESULT Place(AutoTemporaryFile& file, const std::string& path, Common::LocalFileSystem& fileSystem) {
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = path.substr(0, slash);
        if (!fileSystem.DoesFileOrDirectoryExist(folder)) {
            const HRESULT made = fileSystem.CreateDirectory(folder);
            if (FAILED(made)) return made;
        }
    }
    const HRESULT hr = fileSystem.MoveFile(file.GetPath(), path, 3);
    if (SUCCEEDED(hr)) file.SetKeep();
    return hr;
}

// What one item needs besides its work record.
struct Item {
    const std::string& projectPath;
    const std::string& project;
    const PatchManifest& manifest;
    Common::LocalFileSystem& fileSystem;
    AutoUpdateProgress& progress;
};

// The old file the patch starts from, as a plain file: sourcePath, which may be the temporary file
// held in `holder`; empty for a new file. deploy tells whether it lies in a deploy folder.
HRESULT FindSource(const Item& item, const FileToPatch& file, std::string& sourcePath, bool& deploy,
                   Temporary& holder) {
    deploy = false;
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
        sourcePath = item.projectPath + "/managedfiles/" + entryVersion + "/" + source->name;
    } else if (sourcePlace == Common::EntryPlace::kArchived) {
        // Extracted into a temporary file of its own: nothing is written into the archive folder.
        holder = MakeTemporary(item.fileSystem, "Failed to create temporary file for extraction", hr);
        if (!holder) return hr;
        hr = ManagedFileHelper::ExtractFile(item.project, source->version, source->name, 0, holder->GetPath());
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to extract the source file to create the patch");
            return hr;
        }
        sourcePath = holder->GetPath();
    } else {
        const DWORD release = (file.m_Kind & FileToPatch::KIND_IN_PLACE) ? item.manifest.m_DestinationReleaseVersion
                                                                          : item.manifest.m_SourceReleaseVersion;
        sourcePath = item.projectPath + "/releases/" + ConvertVersion::ToString(release) + "/deploy/" + source->name;
        deploy = true;
        return S_OK;
    }
    if (!(source->flags & ReleaseManifest::FLAG_STORED_COMPRESSED)) return S_OK;
    Temporary expanded = MakeTemporary(item.fileSystem, "Failed to create temporary file for decompression", hr);
    if (!expanded) return hr;
    if (!(source->flags & (ReleaseManifest::FLAG_ZLIB | ReleaseManifest::FLAG_LZMA))) {
        QUOR_LOG(Log::ERROR, "Compression format not specified");
        return E_FAIL;
    }
    hr = Expand(sourcePath, expanded->GetPath(), (source->flags & ReleaseManifest::FLAG_ZLIB) != 0);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to decompress source file");
        return hr;
    }
    sourcePath = expanded->GetPath();
    holder = std::move(expanded);
    return S_OK;
}

// Rebuilds one file from the fetched patch (null when the entry has no differences; a new file's
// whole content otherwise). archivedPath receives the target path when the file went into its
// archive (to delete after the flush).
HRESULT ApplyPatch(const Item& item, Temporary& patch, const FileToPatch& file, std::string& archivedPath) {
    const std::string patchFile = patch ? patch->GetPath() : std::string();
    QUOR_LOG(Log::DEBUG, "(%s, %s)", patchFile.c_str(), file.m_LocalPath.c_str());
    if (CancelRequested(item.progress)) return E_ABORT;
    const ENTRY& target = *file.m_TargetEntry;
    const PatchManifest::ENTRY& patchEntry = *file.m_PatchEntry;
    const std::string& targetPath = file.m_LocalPath;
    const bool noDifferences = (patchEntry.flags & PatchManifest::FLAG_NO_DIFF) != 0;

    std::string sourcePath;
    bool deploy = false;
    Temporary source;
    HRESULT hr = FindSource(item, file, sourcePath, deploy, source);
    if (FAILED(hr)) return hr;
    QUOR_LOG(Log::DEBUG, "srcFullPath: %s", sourcePath.c_str());
    if (CancelRequested(item.progress)) return E_ABORT;

    // In place: the old file is the target itself. A target kept compressed goes the other way,
    // which expands nothing and compresses the checked result over the old file.
    const bool inPlace = deploy && (file.m_Kind & FileToPatch::KIND_IN_PLACE) &&
                         !(target.flags & (ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED |
                                           ReleaseManifest::FLAG_STORED_COMPRESSED)) &&
                         sourcePath == targetPath;
    if (inPlace) {
        if (noDifferences) {
            QUOR_LOG(Log::DEBUG, "No action required.  Patching a deploy folder file, in place, with no differences.");
            return CheckDigest(targetPath, target);
        }
        Temporary patched = MakeTemporary(item.fileSystem, "Failed to get temporary file name.", hr);
        if (!patched) return hr;
        hr = Patch(targetPath, patchFile, patched->GetPath(), file.m_SourceEntry, target, patchEntry, item.progress);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to apply patch to temporary file.");
            return hr;
        }
        // The old file stays until its replacement has been checked.
        hr = CheckDigest(patched->GetPath(), target);
        if (FAILED(hr)) return hr;
        hr = item.fileSystem.MoveFile(patched->GetPath(), targetPath, 3);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to move patched file.");
            return hr;
        }
        patched->SetKeep();
        QUOR_LOG(Log::DEBUG, "Succesfully applied patch to deploy file");
        return S_OK;
    }

    // Elsewhere the result is built in a temporary file (a new file's is the fetched one) and
    // reaches the target path only once it matched.
    Temporary output;
    if (!noDifferences && (file.m_Kind & FileToPatch::KIND_NEW_FILE)) {
        output = std::move(patch);
    } else {
        output = MakeTemporary(item.fileSystem, "Failed to create temporary file for dest", hr);
        if (!output) return hr;
        if (noDifferences) {
            hr = item.fileSystem.CopyFile(sourcePath, output->GetPath(), false);
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to copy file with no differences");
                return hr;
            }
        } else {
            hr = Patch(sourcePath, patchFile, output->GetPath(), file.m_SourceEntry, target, patchEntry,
                       item.progress);
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to apply patch.");
                return hr;
            }
        }
    }
    hr = CheckDigest(output->GetPath(), target);
    if (FAILED(hr)) return hr;

    if (target.flags & ReleaseManifest::FLAG_STORED_COMPRESSED) {
        Temporary packed = MakeTemporary(item.fileSystem, "Failed to create temporary file for dest", hr);
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
    hr = Place(*output, targetPath, item.fileSystem);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to apply patch.");
        return hr;
    }
    if (Common::PlaceOf(target) == Common::EntryPlace::kArchived) {
        hr = ManagedFileHelper::AddFile(item.project, target.version, target.name, targetPath);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to move \"%s\" into an archive", targetPath.c_str());
            item.fileSystem.DeleteFile(targetPath);
            return hr;
        }
        archivedPath = targetPath;
    }
    return S_OK;
}

// Fetches the item's patch into `patch`, expanded when it comes compressed.
HRESULT FetchPatch(const Item& item, GetFileUsingPackage& fetcher, const std::string& remotePath,
                   const PatchManifest::ENTRY& entry, Temporary& patch) {
    HRESULT hr = S_OK;
    Temporary fetched = MakeTemporary(item.fileSystem, "Failed to create temporary file for downloading patch.", hr);
    if (!fetched) return hr;
    // Bounded by the size the patch manifest gives for the form served (plus the LZMA container's
    // header); a size of 0 or 1 is what a line without one reads as, and bounds nothing.
    const int64_t served = static_cast<int32_t>(entry.size);
    const int64_t maximum =
        served > 1 ? served + ((entry.flags & PatchManifest::FLAG_LZMA)
                                   ? static_cast<int64_t>(Common::LzmaContainer::kHeaderSize)
                                   : 0)
                   : -1;
    hr = fetcher.GetFile(remotePath, fetched->GetPath(), nullptr, entry.size, maximum);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to download patch file: %s", remotePath.c_str());
        return hr;
    }
    if (entry.flags & (PatchManifest::FLAG_ZLIB | PatchManifest::FLAG_LZMA)) {
        Temporary expanded =
            MakeTemporary(item.fileSystem, "Failed to create temporary file for downloading patch.", hr);
        if (!expanded) return hr;
        {
            AutoUpdateProgress::AutoTimer timer(item.progress, WORK_TYPE_DISK_ACCESS);
            hr = Expand(fetched->GetPath(), expanded->GetPath(), (entry.flags & PatchManifest::FLAG_ZLIB) != 0);
            timer.DeltaBytesCompleted(2 * static_cast<int64_t>(entry.size));
        }
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to decompress patch file");
            return hr;
        }
        fetched = std::move(expanded);
    }
    patch = std::move(fetched);
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
    for (const FileToPatch& file : files)
        if (!(file.m_PatchEntry->flags & PatchManifest::FLAG_NO_DIFF))
            fetcher.WeIntendToDownloadThisFile(server.GetDownloadPath() +
                                               Common::GetRemoteFilePath(project, *file.m_PatchEntry));

    const Item item{projectPath, project, manifest, fileSystem, progress};
    std::vector<std::string> archived;
    for (const FileToPatch& file : files) {
        const PatchManifest::ENTRY& entry = *file.m_PatchEntry;
        const std::string remotePath = server.GetDownloadPath() + Common::GetRemoteFilePath(project, entry);
        AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, file.m_LocalPath);
        progress.Tick(0);

        Temporary patch;
        std::string archivedPath;
        if (CancelRequested(progress)) {
            hr = E_ABORT;
        } else if (entry.flags & PatchManifest::FLAG_NO_DIFF) {
            QUOR_LOG(Log::DEBUG, "No differences detected, skipping download");
            hr = S_OK;
        } else {
            hr = FetchPatch(item, fetcher, remotePath, entry, patch);
        }
        if (SUCCEEDED(hr)) {
            hr = ApplyPatch(item, patch, file, archivedPath);
            if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Applying the downloaded patch failed");
        }
        if (FAILED(hr)) {
            QUOR_LOG(Log::DEBUG, "Failed to patch \"%s\" so will attempt to download it", file.m_LocalPath.c_str());
            toDownload.push_back({file.m_TargetEntry, file.m_LocalPath});
            continue;
        }
        if (!archivedPath.empty()) archived.push_back(archivedPath);
    }

    return FlushArchivesAndDeleteSources(archived, fileSystem);
}

}  // namespace Quor::User::UpdateAndInstallShared
