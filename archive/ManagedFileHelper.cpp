#include "archive/ManagedFileHelper.h"

#include <fcntl.h>
#include <unistd.h>

#include <map>

#include "archive/CopyStretch.h"
#include "archive/IMain.h"
#include "common/ZLibHelper.h"
#include "common/CRT.h"
#include "common/ConvertVersion.h"
#include "common/LZMA.h"
#include "common/LastError.h"
#include "common/LocalFileSystem.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/RegularFile.h"
#include "common/ProjectName.h"
#include "common/RelativeName.h"
#include "common/UniqueFile.h"
#include "foundation/CStd/CStd.h"

namespace Quor::User::ManagedFileHelper {

namespace {

using Quor::FileSystem::IManager;

constexpr uint32_t kNoHandle = 0xFFFFFFFF;

AutoUpdateProgress* g_pAutoUpdateProgress = nullptr;

struct KEY_TYPE {
    std::string project;
    DWORD version;
    bool operator<(const KEY_TYPE& other) const {
        const int order = Vorn::std_stricmp(project.c_str(), other.project.c_str());
        return order < 0 || (order == 0 && version < other.version);
    }
};

std::map<KEY_TYPE, std::shared_ptr<IManager>>& GetFileSystemManagers() {
    static std::map<KEY_TYPE, std::shared_ptr<IManager>> s_FileSystemManagers;
    return s_FileSystemManagers;
}

struct GlobalHandleManager {
    struct ENTRY {
        uint32_t local;
        std::shared_ptr<IManager> manager;
        std::string name;
    };
    uint32_t counter = 1;
    std::map<uint32_t, ENTRY> entries;

    // The next number that is neither "no handle" (0, 0xFFFFFFFF) nor in use.
    uint32_t Next() {
        while (counter == 0 || counter == kNoHandle || entries.count(counter)) ++counter;
        return counter++;
    }
};

GlobalHandleManager& GetGlobalHandleManager() {
    static GlobalHandleManager SINGLETON;
    return SINGLETON;
}

unsigned long Hex(DWORD value) { return static_cast<unsigned long>(value); }

// The data file of an archive as readers are given it: folder, "\", data-file name.
std::string ArchivePath(const IManager& manager, const std::string& archiveName) {
    return manager.GetRootDirectory() + "\\" + archiveName;
}

// Closes a reader's handle on every way out of ExtractFile.
class HandleCloser {
public:
    HandleCloser(IManager& manager, const std::string& name, uint32_t handle)
        : m_Manager(manager), m_Name(name), m_Handle(handle) {}
    ~HandleCloser() { m_Manager.CloseFileHandle(m_Name, m_Handle); }
    HandleCloser(const HandleCloser&) = delete;
    HandleCloser& operator=(const HandleCloser&) = delete;

private:
    IManager& m_Manager;
    std::string m_Name;
    uint32_t m_Handle;
};

// Writes `size` stored bytes at `offset` of the open archive into a new file at `path`.
HRESULT WriteStoredBytes(FILE* archive, uint32_t offset, uint32_t size, const std::string& path) {
    static const char* const TAG = __PRETTY_FUNCTION__;
    FILE* opened = nullptr;
    Common::CRT::fopen_s(&opened, path.c_str(), "w+b");
    Common::UniqueFile destination(opened);
    if (!destination) {
        const HRESULT hr = Common::LastErrorFailure(TAG);
        QUOR_LOG(Log::ERROR, "Failed to open destination file \"%s\".", path.c_str());
        return hr;
    }
    const FileSystem::Impl::CopyResult copied =
        FileSystem::Impl::CopyStretch(fileno(archive), offset, size, fileno(destination.get()), nullptr);
    if (copied == FileSystem::Impl::CopyResult::kShortSource || copied == FileSystem::Impl::CopyResult::kReadError) {
        const HRESULT hr = Common::LastErrorFailure(TAG);
        QUOR_LOG(Log::ERROR, "Failed to read %d bytes from archive.", static_cast<int>(size));
        return hr;
    }
    if (copied != FileSystem::Impl::CopyResult::kOk || !destination.Close()) {
        const HRESULT hr = Common::LastErrorFailure(TAG);
        QUOR_LOG(Log::ERROR, "Failed to write %d bytes to destination.", static_cast<int>(size));
        return hr;
    }
    return S_OK;
}

}  // namespace

SetAutoUpdateProgress::SetAutoUpdateProgress(AutoUpdateProgress& progress) { g_pAutoUpdateProgress = &progress; }

SetAutoUpdateProgress::~SetAutoUpdateProgress() { g_pAutoUpdateProgress = nullptr; }

HRESULT GetFileSystemManager(const std::string& project, DWORD version, std::shared_ptr<IManager>& out) {
    out.reset();
    auto& cache = GetFileSystemManagers();
    const KEY_TYPE key{project, version};
    auto found = cache.find(key);
    if (found != cache.end()) {
        out = found->second;
        return S_OK;
    }
    if (!Common::IsValidProjectName(project)) {
        QUOR_LOG(Log::ERROR, "Invalid project name \"%s\"", project.c_str());
        return E_FAIL;
    }
    const std::string folder =
        Common::LocalRootFolder::Get() + "/projects/" + project + "/filearchives/" + Common::ConvertVersion::ToString(version);
    if (!FileSystem::Instance().CreateManager(out, folder, "")) {
        QUOR_LOG(Log::ERROR, "Failed to create file system manager for \"%s\" release 0x%08lx", project.c_str(),
                 Hex(version));
        out.reset();
        return E_FAIL;
    }
    cache.emplace(key, out);
    return S_OK;
}

HRESULT ExtractFile(const std::string& project, DWORD version, const std::string& path, DWORD flags,
                    const std::string& destination) {
    static const char* const TAG = __PRETTY_FUNCTION__;
    QUOR_LOG(Log::VERBOSE, "%s, 0x%08lx, %s, %s", project.c_str(), Hex(version), path.c_str(), destination.c_str());
    std::shared_ptr<IManager> manager;
    HRESULT hr = GetFileSystemManager(project, version, manager);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to find file system manager");
        return hr;
    }
    // The final file: the destination, or the stored path inside the archive folder.
    std::string finalPath = destination;
    if (finalPath.empty()) {
        if (!Common::IsValidRelativeName(path)) {
            QUOR_LOG(Log::ERROR, "Invalid file name \"%s\"", path.c_str());
            return E_FAIL;
        }
        finalPath = manager->GetRootDirectory() + "/" + path;
    }
    std::string name;
    uint32_t offset = 0, size = 0;
    if (!manager->Find(path, name, offset, size)) {
        QUOR_LOG(Log::ERROR, "Failed to find \"%s\".", path.c_str());
        return E_FAIL;
    }
    HandleCloser handle(*manager, name, manager->OpenFileHandle(name));

