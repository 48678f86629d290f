#pragma once
// A scripted process table for tests: lists the processes it was given and records how often it
// was read. Install it with a ScopedOsContext (foundation/OsContext.h); not thread-safe.
//
// Add gives a process of this process's user whose executable link reads as the path, with an
// empty environment; AddProcess scripts every part of its identity.
#include <unistd.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/ProcessTable.h"

namespace Quor::Platform {

class FakeProcessTable : public IProcessTable {
public:
    struct Process {
        std::string path;              // as ExecutablePath reads it; empty: cannot be read
        bool resolved = true;          // the path came from the executable link (not the command line)
        uint32_t realUid = ::geteuid();
        uint32_t effectiveUid = ::geteuid();
        std::string environment;       // "NAME=value\0..." entries
    };

    void Add(uint32_t pid, const std::string& executablePath) {
        Process process;
        process.path = executablePath;
        m_processes[pid] = process;
    }
    void AddProcess(uint32_t pid, const Process& process) { m_processes[pid] = process; }
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
        if (it == m_processes.end() || it->second.path.empty()) return false;
        path = it->second.path;
        return true;
    }
    bool ResolvedExecutablePath(uint32_t pid, std::string& path) override {
        auto it = m_processes.find(pid);
        if (it == m_processes.end() || !it->second.resolved) return false;
        return ExecutablePath(pid, path);
    }
    bool OwnerIds(uint32_t pid, uint32_t& realUid, uint32_t& effectiveUid) override {
        auto it = m_processes.find(pid);
        if (it == m_processes.end()) return false;
        realUid = it->second.realUid;
        effectiveUid = it->second.effectiveUid;
        return true;
    }
    bool Environment(uint32_t pid, std::string& block) override {
        auto it = m_processes.find(pid);
        if (it == m_processes.end()) return false;
        block = it->second.environment;
        return true;
    }

    int listings = 0;  // calls of ListProcessIds

private:
    std::map<uint32_t, Process> m_processes;
    int m_error = 0;
};

}  // namespace Quor::Platform
