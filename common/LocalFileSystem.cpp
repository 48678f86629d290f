#include "common/LocalFileSystem.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>

#include "common/LastError.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/RegularFile.h"
#include "common/TreePath.h"
#include "foundation/CStd/CStd.h"
#include "foundation/File/FileIterator.h"
#include "foundation/Mutex.h"
#include "foundation/OsContext.h"
#include "platform/FileCopy.h"

namespace Quor::Common {

const char* const LocalFileSystem::DefaultTempFilePrefix = "TMP";

namespace {

// Serialises the creation of temporary files, so that two threads never race for one name.
Vorn::Mutex tempFileMutex(false);

struct TempFileLock {
    TempFileLock() { tempFileMutex.Lock(); }
    ~TempFileLock() { tempFileMutex.Unlock(); }
};

// The process's file-creation mask, read without changing it (umask() would change it for every
// thread for a moment).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
};

struct DirCloser {
    void operator()(DIR* dir) const {
        if (dir) closedir(dir);
    }
};

// The folder part and the name part of a pattern or path ("a/b/*" gives "a/b" and "*"); a
// trailing "/" belongs to neither.
void Split(const std::string& path, std::string& folder, std::string& name) {
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    const size_t slash = native.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
    name = slash == std::string::npos ? native : native.substr(slash + 1);
}

// The entries of a folder of the tree matching spec, read through the folder's descriptor: a
// symbolic link is listed as a file (dangling or not), never followed. False when the folder
// cannot be opened.
bool ListTreeFolder(const std::string& folder, const std::string& spec,
                    std::vector<Vorn::FileSystem::FindFileResult>& out) {
    Vorn::UniqueFd fd = TreePath::OpenFolder(folder, false);
    if (!fd.IsValid()) return false;
    const int listed = ::dup(fd.Get());
    if (listed < 0) return false;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(listed));
    if (!dir) {
        ::close(listed);
        return false;
    }
    while (dirent* entry = ::readdir(dir.get())) {
        if (!Vorn::std_path_match_spec(entry->d_name, spec.c_str())) continue;
        struct stat own {};
        if (::fstatat(fd.Get(), entry->d_name, &own, AT_SYMLINK_NOFOLLOW) != 0) continue;
        out.push_back({entry->d_name, S_ISDIR(own.st_mode)});
    }
    return true;
}

// unlinkat for a file and, as remove() does, rmdir for a folder.
bool RemoveEntry(int folder, const std::string& leaf) {
    if (Vorn::Os().files.UnlinkAt(folder, leaf.c_str(), 0) == 0) return true;
    return errno == EISDIR && Vorn::Os().files.UnlinkAt(folder, leaf.c_str(), AT_REMOVEDIR) == 0;
}

// A new name for a temporary file: "TMP" and six letters or digits.
std::string TemporaryName() {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937_64 generator{std::random_device{}() ^ (static_cast<uint64_t>(::getpid()) << 32)};
    std::string name = LocalFileSystem::DefaultTempFilePrefix;
    for (int i = 0; i < 6; ++i) name += kLetters[generator() % (sizeof kLetters - 1)];
    return name;
}

// A file of the tree copied from a regular file (never through a link at either end): into the
// folder that stands at `to`, under the source's name; missing folders of `to` are made.
bool CopyIntoTree(const std::string& from, const std::string& to, bool failIfExists) {
    const Vorn::UniqueFd in = OpenRegularFile(from);
    if (!in.IsValid()) return false;
    std::string leaf;
    Vorn::UniqueFd parent = TreePath::OpenParent(to, true, leaf);
    if (!parent.IsValid()) return false;
    struct stat status {};
    bool exists = TreePath::StatLeaf(parent.Get(), leaf, to, status);
    std::string target = to;
    if (exists && S_ISDIR(status.st_mode)) {
        std::string sourceFolder, name;
        Split(from, sourceFolder, name);
        target = to + "/" + name;
        parent = TreePath::OpenFolder(to, false);
        if (!parent.IsValid()) return false;
        leaf = name;
        exists = TreePath::StatLeaf(parent.Get(), leaf, target, status);
    }
    if (exists && failIfExists && S_ISREG(status.st_mode)) {
        errno = EEXIST;
        return false;
    }
    // Opened without truncating, so that a target which is the source itself stays intact.
    const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    Vorn::UniqueFd out(exists ? Vorn::Os().files.OpenAt(parent.Get(), leaf.c_str(), flags, 0) : -1);
    if (exists && !out.IsValid() && (errno == EACCES || errno == EPERM || errno == ETXTBSY) &&
        S_ISREG(status.st_mode)) {
        // A target that cannot be written over is replaced.
        if (Vorn::Os().files.UnlinkAt(parent.Get(), leaf.c_str(), 0) != 0) return false;
        exists = false;
    } else if (exists && !out.IsValid()) {
        return false;
    }
    bool created = false;
    if (!exists) {
        out = Vorn::UniqueFd(Vorn::Os().files.OpenAt(parent.Get(), leaf.c_str(), flags | O_CREAT | O_EXCL, 0600));
        if (!out.IsValid()) return false;
        created = true;
    }
    bool copied = Platform::CopyOpenFileWithMetadata(in.Get(), out.Get());
    if (::close(out.Release()) != 0) copied = false;
    if (!copied && created) {
        const int saved = errno;
        Vorn::Os().files.UnlinkAt(parent.Get(), leaf.c_str(), 0);
        errno = saved;
    }
    return copied;
}

}  // namespace

