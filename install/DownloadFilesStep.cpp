#include "install/DownloadFilesStep.h"

#include <fcntl.h>

#include <array>
#include <cerrno>
#include <memory>
#include <string>

#include "archive/ManagedFileHelper.h"
#include "common/ConvertVersion.h"
#include "common/EntryPlacement.h"
#include "common/ErrorCodes.h"
#include "common/Log.h"
#include "common/StreamDecode.h"
#include "common/SystemErrorText.h"
#include "common/TreePath.h"
#include "install/DownloadManager.h"
#include "install/GetFileUsingPackage.h"
#include "install/HashingWriter.h"
#include "install/TemporaryFileReaper.h"
#include "install/UpdateAndInstallShared.h"
#include "remote/AutoTemporaryFile.h"

namespace Quor::User::UpdateAndInstallShared {

namespace {

using Common::ReleaseManifest;
using DownloadPath = DownloadManager::DownloadPath;
using DownloadedFile = DownloadManager::DownloadedFile;

// How long the consumer waits for the worker at most before it looks again.
constexpr DWORD kWorkWaitMilliseconds = 1000;

// The passes, each over the failures of the one before. Every pass checks what it placed.
struct PassKind {
    bool ignoreCompressed;
    bool packages;
    const char* failure;
};
constexpr std::array<PassKind, 3> kPasses{{
    {false, true, "Failed unrecoverably in the first download/extract attempt."},
    {false, false, "Failed unrecoverably in the second download/extract attempt."},
    {true, false, "Failed unrecoverably in the third and final download attempt."},
}};

const char* YesNo(bool value) { return value ? "true" : "false"; }

// One pass: its options, what it reads and what it fills in.
class Pass {
public:
    Pass(bool ignoreCompressed, const ReleaseManifest& manifest, std::vector<DownloadPath>& failed,
         Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress)
        : m_IgnoreCompressed(ignoreCompressed),
          m_Manifest(manifest),
          m_Failed(failed),
          m_FileSystem(fileSystem),
          m_Progress(progress) {}

    void Process(DownloadedFile& item);
    // Writes the archives while the result holds, then deletes every source handed to them: a pass
    // that failed or was cancelled leaves none in {root}/temp (the job's end drops what they queued).
    void FinishArchives();

    HRESULT m_Result = S_OK;

private:
    // Decodes the download into output (named target in the log) and tells whether the decoded
    // bytes match the entry's MD5.
    HRESULT Expand(const DownloadedFile& item, Vorn::UniqueFd output, const std::string& target, bool& matches);
    // An archived file to expand, decoded straight into its archive pair and kept there only when
    // its MD5 matches. False when the archive does not take it that way (nothing was done); then
    // `refused` holds S_OK, or the failure that AddFile would give too (already logged).
    bool ExpandIntoArchive(const DownloadedFile& item, const DownloadPath& path, HRESULT& refused);
    HRESULT Decode(const std::string& source, const ReleaseManifest::ENTRY& entry, HashingWriter& writer);
    bool Move(DownloadedFile& item);
    // Whether a file placed as it came is a good copy of the entry (keptCompressedForm: the
    // compressed form fetched, kept so on disk).
    bool Check(const std::string& target, const ReleaseManifest::ENTRY& entry, bool keptCompressedForm);

    bool m_IgnoreCompressed;
    const ReleaseManifest& m_Manifest;
    std::vector<DownloadPath>& m_Failed;
    Common::LocalFileSystem& m_FileSystem;
    AutoUpdateProgress& m_Progress;
    std::vector<std::string> m_ArchivedSources;
};

// The file the decoded bytes go to, never reached through a link.
Vorn::UniqueFd OpenOutput(const std::string& path) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC;
    if (Common::TreePath::Contains(path)) return Common::TreePath::OpenFile(path, kFlags);
    return Vorn::UniqueFd(::open(path.c_str(), kFlags | O_NOFOLLOW | O_CLOEXEC, 0666));
}

HRESULT Pass::Expand(const DownloadedFile& item, Vorn::UniqueFd output, const std::string& target, bool& matches) {
    const ReleaseManifest::ENTRY& entry = *item.m_Entry;
    const std::string& downloaded = item.m_TemporaryFile->GetPath();
    QUOR_LOG(Log::DEBUG, "Got a compressed file to unzip from the queue: ftpfile:\"%s.compressed\", Tempfile:\"%s\" ",
             item.m_RemotePath.c_str(), downloaded.c_str());
    AutoUpdateProgress::AutoTimer timer(m_Progress, WORK_TYPE_DISK_ACCESS);
    HRESULT hr = E_FAIL;
    if (entry.flags & (ReleaseManifest::FLAG_ZLIB | ReleaseManifest::FLAG_LZMA)) {
        if (!output.IsValid()) {
            QUOR_LOG(Log::ERROR, "Failed to open \"%s\" for writing: %s", target.c_str(),
                     Common::SystemErrorText(errno).c_str());
        } else {
            HashingWriter writer(std::move(output));
            hr = Decode(downloaded, entry, writer);
            if (!writer.Close() && SUCCEEDED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to close \"%s\"", target.c_str());
                hr = E_FAIL;
            }
            matches = SUCCEEDED(hr) && writer.Matches(entry.md5);
        }
    } else {
        QUOR_LOG(Log::ERROR, "Unrecognized compression");
    }
    timer.DeltaBytesCompleted(static_cast<int64_t>(entry.size) + entry.compressedSize);
    return hr;
}

