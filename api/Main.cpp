#include "api/Main.h"

#include <algorithm>
#include <set>
#include <strings.h>

#include "api/AsyncLoadFile.h"
#include "api/ConnectionManager.h"
#include "api/FileManagedCompressed.h"
#include "api/FileManagedUncompressed.h"
#include "api/FileUnmanaged.h"
#include "api/FindFileResult.h"
#include "api/RequestManager.h"
#include "common/ClientApiFileIterator.h"
#include "common/EntryPlacement.h"
#include "common/LocalFileSystem.h"
#include "common/Log.h"
#include "common/StringHelper.h"
#include "foundation/CStd/CStdFiles.h"
#include "foundation/SharedMutex.h"

namespace Quor::API::Impl {

using Quor::Common::ReleaseManifest;
using Quor::Log::DEBUG;
using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
using Quor::Log::WARNING;

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& start) {
    return text.size() >= start.size() && ::strncasecmp(text.c_str(), start.c_str(), start.size()) == 0;
}

ReleaseManifest::ENTRY Key(const std::string& name) {
    ReleaseManifest::ENTRY key;
    key.name = name;
    return key;
}

// A pattern cut into its folder (up to and including the last "/") and the name pattern's prefix,
// middle and suffix at its first two "*".
struct Pattern {
    std::string folder, prefix, middle, suffix;

    explicit Pattern(const std::string& text) {
        const size_t slash = text.rfind('/');
        folder = slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
        const size_t first = name.find('*');
        if (first == std::string::npos) {
            prefix = name;
            return;
        }
        prefix = name.substr(0, first);
        const std::string rest = name.substr(first + 1);
        const size_t second = rest.find('*');
        if (second == std::string::npos) {
            suffix = rest;
            return;
        }
        middle = rest.substr(0, second);
        suffix = rest.substr(second + 1);
    }

    bool Matches(const std::string& name) const { return DoesNameMatchPattern(name, prefix, middle, suffix); }
};

}  // namespace

Main::Main(HRESULT& hr) : m_Mutex(Vorn::Mutex::Create(false)), m_ThreadPool(Quor::Common::ThreadPool::CreatePool(0, 0)) {
    QUOR_LOG(VERBOSE, "()");
    hr = S_OK;
    const bool loadingDisabled = Quor::Common::LocalFileSystem::DoesFileOrDirectoryExist(kDisabledEntry);
    std::shared_ptr<Vorn::SharedMutex> kernel;
    if (!loadingDisabled) kernel = Vorn::SharedMutex::Find(kKernelSemaphore);
    if (kernel && kernel->IsValid()) {
        Connect(hr);
    } else {
        QUOR_LOG(WARNING, "Orvane is not running, proceeding without that functionality.");
    }
    if (FAILED(hr)) {
        QUOR_LOG(ERROR, "Failure connecting to kernel, attempting to continue with dll only");
        hr = S_OK;
    }
    if (!(m_Flags & FLAG_CONNECTED)) {
        HRESULT inert = E_FAIL;
        m_Offline = std::make_unique<DisconnectedConnection>();
        m_OfflineManager = std::make_unique<RPC::Manager>(*m_Offline, inert);
    }

    m_ManifestCache = std::make_unique<Quor::Common::ReleaseManifestCache>();
    m_Environment = std::make_unique<RuntimeEnvironment>(hr, *m_ManifestCache, loadingDisabled);
    if (FAILED(hr)) {
        QUOR_LOG(WARNING,
                 "Could not determine solution or project runtime environment, execution will continue but all files "
                 "will be treated as unmanaged in the current folder.");
        hr = S_OK;
    } else {
        QUOR_LOG(DEBUG, "Successfully determine runtime environment");
        m_Flags |= FLAG_RUNTIME_ENVIRONMENT;
    }
}