HRESULT LocalFileSystem::FindFiles(std::vector<Vorn::FileSystem::FindFileResult>& out, const char* pattern) {
    const std::string spec = pattern ? pattern : "*";
    std::string folder, name;
    Split(spec, folder, name);
    if (TreePath::Contains(folder)) return ListTreeFolder(folder, name, out) ? S_OK : E_FAIL;
    return Vorn::FileSystem::FindFiles(spec.c_str(), out) ? S_OK : E_FAIL;
}

HRESULT LocalFileSystem::FindFiles(std::vector<std::string>& out, const char* pattern, bool directories,
                                   bool others) {
    std::string folder, name;
    Split(pattern ? pattern : "*", folder, name);
    // In the tree the folder is reached without a link (none found on the way is passed), and a
    // link is never listed as a folder.
    Vorn::UniqueFd treeFolder;
    if (TreePath::Contains(folder)) {
        treeFolder = TreePath::OpenFolder(folder, false);
        if (!treeFolder.IsValid()) {
            out.clear();
            return S_OK;
        }
    }
    auto iterator = Vorn::File::CreateFileIterator(pattern ? pattern : "*", 0);
    out.clear();
    for (; iterator && iterator->HasFile(); iterator->Advance()) {
        bool isDirectory = iterator->IsCurrentFileDirectory();
        struct stat own {};
        if (isDirectory && treeFolder.IsValid() &&
            ::fstatat(treeFolder.Get(), iterator->GetCurrentFileName(), &own, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISDIR(own.st_mode))
            isDirectory = false;
        if (isDirectory && directories)
            out.emplace_back(iterator->GetCurrentFileName());
        else if (others)
            out.emplace_back(iterator->GetCurrentFileName());
    }
    return S_OK;
}

HRESULT LocalFileSystem::SetCurrentDirectory(const std::string& path) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::SetCurrentDirectory(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "(%s)", path.c_str());
    errno = 0;
    if (Vorn::std_chdir(path.c_str())) return S_OK;
    return LastErrorFailure(TAG);
}

HRESULT LocalFileSystem::GetCurrentDirectory(std::string& out) {
    QUOR_LOG_TAG(Log::DEBUG,
                 "static HRESULT Quor::Common::LocalFileSystem::GetCurrentDirectory(std::string &)", "()");
    char buffer[1024];
    buffer[0] = '\0';
    out = Vorn::std_getcwd(sizeof buffer, buffer) ? buffer : "";
    return S_OK;
}

HRESULT LocalFileSystem::CreateDirectory(const std::string& path) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::CreateDirectory(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "(%s)", path.c_str());
    errno = 0;
    if (TreePath::Contains(path) ? TreePath::OpenFolder(path, true).IsValid() : Vorn::std_mkdir_tree(path.c_str()))
        return S_OK;
    return LastErrorFailure(TAG);
}

HRESULT LocalFileSystem::RemoveDirectory(const std::string& path) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::RemoveDirectory(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "(%s)", path.c_str());
    errno = 0;
    if (!TreePath::Contains(path)) return Vorn::std_rmdir(path.c_str()) ? S_OK : LastErrorFailure(TAG);
    std::string leaf;
    const Vorn::UniqueFd parent = TreePath::OpenParent(path, false, leaf);
    if (parent.IsValid()) {
        if (Vorn::Os().files.UnlinkAt(parent.Get(), leaf.c_str(), AT_REMOVEDIR) == 0) return S_OK;
        // A link where the folder stood is removed as damage, not followed.
        struct stat status {};
        if (errno == ENOTDIR && ::fstatat(parent.Get(), leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(status.st_mode) && TreePath::RemoveLink(parent.Get(), leaf, path))
            return S_OK;
    }
    return LastErrorFailure(TAG);
}

