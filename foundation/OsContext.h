#pragma once
// The process's seams to the operating system, gathered in one place: the file-system calls that
// write, the start of child processes, the clock of every timed wait, the process table and the
// properties of volumes. Os() answers those in use (the real ones unless a test replaced them);
// production code reaches the system through them, e.g. Os().files.Rename(from, to).
//
// ScopedOsContext is a test's override: it replaces any subset of the seams for its lifetime and
// puts back what was installed before on destruction. It is made on the test's own thread before
// the code under test runs, and whatever it installs outlives every call that reads it (threads
// that use the seams end within its scope). Os() may be called from any thread.
#include "platform/Clock.h"
#include "platform/FileSystemCalls.h"
#include "platform/ProcessStarts.h"
#include "platform/ProcessTable.h"
#include "platform/VolumeProperties.h"

namespace Vorn {

struct OsContext {
    Quor::Platform::IFileSystemCalls& files;
    Quor::Platform::IProcessStarts& processStarts;
    Quor::Platform::IClock& clock;
    Quor::Platform::IProcessTable& processTable;
    Quor::Platform::IVolumeProperties& volumes;
};

inline OsContext Os() {
    return {Quor::Platform::FileSystemCalls(), Quor::Platform::ProcessStarts(), Quor::Platform::Clock(),
            Quor::Platform::ProcessTable(), Quor::Platform::VolumeProperties()};
}

// The seams a ScopedOsContext replaces; a null member leaves that seam as it is.
struct OsOverrides {
    Quor::Platform::IFileSystemCalls* files = nullptr;
    Quor::Platform::IProcessStarts* processStarts = nullptr;
    Quor::Platform::IClock* clock = nullptr;
    Quor::Platform::IProcessTable* processTable = nullptr;
    Quor::Platform::IVolumeProperties* volumes = nullptr;
};

class ScopedOsContext {
public:
    explicit ScopedOsContext(const OsOverrides& overrides) : m_before(Installed()) {
        if (overrides.files) Quor::Platform::SetFileSystemCallsForTests(overrides.files);
        if (overrides.processStarts) Quor::Platform::SetProcessStartsForTests(overrides.processStarts);
        if (overrides.clock) Quor::Platform::SetClock(overrides.clock);
        if (overrides.processTable) Quor::Platform::SetProcessTableForTests(overrides.processTable);
        if (overrides.volumes) Quor::Platform::SetVolumePropertiesForTests(overrides.volumes);
    }
    ~ScopedOsContext() {
        Quor::Platform::SetFileSystemCallsForTests(m_before.files);
        Quor::Platform::SetProcessStartsForTests(m_before.processStarts);
        Quor::Platform::SetClock(m_before.clock);
        Quor::Platform::SetProcessTableForTests(m_before.processTable);
        Quor::Platform::SetVolumePropertiesForTests(m_before.volumes);
    }
    ScopedOsContext(const ScopedOsContext&) = delete;
    ScopedOsContext& operator=(const ScopedOsContext&) = delete;

private:
    // What is in use now; the real clock, file-system calls and process starts as null, so that
    // restoring them installs nothing.
    static OsOverrides Installed() {
        const OsContext os = Os();
        OsOverrides now;
        now.files = &os.files == &Quor::Platform::RealFileSystemCalls() ? nullptr : &os.files;
        now.processStarts = &os.processStarts == &Quor::Platform::RealProcessStarts() ? nullptr : &os.processStarts;
        now.clock = &os.clock == &Quor::Platform::RealClock() ? nullptr : &os.clock;
        now.processTable = &os.processTable;
        now.volumes = &os.volumes;
        return now;
    }

    OsOverrides m_before;
};

}  // namespace Vorn
