#include "install/UpdateAndInstallShared.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/ConvertVersion.h"
#include "common/DiskFlush.h"
#include "common/EntryPlacement.h"
#include "common/FileSysHelper.h"
#include "common/LZMA.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/StringHelper.h"
#include "common/ZLibHelper.h"
#include "archive/ManagedFileHelper.h"
#include "remote/AutoTemporaryFile.h"
#include "remote/MD5Helper.h"
#include "remote/ReleaseManifestPaths.h"

namespace Quor::User::UpdateAndInstallShared {
namespace {

using Common::ReleaseManifest;
using ENTRY = Common::ReleaseManifest::ENTRY;

constexpr DWORD kFetchedCompressed = ReleaseManifest::FLAG_ZLIB | ReleaseManifest::FLAG_LZMA;
// Largest plain size of a zlib copy that CheckFile expands in memory.
constexpr DWORD kLargestInMemory = 0x63FFFFF;

bool IsFetchedCompressed(const ENTRY& entry) { return (entry.flags & kFetchedCompressed) != 0; }

DWORD FetchedSize(const ENTRY& entry) { return IsFetchedCompressed(entry) ? entry.compressedSize : entry.size; }

// Expands a compressed copy (zlib with 0x04, else LZMA) into a new temporary file.
HRESULT ExpandToTemporaryFile(const ENTRY& entry, const std::string& source, Common::LocalFileSystem& fileSystem,
                              std::unique_ptr<Common::AutoTemporaryFile>& expanded, bool& created) {
    HRESULT hr = S_OK;
    expanded = std::make_unique<Common::AutoTemporaryFile>(fileSystem, hr);
    created = SUCCEEDED(hr);
    if (!created) return hr;
    return (entry.flags & ReleaseManifest::FLAG_ZLIB)
               ? Common::ZLibHelper::DecompressFile(source, expanded->GetPath())
               : Common::LZMA::DecompressFile(source, expanded->GetPath());
}

}  // namespace

HRESULT CreateOkFile(const std::string& okPath) {
    // Every file placed so far reaches the disk before the mark exists: after a power cut the mark
    // may be missing (the release is checked again), never standing over files that were lost.
    const size_t slash = okPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : okPath.substr(0, slash);
    // A missing folder is left to the creation below, which reports it as before.
    if (Common::LocalFileSystem::DoesFileOrDirectoryExist(folder)) {
        const HRESULT flushed = Common::FlushFileSystemToDisk(folder);
        if (FAILED(flushed)) return flushed;
    }
    Vorn::FileSystem::FilePtr_t marker;
    return Common::LocalFileSystem::CreateFile(marker, okPath.c_str(), 2, 0, 0, 0, nullptr);
}

bool CheckFile(const std::string& path, const ENTRY& entry, Common::LocalFileSystem& fileSystem,
               AutoUpdateProgress& progress) {
    (void)progress;
    QUOR_LOG(Log::VERBOSE, "(%s)", path.c_str());
    if (!Common::LocalFileSystem::DoesFileOrDirectoryExist(path)) return false;

    HRESULT failure = S_OK;
    bool verified = false;
    std::string checkPath = path;
    std::shared_ptr<API::IBuffer> buffer;
    std::unique_ptr<Common::AutoTemporaryFile> temporary;

    if (entry.flags & ReleaseManifest::FLAG_STORED_COMPRESSED) {
        temporary = std::make_unique<Common::AutoTemporaryFile>(fileSystem, failure);
        if (FAILED(failure)) {
            QUOR_LOG(Log::ERROR, "Failed to create auto temp file");
        } else {
            UINT size = 0xFFFFFFFF;
            failure = Common::FileSysHelper::GetFileSize(path, size);
            if (FAILED(failure)) QUOR_LOG(Log::ERROR, "Failed to get file size");
            bool plainMatches = false;
            if (SUCCEEDED(failure) && size == entry.size) {
                // A plain copy left by an earlier run: keep it when it is right, in the stored form.
                failure = Common::MD5Helper::VerifyFileMD5(path, entry.md5, plainMatches);
                if (FAILED(failure)) QUOR_LOG(Log::ERROR, "Failed to compute MD5");
            }
            if (SUCCEEDED(failure) && plainMatches) {
                failure = Common::LocalFileSystem::MoveFile(path, temporary->GetPath(), 3);
                if (FAILED(failure)) {
                    QUOR_LOG(Log::ERROR, "Failed to move file");
                } else {
                    if (entry.flags & ReleaseManifest::FLAG_ZLIB) {
                        failure = Common::ZLibHelper::CompressFile(temporary->GetPath(), path, 0);
                    } else if (entry.flags & ReleaseManifest::FLAG_LZMA) {
                        failure = Common::LZMA::CompressFile(temporary->GetPath(), path, 0);
                    } else {
                        QUOR_LOG(Log::ERROR, "Compression format not specified");
                        failure = E_FAIL;
                    }
                    if (FAILED(failure)) {
                        QUOR_LOG(Log::ERROR, "Failed to compress file");
                    } else {
                        QUOR_LOG(Log::VERBOSE, "Validated uncompressed version of \"%s\" and compressed it",
                                 path.c_str());
                        return true;
                    }
                }
            } else if (SUCCEEDED(failure)) {
                if ((entry.flags & ReleaseManifest::FLAG_ZLIB) && entry.size <= kLargestInMemory)
                    failure = Common::ZLibHelper::DecompressFile(path, buffer);
                else if (entry.flags & ReleaseManifest::FLAG_ZLIB)
                    failure = Common::ZLibHelper::DecompressFile(path, temporary->GetPath());
                else
                    failure = Common::LZMA::DecompressFile(path, temporary->GetPath());
                if (FAILED(failure)) {
                    QUOR_LOG(Log::ERROR, "Failed to decompress");
                    buffer.reset();
                } else if (!buffer) {
                    checkPath = temporary->GetPath();
                }
            }
        }
    }

    if (SUCCEEDED(failure)) {
        bool matches = false;
        if (buffer)
            Common::MD5Helper::VerifyBufferMD5(buffer, entry.md5, matches);
        else
            failure = Common::MD5Helper::VerifyFileMD5(checkPath, entry.md5, matches);
        if (FAILED(failure)) {
            QUOR_LOG(Log::ERROR, "Found the file, but failed to compute MD5.");
        } else if (!matches) {
            QUOR_LOG(Log::WARNING, "Found the file, MD5 did not match.");
        } else {
            QUOR_LOG(Log::VERBOSE, "Found the file \"%s\" and verified MD5.", checkPath.c_str());
            verified = true;
        }
    }

    if (FAILED(failure) && FAILED(Common::LocalFileSystem::DeleteFile(path)))
        QUOR_LOG(Log::ERROR, "Failed to delete invalid file \"%s\".", path.c_str());
    return verified;
}

bool CheckFileFast(const std::string& path, const ENTRY& entry, Common::LocalFileSystem& fileSystem,
                   AutoUpdateProgress& progress) {
    (void)fileSystem;
    (void)progress;
    QUOR_LOG(Log::VERBOSE, "(%s)", path.c_str());
    if (!Common::LocalFileSystem::DoesFileOrDirectoryExist(path)) return false;
    UINT size = 0xFFFFFFFF;
    if (FAILED(Common::FileSysHelper::GetFileSize(path, size))) {
        QUOR_LOG(Log::ERROR, "Found the file, but failed to compute its filesize.");
    } else {
        const DWORD expected =
            (entry.flags & ReleaseManifest::FLAG_STORED_COMPRESSED) ? entry.compressedSize : entry.size;
        if (size == expected) {
            QUOR_LOG(Log::VERBOSE, "Found the file \"%s\" and verified its file size.", path.c_str());
            return true;
        }
        QUOR_LOG(Log::WARNING, "Found the file, but file size was not as expected.");
    }
    if (FAILED(Common::LocalFileSystem::DeleteFile(path)))
        QUOR_LOG(Log::ERROR, "Failed to delete invalid file \"%s\".", path.c_str());
    return false;
}

HRESULT DoesFileExistWithCorrectMD5(const std::string& project, const DWORD version, const ENTRY& entry,
                                    Common::LocalFileSystem& fileSystem, bool& valid, bool& archivedCopyBad) {
    const std::string entryVersion = Common::ConvertVersion::ToString(entry.version);
    QUOR_LOG(Log::VERBOSE, "%s [%s] : \"%s\" [%s]", project.c_str(), Common::ConvertVersion::ToString(version).c_str(),
             entry.name.c_str(), entryVersion.c_str());
    archivedCopyBad = false;
    const bool archived = Common::PlaceOf(entry) == Common::EntryPlace::kArchived;
    const bool storedCompressed = (entry.flags & ReleaseManifest::FLAG_STORED_COMPRESSED) != 0;
    std::unique_ptr<Common::AutoTemporaryFile> extracted;
    std::unique_ptr<Common::AutoTemporaryFile> expanded;
    std::string checkPath;
    bool expansionFailed = false;

    if (archived) {
        if (!ManagedFileHelper::DoesFileOrDirectoryExist(project, entry.version, entry.name)) return S_OK;
        HRESULT hr = S_OK;
        extracted = std::make_unique<Common::AutoTemporaryFile>(fileSystem, hr);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to create temp file for extraction");
            return hr;
        }
        if (FAILED(ManagedFileHelper::ExtractFile(project, entry.version, entry.name, 0, extracted->GetPath()))) {
            QUOR_LOG(Log::ERROR, "Failed to extract existing file to do MD5 check, file archives may be invalid");
            valid = false;
            archivedCopyBad = true;
            return S_OK;
        }
        checkPath = extracted->GetPath();
    } else {
        std::string relative;
        Common::GetLocalFilePath(relative, project, version, entry);
        checkPath = Common::LocalRootFolder::Get() + relative;
        if (!Common::LocalFileSystem::DoesFileOrDirectoryExist(checkPath)) return S_OK;
        Common::LocalFileSystem::RemoveReadOnly(checkPath);
    }

