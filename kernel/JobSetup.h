#pragma once
// What a request handler builds around one engine operation: the progress record that forwards
// reports to the requesting client and reads the handler's cancel flag, made current for the
// archive work done on the way; and the checks of the names a client sends.
#include <string>

#include "archive/ManagedFileHelper.h"
#include "common/AutoUpdateProgress.h"
#include "foundation/Types.h"
#include "kernel/ForwardUpdateProgress.h"

namespace Quor::Orvane {

class JobProgress {
public:
    // Reports to the client through forward every 100 ms at most; the engine stops when *cancel is
    // non-zero.
    JobProgress(ForwardUpdateProgress& forward, const signed char* cancel);
    // No listener, no cancel flag, period 1000 ms (an uninstall that cannot be cancelled).
    JobProgress();
    JobProgress(const JobProgress&) = delete;
    JobProgress& operator=(const JobProgress&) = delete;

    Quor::User::AutoUpdateProgress& Get() { return m_Progress; }

private:
    Quor::User::AutoUpdateProgress m_Progress;
    Quor::User::ManagedFileHelper::SetAutoUpdateProgress m_Scope;
};

// True (and an ERROR line) when a project or solution name from a client is not one plain
// folder name.
bool IsRefusedName(const std::string& name);
// True (and an ERROR line) when a path or executable from a client could leave its folder.
bool IsRefusedRelativeName(const std::string& name);
// The same for the path of a file a reader locks, which may be written with backslashes and
// doubled slashes: judged in its normalised spelling (backslashes read as "/", doubled "/" as
// one), so that only what is still absolute, holds an empty, "." or ".." segment, or a NUL is
// refused.
bool IsRefusedReaderPath(const std::string& path);

}  // namespace Quor::Orvane