HRESULT LocalFileSystem::CreateTempFile(std::string& out) {
    return CreateTempFileInDirectory(out, nullptr);
}

HRESULT LocalFileSystem::CreateTempFileInDirectory(std::string& out, const char* folder) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::CreateTempFileInDirectory(std::string &, const char "
        "*)";
    TempFileLock lock;
    out.clear();
    const std::string directory = folder ? folder : LocalRootFolder::Get() + "/temp";
    if (TreePath::Contains(directory)) {
        // Made below the folder's descriptor with O_EXCL: never through a link, never an existing file.
        errno = 0;
        const Vorn::UniqueFd where = TreePath::OpenFolder(directory, folder == nullptr);
        if (!where.IsValid()) {
            HRESULT hr = LastErrorFailure(TAG);
            QUOR_LOG_TAG(Log::ERROR, TAG, "Cannot open the temporary folder \"%s\"", directory.c_str());
            return hr;
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = TemporaryName();
            const int fd = Vorn::Os().files.OpenAt(where.Get(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd >= 0) {
                ::close(fd);
                out = directory + (directory.back() == '/' ? "" : "/") + name;
                return S_OK;
            }
            if (errno != EEXIST) break;
        }
        HRESULT hr = LastErrorFailure(TAG);
        QUOR_LOG_TAG(Log::ERROR, TAG, "Cannot create a temporary file in \"%s\"", directory.c_str());
        return hr;
    }
    if (!folder) {
        if (Vorn::Os().files.Mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) {
            HRESULT hr = LastErrorFailure(TAG);
            QUOR_LOG_TAG(Log::ERROR, TAG, "Cannot create the temporary folder \"%s\"", directory.c_str());
            return hr;
        }
    }
    std::string name = directory;
    if (!name.empty() && name.back() != '/') name += '/';
    name += DefaultTempFilePrefix;
    name += "XXXXXX";
    errno = 0;
    FdCloser file{mkstemp(name.data())};
    if (file.fd < 0) {
        HRESULT hr = LastErrorFailure(TAG);
        QUOR_LOG_TAG(Log::ERROR, TAG, "Cannot create a temporary file in \"%s\"", directory.c_str());
        return hr;
    }
    // mkstemp makes the file private (0600); give it the mode an ordinary new file gets.
    fchmod(file.fd, 0666 & ~CurrentUmask());
    out = name;
    return S_OK;
}

HRESULT LocalFileSystem::DeleteFile(const std::string& path) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::DeleteFile(const std::string &)";
    QUOR_LOG_TAG(Log::VERBOSE, TAG, "(\"%s\")", path.c_str());
    errno = 0;
    if (!TreePath::Contains(path)) return Vorn::std_remove(path.c_str()) ? S_OK : LastErrorFailure(TAG);
    // The entry itself goes (a link as a link); a link on the way is removed, never passed.
    std::string leaf;
    const Vorn::UniqueFd parent = TreePath::OpenParent(path, false, leaf);
    if (parent.IsValid() && RemoveEntry(parent.Get(), leaf)) return S_OK;
    return LastErrorFailure(TAG);
}

bool LocalFileSystem::DoesFileOrDirectoryExist(const std::string& path) {
    if (!TreePath::Contains(path)) return Vorn::std_dir_exists(path.c_str()) || Vorn::std_file_exists(path.c_str());
    const int saved = errno;
    std::string leaf;
    const Vorn::UniqueFd parent = TreePath::OpenParent(path, false, leaf);
    struct stat status {};
    const bool exists = parent.IsValid() && TreePath::StatLeaf(parent.Get(), leaf, path, status) &&
                        (S_ISDIR(status.st_mode) || S_ISREG(status.st_mode));
    errno = saved;
    return exists;
}

