#include "common/LocalFileSystem.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>

#include "common/LastError.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "foundation/CStd/CStd.h"
#include "foundation/File/FileIterator.h"
#include "foundation/Mutex.h"

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

}  // namespace

HRESULT LocalFileSystem::FindFiles(std::vector<Vorn::FileSystem::FindFileResult>& out, const char* pattern) {
    return Vorn::FileSystem::FindFiles(pattern ? pattern : "*", out) ? S_OK : E_FAIL;
}

HRESULT LocalFileSystem::FindFiles(std::vector<std::string>& out, const char* pattern, bool directories,
                                   bool others) {
    auto iterator = Vorn::File::CreateFileIterator(pattern ? pattern : "*", 0);
    out.clear();
    for (; iterator && iterator->HasFile(); iterator->Advance()) {
        if (iterator->IsCurrentFileDirectory() && directories)
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
    if (Vorn::std_mkdir_tree(path.c_str())) return S_OK;
    return LastErrorFailure(TAG);
}

HRESULT LocalFileSystem::RemoveDirectory(const std::string& path) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::RemoveDirectory(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "(%s)", path.c_str());
    errno = 0;
    if (Vorn::std_rmdir(path.c_str())) return S_OK;
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
    std::string directory;
    if (folder) {
        directory = folder;
    } else {
        directory = LocalRootFolder::Get() + "/temp";
        if (mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) {
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
    if (Vorn::std_remove(path.c_str())) return S_OK;
    return LastErrorFailure(TAG);
}

bool LocalFileSystem::DoesFileOrDirectoryExist(const std::string& path) {
    return Vorn::std_dir_exists(path.c_str()) || Vorn::std_file_exists(path.c_str());
}

HRESULT LocalFileSystem::CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::CopyFile(const std::string &, const std::string &, "
        "bool)";
    QUOR_LOG_TAG(Log::VERBOSE, TAG, "(\"%s\", \"%s\", %s)", from.c_str(), to.c_str(),
                 failIfExists ? "TRUE" : "FALSE");
    errno = 0;
    if (Vorn::std_copy_file(from.c_str(), to.c_str(), failIfExists)) return S_OK;
    return LastErrorFailure(TAG);
}

HRESULT LocalFileSystem::MoveFile(const std::string& from, const std::string& to, DWORD flags) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::MoveFile(const std::string &, const std::string &, "
        "DWORD)";
    QUOR_LOG_TAG(Log::VERBOSE, TAG, "(\"%s\", \"%s\", %d)", from.c_str(), to.c_str(),
                 static_cast<int>(flags));
    errno = 0;
    if (Vorn::std_move_file(from.c_str(), to.c_str(), flags)) return S_OK;
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
    out = path ? Vorn::FileSystem::File::Create(path, access, share, open, flags)
               : Vorn::FileSystem::FilePtr_t();
    if (out) return S_OK;
    return LastErrorFailure(TAG);
}

HRESULT LocalFileSystem::RemoveReadOnly(const std::string& path) {
    static const char* const TAG =
        "static HRESULT Quor::Common::LocalFileSystem::RemoveReadOnly(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "Path <%s>", path.c_str());
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return E_FAIL;
    return Vorn::std_chmod(path.c_str(), (st.st_mode & 07777) | 0666) ? S_OK : E_FAIL;
}

}  // namespace Quor::Common
