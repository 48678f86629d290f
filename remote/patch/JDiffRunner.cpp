#include "remote/patch/JDiffRunner.h"

#include "common/Log.h"

namespace JojoDiff {

namespace {

struct Row {
    bool success;
    const char* message;
};

constexpr Row kRows[] = {
    {true, "Patch created successfully with differences found."},
    {true, "Patch created successfully with no differences found."},
    {false, "Invalid arguments."},
    {false, "Failed to open original file."},
    {false, "Failed to open new file."},
    {false, "Failed to open output file."},
    {false, "Error seeking file."},
    {false, "Out of memory."},
    {false, "Should never use this value."},
    {false, "Unknown exit code."},
    {false, "Timed out."},
    {false, "Unknown error."},
};
constexpr unsigned kLastExitCode = 7;
constexpr unsigned kNeverUsed = 8;

const Row& RowOf(unsigned index) {
    if (index == kNeverUsed || index >= sizeof kRows / sizeof kRows[0])
        index = JDiffRunner::CreatePatchResult::UNKNOWN_ERROR;
    return kRows[index];
}

}  // namespace

JDiffRunner::CreatePatchResult JDiffRunner::CreatePatchResult::FromExitCode(Vorn::ProcessExitCode code) {
    if (code >= 0 && static_cast<unsigned>(code) <= kLastExitCode) return CreatePatchResult(static_cast<unsigned>(code));
    return CreatePatchResult(UNKNOWN_EXIT_CODE);
}

bool JDiffRunner::CreatePatchResult::IsSuccess() const { return RowOf(m_index).success; }

const char* JDiffRunner::CreatePatchResult::GetMessage() const { return RowOf(m_index).message; }

JDiffRunner::CreatePatchResult JDiffRunner::CreatePatch(const std::string& originalFileName,
                                                        const std::string& newFileName,
                                                        const std::string& patchFileName) const {
    QUOR_LOG(Quor::Log::DEBUG, "originalFileName='%s', newFileName='%s', patchFileName='%s'",
             originalFileName.c_str(), newFileName.c_str(), patchFileName.c_str());
    std::vector<const char*> arguments = {originalFileName.c_str(), newFileName.c_str(), patchFileName.c_str()};
    return RunForResult<CreatePatchResult>(__PRETTY_FUNCTION__, arguments);
}

}  // namespace JojoDiff