HRESULT Pass::Decode(const std::string& source, const ReleaseManifest::ENTRY& entry, HashingWriter& writer) {
    using Common::StreamDecode::Codec;
    const Codec codec = (entry.flags & ReleaseManifest::FLAG_ZLIB) ? Codec::kZlib : Codec::kLzma;
    return Common::StreamDecode::DecodeFile(source, codec, entry.size, writer);
}

bool Pass::ExpandIntoArchive(const DownloadedFile& item, const DownloadPath& path, HRESULT& refused) {
    const ReleaseManifest::ENTRY& entry = *item.m_Entry;
    ManagedFileHelper::FileWrittenInPlace placed;
    // Asked before anything is decoded: a file the archive does not take this way goes the road of
    // a decoded copy, decoded there once, and that road reports what the archive refuses.
    const HRESULT begun = placed.Begin(m_Manifest.m_ProjectName, entry.version, entry.name, entry.size);
    refused = SUCCEEDED(begun) ? S_OK : begun;
    if (begun != S_OK) return false;
    const std::string& target = placed.Where();
    bool valid = false;
    if (FAILED(Expand(item, placed.Output(), target, valid))) {
        QUOR_LOG(Log::ERROR,
                 "Failed to decompress downloaded file, adding it to the list of failed files for retry/download.");
        m_Failed.push_back(path);  // what was written is dropped with `placed`
        return true;
    }
    if (!valid) {
        QUOR_LOG(Log::WARNING, "Failed to validate file after download: %s.", target.c_str());
        m_Failed.push_back(path);
        return true;
    }
    const HRESULT added = placed.Keep();
    if (FAILED(added)) {
        QUOR_LOG(Log::ERROR, "Failed to move \"%s\" into an archive", target.c_str());
        m_Result = added;
    }
    return true;
}

bool Pass::Move(DownloadedFile& item) {
    const std::string& downloaded = item.m_TemporaryFile->GetPath();
    QUOR_LOG(Log::VERBOSE, "Got a file to move from the queue: Tempfile:\"%s\", ftpfile:\"%s\"", downloaded.c_str(),
             item.m_RemotePath.c_str());
    if (SUCCEEDED(m_FileSystem.MoveFile(downloaded, item.m_LocalPath, 3))) {
        item.m_TemporaryFile->SetKeep();  // it now is the placed file
        return true;
    }
    QUOR_LOG(Log::ERROR, "Failed to move \"%s\" to \"%s\"", downloaded.c_str(), item.m_LocalPath.c_str());
    const HRESULT copied = m_FileSystem.CopyFile(downloaded, item.m_LocalPath, false);
    if (SUCCEEDED(copied)) return true;
    QUOR_LOG(Log::ERROR,
             "Failed to copy file as well, marking download step as failed (will still attempt to complete rest of "
             "downloads)");
    m_Result = copied;
    return false;
}

bool Pass::Check(const std::string& target, const ReleaseManifest::ENTRY& entry, bool keptCompressedForm) {
    if (!keptCompressedForm) return CheckFile(target, entry, m_FileSystem, m_Progress);
    // Kept in the form fetched: its decoded bytes are hashed, nothing is written.
    HashingWriter writer;
    const bool matches = SUCCEEDED(Decode(target, entry, writer)) && writer.Matches(entry.md5);
    if (matches) QUOR_LOG(Log::VERBOSE, "Found the file \"%s\" and verified MD5.", target.c_str());
    return matches;
}

