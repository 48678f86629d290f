#pragma once
// Quor::User::DownloadManager: fetches a list of server files on a worker thread.
//
// DownloadPath names one file to fetch: its full server path without a compression suffix, its
// manifest entry (owned by a manifest that outlives the download) and the local path where it
// must end up; a file no release-manifest entry describes (a patch) has no entry and carries the
// size the download total counts for it and the most bytes its fetch may bring instead. Failure
// lists are vectors of it.
//
// One manager serves one download pass: the constructor starts the worker, which fetches every
// path in list order into a temporary file of its own (through the package getter when one is
// given, else directly) and appends it to a first-in first-out queue, or the path to the failure
// list when the fetch failed; then it sets done. When the server offers several downloads in
// flight (IRemoteFileServer::CreateFileTransfers), the worker keeps that many direct fetches
// going, started in list order, and appends each file as its fetch ends (so the queue is in the
// order the fetches ended); a file to be cut from a bin not yet downloaded waits until the
// fetches in flight have ended, and the bin then comes alone. Otherwise one fetch follows the
// other. The consumer (the constructing thread) locks the
// mutex, reads IsQueueEmpty/IsDone, pops with PopDownloadedFile and unlocks; it may wait on the
// ready event, which the worker sets after each append and when it is done. A negative GetResult
// means the worker did not start (done is never set), saw a cancellation, or could not create a
// temporary file: files not yet started at that point are in neither list (the fetches already in
// flight still end in one of them).
// Threads: the mutex (non-recursive) guards the queue and the failure list; the stop flag and done
// are atomic. The destructor raises stop (every transfer of the worker, bin downloads included,
// then fails at its next progress call), joins the worker for up to 5 s and deletes the temporary
// files that only the queue still owns. The caller keeps the path list, the server, the file
// system, the progress object and the package getter alive and unchanged for the manager's life.
#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "foundation/Mutex.h"
#include "foundation/ThreadAnnotations.h"
#include "foundation/Types.h"
#include "remote/AutoTemporaryFile.h"
#include "remote/IRemoteFileServer.h"

namespace Vorn {
class Event;
class Thread;
}  // namespace Vorn

namespace Quor::User {

class GetFileUsingPackage;

class DownloadManager {
public:
    struct DownloadPath {
        std::string m_RemotePath;
        const Common::ReleaseManifest::ENTRY* m_Entry = nullptr;
        std::string m_LocalPath;
        // Without an entry: the announced size (-1: unknown) and the most bytes (-1: no bound).
        int64_t m_Announced = -1;
        int64_t m_Maximum = -1;
    };

    // One fetched file: the path's three fields and the temporary file holding its bytes (deleted
    // with its last owner unless marked kept).
    struct DownloadedFile {
        std::string m_RemotePath;
        const Common::ReleaseManifest::ENTRY* m_Entry = nullptr;
        std::string m_LocalPath;
        std::shared_ptr<Common::AutoTemporaryFile> m_TemporaryFile;
    };

    DownloadManager(const std::vector<DownloadPath>& paths, IRemoteFileServer& server,
                    Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress, bool compressedNames,
                    GetFileUsingPackage* const packages);
    ~DownloadManager();
    DownloadManager(const DownloadManager&) = delete;
    DownloadManager& operator=(const DownloadManager&) = delete;

    // The remote path, with ".compressed" (flag 0x04) or else ".lzma2" (flag 0x20) when compressed
    // names are on.
    std::string GetRemoteFileName(const DownloadPath& path) const;
    // What the download total counts for fetching the path in that form; the path's own
    // m_Announced without an entry.
    int64_t AnnouncedSize(const DownloadPath& path) const;
    // The most bytes the fetch of the path in that form may bring: the announced size, plus the
    // container header for the LZMA form; the path's own m_Maximum without an entry. A longer body
    // is cut there and the file fails.
    int64_t MaximumSize(const DownloadPath& path) const;

    // The consumer's access; the caller holds the mutex (Lock/Unlock) around these.
    void Lock() ACQUIRE(*m_Mutex);
    void Unlock() RELEASE(*m_Mutex);
    bool IsQueueEmpty() const REQUIRES(*m_Mutex) { return m_Finished.empty(); }
    bool IsDone() const { return m_Done.load(); }
    // Takes the front element out; the queue must not be empty.
    DownloadedFile PopDownloadedFile() REQUIRES(*m_Mutex);
    const std::vector<DownloadPath>& GetFailed() const REQUIRES(*m_Mutex) { return m_Failed; }

    // Waits until the worker appended something or ended, at most ms milliseconds.
    void WaitForWork(DWORD ms);
    // S_OK while the worker works or after it walked the whole list; see the header comment.
    HRESULT GetResult() const { return m_Result.load(); }

    ULONG ThreadProc();

private:
    static uint32_t ThreadStart(void* manager);
    bool CheckCancellation();
    // The main pass, one fetch after another / several in flight.
    void FetchOneByOne();
    void FetchInFlight(Common::IFileTransfers& transfers);
    // Before the next fetch: the progress item, the stop and cancellation checks, and the
    // temporary file; null when the pass is to end.
    std::shared_ptr<Common::AutoTemporaryFile> PrepareFetch(const DownloadPath& path);
    void Append(const DownloadPath& path, HRESULT fetched, std::shared_ptr<Common::AutoTemporaryFile> file,
                const std::string& remoteName) EXCLUDES(*m_Mutex);

    std::shared_ptr<Vorn::Mutex> m_Mutex;
    std::atomic<HRESULT> m_Result{S_OK};
    const std::vector<DownloadPath>& m_Paths;
    IRemoteFileServer& m_Server;
    Common::LocalFileSystem& m_FileSystem;
    AutoUpdateProgress& m_Progress;
    bool m_CompressedNames;
    std::deque<DownloadedFile> m_Finished GUARDED_BY(*m_Mutex);
    std::vector<DownloadPath> m_Failed GUARDED_BY(*m_Mutex);
    std::atomic<bool> m_Done{false};
    GetFileUsingPackage* m_Packages;
    std::shared_ptr<Vorn::Event> m_Ready;  // auto-reset; set after each append and at the end
    std::shared_ptr<Vorn::Thread> m_Thread;
    std::atomic<bool> m_Stop{false};
};

}  // namespace Quor::User