void Main::Connect(HRESULT& hr) {
    QUOR_LOG(DEBUG, "Orvane is running, attempting connection.");
    QUOR_LOG(DEBUG, "Using WinSock to attempt connection");
    m_Connection = std::make_unique<WinSock::Manager>(hr);
    if (FAILED(hr)) {
        QUOR_LOG(ERROR, "Failed to initialize connection with Orvane.");
        return;
    }
    m_RequestManager = std::make_unique<RPC::Manager>(*m_Connection, hr);
    if (SUCCEEDED(hr)) {
        QUOR_LOG(DEBUG, "Connected to kernel successfully");
        m_Flags |= FLAG_CONNECTED;
    } else {
        QUOR_LOG(ERROR, "Failed to create RPC manager.");
    }
}

Main::~Main() {
    QUOR_LOG(VERBOSE, "()");
    m_Environment.reset();
    m_RequestManager.reset();
    m_OfflineManager.reset();
    m_Connection.reset();
    m_Offline.reset();
    m_ManifestCache.reset();
    m_ThreadPool.reset();
    m_Mutex.reset();
}

HRESULT Main::FindFile(const std::string& pattern, const uint32_t flags,
                       std::shared_ptr<Quor::API::IFindFileResult>& result) {
    QUOR_LOG(VERBOSE, "(\"%s\", %u)", pattern.c_str(), flags);
    MutexHolder hold(*m_Mutex);
    std::string normalised = Quor::Common::StringHelper::FixPathString(pattern);
    Quor::Common::StringHelper::ToLower(normalised);
    const Pattern parts(normalised);
    const auto& manifests = m_Environment->GetManifests();
    if (manifests.empty()) {
        QUOR_LOG(VERBOSE, "No manifests loaded, file find cannot continue");
        return E_FAIL;
    }
    auto found = std::make_shared<FindFileResult>();
    for (const auto& manifest : manifests) {
        std::set<std::string> seenFolders;
        const auto& entries = manifest->m_Entries;
        auto entry = std::lower_bound(entries.begin(), entries.end(), Key(parts.folder), &ReleaseManifest::ENTRY::PredicateByName);
        for (; entry != entries.end() && StartsWithNoCase(entry->name, parts.folder); ++entry) {
            const size_t slash = entry->name.find('/', parts.folder.size());
            if (slash == std::string::npos) {
                const std::string name = entry->name.substr(parts.folder.size());
                if ((flags & FIND_FILES) && parts.Matches(name))
                    found->AddIfNotDuplicate(name, FindFileResultItem::TYPE_FILE);
                continue;
            }
            const std::string folder = entry->name.substr(parts.folder.size(), slash - parts.folder.size());
            if ((flags & FIND_FOLDERS) && seenFolders.insert(folder).second && parts.Matches(folder))
                found->AddIfNotDuplicate(folder, FindFileResultItem::TYPE_FOLDER);
        }
    }
    result = std::move(found);
    return S_OK;
}

HRESULT Main::OpenFile(const std::string& name, const FILE_TYPE type, std::shared_ptr<Quor::API::IFile>& file) {
    QUOR_LOG(VERBOSE, "(\"%s\", %s)", name.c_str(), FileTypeName(type));
    std::shared_ptr<Quor::API::IFile> opened;
    const HRESULT hr = OpenFileLocked(name, type, opened);
    if (FAILED(hr)) {
        // Released here, after the mutex: an archived file's destructor takes it.
        if (opened) QUOR_LOG(DEBUG, "Quor failed to open file \"%s\".", name.c_str());
        opened.reset();
        file.reset();
        return hr;
    }
    file = std::move(opened);
    return S_OK;
}

