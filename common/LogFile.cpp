#include "common/LogFile.h"

#include <cstdio>
#include <string>

#include "common/LocalFileSystem.h"
#include "foundation/CStd/CStd.h"

namespace Quor::Log::_Internal {

const char* const SECONDARY_EXTENSION = ".secondary";

namespace {

// Opens a log stream with share flag 32 (deny writing to others; no effect on this platform).
FILE* OpenShared(const std::string& path, const char* mode) {
    return Vorn::std_fsopen(path.c_str(), mode, 32);
}

bool MoveFile(const std::string& from, const std::string& to, uint32_t flags) {
    return Vorn::std_move_file(from.c_str(), to.c_str(), flags);
}

bool Exists(const std::string& path) {
    return Quor::Common::LocalFileSystem::DoesFileOrDirectoryExist(path);
}

}  // namespace

LogFile::LogFile(const char* name, DWORD count) : m_count(count), m_name(name ? name : "quor.log") {
    if (!Exists(m_name)) {
        m_stream.reset(OpenShared(m_name, "wt"));
        return;
    }
    if (FILE* existing = OpenShared(m_name, "at")) {
        std::fclose(existing);
        RotateLogFiles();
        m_stream.reset(OpenShared(m_name, "wt"));
        if (m_stream) return;
    }
    m_secondary = true;
    m_stream.reset(OpenShared(m_name + SECONDARY_EXTENSION, "wt"));
}

LogFile::~LogFile() {
    if (!m_stream) return;
    m_stream.Close();
    if (!m_secondary) return;
    FILE* main = OpenShared(m_name, "at");
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
