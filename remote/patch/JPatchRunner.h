#pragma once
// JojoDiff::JPatchRunner: applies a patch with the outside tool "jpatch" (jpatch original patch
// patched) and turns its exit code into a result with a message. Stateless; see AbstractRunner for
// threads.
#include <cstdint>
#include <string>

#include "remote/patch/AbstractRunner.h"

namespace JojoDiff {

class JPatchRunner : public AbstractRunner {
public:
    // Index into the fixed table of jpatch's results: exit codes 0 to 8 are their own index, any
    // other exit code is UNKNOWN_EXIT_CODE, then TIMED_OUT and UNKNOWN_ERROR. Index 9 is never
    // produced; 9 and indexes past the table read as UNKNOWN_ERROR.
    class ApplyPatchResult {
    public:
        enum : unsigned {
            APPLIED = 0,
            UNKNOWN_EXIT_CODE = 10,
            TIMED_OUT = 11,
            UNKNOWN_ERROR = 12,
        };
        explicit ApplyPatchResult(unsigned index = UNKNOWN_ERROR) : m_index(index) {}
        static ApplyPatchResult FromExitCode(Vorn::ProcessExitCode code);
        static ApplyPatchResult TimedOut() { return ApplyPatchResult(TIMED_OUT); }
        static ApplyPatchResult UnknownError() { return ApplyPatchResult(UNKNOWN_ERROR); }

        unsigned GetIndex() const { return m_index; }
        bool IsSuccess() const;
        const char* GetMessage() const;

    private:
        unsigned m_index;
    };

    const char* GetToolName() const override { return "jpatch"; }

    // jpatch original patch patched; with a bound other than UINT64_MAX its decimal form follows as
    // a fourth argument, and jpatch refuses a patch whose result would pass it. The bound travels
    // on the command line, not in the environment: the kernel's patch workers start children at
    // once from one shared environment, and a caller that passes no bound gets the three-name
    // command line as before.
    ApplyPatchResult ApplyPatch(const std::string& originalFileName, const std::string& patchFileName,
                                const std::string& patchedFileName, uint64_t maxPatchedBytes = UINT64_MAX) const;
};

}  // namespace JojoDiff
