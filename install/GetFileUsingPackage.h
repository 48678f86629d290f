#pragma once
// Quor::User::GetFileUsingPackage: serves the files of one download step from the release's
// package bins where that pays, else fetches them one by one.
//
// The constructor fetches root + "packagemanifest"; without one (missing, unreadable, invalid)
// every file is fetched directly and nothing is reported beyond the log. Users first announce every
// file they will fetch (WeIntendToDownloadThisFile, full server path with its suffix), then fetch
// each through GetFile. A bin is downloaded once, when its announced files make up at least three
// quarters of it, into a temporary file kept until the object dies; files are cut out of that copy.
// A bin whose transfer, temporary file or cut failed is bypassed for good (direct fetches).
// Progress totals are corrected as bins are marked, and grow by what a failed bin download
// brought (its files then come one by one). Every transfer of GetFile honours the stop flag
// it is given. Not shared between threads: one thread at a time, no lock.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/Log.h"
#include "common/LocalFileSystem.h"
#include "foundation/Types.h"
#include "remote/IRemoteFileServer.h"
#include "remote/NorripPackage.h"
#include "remote/PackageManifest.h"

namespace Quor::User {

class GetFileUsingPackage {
public:
    struct Bin {
        std::string m_Name;
        DWORD m_UsedBytes = 0;  // lengths of the announced files of this bin
        NorripPackage m_Package;
        HRESULT m_Result = S_OK;  // negative: bypassed for good
        bool m_MarkedForDownload = false;
        DWORD m_Size = 0;  // the bin's size in the package manifest, once marked
    };

    GetFileUsingPackage(const std::string& root, IRemoteFileServer& server, Common::LocalFileSystem& fileSystem,
                        AutoUpdateProgress& progress);
    ~GetFileUsingPackage();
    GetFileUsingPackage(const GetFileUsingPackage&) = delete;
    GetFileUsingPackage& operator=(const GetFileUsingPackage&) = delete;

    void WeIntendToDownloadThisFile(const std::string& remotePath);
    // Writes the file at remotePath into localPath from its bin or directly; the result of the path
    // taken. While *stop is raised every transfer made here fails (null: no flag). announced: the
    // bytes the caller counted in the download total for a direct fetch (negative: unknown); a
    // longer body is not counted as downloaded. maximum: the most bytes a direct fetch may bring
    // (negative: no bound); a longer body fails the fetch. A bin is bounded by its size in the
    // package manifest, the package manifest by its size on the server.
    HRESULT GetFile(const std::string& remotePath, const std::string& localPath,
                    const std::atomic<bool>* stop = nullptr, int64_t announced = -1, int64_t maximum = -1);

    // GetFile in two halves, for a caller that fetches direct files itself (several at once):
    // TryGetFileFromBin serves the file from its bin when that is the way GetFile would take
    // (downloading the bin first when it is not there yet): true with the result; false when the
    // file is to be fetched directly, after logging so as GetFile does. WouldDownloadBin tells
    // whether TryGetFileFromBin would download a bin first.
    bool TryGetFileFromBin(const std::string& remotePath, const std::string& localPath,
                           const std::atomic<bool>* stop, HRESULT& result);
    bool WouldDownloadBin(const std::string& remotePath);

    bool HasManifest() const { return m_Manifest != nullptr; }
    // Null when the bin was never announced.
    const Bin* FindBin(const std::string& name) const;

private:
    Bin* FindBinMutable(const std::string& name);
    // The manifest entry of a server path, or false (logged at `level`) when there is none.
    bool FindEntry(const std::string& remotePath, Log::TYPE level, Common::PackageManifest::ENTRY& entry) const;
    void DownloadBin(Bin& bin, const std::atomic<bool>* stop);
    // The bin GetFile would serve the file from (marked, not bypassed), logging why not; null when
    // it is fetched directly.
    Bin* UsableBin(const std::string& remotePath, Common::PackageManifest::ENTRY& entry, bool quiet);
    static void LogBypass(const std::string& remotePath);
    HRESULT GetFileDirectly(const std::string& remotePath, const std::string& localPath,
                            const std::atomic<bool>* stop, int64_t announced, int64_t maximum);

    std::string m_Root;
    IRemoteFileServer& m_Server;
    Common::LocalFileSystem& m_FileSystem;
    AutoUpdateProgress& m_Progress;
    std::unique_ptr<Common::PackageManifest> m_Manifest;
    std::vector<Bin> m_Bins;  // sorted by name without regard to case
};

}  // namespace Quor::User
