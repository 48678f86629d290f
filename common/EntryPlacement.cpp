#include "common/EntryPlacement.h"

#include "foundation/CStd/CStdStrings.h"

namespace Quor::Common {
namespace {

using Flags = ReleaseManifest;

// The bytes a copy holds: plain, or kept compressed with zlib (0x04 wins, as the checks expand
// it) or LZMA.
DWORD StoredForm(const ReleaseManifest::ENTRY& entry) {
    if (!(entry.flags & Flags::FLAG_STORED_COMPRESSED)) return 0;
    if (entry.flags & Flags::FLAG_ZLIB) return Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_ZLIB;
    return entry.flags & (Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_LZMA);
}

}  // namespace

EntryPlace PlaceOf(const ReleaseManifest::ENTRY& entry) {
    if (entry.flags & Flags::FLAG_MANAGED) return EntryPlace::kManaged;
    if (entry.flags & Flags::FLAG_ARCHIVED) return EntryPlace::kArchived;
    return EntryPlace::kDeploy;
}

bool SharesLocation(const ReleaseManifest::ENTRY& a, const ReleaseManifest::ENTRY& b) {
    return a.version == b.version && PlaceOf(a) == PlaceOf(b) && Vorn::std_stricmp(a.name.c_str(), b.name.c_str()) == 0;
}

bool UsesSameCopy(const ReleaseManifest::ENTRY& a, const ReleaseManifest::ENTRY& b) {
    return SharesLocation(a, b) && StoredForm(a) == StoredForm(b);
}

}  // namespace Quor::Common
