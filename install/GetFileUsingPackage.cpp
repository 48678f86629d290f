#include "install/GetFileUsingPackage.h"

#include <algorithm>
#include <utility>

#include "common/AutoUpdateProgressHelper.h"
#include "common/FileSysHelper.h"
#include "common/ManifestFile.h"
#include "foundation/CStd/CStd.h"
#include "install/DownloadFilesGetFileProgressCallback.h"
#include "remote/AutoTemporaryFile.h"

namespace Quor::User {

namespace {

// A bin is worth downloading when the wanted files make up this much of it.
constexpr float kBinThreshold = 0.75f;

bool BinLess(const GetFileUsingPackage::Bin& bin, const std::string& name) {
    return Vorn::std_stricmp(bin.m_Name.c_str(), name.c_str()) < 0;
}

}  // namespace

GetFileUsingPackage::GetFileUsingPackage(const std::string& root, IRemoteFileServer& server,
                                         Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress)
    : m_Root(root), m_Server(server), m_FileSystem(fileSystem), m_Progress(progress) {
    QUOR_LOG(Log::DEBUG, "%s", root.c_str());
    bool loaded = false;
    HRESULT hr = S_OK;
    Common::AutoTemporaryFile temporary(m_FileSystem, hr);
    const std::string remote = m_Root + "packagemanifest";
    DWORD size = 0;
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to create temp file for manifest");
    } else if (FAILED(m_Server.GetFileSize(remote, size))) {
        QUOR_LOG(Log::DEBUG, "Package manifest not found.");
    } else {
        m_Progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, size);
        HRESULT fetched;
        {
            AutoUpdateProgress::AutoTimer timer(m_Progress, WORK_TYPE_DOWNLOAD);
            // Bounded by the size the server gave, and never beyond what the loader reads.
            const int64_t maximum = static_cast<int64_t>(
                size > 0 ? std::min<uint64_t>(size, Common::kMaxPackageManifestBytes) : Common::kMaxPackageManifestBytes);
            DownloadFilesGetFileProgressCallback callback(&timer, nullptr, size, maximum);
            fetched = m_Server.GetFile(remote, temporary.GetPath(), &callback, false);
        }
        if (FAILED(fetched)) {
            QUOR_LOG(Log::DEBUG, "Was not able to download package manifest");
        } else {
            auto manifest = std::make_unique<Common::PackageManifest>();
            if (FAILED(manifest->Load(temporary.GetPath()))) {
                QUOR_LOG(Log::ERROR, "Failed to load a downloaded package manifest");
            } else {
                m_Manifest = std::move(manifest);
                loaded = true;
                QUOR_LOG(Log::DEBUG, "Successfully downloaded package manifest");
            }
        }
    }
    if (!loaded) QUOR_LOG(Log::DEBUG, "Downloading will continue without using a package");
}

GetFileUsingPackage::~GetFileUsingPackage() = default;

const GetFileUsingPackage::Bin* GetFileUsingPackage::FindBin(const std::string& name) const {
    auto it = std::lower_bound(m_Bins.begin(), m_Bins.end(), name, BinLess);
    if (it == m_Bins.end() || Vorn::std_stricmp(it->m_Name.c_str(), name.c_str()) != 0) return nullptr;
    return &*it;
}

GetFileUsingPackage::Bin* GetFileUsingPackage::FindBinMutable(const std::string& name) {
    return const_cast<Bin*>(std::as_const(*this).FindBin(name));
}

bool GetFileUsingPackage::FindEntry(const std::string& remotePath, Log::TYPE level,
                                    Common::PackageManifest::ENTRY& entry) const {
    const std::string& prefix = m_Server.GetDownloadPath();
    if (remotePath.size() < prefix.size() ||
        Vorn::std_strnicmp(remotePath.c_str(), prefix.c_str(), static_cast<unsigned>(prefix.size())) != 0) {
        QUOR_LOG(Log::DEBUG, "Input path did not start with HTTP server root so cannot be processed");
        return false;
    }
    const std::string relative = remotePath.substr(prefix.size());
    if (FAILED(m_Manifest->FindEntry(relative, entry))) {
        QUOR_LOG(level, "Did not find \"%s\" in manifest", relative.c_str());
        return false;
    }
    return true;
}

void GetFileUsingPackage::WeIntendToDownloadThisFile(const std::string& remotePath) {
    QUOR_LOG(Log::VERBOSE, "%s", remotePath.c_str());
    if (!m_Manifest) return;
    Common::PackageManifest::ENTRY entry;
    if (!FindEntry(remotePath, Log::VERBOSE, entry)) return;

    auto it = std::lower_bound(m_Bins.begin(), m_Bins.end(), entry.bin, BinLess);
    if (it == m_Bins.end() || Vorn::std_stricmp(it->m_Name.c_str(), entry.bin.c_str()) != 0) {
        Bin fresh;
        fresh.m_Name = entry.bin;
        it = m_Bins.insert(it, std::move(fresh));
    }
    Bin& bin = *it;
    bin.m_UsedBytes += entry.length;
    const int64_t length = static_cast<int32_t>(entry.length);
    if (bin.m_MarkedForDownload) {
        m_Progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, -length);
        m_Progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, static_cast<int32_t>(2 * entry.length));
        return;
    }
    Common::PackageManifest::PACKAGE package;
    // A bin without a record, or an empty one, is never worth a download (and has no ratio).
    if (FAILED(m_Manifest->FindPackage(bin.m_Name, package)) || package.total == 0) return;
    const float ratio = static_cast<float>(bin.m_UsedBytes) / static_cast<float>(package.total);
    if (ratio < kBinThreshold) return;
    bin.m_MarkedForDownload = true;
    bin.m_Size = package.total;
    QUOR_LOG(Log::DEBUG, "Bin \"%s\" marked for download", bin.m_Name.c_str());
    m_Progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, static_cast<int32_t>(package.total - bin.m_UsedBytes));
    m_Progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, static_cast<int32_t>(2 * bin.m_UsedBytes));
}

