#pragma once
// Brings one project to a target release (the newest the server offers, or a given one), in two
// phases whose constructors do the work and leave their result in m_hr:
//   Discover chooses the target and a source among the complete installed releases; with a
//   source it prepares an update in place of the source's folder (UpdateInPlace), without one it
//   prepares a fresh install (InstallProjectRelease), first moving the newest partially installed
//   release folder (one without "S_OK") onto the target's name so that its files are reused.
//   Execute carries the prepared work out. Both report patch statistics on success.
// Complete releases are never moved or changed except the chosen source, and a source that any
// installed solution's configuration lists is not moved either: the target is installed beside it. Discover owns the objects
// it creates; the InputParameters (references only) must outlive the Discover, and the Discover
// its Execute. Runs on the job's thread; cancellation is the progress's flag.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>


#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "common/ReleaseVersion.h"
#include "foundation/Types.h"
#include "install/CopyHolders.h"
#include "install/InstallProjectRelease.h"
#include "remote/IRemoteFileServer.h"
#include "update/UpdateInPlace.h"

namespace Quor::User::UpdateProject {

struct InputParameters {
    std::string m_ProjectName;
    DWORD m_SourceVersion;  // INVALID_RELEASE_VERSION: the caller names none
    DWORD m_TargetVersion;  // INVALID_RELEASE_VERSION: the newest the server offers
    Common::LocalFileSystem& m_LocalFileSystem;
    IRemoteFileServer& m_RemoteFileServer;
    AutoUpdateProgress& m_AutoUpdateProgress;
};

class Discover {
public:
    explicit Discover(const InputParameters& inputParameters);
    ~Discover();
    Discover(const Discover&) = delete;
    Discover& operator=(const Discover&) = delete;

    const InputParameters& m_InputParameters;
    HRESULT m_hr = S_OK;
    std::unique_ptr<UpdateInPlace> m_UpdateInPlace;  // at most one of these two exists
    std::unique_ptr<InstallProjectRelease::InputParameters> m_InstallInputParameters;
    std::unique_ptr<InstallProjectRelease::Discover> m_InstallDiscover;
    DWORD m_SourceVersion;
    DWORD m_TargetVersion;
    bool m_NewUser = false;  // no source release: a first install

private:
    HRESULT ChooseSource(const std::vector<DWORD>& complete, const std::vector<DWORD>& partial);
    bool IsSourceNeededBySolutions() const;
    HRESULT PrepareFreshInstall(const std::vector<DWORD>& partial);
};

class Execute {
public:
    // Stores the chosen source and target versions through the non-null pointers when the
    // discovery succeeded.
    Execute(const Discover& discover, DWORD* const sourceVersion, DWORD* const targetVersion);
    Execute(const Execute&) = delete;
    Execute& operator=(const Execute&) = delete;

    const Discover& m_Discover;
    HRESULT m_hr = S_OK;
};

// True when a non-null manifest of [first, last) lists an entry whose managed or archived copy lies
// where entry's does (User::ListsSameLocation: same name without regard to case, entry version and
// place), so that the copy there must stay; it holds every copy an install would reuse.
template <typename Iterator>
bool IsEntryInAnyReleaseManifest(const Common::ReleaseManifest::ENTRY& entry, Iterator first, Iterator last) {
    for (; first != last; ++first) {
        const Common::ReleaseManifest* manifest = *first;
        if (manifest && ListsSameLocation(*manifest, entry)) return true;
    }
    return false;
}

}  // namespace Quor::User::UpdateProject
