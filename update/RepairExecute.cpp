#include "update/RepairExecute.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>

#include "archive/ManagedFileHelper.h"
#include "common/AutoUpdateProgressHelper.h"
#include "common/FileSysHelper.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "install/WorkingFolderGuard.h"
#include "remote/TelvoLogger.h"
#include "update/SortedKeys.h"

namespace Quor::User::Repair {

Execute::Execute(Discover& discover, unsigned hashThreads)
    : m_Discover(discover), m_HashThreads(hashThreads), m_Progress(discover.m_Parameters.m_AutoUpdateProgress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    m_hr = S_OK;
    const WorkingFolderGuard guard;
    Run();
    m_Ahead.reset();  // the workers end here, before the working folder is put back
}

bool Execute::Report(const std::string& item) {
    AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(m_Progress, item);
    m_Progress.Tick(0);
    return Common::IsCancelRequested(m_Progress.GetCancelFlag());
}

std::string Execute::Absolute(const std::string& relative) const {
    return relative.empty() ? m_Root : m_Root + "/" + relative;
}

void Execute::MarkFileForDeletion(const DISCOVERED_DIRECTORY& directory, const DISCOVERED_FILE& file) {
    SortedKeys::Insert(m_FilesToDelete, Absolute(directory.m_Path) + "/" + file.m_Name);
}

void Execute::MarkFolderForDeletion(const DISCOVERED_DIRECTORY& directory) {
    for (const DISCOVERED_FILE& file : directory.m_Files) MarkFileForDeletion(directory, file);
    SortedKeys::Insert(m_FoldersToDelete, Absolute(directory.m_Path));
}

void Execute::MarkUnexpectedFiles(const DISCOVERED_DIRECTORY& directory) {
    if (directory.m_Files.empty()) return;
    QUOR_LOG(Log::DEBUG, "Unexpected files in the following directory will be deleted: \"%s\"",
             directory.m_Path.c_str());
    for (const DISCOVERED_FILE& file : directory.m_Files) MarkFileForDeletion(directory, file);
}

void Execute::MarkTree(const DISCOVERED_DIRECTORY& directory, const char* format) {
    if (format) QUOR_LOG(Log::DEBUG, format, directory.m_Path.c_str());
    MarkFolderForDeletion(directory);
}

void Execute::Run() {
    if (TelvoLogger* logger = TelvoLogger::GetInstance())
        logger->AddLogEntry("quor_patch_repair_request", true, true);

    m_hr = m_Discover.m_hr;
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Discover failed");
        return;
    }
    m_Root = Common::LocalRootFolder::Get();
    if (Common::IsCancelRequested(m_Progress.GetCancelFlag())) {
        m_hr = E_ABORT;
        return;
    }
    m_hr = Common::LocalFileSystem::SetCurrentDirectory(m_Root);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to set current directory to local root folder.");
        return;
    }
    m_hr = S_OK;
    if (Common::IsCancelRequested(m_Progress.GetCancelFlag())) {
        m_hr = E_ABORT;
        return;
    }
    m_hr = GetFileSizes();
    if (FAILED(m_hr)) return;
    std::vector<std::string> ahead = FilesToHash();
    for (size_t item = 0; item < ahead.size(); ++item) m_AheadItems.emplace(ahead[item], item);
    m_Ahead = std::make_unique<DigestAhead>(std::move(ahead), m_Progress.GetCancelFlag(),
                                            m_HashThreads > 1 ? m_HashThreads : 0);

    for (const DISCOVERED_DIRECTORY& directory : m_Discover.m_Directories) {
        if (FAILED(m_hr)) return;
        if (Common::IsCancelRequested(m_Progress.GetCancelFlag())) {
            m_hr = E_ABORT;
            return;
        }
        const HRESULT hr = JudgeFolder(directory);
        if (hr == E_ABORT) {
            m_hr = E_ABORT;
            return;
        }
        if (FAILED(hr)) m_hr = hr;
    }
    if (FAILED(m_hr)) return;

    // No manager may keep a pair of a folder that is about to go, nor write one back later.
    ManagedFileHelper::Release();
    m_hr = DeleteMarked();
    if (FAILED(m_hr)) return;
    m_hr = CheckProjectReleases();
    if (FAILED(m_hr)) return;
    m_hr = CheckSolutionReleases();
    if (SUCCEEDED(m_hr)) QUOR_LOG(Log::DEBUG, "Succeeded");
}

HRESULT Execute::GetFileSizes() {
    QUOR_LOG(Log::DEBUG, "%s", "");
    for (DISCOVERED_DIRECTORY& directory : m_Discover.m_Directories) {
        for (DISCOVERED_FILE& file : directory.m_Files) {
            if (Report(file.m_Name)) return E_ABORT;
            UINT size = 0;
            const std::string path = Absolute(directory.m_Path) + "/" + file.m_Name;
            struct stat status {};
            // A link, a pipe or a device is never opened: it could lead anywhere or block.
            if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
                QUOR_LOG(Log::DEBUG, "Not a regular file: \"%s\"", path.c_str());
            } else if (static_cast<uint64_t>(status.st_size) <= UINT32_MAX) {
                size = static_cast<UINT>(status.st_size);
            } else if (FAILED(Common::FileSysHelper::GetFileSize(path, size))) {  // logs what is too large
                QUOR_LOG(Log::ERROR, "Failed to get the size of the discovered file");
                size = 0;
            }
            file.m_Size = size;
        }
    }
    return S_OK;
}

HRESULT Execute::DeleteMark(const std::string& path) {
    if (SUCCEEDED(Common::LocalFileSystem::DeleteFile(path))) return S_OK;
    QUOR_LOG(Log::ERROR, "Failed to delete \"%s\"", path.c_str());
    return S_OK;
}

HRESULT Execute::DeleteMarked() {
    for (const std::string& path : m_FilesToDelete) {
        if (Report(path)) return E_ABORT;
        DeleteMark(path);
    }
    for (auto it = m_FoldersToDelete.rbegin(); it != m_FoldersToDelete.rend(); ++it) {
        if (Report(*it)) return E_ABORT;
        if (FAILED(Common::LocalFileSystem::RemoveDirectory(*it)))
            QUOR_LOG(Log::ERROR, "Failed to remove directory \"%s\"", it->c_str());
    }
    return S_OK;
}

}  // namespace Quor::User::Repair
