#pragma once
// A scripted process table for tests: lists the processes it was given and records how often it
// was read. Install it with SetProcessTableForTests; not thread-safe.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/ProcessTable.h"

namespace Quor::Platform {

class FakeProcessTable : public IProcessTable {
public:
    void Add(uint32_t pid, const std::string& executablePath) { m_processes[pid] = executablePath; }
    void Remove(uint32_t pid) { m_processes.erase(pid); }
    void FailWith(int error) { m_error = error; }

    int ListProcessIds(std::vector<uint32_t>& pids) override {
        ++listings;
        pids.clear();
        if (m_error) return m_error;
        for (const auto& entry : m_processes) pids.push_back(entry.first);
        return 0;
    }
    bool ExecutablePath(uint32_t pid, std::string& path) override {
        auto it = m_processes.find(pid);
        if (it == m_processes.end() || it->second.empty()) return false;
        path = it->second;
        return true;
    }

    int listings = 0;  // calls of ListProcessIds

private:
    std::map<uint32_t, std::string> m_processes;  // an empty path: cannot be read
    int m_error = 0;
};

}  // namespace Quor::Platform
