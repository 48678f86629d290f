// A program that runs one project or solution update the way the kernel's handlers do, for tests
// that kill an update at random points. Run in {root}/system as
//   quor_update_child project <name> <version-hex>
//   quor_update_child solution <name> <configuration> <version-hex>
// (ffffffff for the newest); the server comes from system.cfg. It first sweeps {root}/temp as the
// kernel does at start-up. Exit code 0 for S_OK, 1 otherwise, 2 for wrong usage; the result is
// printed on stdout.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "install/InstalledState.h"
#include "remote/AutoTemporaryFile.h"
#include "remote/RemoteFileServerHTTP.h"
#include "remote/ServerSettings.h"
#include "remote/TelvoLogger.h"
#include "update/UpdateProject.h"
#include "update/UpdateSolution.h"

namespace {

HRESULT Update(int argc, char** argv, Quor::User::IRemoteFileServer& server) {
    signed char cancel = 0;
    Quor::User::AutoUpdateProgress progress(nullptr, &cancel, 0);
    Quor::Common::LocalFileSystem fileSystem;
    const std::string kind = argv[1], name = argv[2];
    const DWORD version = static_cast<DWORD>(std::strtoul(argv[argc - 1], nullptr, 16));
    if (kind == "project") {
        const Quor::User::UpdateProject::InputParameters input{name,       Quor::INVALID_RELEASE_VERSION, version,
                                                               fileSystem, server,                        progress};
        const Quor::User::UpdateProject::Discover discover(input);
        return Quor::User::UpdateProject::Execute(discover, nullptr, nullptr).m_hr;
    }
    const std::string configuration = argv[3];
    const Quor::User::UpdateSolution::InputParameters input{name, configuration, version, fileSystem, server, progress};
    const Quor::User::UpdateSolution::Discover discover(input);
    return Quor::User::UpdateSolution::Execute(discover, nullptr).m_hr;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string kind = argc > 1 ? argv[1] : "";
    if (!((kind == "project" && argc == 4) || (kind == "solution" && argc == 5))) {
        std::fprintf(stderr, "usage: %s project name version-hex | solution name configuration version-hex\n",
                     argv[0]);
        return 2;
    }
    Quor::User::RegisterInstalledStateServices();
    Quor::Common::DeleteTemporaryFiles();
    HRESULT hr = E_FAIL;
    Quor::User::RemoteFileServerHTTP server(hr, Quor::Common::GetDownloadURL(),
                                            Quor::User::RemoteFileServerHTTP::kJobTransfersInFlight);
    if (SUCCEEDED(hr)) hr = Update(argc, argv, server);
    Quor::User::TelvoLogger::Shutdown();
    std::printf("0x%08x\n", static_cast<unsigned>(hr));
    return hr == S_OK ? 0 : 1;
}
