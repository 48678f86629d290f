#pragma once
// Quor::User::RemoteFileServerHTTP: the content server over one HTTP connection.
//
// Files: GetFile makes up to three attempts inside the connection; GetFileSize up to three tries,
// reconnecting after each failed one (a missing file is success with size 0; a size past 32 bits
// fails with E_FAIL at once, without a retry).
// Releases: a release counts for a region when the region has a listing of its own
// ("releaselisting_" + region), or else when the general listing names it and the marker
// region + "_OK" stands in the release's folder. The result is sorted ascending with what the
// vector held before. The region-free operations read "Region" from the system settings at every
// call. An empty region, or one that cannot stand as one file name, is refused with E_FAIL
// before anything is requested.
// Patches: the first candidate source release (the given one, or else the installed releases from
// the release installation) whose patch manifest exists on the server.
// Transfers: CreateFileTransfers offers `transfersInFlight` downloads at once over as many
// connections of their own made like the shared one (HTTPTransfers); with 1 it offers none and
// every file comes through the shared connection, one after another.
// Ownership: shares its connection with whoever made it. One thread at a time; no lock.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "common/LocalFileSystem.h"
#include "remote/HTTPConnection.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User {

class RemoteFileServerHTTP final : public IRemoteFileServer {
public:
    // Downloads in flight that a job of the kernel asks for, each on a keep-alive connection: on a
    // distant server every small file costs a round trip, and n in flight wait for about 1/n of
    // them (2,000 small files 50 ms away: 100 s one by one, about 8 s with 12), while a dozen
    // connections stay a modest load on the server.
    static constexpr unsigned kJobTransfersInFlight = 12;

    // Makes its own connection (port 80, below 1 KiB/s for 30 s counts as stalled, no https, no
    // authentication); result is the connection's.
    RemoteFileServerHTTP(HRESULT& result, const std::string& address, unsigned transfersInFlight = 1);
    explicit RemoteFileServerHTTP(const std::shared_ptr<Common::HTTPConnection>& connection,
                                  unsigned transfersInFlight = 1);
    ~RemoteFileServerHTTP() = default;

    HRESULT GetFile(const std::string& remotePath, const std::string& localPath,
                    Common::IGetFileProgressCallback* const callback, const bool flag) override;
    HRESULT GetFileSize(const std::string& remotePath, DWORD& size) override;
    // While *stop is true every transfer of the connection is aborted (HTTPConnection::SetStopFlag;
    // null: no flag). The flag is the caller's and must outlive the object.
    void SetStopFlag(const std::atomic<bool>* stop) {
        if (m_connection) m_connection->SetStopFlag(stop);
    }
    // Whether the last GetFile's body was confirmed whole (HTTPConnection::LastBodyLengthConfirmed).
    bool LastFileLengthConfirmed() const { return m_connection && m_connection->LastBodyLengthConfirmed(); }
    const std::string& GetDownloadPath() override;
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
    std::unique_ptr<Common::IFileTransfers> CreateFileTransfers() override;

private:
    std::shared_ptr<Common::HTTPConnection> m_connection;
    Common::LocalFileSystem m_fileSystem;
    unsigned m_transfersInFlight = 1;
};

}  // namespace Quor::User
