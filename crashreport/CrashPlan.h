#pragma once
// CrashPlan: everything the fatal-signal handler needs, prepared beforehand.
//
// A plan is built outside the handler (report path, sender path, the sender's argv) and then
// published; the handler reads only the plan published last and allocates nothing. Published
// plans live until the process ends, so a handler on another thread never reads freed memory.
// PublishCrashPlan may be called from any thread.
#include <memory>
#include <string>
#include <vector>

namespace Tamrix {

struct CrashPlan {
    std::string reportPath;
    std::string senderPath;
    std::string executableName;
    std::vector<std::string> arguments;  // the sender's arguments, without its own path
    std::vector<char*> argv;             // sender path, arguments, null; filled by PublishCrashPlan
    const CrashPlan* previous = nullptr;
};

void PublishCrashPlan(std::unique_ptr<CrashPlan> plan);
// The plan published last, or null.
const CrashPlan* CurrentCrashPlan();

}  // namespace Tamrix