    const std::string archivePath = ArchivePath(*manager, name);
    Common::UniqueFile archive(Common::OpenRegularFileStream(archivePath));
    if (!archive) {
        hr = Common::LastErrorFailure(TAG);
        QUOR_LOG(Log::ERROR, "Failed to open archive file \"%s\".", archivePath.c_str());
        return hr;
    }

    if ((flags & (kStoredZLib | kStoredLZMA)) == 0) return WriteStoredBytes(archive.get(), offset, size, finalPath);

    std::string temp;
    hr = Common::LocalFileSystem::CreateTempFile(temp);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to create temporary file.");
        return hr;
    }
    hr = WriteStoredBytes(archive.get(), offset, size, temp);
    if (SUCCEEDED(hr)) {
        hr = (flags & kStoredZLib) ? Common::ZLibHelper::DecompressFile(temp, finalPath)
                                   : Common::LZMA::DecompressFile(temp, finalPath);
        if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to decompress");
    }
    Vorn::std_remove(temp.c_str());
    return hr;
}

namespace {

// The steps RemoveFile, AddFile and ReplaceFile share; lines carry the caller's tag.
HRESULT ManagerFor(const char* tag, const std::string& project, DWORD version, std::shared_ptr<IManager>& manager) {
    const HRESULT hr = GetFileSystemManager(project, version, manager);
    if (FAILED(hr)) QUOR_LOG_TAG(Log::ERROR, tag, "Failed to find file system manager");
    return hr;
}

HRESULT DeleteFrom(const char* tag, IManager& manager, const std::string& path) {
    if (manager.Delete(path, g_pAutoUpdateProgress)) return S_OK;
    QUOR_LOG_TAG(Log::ERROR, tag, "Failed to delete \"%s\".", path.c_str());
    return E_FAIL;
}

HRESULT AddTo(const char* tag, IManager& manager, const std::string& path, const std::string& source) {
    if (manager.Add(path, &source, g_pAutoUpdateProgress)) return S_OK;
    QUOR_LOG_TAG(Log::ERROR, tag, "Failed to add \"%s\".", path.c_str());
    return E_FAIL;
}

}  // namespace

