#pragma once
// TODO(dep): temporary stand-ins for types being written on other branches (the self-deleting
// temporary file, time units and directory-tree helpers on `fileutil`, the "no release" version
// and the relative-name rule on `manifests`, the process helpers). Each has the name and the
// interface of the real one and is deleted as soon as the real one lands on main.
#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "common/LocalFileSystem.h"
#include "common/Log.h"
#include "foundation/Types.h"

namespace Quor {
// TODO(dep): common/ReleaseVersion.h
inline constexpr DWORD INVALID_RELEASE_VERSION = 0xFFFFFFFF;
}  // namespace Quor

namespace Quor::Common {

// TODO(dep): common/AutoTemporaryFile.h
class AutoTemporaryFile {
public:
    AutoTemporaryFile(LocalFileSystem& fileSystem, HRESULT& result) : m_fileSystem(fileSystem) {
        result = m_fileSystem.CreateTempFile(m_path);
        if (FAILED(result)) {
            QUOR_LOG(Log::ERROR, "Failed to get temporary file name.");
            m_path.clear();
        }
    }
    ~AutoTemporaryFile() {
        if (!m_path.empty() && !m_keep && FAILED(m_fileSystem.DeleteFile(m_path)))
            QUOR_LOG(Log::ERROR, "Failed to delete temporary file \"%s\".", m_path.c_str());
    }
    AutoTemporaryFile(const AutoTemporaryFile&) = delete;
    AutoTemporaryFile& operator=(const AutoTemporaryFile&) = delete;

    const std::string& GetPath() const { return m_path; }
    void SetKeep(bool keep) { m_keep = keep; }

private:
    LocalFileSystem& m_fileSystem;
    std::string m_path;
    bool m_keep = false;
};

// TODO(dep): common/Time.h
namespace Time {
typedef uint64_t TIME;
constexpr TIME FromSeconds(DWORD seconds) { return TIME{seconds} * 10000000; }
constexpr TIME FromDays(DWORD days) { return TIME{static_cast<DWORD>(days * 86400u)} * 10000000; }
}  // namespace Time

// TODO(dep): common/RelativeName.h
inline bool IsValidRelativeName(std::string_view name) {
    if (name.empty() || name.front() == '/') return false;
    if (name.find('\\') != std::string_view::npos || name.find('\0') != std::string_view::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view segment = name.substr(start, end - start);
        if (segment.empty() || segment == "." || segment == "..") return false;
        start = end + 1;
    }
    return true;
}

// TODO(dep): the directory-tree helpers.
class LocalFileSystemHelper {
public:
    static HRESULT DeleteFilesOlderThan(const std::string& folder, LocalFileSystem& fileSystem, Time::TIME maxAge) {
        std::vector<std::string> names;
        fileSystem.FindFiles(names, (folder + "*").c_str(), false, true);
        for (const std::string& name : names) {
            if (name == "." || name == "..") continue;
            struct stat info {};
            const std::string path = folder + name;
            if (lstat(path.c_str(), &info) != 0) continue;
            if (S_ISDIR(info.st_mode)) {
                DeleteFilesOlderThan(path + "/", fileSystem, maxAge);
                fileSystem.RemoveDirectory(path);
                continue;
            }
            const time_t now = std::time(nullptr);
            const Time::TIME age = now > info.st_mtime ? Time::FromSeconds(static_cast<DWORD>(now - info.st_mtime)) : 0;
            if (age >= maxAge) fileSystem.DeleteFile(path);
        }
        return S_OK;
    }
};

// TODO(dep): the process helpers.
class ProcessHelper {
public:
    static bool TerminateProcessesByName(const std::string&) { return false; }
};

}  // namespace Quor::Common
