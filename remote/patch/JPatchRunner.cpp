#include "remote/patch/JPatchRunner.h"

#include "common/Log.h"

namespace JojoDiff {

namespace {

struct Row {
    bool success;
    const char* message;
};

constexpr Row kRows[] = {
    {true, "Patch applied successfully."},
    {false, "Invalid arguments."},
    {false, "Failed to open original file."},
    {false, "Failed to open patch file."},
    {false, "Failed to open output file."},
    {false, "Error seeking file."},
    {false, "64-bit numbers not supported."},
    {false, "Error reading file."},
    {false, "Error writing file."},
    {false, "Should never use this value."},
    {false, "Unknown exit code."},
    {false, "Timed out."},
    {false, "Unknown error."},
};
constexpr unsigned kLastExitCode = 8;
constexpr unsigned kNeverUsed = 9;

const Row& RowOf(unsigned index) {
    if (index == kNeverUsed || index >= sizeof kRows / sizeof kRows[0])
        index = JPatchRunner::ApplyPatchResult::UNKNOWN_ERROR;
    return kRows[index];
}

}  // namespace

JPatchRunner::ApplyPatchResult JPatchRunner::ApplyPatchResult::FromExitCode(Vorn::ProcessExitCode code) {
    if (code >= 0 && static_cast<unsigned>(code) <= kLastExitCode) return ApplyPatchResult(static_cast<unsigned>(code));
    return ApplyPatchResult(UNKNOWN_EXIT_CODE);
}

bool JPatchRunner::ApplyPatchResult::IsSuccess() const { return RowOf(m_index).success; }

const char* JPatchRunner::ApplyPatchResult::GetMessage() const { return RowOf(m_index).message; }

JPatchRunner::ApplyPatchResult JPatchRunner::ApplyPatch(const std::string& originalFileName,
                                                        const std::string& patchFileName,
                                                        const std::string& patchedFileName,
                                                        uint64_t maxPatchedBytes) const {
    QUOR_LOG(Quor::Log::DEBUG, "originalFileName='%s', patchFileName='%s', patchedFileName='%s'",
             originalFileName.c_str(), patchFileName.c_str(), patchedFileName.c_str());
    std::vector<const char*> arguments = {originalFileName.c_str(), patchFileName.c_str(), patchedFileName.c_str()};
    const std::string bound = std::to_string(maxPatchedBytes);
    if (maxPatchedBytes != UINT64_MAX) arguments.push_back(bound.c_str());
    return RunForResult<ApplyPatchResult>(__PRETTY_FUNCTION__, arguments);
}

}  // namespace JojoDiff