HRESULT RemoveFile(const std::string& project, DWORD version, const std::string& path) {
    QUOR_LOG(Log::DEBUG, "%s, 0x%08lx, %s", project.c_str(), Hex(version), path.c_str());
    std::shared_ptr<IManager> manager;
    HRESULT hr = ManagerFor(__PRETTY_FUNCTION__, project, version, manager);
    if (SUCCEEDED(hr)) hr = DeleteFrom(__PRETTY_FUNCTION__, *manager, path);
    return hr;
}

HRESULT AddFile(const std::string& project, DWORD version, const std::string& path, const std::string& source) {
    QUOR_LOG(Log::DEBUG, "%s, 0x%08lx, %s, %s", project.c_str(), Hex(version), path.c_str(), source.c_str());
    std::shared_ptr<IManager> manager;
    HRESULT hr = ManagerFor(__PRETTY_FUNCTION__, project, version, manager);
    if (SUCCEEDED(hr)) hr = AddTo(__PRETTY_FUNCTION__, *manager, path, source);
    return hr;
}

HRESULT ReplaceFile(const std::string& project, DWORD version, const std::string& path, const std::string& source) {
    QUOR_LOG(Log::DEBUG, "%s, 0x%08lx, %s, %s", project.c_str(), Hex(version), path.c_str(), source.c_str());
    std::shared_ptr<IManager> manager;
    HRESULT hr = ManagerFor(__PRETTY_FUNCTION__, project, version, manager);
    if (SUCCEEDED(hr)) hr = DeleteFrom(__PRETTY_FUNCTION__, *manager, path);
    if (SUCCEEDED(hr)) hr = AddTo(__PRETTY_FUNCTION__, *manager, path, source);
    return hr;
}

FileWrittenInPlace::~FileWrittenInPlace() {
    if (m_Manager) End(false);
}

HRESULT FileWrittenInPlace::Begin(const std::string& project, DWORD version, const std::string& path, uint64_t size) {
    QUOR_LOG(Log::DEBUG, "%s, 0x%08lx, %s, %llu", project.c_str(), Hex(version), path.c_str(),
             static_cast<unsigned long long>(size));
    if (m_Manager) End(false);
    // Not taken says nothing: AddFile, which the caller turns to, reports what it refuses.
    if (!Common::IsValidProjectName(project)) return S_FALSE;
    std::shared_ptr<IManager> manager;
    if (FAILED(GetFileSystemManager(project, version, manager)) || !manager) return S_FALSE;
    std::string where;
    bool failed = false;
    uint64_t begun = 0;
    Vorn::UniqueFd output = manager->BeginAddInPlace(path, size, &where, &failed, &begun);
    if (failed) {
        // As AddFile reports it, which would only fail the same way.
        QUOR_LOG(Log::ERROR, "Failed to add \"%s\".", path.c_str());
        return E_FAIL;
    }
    if (!output.IsValid()) return S_FALSE;
    m_Manager = std::move(manager);
    m_Path = path;
    m_Where = std::move(where);
    m_Output = std::move(output);
    m_Begun = begun;
    return S_OK;
}

Vorn::UniqueFd FileWrittenInPlace::Output() const {
    return Vorn::UniqueFd(m_Output.IsValid() ? ::fcntl(m_Output.Get(), F_DUPFD_CLOEXEC, 0) : -1);
}

HRESULT FileWrittenInPlace::Keep() {
    QUOR_LOG(Log::DEBUG, "%s", m_Path.c_str());
    if (!m_Manager) {
        QUOR_LOG(Log::ERROR, "No file is being written");
        return E_FAIL;
    }
    if (End(true)) return S_OK;
    QUOR_LOG(Log::ERROR, "Failed to add \"%s\".", m_Path.c_str());
    return E_FAIL;
}

bool FileWrittenInPlace::End(bool keep) {
    m_Output.Reset();
    const bool kept = m_Manager->EndAddInPlace(m_Path, keep, g_pAutoUpdateProgress, m_Begun);
    m_Manager.reset();
    return kept;
}

