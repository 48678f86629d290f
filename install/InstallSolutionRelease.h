#pragma once
// Installs one release of a solution in one configuration into
// {root}/solutions/{solution}/releases/{a.b.c.d}/, in two phases whose constructors do the whole
// work and leave their result in m_hr:
//   Discover chooses the release, finds out whether it is installed in that configuration
//   (configuration names compare without regard to case; then nothing is to be done), prepares
//   the release folders, fetches the "solutionmanifest" (into {root}/temp, moved into place once
//   it loads, so that an installed release never holds a cut one), gathers the configuration's
//   projects and runs the discovery of every project release not yet installed. A preview builds
//   only the Discover: it may create folders and fetch manifests, but never removes "S_OK".
//   Execute runs the project executions, removes the release's "S_OK" (a release changing its
//   configuration is not complete while its files are rewritten), fills the deploy folder with the
//   plain files of every project of the configuration (deleting deploy files it does not
//   provide), writes the "configurationmanifest" and last "S_OK".
// Any failure leaves the release without "S_OK" (a later attempt installs it again, reusing what
// is on disk); a cancelled or failed project execution ends the installation with E_FAIL.
// Both phases run on the caller's (job) thread; the InputParameters (and what they refer to) must
// outlive the Discover, the Discover its Execute. The Discover owns the project phases it made.
#include <memory>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/SolutionManifest.h"
#include "foundation/Types.h"
#include "install/InstallProjectRelease.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User::InstallSolutionRelease {

struct InputParameters {
    std::string m_SolutionName;
    DWORD m_ReleaseVersion;  // INVALID_RELEASE_VERSION: the newest the server offers
    const std::string& m_ConfigurationName;
    Common::LocalFileSystem& m_LocalFileSystem;
    IRemoteFileServer& m_RemoteFileServer;
    AutoUpdateProgress& m_AutoUpdateProgress;
};

class Discover {
public:
    explicit Discover(const InputParameters& inputParameters);
    ~Discover() = default;
    Discover(const Discover&) = delete;
    Discover& operator=(const Discover&) = delete;

    const InputParameters& m_InputParameters;
    HRESULT m_hr = S_OK;
    // Entry k of m_ProjectDiscovers was built from entry k of m_ProjectInputParameters, whose
    // project names refer into m_Projects (not changed once filled). Declared in this order so
    // that the discoveries are destroyed first and the projects last.
    std::vector<Common::SolutionManifest::PROJECT> m_Projects;  // the configuration's, by name
    std::vector<std::unique_ptr<InstallProjectRelease::InputParameters>> m_ProjectInputParameters;
    std::vector<std::unique_ptr<InstallProjectRelease::Discover>> m_ProjectDiscovers;
    DWORD m_ReleaseVersion = 0xFFFFFFFF;                       // the chosen release
    std::string m_ReleaseVersionString;
    bool m_AlreadyInstalled = false;  // installed in the requested configuration: nothing to do
};

class Execute {
public:
    explicit Execute(const Discover& discover);
    Execute(const Execute&) = delete;
    Execute& operator=(const Execute&) = delete;

    const Discover& m_Discover;
    HRESULT m_hr = S_OK;
};

}  // namespace Quor::User::InstallSolutionRelease
