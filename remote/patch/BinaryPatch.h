#pragma once
// Quor::Common::BinaryPatch: how the system makes and applies binary patches between two releases
// of a file, through the outside tools "jdiff" and "jpatch" in {root}/system.
//
// Both calls run the tool as a child process on the calling thread and wait for it without a
// time-out; they keep no state and may be called from several threads at once. Results are
// HRESULTs: S_OK, or E_FAIL (logged) when the tool could not be run or reported a failure.
#include <cstdint>
#include <string>

#include "foundation/Types.h"

namespace Quor::Common {

class BinaryPatch {
public:
    enum CREATE_RESULT {
        CREATE_RESULT_DIFFERENCES_FOUND = 0,
        CREATE_RESULT_NO_DIFFERENCES = 1,
    };

    // Writes patch, which rebuilds newFile from original; result says whether the files differ.
    static HRESULT Create(const std::string& original, const std::string& newFile, const std::string& patch,
                          CREATE_RESULT& result);
    // Writes patched from original and patch; S_OK only when "jpatch" exited with code 0. A patch
    // whose result would pass maxPatchedBytes fails before anything is written (UINT64_MAX: no
    // bound, the tool's plain three-name command line).
    static HRESULT Apply(const std::string& original, const std::string& patch, const std::string& patched,
                         uint64_t maxPatchedBytes = UINT64_MAX);
    // The most bytes a patch may have (decoded, before the tool reads it) that rebuilds a file of
    // patchedBytes: the file's bytes stored without any gain, the format's header and framing.
    static uint64_t MaxPatchBytes(uint64_t patchedBytes);
};

}  // namespace Quor::Common
