#pragma once
// The work lists that an installation's or update's discovery makes and its steps consume.
//
// Each record points into manifests (the target release manifest, the patch manifest, the patch
// source's and the installed releases' manifests) that the discovery object owns; they must
// outlive the execution phase. Lists keep the order in which discovery met the entries (target
// manifest order) and the steps work in that order. Plain values: no lock, no ownership.
#include <string>

#include "common/ReleaseManifest.h"
#include "foundation/Types.h"
#include "remote/PatchManifest.h"

namespace Quor::User {

// A file to fetch from the server into m_LocalPath.
struct FileToDownload {
    const Common::ReleaseManifest::ENTRY* m_Entry = nullptr;
    std::string m_LocalPath;
};

// A deploy file that an installed release holds unchanged: copied from
// {root}/projects/{project}/releases/{m_Source's release version}/deploy/{name} to m_LocalPath.
struct FileToCopy {
    const Common::ReleaseManifest::ENTRY* m_Entry = nullptr;
    std::string m_LocalPath;
    const Common::ReleaseManifest* m_Source = nullptr;
};

// A file to build by a patch.
struct FileToPatch {
    // Bits of m_Kind.
    static constexpr DWORD KIND_IN_PLACE = 0x01;  // the old file lies in the deploy folder being updated
    static constexpr DWORD KIND_NEW_FILE = 0x02;  // the patch makes a new file without a source

    const Common::PatchManifest::ENTRY* m_PatchEntry = nullptr;
    const Common::ReleaseManifest::ENTRY* m_SourceEntry = nullptr;  // null for a new file
    const Common::ReleaseManifest::ENTRY* m_TargetEntry = nullptr;
    std::string m_LocalPath;
    DWORD m_Kind = 0;
};

// A naked (plain) copy of an archived entry, left by an interrupted run, to put into its archive.
struct FileToArchive {
    const Common::ReleaseManifest::ENTRY* m_Entry = nullptr;
    std::string m_LocalPath;
};

// An archived entry whose copy in the archive pair of its own version failed its MD5 check.
// A null entry is skipped.
struct FileToDeleteFromArchive {
    const Common::ReleaseManifest::ENTRY* m_Entry = nullptr;
};

}  // namespace Quor::User