void Pass::Process(DownloadedFile& item) {
    const ReleaseManifest::ENTRY& entry = *item.m_Entry;
    const DownloadPath path{item.m_RemotePath, item.m_Entry, item.m_LocalPath};
    const bool compressedForm =
        !m_IgnoreCompressed && (entry.flags & (ReleaseManifest::FLAG_ZLIB | ReleaseManifest::FLAG_LZMA));
    const bool expand = compressedForm && !(entry.flags & ReleaseManifest::FLAG_STORED_COMPRESSED);
    const bool archived = Common::PlaceOf(entry) == Common::EntryPlace::kArchived;
    // Written once: decoded into the archive's own data file, nothing to copy at the flush. When the
    // archive cannot be changed at all, the copy's road reports that failure without asking again.
    HRESULT refused = S_OK;
    if (archived && expand && ExpandIntoArchive(item, path, refused)) return;

    // The one file the bytes end in: the local path, or for an archived file the file the archive
    // stores from (a second temporary file when the download is expanded into it).
    std::shared_ptr<Common::AutoTemporaryFile> archiveSource;
    std::string target = item.m_LocalPath;
    if (archived && expand) {
        HRESULT created = S_OK;
        archiveSource = std::make_shared<Common::AutoTemporaryFile>(m_FileSystem, created);
        if (FAILED(created)) {
            QUOR_LOG(Log::ERROR, "Failed to create a secondary temporary file for decompression.");
            m_Failed.push_back(path);  // retried by the next pass
            return;
        }
    } else if (archived) {
        archiveSource = item.m_TemporaryFile;
    }
    if (archiveSource) target = archiveSource->GetPath();

    bool valid = false;
    if (expand) {
        // Decoded once, into its place, and checked while it is written.
        if (FAILED(Expand(item, OpenOutput(target), target, valid))) {
            QUOR_LOG(Log::ERROR,
                     "Failed to decompress downloaded file, adding it to the list of failed files for retry/download.");
            if (!archived) m_FileSystem.DeleteFile(target);  // no partial file stays in place
            m_Failed.push_back(path);
            return;
        }
    } else if (!archived && !Move(item)) {
        return;
    } else {
        valid = Check(target, entry, compressedForm);
    }

    if (!valid) {
        QUOR_LOG(Log::WARNING, "Failed to validate file after download: %s.", target.c_str());
        // A bad copy never stays where readers look; an archive source dies with its owner.
        if (!archived && Common::LocalFileSystem::DoesFileOrDirectoryExist(target)) m_FileSystem.DeleteFile(target);
        m_Failed.push_back(path);
        return;
    }

    if (archived) {
        const HRESULT added = FAILED(refused) ? refused
                                              : ManagedFileHelper::AddFile(m_Manifest.m_ProjectName, entry.version,
                                                                           entry.name, target);
        if (FAILED(added)) {
            QUOR_LOG(Log::ERROR, "Failed to move \"%s\" into an archive", target.c_str());
            m_Result = added;
            return;
        }
        archiveSource->SetKeep();  // read by the archive at the flush, deleted after it
        m_ArchivedSources.push_back(target);
    }
}

void Pass::FinishArchives() {
    if (SUCCEEDED(m_Result)) {
        const HRESULT flushed = ManagedFileHelper::Flush(0);
        if (FAILED(flushed)) {
            QUOR_LOG(Log::ERROR, "Failed to write files to archives.");
            m_Result = flushed;
        }
    }
    if (SUCCEEDED(m_Result) && !m_ArchivedSources.empty() && Common::IsCancelRequested(m_Progress.GetCancelFlag())) {
        QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
        m_Result = E_ABORT;
    }
    for (const std::string& source : m_ArchivedSources) {
        if (FAILED(m_Result) && !Common::LocalFileSystem::DoesFileOrDirectoryExist(source)) continue;
        const HRESULT deleted = m_FileSystem.DeleteFile(source);
        if (FAILED(deleted)) {
            QUOR_LOG(Log::ERROR, "Failed to delete source file after adding to archive file: \"%s\"", source.c_str());
            if (SUCCEEDED(m_Result)) m_Result = deleted;
        }
    }
    m_ArchivedSources.clear();
}

