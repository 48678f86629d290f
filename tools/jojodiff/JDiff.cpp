#include <cerrno>
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

constexpr const char* kProgram = "jdiff";

int Fail(int exitCode, const char* what, const char* path, const char* reason = nullptr) {
    return JojoDiff::Fail(kProgram, exitCode, what, path, reason);
}

int Diff(const char* originalPath, const char* newPath, const char* patchPath) {
    MappedInput original;
    if (original.Open(originalPath) != MappedInput::Status::Ok)
        return Fail(kJDiffOriginalUnreadable, "cannot read the original", originalPath, original.failure());
    FaultGuard::Watch(original.data(), original.size(), kJDiffOriginalUnreadable);
    MappedInput input;
    if (input.Open(newPath) != MappedInput::Status::Ok)
        return Fail(kJDiffNewUnreadable, "cannot read the new file", newPath, input.failure());
    FaultGuard::Watch(input.data(), input.size(), kJDiffNewUnreadable);

    PatchHeader header;
    header.originalSize = original.size();
    header.resultSize = input.size();
    header.originalHash = Xxh64(original.data(), original.size());
    header.resultHash = Xxh64(input.data(), input.size());
    const bool identical = original.size() == input.size() &&
                           (input.size() == 0 || std::memcmp(original.data(), input.data(), input.size()) == 0);

    ReplacementFile patch;
    if (!patch.Create(patchPath)) return Fail(kJDiffOutputFailed, "cannot create the patch", patchPath, strerror(errno));
    const auto headerBytes = EncodePatchHeader(header);
    if (!patch.Write(headerBytes.data(), headerBytes.size()))
        return Fail(kJDiffOutputFailed, "cannot write the patch", patchPath, strerror(errno));
    int writeError = 0;
    const CodecStatus status =
        CompressAgainst(original.data(), original.size(), input.data(), input.size(),
                        [&patch, &writeError](const uint8_t* data, size_t size) {
                            const bool written = patch.Write(data, size);
                            if (!written) writeError = errno;
                            return written;
                        });
    switch (status) {
        case CodecStatus::Ok: break;
        case CodecStatus::SinkFailed: return Fail(kJDiffOutputFailed, "cannot write the patch", patchPath, strerror(writeError));
        case CodecStatus::OutOfMemory: return Fail(kJDiffOutOfMemory, "out of memory while compressing", nullptr);
        default: return Fail(kJDiffOutOfMemory, "the compressor failed on", newPath);
    }
    if (!patch.Commit(true)) return Fail(kJDiffOutputFailed, "cannot write the patch", patchPath, strerror(errno));
    return identical ? kJDiffIdentical : kJDiffDifferent;
}

}  // namespace

int RunJDiff(int argc, const char* const argv[]) {
    if (argc != 4 || !argv[1][0] || !argv[2][0] || !argv[3][0])
        return Fail(kJDiffBadArguments, "usage: jdiff original new patch", nullptr);
    FaultGuard::Install(kJDiffOutputFailed);
    try {
        return Diff(argv[1], argv[2], argv[3]);
    } catch (const std::bad_alloc&) {
        return Fail(kJDiffOutOfMemory, "out of memory", nullptr);
    }
}

}  // namespace JojoDiff
