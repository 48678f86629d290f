#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "tools/jojodiff/ExitCodes.h"
#include "tools/jojodiff/FaultGuard.h"
#include "tools/jojodiff/MappedInput.h"
#include "tools/jojodiff/PatchHeader.h"
#include "tools/jojodiff/ReplacementFile.h"
#include "tools/jojodiff/Report.h"
#include "tools/jojodiff/Tools.h"
#include "tools/jojodiff/Xxh64.h"
#include "tools/jojodiff/ZstdPatchCodec.h"

namespace JojoDiff {

namespace {

constexpr const char* kProgram = "jpatch";

int Fail(int exitCode, const char* what, const char* path, const char* reason = nullptr) {
    return JojoDiff::Fail(kProgram, exitCode, what, path, reason);
}

const char* HeaderFailure(HeaderStatus status) {
    switch (status) {
        case HeaderStatus::TooShort: return "truncated";
        case HeaderStatus::NotAPatch: return "not a patch";
        case HeaderStatus::UnsupportedVersion: return "a patch format this jpatch does not read";
        case HeaderStatus::Damaged: return "damaged header";
        case HeaderStatus::Ok: break;
    }
    return "";
}

// The optional bound of the result: decimal digits only, at most 19 of them.
bool ParseBound(const char* text, uint64_t& bound) {
    size_t digits = 0;
    bound = 0;
    for (const char* p = text; *p; ++p, ++digits) {
        if (*p < '0' || *p > '9' || digits == 19) return false;
        bound = bound * 10 + static_cast<uint64_t>(*p - '0');
    }
    return digits > 0;
}

int Patch(const char* originalPath, const char* patchPath, const char* patchedPath, uint64_t maxResult) {
    MappedInput patch;
    switch (patch.Open(patchPath)) {
        case MappedInput::Status::Ok: break;
        case MappedInput::Status::OpenFailed: return Fail(kJPatchPatchUnopenable, "cannot open the patch", patchPath, patch.failure());
        case MappedInput::Status::MapFailed: return Fail(kJPatchReadFailed, "cannot read the patch", patchPath, patch.failure());
    }
    FaultGuard::Watch(patch.data(), patch.size(), kJPatchReadFailed);
    PatchHeader header;
    const HeaderStatus headerStatus = DecodePatchHeader(patch.data(), patch.size(), header);
    if (headerStatus != HeaderStatus::Ok)
        return Fail(kJPatchReadFailed, "cannot use the patch", patchPath, HeaderFailure(headerStatus));
    if (header.originalSize > SIZE_MAX || header.resultSize > SIZE_MAX ||
        header.resultSize > static_cast<uint64_t>(INT64_MAX))
        return Fail(kJPatchTooLarge, "the patch states sizes this machine cannot hold", patchPath);
    // A result larger than the caller's file can be is no patch of it: refused before any space is
    // set aside or a byte decoded.
    if (header.resultSize > maxResult)
        return Fail(kJPatchReadFailed, "the patch's result is larger than the bound:", patchPath);
    // The frame must be able to give the size the header claims before any space is set aside.
    const uint8_t* frame = patch.data() + kPatchHeaderSize;
    const size_t frameSize = patch.size() - kPatchHeaderSize;
    if (CheckFrame(frame, frameSize, header.resultSize) != CodecStatus::Ok)
        return Fail(kJPatchReadFailed, "the patch is damaged or truncated:", patchPath);

    // The original must be the very file the patch was made from.
    MappedInput original;
    switch (original.Open(originalPath)) {
        case MappedInput::Status::Ok: break;
        case MappedInput::Status::OpenFailed:
            return Fail(kJPatchOriginalUnopenable, "cannot open the original", originalPath, original.failure());
        case MappedInput::Status::MapFailed:
            return Fail(kJPatchReadFailed, "cannot read the original", originalPath, original.failure());
    }
    FaultGuard::Watch(original.data(), original.size(), kJPatchReadFailed);
    if (original.size() != header.originalSize || Xxh64(original.data(), original.size()) != header.originalHash)
        return Fail(kJPatchReadFailed, "the patch was not made from", originalPath);

    ReplacementFile patched;
    if (!patched.Create(patchedPath))
        return Fail(kJPatchOutputUnopenable, "cannot create the patched file", patchedPath, strerror(errno));
    uint8_t* result = nullptr;
    if (!patched.MapForWriting(header.resultSize, result))
        return Fail(kJPatchWriteFailed, "cannot reserve space for the patched file", patchedPath, strerror(errno));
    const size_t resultSize = static_cast<size_t>(header.resultSize);
    FaultGuard::Watch(result, resultSize, kJPatchWriteFailed);
    const CodecStatus status = DecompressAgainst(original.data(), original.size(), frame, frameSize, result, resultSize);
    const bool verified = status == CodecStatus::Ok && Xxh64(result, resultSize) == header.resultHash;
    FaultGuard::Unwatch(result);
    if (status == CodecStatus::OutOfMemory) return Fail(kJPatchReadFailed, "out of memory", nullptr);
    // The temporary file goes with `patched`.
    if (!verified) return Fail(kJPatchReadFailed, "the result does not verify; damaged patch:", patchPath);
    // The system checks the result and flushes it where it ends up, together with the other files
    // of its release: flushing here would only do the same work twice, one file after another.
    if (!patched.Commit(false)) return Fail(kJPatchWriteFailed, "cannot write the patched file", patchedPath, strerror(errno));
    return kJPatchApplied;
}

}  // namespace

int RunJPatch(int argc, const char* const argv[]) {
    uint64_t maxResult = UINT64_MAX;
    if ((argc != 4 && argc != 5) || !argv[1][0] || !argv[2][0] || !argv[3][0] ||
        (argc == 5 && !ParseBound(argv[4], maxResult)))
        return Fail(kJPatchBadArguments, "usage: jpatch original patch patched [maximum result bytes]", nullptr);
    FaultGuard::Install(kJPatchReadFailed);
    try {
        return Patch(argv[1], argv[2], argv[3], maxResult);
    } catch (const std::bad_alloc&) {
        return Fail(kJPatchReadFailed, "out of memory", nullptr);
    }
}

}  // namespace JojoDiff