HRESULT DownloadAndExtractFiles(const bool ignoreCompressed, const bool validate, const bool packages,
                                const ReleaseManifest& manifest, const std::vector<DownloadPath>& paths,
                                std::vector<DownloadPath>& failed, IRemoteFileServer& server,
                                Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress,
                                GetFileUsingPackage& packageGetter) {
    QUOR_LOG(Log::DEBUG, "(ignoreCompressed: %s, validate: %s, packages: %s)", YesNo(ignoreCompressed),
             YesNo(validate), YesNo(packages));
    DownloadManager manager(paths, server, fileSystem, progress, !ignoreCompressed,
                            packages ? &packageGetter : nullptr);
    if (FAILED(manager.GetResult())) {
        // No worker runs: nothing will ever be queued.
        QUOR_LOG(Log::ERROR, "The download worker did not start");
        return manager.GetResult();
    }
    Pass pass(ignoreCompressed, manifest, failed, fileSystem, progress);
    TemporaryFileReaper reaper;  // every download is deleted before the pass returns
    for (;;) {
        DownloadedFile item;
        manager.Lock();
        const bool popped = !manager.IsQueueEmpty();
        if (popped) item = manager.PopDownloadedFile();
        const bool done = manager.IsDone();
        manager.Unlock();
        if (popped) {
            pass.Process(item);
            reaper.Add(std::move(item.m_TemporaryFile));
        } else if (done) {
            break;
        } else {
            manager.WaitForWork(kWorkWaitMilliseconds);
        }
    }
    // A worker that stopped early (cancelled, no temporary file) left files untried: the pass fails.
    const HRESULT worker = manager.GetResult();
    if (SUCCEEDED(pass.m_Result) && FAILED(worker))
        pass.m_Result = Common::IsCancelRequested(progress.GetCancelFlag()) ? E_ABORT : worker;
    pass.FinishArchives();
    manager.Lock();
    failed.insert(failed.end(), manager.GetFailed().begin(), manager.GetFailed().end());
    manager.Unlock();
    return pass.m_Result;
}

}  // namespace

HRESULT DownloadFilesStep(const std::vector<FileToDownload>& files, const ReleaseManifest& manifest,
                          IRemoteFileServer& server, Common::LocalFileSystem& fileSystem,
                          AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    if (Common::IsCancelRequested(progress.GetCancelFlag())) {
        QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
        return E_ABORT;
    }
    const std::string release = server.GetDownloadPath() + "/projects/" + manifest.m_ProjectName + "/releases/";
    std::vector<DownloadPath> paths;
    paths.reserve(files.size());
    for (const FileToDownload& file : files)
        paths.push_back({release + Common::ConvertVersion::ToString(file.m_Entry->version) + "/files/" +
                             file.m_Entry->name,
                         file.m_Entry, file.m_LocalPath});
    if (paths.empty()) return S_OK;

    // Declared first so that it dies last: its bins serve the whole first pass.
    GetFileUsingPackage packages(release + Common::ConvertVersion::ToString(manifest.m_ReleaseVersion) +
                                     "/packages/files/",
                                 server, fileSystem, progress);
    // lists[i]: what pass i fetches; lists[i + 1]: what it leaves for the next one.
    std::vector<DownloadPath> lists[kPasses.size() + 1];
    lists[0] = std::move(paths);
    HRESULT hr = S_OK;
    for (size_t i = 0; i < kPasses.size() && !lists[i].empty(); ++i) {
        const PassKind& kind = kPasses[i];
        if (i == 1) {
            progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, GetDownloadPathSize(lists[i], false));
            progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, GetExtractSize(lists[i]));
        } else if (i == 2) {
            // The last pass fetches plain forms and expands nothing.
            progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, GetDownloadPathSize(lists[i], true));
            progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, -static_cast<int64_t>(GetExtractSize(lists[i])));
        }
        hr = DownloadAndExtractFiles(kind.ignoreCompressed, true, kind.packages, manifest, lists[i], lists[i + 1],
                                     server, fileSystem, progress, packages);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "%s", kind.failure);
            return hr;
        }
    }
    const std::vector<DownloadPath>& missing = lists[kPasses.size()];
    if (!missing.empty()) {
        QUOR_LOG(Log::WARNING, "Failed to download or extract the following files after several attempts:");
        for (const DownloadPath& path : missing) QUOR_LOG(Log::ERROR, " * %s", path.m_RemotePath.c_str());
        QUOR_LOG(Log::ERROR, "Could not download or extract all required files, aborting update.");
        return E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED;
    }
    QUOR_LOG(Log::DEBUG, "Downloaded and extracted all files successfully");
    return hr;
}

}  // namespace Quor::User::UpdateAndInstallShared
