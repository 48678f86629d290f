// A program that installs one project release the way the kernel's handler does, for tests that
// kill an installation at random points: run in {root}/system with the project name and the
// release version (hexadecimal, ffffffff for the newest); the server comes from system.cfg. It
// first sweeps {root}/temp as the kernel does at start-up. Exit code 0 for S_OK, 1 otherwise; the
// result is printed on stdout.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/AutoUpdateProgress.h"
#include "install/InstalledState.h"
#include "remote/AutoTemporaryFile.h"
#include "remote/RemoteFileServerHTTP.h"
#include "remote/ServerSettings.h"
#include "tests/kit/install/RunInstall.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s project version-hex\n", argv[0]);
        return 2;
    }
    Quor::User::RegisterInstalledStateServices();
    Quor::Common::DeleteTemporaryFiles();
    const std::string project = argv[1];
    const DWORD version = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 16));
    HRESULT created = E_FAIL;
    Quor::User::RemoteFileServerHTTP server(created, Quor::Common::GetDownloadURL(),
                                            Quor::User::RemoteFileServerHTTP::kJobTransfersInFlight);
    if (FAILED(created)) {
        std::printf("server 0x%08x\n", static_cast<unsigned>(created));
        return 1;
    }
    signed char cancel = 0;
    Quor::User::AutoUpdateProgress progress(nullptr, &cancel, 0);
    const HRESULT hr = InstallE2E::RunInstall(project, version, server, progress);
    std::printf("0x%08x\n", static_cast<unsigned>(hr));
    return hr == S_OK ? 0 : 1;
}