HRESULT Main::OpenFileLocked(const std::string& name, const FILE_TYPE type, std::shared_ptr<Quor::API::IFile>& file) {
    MutexHolder hold(*m_Mutex);
    if (name.empty()) {
        QUOR_LOG(ERROR, "Empty file name");
        return E_FAIL;
    }
    if (m_Environment->GetManifests().empty()) {
        QUOR_LOG(VERBOSE, "No manifests loaded, file open cannot continue");
        return E_FAIL;
    }
    HRESULT hr = S_OK;
    const ManifestData* data = m_Environment->GetManifestData(name);
    if (data == nullptr) {
        file = std::make_shared<FileUnmanaged>(name, type, hr);
    } else if (data->entry->flags & ReleaseManifest::FLAG_STORED_COMPRESSED) {
        file = std::make_shared<FileManagedCompressed>(*this, *data, type, hr);
    } else if (Quor::Common::PlaceOf(*data->entry) == Quor::Common::EntryPlace::kArchived) {
        file = std::make_shared<FileManagedUncompressed>(*this, data->manifest->m_ProjectName,
                                                         data->manifest->m_ReleaseVersion, name, type, hr);
    } else {
        std::string path = name;
        Helper::FindBestPath(*m_Environment, data->manifest, data->entry, path);
        file = std::make_shared<FileUnmanaged>(path, type, hr);
    }
    return hr;
}

bool Main::DoesFileOrDirectoryExist(const std::string& name) {
    QUOR_LOG(VERBOSE, "(\"%s\")", name.c_str());
    {
        MutexHolder hold(*m_Mutex);
        const auto& manifests = m_Environment->GetManifests();
        if (manifests.empty()) {
            QUOR_LOG(VERBOSE, "No manifests loaded, file existence check cannot continue");
            return false;
        }
        const std::string normalised = Quor::Common::StringHelper::FixPathString(name);
        std::string folder = normalised;
        if (folder.empty() || folder.back() != '/') folder += '/';
        for (const auto& manifest : manifests) {
            const auto& entries = manifest->m_Entries;
            if (!name.empty()) {
                const auto entry =
                    std::lower_bound(entries.begin(), entries.end(), Key(folder), &ReleaseManifest::ENTRY::PredicateByName);
                if (entry != entries.end() && StartsWithNoCase(entry->name, folder)) return true;
            }
            const auto range =
                std::equal_range(entries.begin(), entries.end(), Key(normalised), &ReleaseManifest::ENTRY::PredicateByName);
            if (range.first == range.second) continue;
            if (range.second - range.first > 1)
                QUOR_LOG(ERROR, "\"%s\" has multiple entries in manifest. ", name.c_str());
            if (Quor::Common::PlaceOf(*range.first) == Quor::Common::EntryPlace::kArchived) return true;
        }
    }
    std::string path;
    FindBestPath(name, path);
    return Vorn::std_file_exists(path.c_str());
}

void Main::FindBestPath(const std::string& name, std::string& path) {
    QUOR_LOG(VERBOSE, "(\"%s\")", name.c_str());
    path = name;
    if (m_Environment->GetManifests().empty()) {
        QUOR_LOG(VERBOSE, "No manifests loaded, cannot find best path");
        return;
    }
    const ManifestData* data = m_Environment->GetManifestData(name);
    Helper::FindBestPath(*m_Environment, data ? data->manifest : nullptr, data ? data->entry : nullptr, path);
}

std::shared_ptr<Quor::API::IAsyncLoadFile> Main::CreateAsyncLoadFile(const std::string& name) {
    MutexHolder hold(*m_Mutex);
    return std::make_shared<AsyncLoadFile>(*this, name);
}

Quor::API::RPC::IManager& Main::GetRPCManager() {
    if (m_Flags & FLAG_CONNECTED) return *m_RequestManager;
    return *m_OfflineManager;
}

}  // namespace Quor::API::Impl

namespace Quor::API {

HRESULT CreateMain(std::shared_ptr<IMain>& main) {
    HRESULT hr = S_OK;
    auto created = std::make_unique<Impl::Main>(hr);
    if (FAILED(hr)) return hr;
    main = std::move(created);
    return hr;
}

namespace {
// The foundation's file iterator lists through this library's main object, which it creates on
// the first listing. Registered while the program or the shared library is loaded, so that every
// program that carries this library lists its archived and managed files.
[[maybe_unused]] const bool g_fileIteratorRegistered = (Vorn::File::SetQuorAPICreateMain(&CreateMain), true);
}  // namespace

}  // namespace Quor::API
