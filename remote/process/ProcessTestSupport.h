#pragma once
// Shared by the process helper tests (and only by tests): helper programs with chosen names, and a guard that ends
// and collects what a test started.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "remote/process/Process.h"

namespace ProcessTest {

// A copy of /bin/sleep called name in folder; returns its path.
inline std::string MakeSleeper(const std::string& folder, const std::string& name) {
    const std::string path = folder + "/" + name;
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file("/bin/sleep", path);
    chmod(path.c_str(), 0755);
    return path;
}

// Writes an executable shell script.
inline std::string MakeScript(const std::string& path, const std::string& body, mode_t mode = 0755) {
    std::ofstream(path, std::ios::trunc) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), mode);
    return path;
}

// Starts path with arguments; the record holds the handle.
inline bool Start(const std::string& path, std::vector<std::string> args, Vorn::ProcessLaunchRecord& record,
                  const char* folder = nullptr) {
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    return Vorn::processCreate(path.c_str(), folder, static_cast<int>(argv.size()), argv.data(), &record);
}

// Ends (SIGKILL) every process it was given when it dies, and waits until each has ended.
class Reaper {
public:
    ~Reaper() {
        for (Vorn::ProcessId pid : m_pids) {
            Vorn::processForceTerminate(pid);
            Vorn::processWaitPid(pid, 10000);
        }
    }
    void Keep(Vorn::ProcessId pid) { m_pids.push_back(pid); }
    void Keep(const Vorn::ProcessLaunchRecord& record) { Keep(record.pid); }

private:
    std::vector<Vorn::ProcessId> m_pids;
};

}  // namespace ProcessTest