    // A copy kept compressed is compared by its plain content, as the digest describes it.
    if (storedCompressed) {
        bool created = false;
        const HRESULT hr = ExpandToTemporaryFile(entry, checkPath, fileSystem, expanded, created);
        if (!created) {
            QUOR_LOG(Log::ERROR, "Failed to create temporary file for decompression");
            return hr;
        }
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to decompress source file");
            if (archived) {
                valid = false;
                archivedCopyBad = true;
                return S_OK;
            }
            expansionFailed = true;
        }
        checkPath = expanded->GetPath();
    }

    QUOR_LOG(Log::VERBOSE, "\"%s\" (%s) exists unexpectedly, probably due to interrupted installation.  Performing MD5 check.",
             entry.name.c_str(), entryVersion.c_str());
    bool matches = false;
    if (!expansionFailed) {
        MD5::DIGEST digest;
        const HRESULT hr = Common::MD5Helper::ComputeMD5(checkPath, digest);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to compute MD5");
            return hr;
        }
        matches = std::memcmp(digest, entry.md5, sizeof digest) == 0;
    }
    if (matches) {
        QUOR_LOG(Log::VERBOSE, "\"%s\" (%s) exists and passed the MD5 check, it will be used.", entry.name.c_str(),
                 entryVersion.c_str());
        valid = true;
    } else {
        QUOR_LOG(Log::WARNING, "\"%s\" (%s) exists, but failed the MD5 check.", entry.name.c_str(),
                 entryVersion.c_str());
        if (archived) {
            valid = false;
            archivedCopyBad = true;
        }
    }
    return S_OK;
}

