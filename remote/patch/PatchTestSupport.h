#pragma once
// Shared by the binary-patch tests (and only by tests): an install tree whose system folder holds
// the tools a test chooses, and a recording of the log lines written meanwhile.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "common/Log.h"

namespace PatchTest {

// Records "LEVEL|text" for every log line that passes the level (VERBOSE while it lives).
class LogRecorder final : public Quor::Log::IWrite {
public:
    LogRecorder() {
        Quor::Log::SetLogLevel(Quor::Log::VERBOSE);
        Quor::Log::SetIWrite(this);
    }
    ~LogRecorder() {
        Quor::Log::SetIWrite(nullptr);
        Quor::Log::SetLogLevel(Quor::Log::ERROR);
    }
    void Write(Quor::Log::TYPE type, const char*, const char* text) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(std::string(Quor::Log::ToString(type)) + "|" + text);
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    bool Has(const std::string& line) {
        const auto lines = Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // Index of the first line equal to line, or -1.
    int IndexOf(const std::string& line) {
        const auto lines = Lines();
        auto it = std::find(lines.begin(), lines.end(), line);
        return it == lines.end() ? -1 : static_cast<int>(it - lines.begin());
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

// Copies a program into folder under name.
inline void InstallTool(const std::string& from, const std::string& folder, const std::string& name) {
    const std::string to = folder + "/" + name;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    chmod(to.c_str(), 0755);
}

// A stand-in tool: a script that exits with code.
inline void InstallStub(const std::string& folder, const std::string& name, int code) {
    const std::string to = folder + "/" + name;
    std::ofstream(to, std::ios::trunc) << "#!/bin/sh\nexit " << code << "\n";
    chmod(to.c_str(), 0755);
}

}  // namespace PatchTest