HRESULT LocalFileSystem::CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::CopyFile(const std::string &, const std::string &, "
        "bool)";
    QUOR_LOG_TAG(Log::VERBOSE, TAG, "(\"%s\", \"%s\", %s)", from.c_str(), to.c_str(),
                 failIfExists ? "TRUE" : "FALSE");
    errno = 0;
    bool copied = false;
    if (TreePath::Contains(to)) {
        copied = CopyIntoTree(from, to, failIfExists);
    } else if (TreePath::Contains(from)) {
        // Out of the tree: the source is checked first, so that no link in the tree is read through.
        copied = OpenRegularFile(from).IsValid() && Vorn::std_copy_file(from.c_str(), to.c_str(), failIfExists);
    } else {
        copied = Vorn::std_copy_file(from.c_str(), to.c_str(), failIfExists);
    }
    if (copied) return S_OK;
    return LastErrorFailure(TAG);
}

HRESULT LocalFileSystem::MoveFile(const std::string& from, const std::string& to, DWORD flags) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::MoveFile(const std::string &, const std::string &, "
        "DWORD)";
    QUOR_LOG_TAG(Log::VERBOSE, TAG, "(\"%s\", \"%s\", %d)", from.c_str(), to.c_str(),
                 static_cast<int>(flags));
    errno = 0;
    bool moved = false;
    if (TreePath::Contains(from) || TreePath::Contains(to)) {
        // renameat below the folders' descriptors: neither a link on the way nor a link standing
        // in for the moved entry is followed (a link at the destination is replaced).
        std::string fromLeaf, toLeaf;
        const Vorn::UniqueFd fromParent = TreePath::OpenHoldingFolder(from, fromLeaf);
        const Vorn::UniqueFd toParent = fromParent.IsValid() ? TreePath::OpenHoldingFolder(to, toLeaf) : Vorn::UniqueFd();
        struct stat status {};
        moved = toParent.IsValid() &&
                (!TreePath::Contains(from) || TreePath::StatLeaf(fromParent.Get(), fromLeaf, from, status)) &&
                Vorn::Os().files.RenameAt(fromParent.Get(), fromLeaf.c_str(), toParent.Get(), toLeaf.c_str(), 0) == 0;
    } else {
        moved = Vorn::std_move_file(from.c_str(), to.c_str(), flags);
    }
    if (moved) return S_OK;
    HRESULT hr = LastErrorFailure(TAG);
    QUOR_LOG_TAG(Log::ERROR, TAG, "Error moving file \"%s\" to \"%s\" with flags 0x%08lx - return value %d",
                 from.c_str(), to.c_str(), static_cast<unsigned long>(flags), 0);
    return hr;
}

HRESULT LocalFileSystem::CreateFile(Vorn::FileSystem::FilePtr_t& out, const char* path, DWORD access,
                                    DWORD share, DWORD open, DWORD flags, void* /*templateFile*/) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::CreateFile(Vorn::FileSystem::FilePtr_t &, const char "
        "*, "
        "DWORD, DWORD, DWORD, DWORD, void *)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "%s, %d", path ? path : "", static_cast<int>(access));
    errno = 0;
    if (path && TreePath::Contains(path)) {
        // As File::Create opens it (read wins; write alone creates or empties), never through a link.
        const bool read = (access & Vorn::FileSystem::eFileAccessRead) != 0;
        const bool write = (access & Vorn::FileSystem::eFileAccessWrite) != 0;
        out.reset();
        if (read || write) {
            Vorn::UniqueFd fd = TreePath::OpenFile(path, read ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC);
            FILE* stream = fd.IsValid() ? ::fdopen(fd.Get(), read ? "rb" : "wb") : nullptr;
            if (stream) fd.Release();
            out = Vorn::FileSystem::File::FromStream(stream);
        }
    } else {
        out = path ? Vorn::FileSystem::File::Create(path, access, share, open, flags)
                   : Vorn::FileSystem::FilePtr_t();
    }
    if (out) return S_OK;
    return LastErrorFailure(TAG);
}

HRESULT LocalFileSystem::RemoveReadOnly(const std::string& path) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::RemoveReadOnly(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "Path <%s>", path.c_str());
    if (TreePath::Contains(path)) {
        const Vorn::UniqueFd file = TreePath::OpenFile(path, O_RDONLY);
        struct stat status {};
        if (!file.IsValid() || ::fstat(file.Get(), &status) != 0) return E_FAIL;
        return ::fchmod(file.Get(), (status.st_mode & 07777) | 0600) == 0 ? S_OK : E_FAIL;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return E_FAIL;
    return Vorn::std_chmod(path.c_str(), (st.st_mode & 07777) | 0600) ? S_OK : E_FAIL;
}

}  // namespace Quor::Common
