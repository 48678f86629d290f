#include "remote/patch/BinaryPatch.h"

#include "common/Log.h"
#include "remote/patch/JDiffRunner.h"
#include "remote/patch/JPatchRunner.h"

namespace Quor::Common {

HRESULT BinaryPatch::Create(const std::string& original, const std::string& newFile, const std::string& patch,
                            CREATE_RESULT& result) {
    QUOR_LOG(Quor::Log::DEBUG, "Diffing original-file (\"%s\") and new-file (\"%s\") to create patch-file (\"%s\").",
             original.c_str(), newFile.c_str(), patch.c_str());
    const JojoDiff::JDiffRunner::CreatePatchResult created = JojoDiff::JDiffRunner().CreatePatch(original, newFile, patch);
    if (!created.IsSuccess()) {
        QUOR_LOG(Quor::Log::ERROR, "Error creating patch");
        return E_FAIL;
    }
    if (created.GetIndex() == JojoDiff::JDiffRunner::CreatePatchResult::NO_DIFFERENCES) {
        result = CREATE_RESULT_NO_DIFFERENCES;
        QUOR_LOG(Quor::Log::DEBUG, "Patch created successfully with no differences found");
    } else {
        result = CREATE_RESULT_DIFFERENCES_FOUND;
        QUOR_LOG(Quor::Log::DEBUG, "Patch created successfully with differences found");
    }
    return S_OK;
}

HRESULT BinaryPatch::Apply(const std::string& original, const std::string& patch, const std::string& patched,
                           uint64_t maxPatchedBytes) {
    QUOR_LOG(Quor::Log::DEBUG, "Applying patch-file (\"%s\") to original-file (\"%s\") to create patched-file (\"%s\").",
             patch.c_str(), original.c_str(), patched.c_str());
    const JojoDiff::JPatchRunner::ApplyPatchResult applied =
        JojoDiff::JPatchRunner().ApplyPatch(original, patch, patched, maxPatchedBytes);
    if (applied.GetIndex() != JojoDiff::JPatchRunner::ApplyPatchResult::APPLIED) {
        QUOR_LOG(Quor::Log::ERROR, "Error applying patch");
        return E_FAIL;
    }
    QUOR_LOG(Quor::Log::DEBUG, "Patch application completed successfully.");
    return S_OK;
}

uint64_t BinaryPatch::MaxPatchBytes(uint64_t patchedBytes) {
    // The patch is a 48-byte header and one zstd frame; a frame of incompressible bytes grows them
    // by its block headers (3 bytes per 128 KiB) and a frame header, well within 1/128 and 4 KiB.
    constexpr uint64_t kFixed = 4096;
    if (patchedBytes > (UINT64_MAX - kFixed) / 2) return UINT64_MAX;
    return patchedBytes + patchedBytes / 128 + kFixed;
}

}  // namespace Quor::Common
