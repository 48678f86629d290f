#include <cstring>
#include <new>

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

int Diff(const char* originalPath, const char* newPath, const char* patchPath) {
    MappedInput original;
    if (original.Open(originalPath) != MappedInput::Status::Ok) return kJDiffOriginalUnreadable;
    FaultGuard::Watch(original.data(), original.size(), kJDiffOriginalUnreadable);
    MappedInput input;
    if (input.Open(newPath) != MappedInput::Status::Ok) return kJDiffNewUnreadable;
    FaultGuard::Watch(input.data(), input.size(), kJDiffNewUnreadable);

    PatchHeader header;
    header.originalSize = original.size();
    header.resultSize = input.size();
    header.originalHash = Xxh64(original.data(), original.size());
    header.resultHash = Xxh64(input.data(), input.size());
    const bool identical = original.size() == input.size() &&
                           (input.size() == 0 || std::memcmp(original.data(), input.data(), input.size()) == 0);

    ReplacementFile patch;
    if (!patch.Create(patchPath)) return kJDiffOutputFailed;
    const auto headerBytes = EncodePatchHeader(header);
    if (!patch.Write(headerBytes.data(), headerBytes.size())) return kJDiffOutputFailed;
    const CodecStatus status =
        CompressAgainst(original.data(), original.size(), input.data(), input.size(),
                        [&patch](const uint8_t* data, size_t size) { return patch.Write(data, size); });
    switch (status) {
        case CodecStatus::Ok: break;
        case CodecStatus::SinkFailed: return kJDiffOutputFailed;
        default: return kJDiffOutOfMemory;
    }
    if (!patch.Commit()) return kJDiffOutputFailed;
    return identical ? kJDiffIdentical : kJDiffDifferent;
}

}  // namespace

int RunJDiff(int argc, const char* const argv[]) {
    if (argc != 4 || !argv[1][0] || !argv[2][0] || !argv[3][0]) return kJDiffBadArguments;
    FaultGuard::Install(kJDiffOutputFailed);
    try {
        return Diff(argv[1], argv[2], argv[3]);
    } catch (const std::bad_alloc&) {
        return kJDiffOutOfMemory;
    }
}

}  // namespace JojoDiff