bool DoesFileOrDirectoryExist(const std::string& project, DWORD version, const std::string& path) {
    QUOR_LOG(Log::VERBOSE, "%s, 0x%08lx, %s", project.c_str(), Hex(version), path.c_str());
    std::shared_ptr<IManager> manager;
    if (FAILED(GetFileSystemManager(project, version, manager))) {
        QUOR_LOG(Log::ERROR, "Failed to find file system manager");
        return false;
    }
    std::string name;
    uint32_t offset = 0, size = 0;
    return manager->Find(path, name, offset, size);
}

HRESULT LockFile(const std::string& project, DWORD version, const std::string& path, std::string& archivePath,
                 uint32_t& offset, uint32_t& size, uint32_t& handle) {
    QUOR_LOG(Log::VERBOSE, "%s, 0x%08lx, %s", project.c_str(), Hex(version), path.c_str());
    std::shared_ptr<IManager> manager;
    const HRESULT hr = GetFileSystemManager(project, version, manager);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to find file system manager");
        return hr;
    }
    std::string name;
    const bool found = manager->Find(path, name, offset, size);
    if (!found) {
        QUOR_LOG(Log::ERROR, "Failed to find \"%s\".", path.c_str());
        return E_FAIL;
    }
    const uint32_t local = manager->OpenFileHandle(name);
    if (local == 0) {
        // Without a handle the pair could be rewritten under the reader: no lock, no location.
        QUOR_LOG(Log::ERROR, "Failed to lock the archive of \"%s\".", path.c_str());
        offset = 0;
        size = 0;
        return E_FAIL;
    }
    GlobalHandleManager& table = GetGlobalHandleManager();
    const uint32_t global = table.Next();
    table.entries[global] = GlobalHandleManager::ENTRY{local, manager, name};
    handle = global;
    archivePath = ArchivePath(*manager, name);
    return S_OK;
}

HRESULT UnlockFile(DWORD handle) {
    QUOR_LOG(Log::VERBOSE, "%d", static_cast<int>(handle));
    GlobalHandleManager& table = GetGlobalHandleManager();
    auto found = table.entries.find(handle);
    if (found == table.entries.end()) {
        QUOR_LOG(Log::ERROR, "Failed to find global handle (%d)", static_cast<int>(handle));
        return E_FAIL;
    }
    const GlobalHandleManager::ENTRY entry = found->second;
    table.entries.erase(found);
    if (!entry.manager->CloseFileHandle(entry.name, entry.local)) {
        QUOR_LOG(Log::ERROR, "Failed to CloseFileHandle");
        return E_FAIL;
    }
    return S_OK;
}

bool IsArchiveLocked(const std::string& project, DWORD version) {
    QUOR_LOG(Log::VERBOSE, "%s, 0x%08lx", project.c_str(), Hex(version));
    // A lock keeps the manager it was taken from, also one released from the cache since.
    const std::string folder =
        Common::LocalRootFolder::Get() + "/projects/" + project + "/filearchives/" + Common::ConvertVersion::ToString(version);
    const auto cached = GetFileSystemManagers().find(KEY_TYPE{project, version});
    for (const auto& item : GetGlobalHandleManager().entries) {
        const GlobalHandleManager::ENTRY& entry = item.second;
        if (cached != GetFileSystemManagers().end() && entry.manager == cached->second) return true;
        if (Vorn::std_stricmp(entry.manager->GetRootDirectory().c_str(), folder.c_str()) == 0) return true;
    }
    return false;
}

void Release() {
    QUOR_LOG(Log::DEBUG, "%s", "");
    GetFileSystemManagers().clear();
}

void DiscardChanges() {
    QUOR_LOG(Log::DEBUG, "%s", "");
    for (auto& [key, manager] : GetFileSystemManagers()) manager->DiscardChanges();
    for (auto& [handle, entry] : GetGlobalHandleManager().entries) entry.manager->DiscardChanges();
}

HRESULT Flush(DWORD flags) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    HRESULT result = S_OK;
    for (auto& [key, manager] : GetFileSystemManagers()) {
        // A manager that cannot write everything keeps its changes; the others are written.
        if (!manager->WriteArchiveFiles((flags & 0x01) != 0, g_pAutoUpdateProgress)) {
            QUOR_LOG(Log::ERROR, "Failed to write out archive files");
            result = E_FAIL;
        }
    }
    return result;
}

}  // namespace Quor::User::ManagedFileHelper
