#include "remote/ProjectVersionListingCache.h"

#include <atomic>
#include <map>

#include "common/LocalDirectoryStructure.h"
#include "common/LocalFileSystem.h"
#include "common/Log.h"
#include "common/StringHelper.h"
#include "foundation/CStd/CStd.h"
#include "remote/AutoTemporaryFile.h"
#include "remote/ServerSettings.h"

namespace Quor::Common::ProjectVersionListingCache {

namespace {

const char* const TAG_DOWNLOAD =
    "HRESULT Quor::Common::ProjectVersionListingCache::DownloadProjectVersionListing(Quor::Common::HTTPConnection &, "
    "std::string, Quor::Common::ProjectVersionListing &, bool)";

constexpr uint64_t kFreshSeconds = 60;

struct Entry {
    ProjectVersionListing listing;
    uint64_t downloaded = 0;
};
using Cache = std::map<std::string, Entry>;

Cache& Projects() {
    static Cache cache;
    return cache;
}
Cache& Solutions() {
    static Cache cache;
    return cache;
}

uint64_t SystemClock() {
    uint64_t now = 0;
    Vorn::std_sys_utc_time(now);
    return now;
}

std::atomic<UtcSecondsClock> g_clock{nullptr};

uint64_t Now() {
    const UtcSecondsClock clock = g_clock.load();
    return clock ? clock() : SystemClock();
}

HRESULT GetListing(Cache& cache, HTTPConnection& connection, const std::string& name, ProjectVersionListing& listing,
                   bool solution) {
    std::string key = name;
    StringHelper::ToLower(key);
    const uint64_t now = Now();
    const auto found = cache.find(key);
    if (found != cache.end() && now - found->second.downloaded < kFreshSeconds) {
        listing = found->second.listing;
        return S_OK;
    }
    // The server sees the name as the caller spelled it; only the key is lower-cased.
    if (FAILED(DownloadProjectVersionListing(connection, name, listing, solution))) return E_FAIL;
    Entry& entry = cache[key];
    entry.listing = listing;
    entry.downloaded = now;
    return S_OK;
}

HRESULT RemoveListing(Cache& cache, const std::string& name) {
    std::string key = name;
    StringHelper::ToLower(key);
    cache.erase(key);
    return S_OK;
}

}  // namespace

void SetClock(UtcSecondsClock clock) { g_clock.store(clock); }

HRESULT GetProjectListing(HTTPConnection& connection, const std::string& project, ProjectVersionListing& listing) {
    return GetListing(Projects(), connection, project, listing, false);
}

HRESULT GetSolutionListing(HTTPConnection& connection, const std::string& solution, ProjectVersionListing& listing) {
    return GetListing(Solutions(), connection, solution, listing, true);
}

HRESULT RemoveProjectListing(const std::string& project) { return RemoveListing(Projects(), project); }

HRESULT RemoveSolutionListing(const std::string& solution) { return RemoveListing(Solutions(), solution); }

HRESULT DownloadProjectVersionListing(HTTPConnection& connection, std::string name, ProjectVersionListing& listing,
                                      bool solution) {
    if (!LocalDirectoryStructure::IsValidName(name)) {
        QUOR_LOG_TAG(Log::ERROR, TAG_DOWNLOAD, "Refusing name \"%s\" for a project version listing.", name.c_str());
        return E_FAIL;
    }
    LocalFileSystem fileSystem;
    HRESULT result = S_OK;
    AutoTemporaryFile temporary(fileSystem, result);
    if (FAILED(result)) {
        QUOR_LOG_TAG(Log::ERROR, TAG_DOWNLOAD, "Failed to create temp file for project version listing cache.");
        return result;
    }
    const std::string path =
        GetDownloadPath() + (solution ? "/solutions/" : "/projects/") + name + "/releases/projectversionlisting";
    TransferBound bound(kMaxListingBytes);
    result = connection.GetFile(path, temporary.GetPath(), &bound, false, true, false, nullptr);
    if (FAILED(result)) {
        QUOR_LOG_TAG(Log::ERROR, TAG_DOWNLOAD, "Failed to download project version listing.");
        return result;
    }
    // Read on its own first: a listing that maps nothing is refused, not added as nothing.
    ProjectVersionListing loaded;
    result = loaded.Load(temporary.GetPath());
    if (SUCCEEDED(result) && loaded.ReleaseCount() == 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_DOWNLOAD, "Project version listing \"%s\" holds no valid line.", path.c_str());
        return E_FAIL;
    }
    if (SUCCEEDED(result)) result = listing.Load(temporary.GetPath());
    if (FAILED(result)) {
        QUOR_LOG_TAG(Log::ERROR, TAG_DOWNLOAD, "Failed to load project version listing from file.");
        return result;
    }
    return S_OK;
}

}  // namespace Quor::Common::ProjectVersionListingCache
