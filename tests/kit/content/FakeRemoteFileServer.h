#pragma once
// FakeRemoteFileServer: an in-process IRemoteFileServer over a folder laid out as a content
// server serves it (what quor-content writes), with the answers of RemoteFileServerHTTP: the
// release enumerations read the region's listing or else the general listing and the region
// markers, sorted ascending after what the vector held; the patch enumeration asks for the
// patch manifest of the given source, or of each installed release; a missing file has size 0.
//
// Remote paths are server paths: "/quor/projects/..." maps to <serverRoot>/quor/projects/...;
// a path with an empty, "." or ".." segment is answered as missing. Failures come back as
// E_QUOR_HTTP_CONNECTION_FAILED before any request succeeded, E_QUOR_HTTP_CONNECTION_LOST after.
// GetFile empties the local file first, writes the body in chunks and reports each chunk to the
// listener; a negative answer ends the transfer with a failure, the bytes so far left in the file.
//
// Faults, set per exact path, per form (suffix) or for all forms of a file: not found, a
// connection error, a body cut after N bytes (a failure), a corrupt body (success), a delay per
// request; and the caller's cancellation flag raised once N files were fetched.
// Records: every request ("GET <path>" or "HEAD <path>") in order, and counts per path.
//
// Threads: requests may come from any thread (one at a time, as from the download worker); the
// faults, the records and the flag are guarded by one mutex, so a test may read the records
// while a download runs. The cancellation flag is the caller's and must outlive the requests.
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "remote/IRemoteFileServer.h"

namespace QuorTest {

class FakeRemoteFileServer : public Quor::User::IRemoteFileServer {
public:
    // region: what the region-free enumerations use; empty: the system setting "Region", read at
    // every call as the HTTP server does.
    explicit FakeRemoteFileServer(const std::string& serverRoot, const std::string& downloadPath = "/quor",
                                  const std::string& region = "");
    virtual ~FakeRemoteFileServer() = default;
    FakeRemoteFileServer(const FakeRemoteFileServer&) = delete;
    FakeRemoteFileServer& operator=(const FakeRemoteFileServer&) = delete;

    HRESULT GetFile(const std::string& remotePath, const std::string& localPath,
                    Quor::Common::IGetFileProgressCallback* const callback, const bool flag) override;
    HRESULT GetFileSize(const std::string& remotePath, DWORD& size) override;
    const std::string& GetDownloadPath() override { return m_downloadPath; }
    HRESULT EnumerateAvailableSolutionReleases(const std::string& solution, std::vector<DWORD>& releases,
                                               const unsigned int maxCount) override;
    HRESULT EnumerateAvailableSolutionReleasesForRegion(const std::string& solution, const std::string& region,
                                                        std::vector<DWORD>& releases,
                                                        const unsigned int maxCount) override;
    HRESULT EnumerateAvailableProjectReleases(const std::string& project, std::vector<DWORD>& releases,
                                              const unsigned int maxCount) override;
    HRESULT EnumerateAvailableProjectReleasesForRegion(const std::string& project, const std::string& region,
                                                       std::vector<DWORD>& releases,
                                                       const unsigned int maxCount) override;
    HRESULT EnumerateAvailablePatches(const std::string& project, const DWORD release, std::vector<DWORD>& patches,
                                      const DWORD sourceRelease) override;

    // Faults. A path names one server file exactly ("/quor/.../files/a.txt.compressed").
    void FailPath(const std::string& remotePath);            // not found
    void FailFile(const std::string& remotePath);            // not found in every form (plain, .compressed, .lzma2, .z)
    void FailForm(const std::string& suffix);                // not found: every path ending in suffix
    void FailConnection(const std::string& remotePath);      // a transport failure, GET and HEAD
    void CutBody(const std::string& remotePath, size_t bytes);  // body ends after `bytes`: a failure
    void CorruptBody(const std::string& remotePath);         // one byte of the body changed: success
    void ClearFaults();
    void SetDelay(std::chrono::milliseconds perRequest);
    // Sets *flag to 1 once `files` GetFile calls succeeded (of paths containing `containing`).
    void CancelAfterFiles(size_t files, signed char* flag, const std::string& containing = "");
    void SetChunkSize(size_t bytes);  // default 64 KiB; at least 1

    // Records.
    std::vector<std::string> RequestLog() const;          // "GET <path>", "HEAD <path>", oldest first
    size_t RequestCount(const std::string& remotePath) const;  // GET and HEAD of exactly that path
    size_t CountContaining(const std::string& part) const;     // requests whose line contains part
    size_t FilesFetched() const;                               // GET calls that succeeded
    void ClearRecords();

private:
    enum class Fault { None, NotFound, Connection, Cut, Corrupt };
    struct Decision {
        Fault fault = Fault::None;
        size_t cutAfter = 0;
        size_t chunk = 0;
        std::chrono::milliseconds delay{0};
    };
    Decision Begin(const char* method, const std::string& remotePath);
    HRESULT Failure() const;
    void Succeeded(bool file, const std::string& remotePath);
    // The local file of a remote path, or empty when the path cannot name one.
    std::string LocalPath(const std::string& remotePath) const;
    HRESULT Exists(const std::string& remotePath, bool& exists);
    HRESULT ReadListing(const std::string& remotePath, std::vector<DWORD>& versions);
    HRESULT Enumerate(bool solution, const std::string& name, const std::string& region,
                      std::vector<DWORD>& releases, unsigned int maxCount);
    std::string Region() const;

    const std::string m_serverRoot;
    const std::string m_downloadPath;
    const std::string m_region;

    mutable std::mutex m_mutex;
    std::map<std::string, Fault> m_pathFaults;
    std::map<std::string, size_t> m_cuts;
    std::vector<std::string> m_failedForms;
    std::chrono::milliseconds m_delay{0};
    size_t m_chunk = 64 * 1024;
    signed char* m_cancelFlag = nullptr;
    size_t m_cancelAfter = 0;
    size_t m_cancelCounted = 0;
    std::string m_cancelContaining;
    std::vector<std::string> m_log;
    std::map<std::string, size_t> m_counts;
    size_t m_filesFetched = 0;
    bool m_anySucceeded = false;
};

}  // namespace QuorTest
