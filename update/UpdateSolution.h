#pragma once
// Brings an installed solution to a release in a configuration (the newest the server offers, or
// a given one), in two phases whose constructors do the work and leave their result in m_hr:
//   Discover chooses the target and one of three roads: nothing (the target is complete in that
//   configuration; one complete in another configuration is installed again at once), an update
//   in place from the highest complete release below the target (UpdateInPlace), or an
//   installation of the target (InstallSolutionRelease). When the target has no folder yet, that
//   installation starts from the highest existing release folder, renamed (or copied) to the
//   target's name after its "S_OK" was taken away, so its files are reused but it never counts as
//   the target installed.
//   Execute carries the chosen road out. Both report patch statistics on success.
// Discover owns what it creates; the InputParameters (references only) and what they refer to must
// outlive the Discover, and the Discover its Execute. Runs on the job's thread; cancellation is the
// progress's flag and comes back as the called phases' E_ABORT.
#include <memory>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseVersion.h"
#include "foundation/Types.h"
#include "install/InstallSolutionRelease.h"
#include "remote/IRemoteFileServer.h"
#include "update/UpdateSolutionInPlace.h"

namespace Quor::User::UpdateSolution {

struct InputParameters {
    const std::string& m_SolutionName;
    const std::string& m_ConfigurationName;
    DWORD m_ReleaseVersion;  // INVALID_RELEASE_VERSION: the newest the server offers
    Common::LocalFileSystem& m_LocalFileSystem;
    IRemoteFileServer& m_RemoteFileServer;
    AutoUpdateProgress& m_AutoUpdateProgress;
};

class Discover {
public:
    explicit Discover(const InputParameters& inputParameters);
    ~Discover();  // each road's discovery before its input
    Discover(const Discover&) = delete;
    Discover& operator=(const Discover&) = delete;

    bool m_NewUser = false;  // an installation into a target folder that did not exist
    const InputParameters* m_InputParameters;
    HRESULT m_hr = S_OK;
    // At most one road is set.
    std::unique_ptr<UpdateInPlace::InputParameters> m_UpdateInPlaceInputParameters;
    std::unique_ptr<UpdateInPlace::Discover> m_UpdateInPlaceDiscover;
    std::unique_ptr<InstallSolutionRelease::InputParameters> m_InstallInputParameters;
    std::unique_ptr<InstallSolutionRelease::Discover> m_InstallDiscover;
    DWORD m_TargetVersion = INVALID_RELEASE_VERSION;

private:
    HRESULT ChooseRoad();
    HRESULT ReinstallInOtherConfiguration();
    HRESULT PrepareSeparateInstallation(const std::vector<DWORD>& all);
    void ReportStatistics() const;
};

class Execute {
public:
    // Stores the discovery's target version through a non-null `version` first, whatever follows.
    Execute(const Discover& discover, DWORD* const version);
    Execute(const Execute&) = delete;
    Execute& operator=(const Execute&) = delete;

    const Discover* m_Discover;
    HRESULT m_hr = S_OK;
};

}  // namespace Quor::User::UpdateSolution