void GetFileUsingPackage::DownloadBin(Bin& bin, const std::atomic<bool>* stop) {
    AutoUpdateProgress::AutoTimer timer(m_Progress, WORK_TYPE_DOWNLOAD);
    DownloadFilesGetFileProgressCallback callback(&timer, stop, bin.m_Size, bin.m_Size);
    const std::string address = m_Root + bin.m_Name;
    AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(m_Progress, bin.m_Name);
    DWORD transferred = 0;
    bin.m_Result = NorripPackage::StartTransfer(bin.m_Package, m_Server, m_FileSystem, address, transferred);
    if (SUCCEEDED(bin.m_Result)) return;
    QUOR_LOG(Log::DEBUG, "Failed get package with Norrip");
    if (transferred) m_Progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, transferred);
    bin.m_Package.setupTemporary(m_FileSystem, bin.m_Result);
    if (FAILED(bin.m_Result)) {
        QUOR_LOG(Log::ERROR, "Failed to create temp file");
        return;
    }
    AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(m_Progress, bin.m_Name);
    bin.m_Result = m_Server.GetFile(address, bin.m_Package.GetFullPath(), &callback, false);
    if (FAILED(bin.m_Result)) {
        QUOR_LOG(Log::ERROR, "Failed to download bin");
        // The bin's files are now fetched one by one: what came of the bin is extra download.
        if (callback.Credited()) m_Progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, callback.Credited());
    } else {
        QUOR_LOG(Log::DEBUG, "Successfully downloaded bin \"%s\"", bin.m_Package.GetFullPath().c_str());
    }
}

GetFileUsingPackage::Bin* GetFileUsingPackage::UsableBin(const std::string& remotePath,
                                                          Common::PackageManifest::ENTRY& entry, bool quiet) {
    if (!m_Manifest) return nullptr;
    if (!FindEntry(remotePath, quiet ? Log::VERBOSE : Log::DEBUG, entry)) return nullptr;
    Bin* bin = FindBinMutable(entry.bin);
    if (!bin) {
        if (!quiet) QUOR_LOG(Log::DEBUG, "Did not have any information about bin");
        return nullptr;
    }
    if (!bin->m_MarkedForDownload) {
        if (!quiet)
            QUOR_LOG(Log::VERBOSE,
                     "Found the file in package manifest, but not enough of bin is used so it is not marked for "
                     "download (\"%s\", %s)",
                     entry.name.c_str(), bin->m_Name.c_str());
        return nullptr;
    }
    if (FAILED(bin->m_Result)) {
        if (!quiet) QUOR_LOG(Log::VERBOSE, "A previous error occurred on the bin, so we have to bypass");
        return nullptr;
    }
    return bin;
}

bool GetFileUsingPackage::WouldDownloadBin(const std::string& remotePath) {
    Common::PackageManifest::ENTRY entry;
    const Bin* bin = UsableBin(remotePath, entry, true);
    return bin && !bin->m_Package.IsReady();
}

bool GetFileUsingPackage::TryGetFileFromBin(const std::string& remotePath, const std::string& localPath,
                                            const std::atomic<bool>* stop, HRESULT& result) {
    QUOR_LOG(Log::DEBUG, "(\"%s\", \"%s\")", remotePath.c_str(), localPath.c_str());
    Common::PackageManifest::ENTRY entry;
    Bin* bin = UsableBin(remotePath, entry, false);
    if (bin) {
        if (!bin->m_Package.IsReady()) DownloadBin(*bin, stop);
        if (bin->m_Package.IsReady() && SUCCEEDED(bin->m_Result)) {
            AutoUpdateProgress::AutoTimer timer(m_Progress, WORK_TYPE_DISK_ACCESS);
            bin->m_Result = Common::FileSysHelper::ExtractPieceOfBinaryFile(bin->m_Package.GetFullPath(),
                                                                           entry.offset, entry.length, localPath);
            timer.DeltaBytesCompleted(2 * static_cast<int64_t>(entry.length));
            if (SUCCEEDED(bin->m_Result)) {
                QUOR_LOG(Log::VERBOSE, "Successfully downloaded \"%s\" via package", entry.name.c_str());
                result = S_OK;
                return true;
            }
            QUOR_LOG(Log::ERROR, "Failed to extract file from bin");
        }
    }
    LogBypass(remotePath);
    return false;
}

void GetFileUsingPackage::LogBypass(const std::string& remotePath) {
    QUOR_LOG(Log::VERBOSE, "Bypassing package and downloading the following file directly: \"%s\"",
             remotePath.c_str());
}

HRESULT GetFileUsingPackage::GetFile(const std::string& remotePath, const std::string& localPath,
                                     const std::atomic<bool>* stop, const int64_t announced,
                                     const int64_t maximum) {
    HRESULT result = E_FAIL;
    if (TryGetFileFromBin(remotePath, localPath, stop, result)) return result;
    return GetFileDirectly(remotePath, localPath, stop, announced, maximum);
}

HRESULT GetFileUsingPackage::GetFileDirectly(const std::string& remotePath, const std::string& localPath,
                                             const std::atomic<bool>* stop, const int64_t announced,
                                             const int64_t maximum) {
    AutoUpdateProgress::AutoTimer timer(m_Progress, WORK_TYPE_DOWNLOAD);
    DownloadFilesGetFileProgressCallback callback(&timer, stop, announced, maximum);
    return m_Server.GetFile(remotePath, localPath, &callback, false);
}

}  // namespace Quor::User
