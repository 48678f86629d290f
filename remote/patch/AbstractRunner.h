#pragma once
// JojoDiff::AbstractRunner: runs one of the outside patch tools ("jdiff", "jpatch") from the
// system folder ({root}/system) as a child process and collects its exit code.
//
// A runner keeps no state; a subclass only names its tool. Each call starts its own child and
// waits for it on the calling thread, so runners may be used from several threads at once.
// Failures are reported by the results and logged; nothing throws (but allocation failures).
#include <cstdint>
#include <string>
#include <vector>

#include "common/Log.h"
#include "remote/process/Process.h"

namespace JojoDiff {

class AbstractRunner {
public:
    // What Run reports.
    enum RunResult {
        RUN_EXITED = 0,     // the tool ended and its exit code was read
        RUN_FAILED = 1,     // it could not be started, or its end or exit code could not be read
        RUN_TIMED_OUT = 2,  // it was still running when the time ran out (it is asked to end)
    };

    virtual ~AbstractRunner() = default;
    // The tool's file name in the system folder.
    virtual const char* GetToolName() const = 0;

    // {root}/system/<tool name>.
    std::string GetToolPath() const;
    // Starts the tool with arguments (no program name among them); on success handle owns it.
    // The handle is emptied first in any case.
    bool SpawnProcess(std::vector<const char*>& arguments, Vorn::AutoProcessHandle& handle) const;
    // Waits up to timeoutMs (0xFFFFFFFF: without limit). An empty handle gives 0 at once; a tool
    // that has not ended (or an invalid handle) is asked to terminate.
    Vorn::ProcessWaitResult::Enum WaitToFinish(const Vorn::AutoProcessHandle& handle, const uint32_t timeoutMs) const;
    Vorn::GetExitCodeResult::Enum GetExitCode(Vorn::ProcessExitCode& code, const Vorn::AutoProcessHandle& handle) const;
    // Spawn, wait, exit code.
    RunResult Run(std::vector<const char*>& arguments, const uint32_t timeoutMs, Vorn::ProcessExitCode& code) const;

protected:
    // Runs the tool without a time limit and turns what happened into a Result of the subclass:
    // Result::FromExitCode(code) after an exit, else Result::TimedOut() or Result::UnknownError().
    // The outcome is logged under tag (the exit code and the result's message after an exit).
    template <class Result>
    Result RunForResult(const char* tag, std::vector<const char*>& arguments) const {
        Vorn::ProcessExitCode code = -1;
        switch (Run(arguments, 0xFFFFFFFFu, code)) {
            case RUN_EXITED: {
                const Result result = Result::FromExitCode(code);
                if (result.IsSuccess())
                    QUOR_LOG_TAG(Quor::Log::DEBUG, tag, "Succeeded (exit code %d): %s", code,
                                 result.GetMessage());
                else
                    QUOR_LOG_TAG(Quor::Log::ERROR, tag, "Failed (exit code %d): %s", code,
                                 result.GetMessage());
                return result;
            }
            case RUN_TIMED_OUT:
                QUOR_LOG_TAG(Quor::Log::ERROR, tag, "Timed out");
                return Result::TimedOut();
            default:
                QUOR_LOG_TAG(Quor::Log::ERROR, tag, "Unknown error");
                return Result::UnknownError();
        }
    }
};

}  // namespace JojoDiff
