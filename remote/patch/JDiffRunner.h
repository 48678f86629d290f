#pragma once
// JojoDiff::JDiffRunner: makes a patch with the outside tool "jdiff" (jdiff original new patch) and
// turns its exit code into a result with a message. Stateless; see AbstractRunner for threads.
#include <string>

#include "remote/patch/AbstractRunner.h"

namespace JojoDiff {

class JDiffRunner : public AbstractRunner {
public:
    // Index into the fixed table of jdiff's results: exit codes 0 to 7 are their own index, any
    // other exit code is UNKNOWN_EXIT_CODE, then TIMED_OUT and UNKNOWN_ERROR. Index 8 is never
    // produced; 8 and indexes past the table read as UNKNOWN_ERROR.
    class CreatePatchResult {
    public:
        enum : unsigned {
            DIFFERENCES_FOUND = 0,
            NO_DIFFERENCES = 1,
            UNKNOWN_EXIT_CODE = 9,
            TIMED_OUT = 10,
            UNKNOWN_ERROR = 11,
        };
        explicit CreatePatchResult(unsigned index = UNKNOWN_ERROR) : m_index(index) {}
        static CreatePatchResult FromExitCode(Vorn::ProcessExitCode code);
        static CreatePatchResult TimedOut() { return CreatePatchResult(TIMED_OUT); }
        static CreatePatchResult UnknownError() { return CreatePatchResult(UNKNOWN_ERROR); }

        unsigned GetIndex() const { return m_index; }
        bool IsSuccess() const;
        const char* GetMessage() const;

    private:
        unsigned m_index;
    };

    const char* GetToolName() const override { return "jdiff"; }

    CreatePatchResult CreatePatch(const std::string& originalFileName, const std::string& newFileName,
                                  const std::string& patchFileName) const;
};

}  // namespace JojoDiff
