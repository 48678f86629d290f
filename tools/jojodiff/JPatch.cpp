#include <cstdint>

#include "tools/jojodiff/ExitCodes.h"
#include "tools/jojodiff/FaultGuard.h"
#include "tools/jojodiff/MappedInput.h"
#include "tools/jojodiff/PatchHeader.h"
#include "tools/jojodiff/ReplacementFile.h"
#include "tools/jojodiff/Tools.h"
#include "tools/jojodiff/Xxh64.h"
#include "tools/jojodiff/ZstdPatchCodec.h"

namespace JojoDiff {

namespace {

int Patch(const char* originalPath, const char* patchPath, const char* patchedPath) {
    MappedInput patch;
    switch (patch.Open(patchPath)) {
        case MappedInput::Status::Ok: break;
        case MappedInput::Status::OpenFailed: return kJPatchPatchUnopenable;
        case MappedInput::Status::MapFailed: return kJPatchReadFailed;
    }
    FaultGuard::Watch(patch.data(), patch.size(), kJPatchReadFailed);
    PatchHeader header;
    if (DecodePatchHeader(patch.data(), patch.size(), header) != HeaderStatus::Ok) return kJPatchReadFailed;
    if (header.originalSize > SIZE_MAX || header.resultSize > SIZE_MAX ||
        header.resultSize > static_cast<uint64_t>(INT64_MAX))
        return kJPatchTooLarge;

    // The original must be the very file the patch was made from.
    MappedInput original;
    switch (original.Open(originalPath)) {
        case MappedInput::Status::Ok: break;
        case MappedInput::Status::OpenFailed: return kJPatchOriginalUnopenable;
        case MappedInput::Status::MapFailed: return kJPatchReadFailed;
    }
    FaultGuard::Watch(original.data(), original.size(), kJPatchReadFailed);
    if (original.size() != header.originalSize || Xxh64(original.data(), original.size()) != header.originalHash)
        return kJPatchReadFailed;

    ReplacementFile patched;
    if (!patched.Create(patchedPath)) return kJPatchOutputUnopenable;
    uint8_t* result = nullptr;
    if (!patched.MapForWriting(header.resultSize, result)) return kJPatchWriteFailed;
    const size_t resultSize = static_cast<size_t>(header.resultSize);
    FaultGuard::Watch(result, resultSize, kJPatchWriteFailed);
    const CodecStatus status =
        DecompressAgainst(original.data(), original.size(), patch.data() + kPatchHeaderSize,
                          patch.size() - kPatchHeaderSize, result, resultSize);
    const bool verified = status == CodecStatus::Ok && Xxh64(result, resultSize) == header.resultHash;
    FaultGuard::Unwatch(result);
    if (!verified) return kJPatchReadFailed;  // the temporary file goes with `patched`
    return patched.Commit() ? kJPatchApplied : kJPatchWriteFailed;
}

}  // namespace

int RunJPatch(int argc, const char* const argv[]) {
    if (argc != 4 || !argv[1][0] || !argv[2][0] || !argv[3][0]) return kJPatchBadArguments;
    FaultGuard::Install(kJPatchReadFailed);
    try {
        return Patch(argv[1], argv[2], argv[3]);
    } catch (const std::bad_alloc&) {
        return kJPatchReadFailed;
    }
}

}  // namespace JojoDiff
