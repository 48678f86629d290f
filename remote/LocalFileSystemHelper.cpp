#include "remote/LocalFileSystemHelper.h"

#include <sys/stat.h>

#include <vector>

#include "common/FileSysHelper.h"
#include "common/Log.h"
#include "foundation/CStd/CStd.h"
#include "foundation/FileSystem/FileSystem.h"

namespace Quor::Common {

namespace {

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

}  // namespace

HRESULT LocalFileSystemHelper::DeleteDirectoryTree(const std::string& path, LocalFileSystem& fileSystem) {
    QUOR_LOG(Log::DEBUG, "(\"%s\")", path.c_str());
    // Every entry is named by its full path: the working folder is never changed, so it cannot
    // be left in the tree when a deletion fails.
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        const HRESULT hr = Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Cannot find the folder \"%s\".", path.c_str());
        return FAILED(hr) ? hr : E_FAIL;
    }
    if (S_ISLNK(st.st_mode)) return fileSystem.DeleteFile(path);  // the link, not what it points to

    std::vector<Vorn::FileSystem::FindFileResult> entries;
    HRESULT hr = fileSystem.FindFiles(entries, (path + "/*").c_str());
    if (FAILED(hr)) return hr;
    for (const auto& entry : entries) {
        if (FAILED(hr)) break;
        if (!entry.isDirectory)
            hr = fileSystem.DeleteFile(path + "/" + entry.name);  // files and symbolic links alike
        else if (Vorn::std_stricmp(entry.name.c_str(), ".") != 0 && Vorn::std_stricmp(entry.name.c_str(), "..") != 0)
            hr = DeleteDirectoryTree(path + "/" + entry.name, fileSystem);
    }
    if (FAILED(hr)) return hr;
    return fileSystem.RemoveDirectory(path);
}

HRESULT LocalFileSystemHelper::CopyDirectoryTree(const std::string& source, const std::string& target,
                                                 LocalFileSystem& fileSystem, const bool failIfExists) {
    QUOR_LOG(Log::DEBUG, "(\"%s\", \"%s\")", source.c_str(), target.c_str());
    return RecursiveCopyDirectoryTree_INTERNAL(source + "/", target + "/", fileSystem, failIfExists);
}

HRESULT LocalFileSystemHelper::RecursiveCopyDirectoryTree_INTERNAL(const std::string& sourceFolder,
                                                                   const std::string& targetFolder,
                                                                   LocalFileSystem& fileSystem, bool failIfExists) {
    FileSysHelper::CreateDirectoryAndIntermediatePaths(targetFolder.c_str());
    std::vector<Vorn::FileSystem::FindFileResult> entries;
    HRESULT hr = fileSystem.FindFiles(entries, (sourceFolder + "*").c_str());
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to search directory %s", sourceFolder.c_str());
        return hr;
    }
    HRESULT result = S_OK;
    for (const auto& entry : entries) {
        if (IsDotEntry(entry.name)) continue;
        if (!entry.isDirectory) {
            fileSystem.CopyFile(sourceFolder + entry.name, targetFolder + entry.name, failIfExists);
            continue;
        }
        hr = RecursiveCopyDirectoryTree_INTERNAL(sourceFolder + entry.name + "/", targetFolder + entry.name + "/",
                                                 fileSystem, failIfExists);
        if (FAILED(hr)) result = hr;
    }
    return result;
}

HRESULT LocalFileSystemHelper::DeleteFilesOlderThan(const std::string& folder, LocalFileSystem& fileSystem,
                                                    Time::TIME maxAge) {
    bool removed = false;
    return RecursiveDeleteFilesOlderThan_INTERNAL(folder, fileSystem, maxAge, false, removed);
}

HRESULT LocalFileSystemHelper::RecursiveDeleteFilesOlderThan_INTERNAL(const std::string& folder,
                                                                      LocalFileSystem& fileSystem, Time::TIME maxAge,
                                                                      bool removeWhenEmptied, bool& removed) {
    removed = false;
    std::vector<Vorn::FileSystem::FindFileResult> entries;
    HRESULT hr = fileSystem.FindFiles(entries, (folder + "*").c_str());
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to search directory %s", folder.c_str());
        return hr;
    }
    HRESULT result = S_OK;
    bool allGone = true;
    for (const auto& entry : entries) {
        if (IsDotEntry(entry.name)) continue;
        const std::string path = folder + entry.name;
        if (entry.isDirectory) {
            bool subfolderRemoved = false;
            hr = RecursiveDeleteFilesOlderThan_INTERNAL(path + "/", fileSystem, maxAge, true, subfolderRemoved);
            if (FAILED(hr)) result = hr;
            if (!subfolderRemoved) allGone = false;
            continue;
        }
        Time::TIME age = 0;
        if (FAILED(FileSysHelper::FileAge(path, age))) {
            QUOR_LOG(Log::ERROR, "Failed to determine age of %s", path.c_str());
        } else if (age < maxAge) {
            allGone = false;
        } else if (FAILED(fileSystem.DeleteFile(path))) {
            QUOR_LOG(Log::ERROR, "Failed to delete %s", path.c_str());
        }
    }
    if (removeWhenEmptied && allGone) {
        if (FAILED(fileSystem.RemoveDirectory(folder)))
            QUOR_LOG(Log::ERROR, "Failed to delete directory %s", folder.c_str());
        else
            removed = true;
    }
    return result;
}

}  // namespace Quor::Common
