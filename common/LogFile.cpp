#include "common/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/LocalFileSystem.h"
#include "foundation/CStd/CStd.h"
#include "foundation/OsContext.h"
#include "foundation/UniqueFd.h"

namespace Quor::Log::_Internal {

const char* const SECONDARY_EXTENSION = ".secondary";

namespace {

// Opens a log stream at path, emptied or for appending: only a regular file that stands at that
// name itself (a link there is not followed, a FIFO or device is refused without waiting for a
// reader); a missing one is created 0644.
FILE* OpenLogStream(const std::string& path, bool append) {
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : 0);
    Vorn::UniqueFd fd(Vorn::Os().files.Open(path.c_str(), flags, 0644));
    struct stat status {};
    if (!fd.IsValid() || ::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
    if (!append && ::ftruncate(fd.Get(), 0) != 0) return nullptr;
    const int blocking = ::fcntl(fd.Get(), F_GETFL);
    if (blocking < 0 || ::fcntl(fd.Get(), F_SETFL, blocking & ~O_NONBLOCK) != 0) return nullptr;
    FILE* stream = ::fdopen(fd.Get(), append ? "a" : "w");
    if (stream) fd.Release();
    return stream;
}

// Whether anything (also a link or a FIFO) stands at path.
bool Present(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool MoveFile(const std::string& from, const std::string& to, uint32_t flags) {
    return Vorn::std_move_file(from.c_str(), to.c_str(), flags);
}

bool Exists(const std::string& path) {
    return Quor::Common::LocalFileSystem::DoesFileOrDirectoryExist(path);
}

}  // namespace

LogFile::LogFile(const char* name, DWORD count) : m_count(count), m_name(name ? name : "quor.log") {
    if (!Present(m_name)) {
        m_stream.reset(OpenLogStream(m_name, false));
        return;
    }
    if (FILE* existing = OpenLogStream(m_name, true)) {
        std::fclose(existing);
        RotateLogFiles();
        m_stream.reset(OpenLogStream(m_name, false));
        if (m_stream) return;
    }
    m_secondary = true;
    m_stream.reset(OpenLogStream(m_name + SECONDARY_EXTENSION, false));
}

LogFile::~LogFile() {
    if (!m_stream) return;
    m_stream.Close();
    if (!m_secondary) return;
    FILE* main = OpenLogStream(m_name, true);
    if (!main) return;
    std::fclose(main);
    if (SUCCEEDED(RotateLogFiles())) MoveFile(m_name + SECONDARY_EXTENSION, m_name, 1);
}

HRESULT LogFile::RotateLogFiles() {
    if (!Exists(m_name)) return S_OK;
    HRESULT result = S_OK;
    for (DWORD i = m_count; i-- > 0;) {
        const std::string source = i == 0 ? m_name : m_name + std::to_string(i);
        const std::string destination = m_name + std::to_string(i + 1);
        if (!Exists(source)) continue;
        if (!MoveFile(source, destination, 3) && i == 0) result = E_FAIL;
    }
    return result;
}

}  // namespace Quor::Log::_Internal
