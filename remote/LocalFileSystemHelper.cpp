#include "remote/LocalFileSystemHelper.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "common/FileSysHelper.h"
#include "common/Log.h"
#include "common/TreePath.h"
#include "foundation/CStd/CStd.h"
#include "foundation/FileSystem/FileSystem.h"

namespace Quor::Common {

namespace {

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

struct DirCloser {
    void operator()(DIR* dir) const {
        if (dir) closedir(dir);
    }
};

HRESULT DeleteFailure(const char* tag, const std::string& path) {
    const HRESULT hr = Log::Internal::LogGetLastError(tag);
    QUOR_LOG_TAG(Log::ERROR, tag, "Failed to delete \"%s\".", path.c_str());
    return FAILED(hr) ? hr : E_FAIL;
}

// Deletes everything in the open folder (path names it in the log): files and symbolic links by
// unlinkat, subfolders opened with O_NOFOLLOW below it, emptied and removed. Stops at the first
// failure. Dangling links go too, or the folder could never be removed.
HRESULT DeleteContents(int folder, const std::string& path) {
    static const char* const TAG = "HRESULT Quor::Common::LocalFileSystemHelper::DeleteDirectoryTree(const std::string &, "
                                   "Quor::Common::LocalFileSystem &)";
    std::vector<std::string> names;
    {
        const int listed = ::dup(folder);
        std::unique_ptr<DIR, DirCloser> dir(listed >= 0 ? ::fdopendir(listed) : nullptr);
        if (!dir) {
            if (listed >= 0) ::close(listed);
            const HRESULT hr = Log::Internal::LogGetLastError(TAG);
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to search directory %s", path.c_str());
            return FAILED(hr) ? hr : E_FAIL;
        }
        while (const dirent* entry = ::readdir(dir.get()))
            if (!IsDotEntry(entry->d_name)) names.emplace_back(entry->d_name);
    }
    for (const std::string& name : names) {
        const std::string entry = path + "/" + name;
        struct stat own;
        if (::fstatat(folder, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;
            return DeleteFailure(TAG, entry);
        }
        if (!S_ISDIR(own.st_mode)) {
            QUOR_LOG_TAG(Log::VERBOSE, TAG, "(\"%s\")", entry.c_str());
            if (::unlinkat(folder, name.c_str(), 0) != 0) return DeleteFailure(TAG, entry);
            continue;
        }
        const Vorn::UniqueFd child(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child.IsValid()) return DeleteFailure(TAG, entry);
        const HRESULT hr = DeleteContents(child.Get(), entry);
        if (FAILED(hr)) return hr;
        if (::unlinkat(folder, name.c_str(), AT_REMOVEDIR) != 0) return DeleteFailure(TAG, entry);
    }
    return S_OK;
}

}  // namespace

HRESULT LocalFileSystemHelper::DeleteDirectoryTree(const std::string& path, LocalFileSystem& /*fileSystem*/) {
    QUOR_LOG(Log::DEBUG, "(\"%s\")", path.c_str());
    // Everything is reached below folder descriptors, never through a symbolic link (in the
    // install tree not even on the way to path), and the working folder is never changed.
    std::string leaf;
    const Vorn::UniqueFd parent = TreePath::OpenHoldingFolder(path, leaf);
    struct stat st;
    if (!parent.IsValid() || ::fstatat(parent.Get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        const HRESULT hr = Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Cannot find the folder \"%s\".", path.c_str());
        return FAILED(hr) ? hr : E_FAIL;
    }
    if (S_ISLNK(st.st_mode)) {  // the link, not what it points to
        if (::unlinkat(parent.Get(), leaf.c_str(), 0) == 0) return S_OK;
        return DeleteFailure(__PRETTY_FUNCTION__, path);
    }
    const Vorn::UniqueFd folder(::openat(parent.Get(), leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.IsValid()) {
        const HRESULT hr = Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to search directory %s", path.c_str());
        return FAILED(hr) ? hr : E_FAIL;
    }
    const HRESULT hr = DeleteContents(folder.Get(), path);
    if (FAILED(hr)) return hr;
    if (::unlinkat(parent.Get(), leaf.c_str(), AT_REMOVEDIR) == 0) return S_OK;
    return DeleteFailure(__PRETTY_FUNCTION__, path);
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
