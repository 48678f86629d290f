#include "install/PatchSelection.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "common/ConvertVersion.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "foundation/CStd/CStd.h"
#include "install/AvailableReleases.h"
#include "install/InstalledState.h"
#include "remote/AutoTemporaryFile.h"

namespace Quor::User::UpdateAndInstallShared {

namespace {

using Common::ConvertVersion;
using Common::PatchManifest;
using Common::ReleaseManifest;

bool NameLess(const PatchManifest::ENTRY& entry, const std::string& name) {
    return Vorn::std_stricmp(entry.name.c_str(), name.c_str()) < 0;
}
bool NameGreater(const std::string& name, const PatchManifest::ENTRY& entry) {
    return Vorn::std_stricmp(name.c_str(), entry.name.c_str()) < 0;
}

}  // namespace

bool GreaterVersion(DWORD a, DWORD b) { return a > b; }

HRESULT FindBestPatchForRelease(const std::string& project, const DWORD version, Common::LocalFileSystem& fileSystem,
                                IRemoteFileServer& server, PatchManifest*& patchManifest,
                                ReleaseManifest*& sourceManifest, AutoUpdateProgress& progress) {
    (void)progress;
    QUOR_LOG(Log::DEBUG, "(%s, 0x%08lx)", project.c_str(), static_cast<unsigned long>(version));
    patchManifest = nullptr;
    sourceManifest = nullptr;
    std::string projectPath;
    HRESULT hr = Common::LocalDirectoryStructure::GetProjectPath(project, projectPath);
    if (FAILED(hr)) return hr;

    std::vector<DWORD> installed;
    hr = EnumerateInstalledProjectReleases(project, fileSystem, installed, false);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate the installed releases.");
        return hr;
    }
    std::sort(installed.begin(), installed.end(), GreaterVersion);
    installed.erase(std::unique(installed.begin(), installed.end()), installed.end());

    // The server answers for one installed release at a time (asked for all of them it stops at the
    // oldest that has a patch), so each is asked in turn, newest first, until one has a patch. The
    // release being built is never its own source.
    DWORD source = 0;
    bool found = false;
    for (DWORD candidate : installed) {
        if (candidate == version) continue;
        std::vector<DWORD> available;
        hr = EnumerateAvailablePatches(project, version, server, available, candidate);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to enumerate the available patches.");
            return hr;
        }
        std::sort(available.begin(), available.end(), GreaterVersion);
        const auto range = std::equal_range(available.begin(), available.end(), candidate, GreaterVersion);
        if (range.first != range.second) {
            source = candidate;
            found = true;
            break;
        }
    }
    const std::string target = ConvertVersion::ToString(version);
    if (!found) {
        QUOR_LOG(Log::DEBUG, "Did not find a patch from any installed release to \"%s\".", target.c_str());
        QUOR_LOG(Log::DEBUG, "Succeeded.");
        return S_OK;
    }
    const std::string from = ConvertVersion::ToString(source);
    QUOR_LOG(Log::DEBUG, "Found a patch from \"%s\" to \"%s\".", from.c_str(), target.c_str());

    Common::AutoTemporaryFile temporary(fileSystem, hr);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to create a temporary file for downloading patch manifest.");
        return hr;
    }
    const std::string remote = server.GetDownloadPath() + "/projects/" + project + "/releases/" + target +
                               "/patchmanifests/" + from + ".patchmanifest";
    QUOR_LOG(Log::DEBUG, "Downloading manifest \"%s\" to \"%s\".", remote.c_str(), temporary.GetPath().c_str());
    Common::TransferBound bound(static_cast<int64_t>(Common::kMaxPatchManifestBytes));
    hr = server.GetFile(remote, temporary.GetPath(), &bound, false);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to download manifest \"%s\".", remote.c_str());
        return hr;
    }
    QUOR_LOG(Log::DEBUG, "Parsing manifest \"%s\" downloaded to \"%s\".", remote.c_str(),
             temporary.GetPath().c_str());
    auto patches = std::make_unique<PatchManifest>();
    hr = patches->Load(temporary.GetPath());
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to parse manifest \"%s\" downloaded to \"%s\".", remote.c_str(),
                 temporary.GetPath().c_str());
        return hr;
    }
    patchManifest = patches.release();

    QUOR_LOG(Log::DEBUG, "Loading manifest for the src releases being used.");
    auto manifest = std::make_unique<ReleaseManifest>();
    hr = manifest->Load(projectPath + "/releases/" + from + "/releasemanifest", nullptr);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to load the src manifest for the patch.");
        return hr;
    }
    sourceManifest = manifest.release();
    QUOR_LOG(Log::DEBUG, "Succeeded.");
    return S_OK;
}

const PatchManifest::ENTRY* FindEntryByName(const std::string& name, DWORD version, const PatchManifest& manifest) {
    const auto& entries = manifest.m_Entries;
    const auto first = std::lower_bound(entries.begin(), entries.end(), name, NameLess);
    const auto last = std::upper_bound(first, entries.end(), name, NameGreater);
    if (last - first != 1 || first->destination != version) return nullptr;
    return &*first;
}

void AddEntryBytesToTotal(const ReleaseManifest::ENTRY& entry, AutoUpdateProgress& progress) {
    constexpr DWORD fetchedCompressed = ReleaseManifest::FLAG_ZLIB | ReleaseManifest::FLAG_LZMA;
    constexpr DWORD kept = ReleaseManifest::FLAG_STORED_COMPRESSED;
    const bool expanded = (entry.flags & fetchedCompressed) != 0 && (entry.flags & kept) == 0;
    const bool compressed = (entry.flags & (fetchedCompressed | kept)) == kept;
    if (!expanded && !compressed) return;
    const DWORD bytes = entry.size + entry.compressedSize;  // a 32-bit sum, as the totals take it
    progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, static_cast<int64_t>(bytes));
}

}  // namespace Quor::User::UpdateAndInstallShared
