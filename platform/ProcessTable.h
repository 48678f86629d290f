#pragma once
// The machine's process table: which processes run, and the executable each one runs.
//
// ProcessTable() answers the table in use: the one read from /proc, unless a test installed its
// own with SetProcessTableForTests (null restores /proc). The /proc table keeps no state and may
// be used from any thread; installing a table is for a test's own thread, before the code under
// test runs.
//
// ExecutablePath is the path of the process's executable file as the system resolved it at start
// (the link /proc/<pid>/exe, without the " (deleted)" mark of a replaced file); when that cannot be
// read (another user's process, a process that is ending), the first word of its command line.
// False when neither can be read or the process does not exist.
//
// The identity of a process, for deciding whether it is one of ours: ResolvedExecutablePath is
// the link /proc/<pid>/exe alone (never the command line, which any process can set), OwnerIds
// its real and effective uid, Environment its environment block as it was at its start ("NAME=
// value" entries each ended by a NUL), refused (false) when larger than kMaxEnvironmentBytes.
#include <cstdint>
#include <string>
#include <vector>

namespace Quor::Platform {

class IProcessTable {
public:
    virtual ~IProcessTable() = default;
    // The ids of the running processes; 0, or an errno value when the table cannot be read.
    virtual int ListProcessIds(std::vector<uint32_t>& pids) = 0;
    virtual bool ExecutablePath(uint32_t pid, std::string& path) = 0;
    virtual bool ResolvedExecutablePath(uint32_t pid, std::string& path) = 0;
    virtual bool OwnerIds(uint32_t pid, uint32_t& realUid, uint32_t& effectiveUid) = 0;
    virtual bool Environment(uint32_t pid, std::string& block) = 0;
};

constexpr size_t kMaxEnvironmentBytes = 1u << 20;

IProcessTable& ProcessTable();
void SetProcessTableForTests(IProcessTable* table);

}  // namespace Quor::Platform
