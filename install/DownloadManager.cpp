#include "install/DownloadManager.h"

#include <map>
#include <optional>

#include "common/AutoUpdateProgressHelper.h"
#include "common/Log.h"
#include "common/LzmaContainer.h"
#include "common/Win32Helper.h"
#include "foundation/Event.h"
#include "foundation/Mutex.h"
#include "foundation/Thread.h"
#include "foundation/WaitResult.h"
#include "install/DownloadFilesGetFileProgressCallback.h"
#include "install/GetFileUsingPackage.h"

namespace Quor::User {

namespace {
constexpr DWORD kJoinMilliseconds = 5000;
}  // namespace

DownloadManager::DownloadManager(const std::vector<DownloadPath>& paths, IRemoteFileServer& server,
                                 Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress,
                                 bool compressedNames, GetFileUsingPackage* const packages)
    : m_Mutex(Vorn::Mutex::Create(false)),
      m_Paths(paths),
      m_Server(server),
      m_FileSystem(fileSystem),
      m_Progress(progress),
      m_CompressedNames(compressedNames),
      m_Packages(packages),
      m_Ready(Vorn::Event::Create(false, false)) {
    if (m_Ready) m_Thread = Vorn::threadCreate(&DownloadManager::ThreadStart, this);
    if (!m_Thread) {
        QUOR_LOG(Log::ERROR, "Failed to create thread.");
        m_Result = E_FAIL;
    }
}

DownloadManager::~DownloadManager() {
    m_Stop = true;
    if (m_Thread && Vorn::threadJoin(m_Thread, kJoinMilliseconds) == Vorn::WAIT_TIMEOUT) {
        QUOR_LOG(Log::ERROR, "Thread did not terminate, calling threadTeminate (Thread Id: 0x%08lx).",
                 static_cast<unsigned long>(Common::Win32Helper::GetThreadId(m_Thread)));
        if (!Vorn::threadTerminate(m_Thread, 0)) QUOR_LOG(Log::ERROR, "threadTerminate failed.");
    }
    m_Thread.reset();
}

uint32_t DownloadManager::ThreadStart(void* manager) {
    static_cast<DownloadManager*>(manager)->ThreadProc();
    return 0;
}

std::string DownloadManager::GetRemoteFileName(const DownloadPath& path) const {
    if (!m_CompressedNames || !path.m_Entry) return path.m_RemotePath;
    const DWORD flags = path.m_Entry->flags;
    if (flags & Common::ReleaseManifest::FLAG_ZLIB) return path.m_RemotePath + ".compressed";
    if (flags & Common::ReleaseManifest::FLAG_LZMA) return path.m_RemotePath + ".lzma2";
    return path.m_RemotePath;
}

// The bytes the download total counts for fetching this path in the form GetRemoteFileName names:
// the compressed size for a compressed form, else the size; the path's own without an entry.
int64_t DownloadManager::AnnouncedSize(const DownloadPath& path) const {
    if (!path.m_Entry) return path.m_Announced;
    const Common::ReleaseManifest::ENTRY& entry = *path.m_Entry;
    const bool compressedForm =
        m_CompressedNames && (entry.flags & (Common::ReleaseManifest::FLAG_ZLIB | Common::ReleaseManifest::FLAG_LZMA));
    return compressedForm ? entry.compressedSize : entry.size;
}

int64_t DownloadManager::MaximumSize(const DownloadPath& path) const {
    if (!path.m_Entry) return path.m_Maximum;
    const int64_t announced = AnnouncedSize(path);
    if (announced < 0) return -1;
    const std::string remote = GetRemoteFileName(path);
    const bool lzmaForm = remote.size() > path.m_RemotePath.size() &&
                          remote.compare(path.m_RemotePath.size(), std::string::npos, ".lzma2") == 0;
    return lzmaForm ? announced + static_cast<int64_t>(Common::LzmaContainer::kHeaderSize) : announced;
}

void DownloadManager::Lock() { m_Mutex->Lock(); }
void DownloadManager::Unlock() { m_Mutex->Unlock(); }

DownloadManager::DownloadedFile DownloadManager::PopDownloadedFile() {
    DownloadedFile front = std::move(m_Finished.front());
    m_Finished.pop_front();
    return front;
}

void DownloadManager::WaitForWork(DWORD ms) {
    if (m_Ready) m_Ready->Wait(ms);
}

bool DownloadManager::CheckCancellation() {
    if (Common::IsCancelRequested(m_Progress.GetCancelFlag())) {
        m_Result = E_FAIL;
        QUOR_LOG(Log::ERROR, "Cancellation detected, aborting");
        return true;
    }
    m_Result = S_OK;
    return false;
}

void DownloadManager::Append(const DownloadPath& path, HRESULT fetched,
                             std::shared_ptr<Common::AutoTemporaryFile> file, const std::string& remoteName) {
    m_Mutex->Lock();
    if (FAILED(fetched)) {
        QUOR_LOG(Log::ERROR, "Failed to download \"%s\".", remoteName.c_str());
        m_Failed.push_back(path);
    } else {
        m_Finished.push_back({path.m_RemotePath, path.m_Entry, path.m_LocalPath, std::move(file)});
    }
    m_Mutex->Unlock();
    m_Ready->Set();
}

std::shared_ptr<Common::AutoTemporaryFile> DownloadManager::PrepareFetch(const DownloadPath& path) {
    // A manager being destroyed fetches nothing more: its consumer is gone.
    if (FAILED(m_Result.load()) || m_Stop.load()) return nullptr;
    AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(m_Progress, path.m_RemotePath);
    m_Progress.Tick(0);
    if (CheckCancellation()) return nullptr;
    HRESULT created = S_OK;
    auto file = std::make_shared<Common::AutoTemporaryFile>(m_FileSystem, created);
    if (FAILED(created)) {
        m_Result = created;
        QUOR_LOG(Log::ERROR, "Failed to create temporary file for download");
        return nullptr;
    }
    return file;
}

void DownloadManager::FetchOneByOne() {
    for (const DownloadPath& path : m_Paths) {
        std::shared_ptr<Common::AutoTemporaryFile> file = PrepareFetch(path);
        if (!file) break;
        const std::string remoteName = GetRemoteFileName(path);
        HRESULT fetched;
        if (m_Packages) {
            fetched = m_Packages->GetFile(remoteName, file->GetPath(), &m_Stop, AnnouncedSize(path), MaximumSize(path));
        } else {
            AutoUpdateProgress::AutoTimer timer(m_Progress, WORK_TYPE_DOWNLOAD);
            DownloadFilesGetFileProgressCallback callback(&timer, &m_Stop, AnnouncedSize(path), MaximumSize(path));
            fetched = m_Server.GetFile(remoteName, file->GetPath(), &callback, false);
        }
        if (FAILED(fetched)) file.reset();  // deletes the partial download now
        Append(path, fetched, std::move(file), remoteName);
    }
}

void DownloadManager::FetchInFlight(Common::IFileTransfers& transfers) {
    // One fetch in flight: its path (by index), file, remote name and byte listener.
    struct Fetch {
        std::shared_ptr<Common::AutoTemporaryFile> file;
        std::string remoteName;
        std::unique_ptr<DownloadFilesGetFileProgressCallback> callback;
    };
    std::map<size_t, Fetch> inFlight;
    std::vector<Common::IFileTransfers::Ended> ended;
    // One timer while fetches overlap: the bytes of all of them are download work of this thread.
    std::optional<AutoUpdateProgress::AutoTimer> timer;
    size_t next = 0;
    bool ending = false;
    while (true) {
        while (!ending && next < m_Paths.size() && transfers.Running() < transfers.Capacity()) {
            const DownloadPath& path = m_Paths[next];
            const std::string remoteName = GetRemoteFileName(path);
            // A bin comes alone: what is in flight ends first.
            if (m_Packages && transfers.Running() > 0 && m_Packages->WouldDownloadBin(remoteName)) break;
            std::shared_ptr<Common::AutoTemporaryFile> file = PrepareFetch(path);
            if (!file) {
                ending = true;
                break;
            }
            ++next;
            HRESULT fetched = E_FAIL;
            if (m_Packages && transfers.Running() == 0) timer.reset();  // the bin's own timer counts alone
            if (m_Packages && m_Packages->TryGetFileFromBin(remoteName, file->GetPath(), &m_Stop, fetched)) {
                if (FAILED(fetched)) file.reset();
                Append(path, fetched, std::move(file), remoteName);
                continue;
            }
            if (!timer) timer.emplace(m_Progress, WORK_TYPE_DOWNLOAD);
            auto callback = std::make_unique<DownloadFilesGetFileProgressCallback>(&*timer, &m_Stop,
                                                                                  AnnouncedSize(path), MaximumSize(path));
            fetched = transfers.Start(next - 1, remoteName, file->GetPath(), callback.get());
            if (FAILED(fetched)) {
                file.reset();
                Append(path, fetched, nullptr, remoteName);
                continue;
            }
            inFlight[next - 1] = Fetch{std::move(file), remoteName, std::move(callback)};
        }
        if (transfers.Running() == 0) {
            if (ending || next >= m_Paths.size()) break;
            continue;  // a bin waited for the fetches in flight
        }
        ended.clear();
        transfers.Run(ended);
        for (const Common::IFileTransfers::Ended& one : ended) {
            auto it = inFlight.find(one.id);
            if (it == inFlight.end()) continue;
            Fetch fetch = std::move(it->second);
            inFlight.erase(it);
            if (FAILED(one.result)) fetch.file.reset();  // deletes the partial download now
            Append(m_Paths[one.id], one.result, std::move(fetch.file), fetch.remoteName);
        }
    }
}

ULONG DownloadManager::ThreadProc() {
    QUOR_LOG(Log::DEBUG, "()");
    if (m_Packages) {
        for (const DownloadPath& path : m_Paths) {
            if (FAILED(m_Result.load()) || m_Stop.load() || CheckCancellation()) break;
            m_Packages->WeIntendToDownloadThisFile(GetRemoteFileName(path));
        }
    }
    std::unique_ptr<Common::IFileTransfers> transfers;
    if (!m_Paths.empty() && SUCCEEDED(m_Result.load())) transfers = m_Server.CreateFileTransfers();
    if (transfers)
        FetchInFlight(*transfers);
    else
        FetchOneByOne();
    m_Done = true;
    m_Ready->Set();
    return 0;
}

}  // namespace Quor::User