const ENTRY* FindManifestEntry(const ReleaseManifest& manifest, const std::string& name) {
    ENTRY key;
    key.name = Common::StringHelper::FixPathString(name);
    const auto range =
        std::equal_range(manifest.m_Entries.begin(), manifest.m_Entries.end(), key, ENTRY::PredicateByName);
    if (range.first == range.second) return nullptr;
    if (range.second - range.first > 1)
        QUOR_LOG(Log::ERROR, "\"%s\" has multiple entries in manifest. ", name.c_str());
    return &*range.first;
}

DWORD GetDownloadSize(const std::vector<FileToDownload>& files) {
    DWORD total = 0;
    for (const FileToDownload& file : files) total += FetchedSize(*file.m_Entry);
    return total;
}

DWORD GetDownloadPathSize(const std::vector<DownloadManager::DownloadPath>& files, bool plainSizes) {
    DWORD total = 0;
    for (const auto& file : files) total += plainSizes ? file.m_Entry->size : FetchedSize(*file.m_Entry);
    return total;
}

DWORD GetExtractSize(const std::vector<DownloadManager::DownloadPath>& files) {
    DWORD total = 0;
    for (const auto& file : files)
        if (IsFetchedCompressed(*file.m_Entry) && !(file.m_Entry->flags & ReleaseManifest::FLAG_STORED_COMPRESSED))
            total += file.m_Entry->size + file.m_Entry->compressedSize;
    return total;
}

}  // namespace Quor::User::UpdateAndInstallShared
