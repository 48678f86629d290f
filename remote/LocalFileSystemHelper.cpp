#include "remote/LocalFileSystemHelper.h"

#include <sys/stat.h>

#include <cstring>

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

    // The folder is listed without following links and without skipping entries whose target is
    // gone: a dangling link must be deleted too, or the folder could never be removed.
    char* listing = nullptr;
    if (!Vorn::std_get_dir_listing(path.c_str(), listing)) {
        const HRESULT hr = Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to search directory %s", path.c_str());
        return FAILED(hr) ? hr : E_FAIL;
    }
    HRESULT hr = S_OK;
    for (const char* name = listing; *name && SUCCEEDED(hr); name += strlen(name) + 1) {
        const std::string entry = path + "/" + name;
        struct stat own;
        const bool isFolder = lstat(entry.c_str(), &own) == 0 && S_ISDIR(own.st_mode);
        hr = isFolder ? DeleteDirectoryTree(entry, fileSystem)
                      : fileSystem.DeleteFile(entry);  // files and symbolic links alike
    }
    Vorn::std_free_dir_listing(listing);
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
            // A file kept because it exists (failIfExists) is not a failure; any other failed copy
            // is, so that a copied release is never reported complete with files missing.
            const std::string target = targetFolder + entry.name;
            if (failIfExists && Vorn::std_access(target.c_str(), 0) == 0) continue;
            hr = fileSystem.CopyFile(sourceFolder + entry.name, target, failIfExists);
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to copy %s%s", sourceFolder.c_str(), entry.name.c_str());
                result = hr;
            }
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
