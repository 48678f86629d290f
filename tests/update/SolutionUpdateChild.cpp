// A program that updates one solution the way the kernel's handler does, for tests that kill a
// solution update at random points: run in {root}/system with the solution name, the configuration
// and the target version (hexadecimal, ffffffff for the newest); the server comes from system.cfg.
// It first sweeps {root}/temp as the kernel does at start-up. Exit code 0 for S_OK, 1 otherwise;
// the result is printed on stdout.
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
#include "update/UpdateSolution.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s solution configuration version-hex\n", argv[0]);
        return 2;
    }
    Quor::User::RegisterInstalledStateServices();
    Quor::Common::DeleteTemporaryFiles();
    const std::string solution = argv[1], configuration = argv[2];
    const DWORD version = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 16));
    HRESULT hr = E_FAIL;
    Quor::User::RemoteFileServerHTTP server(hr, Quor::Common::GetDownloadURL());
    if (SUCCEEDED(hr)) {
        signed char cancel = 0;
        Quor::User::AutoUpdateProgress progress(nullptr, &cancel, 0);
        Quor::Common::LocalFileSystem fileSystem;
        const Quor::User::UpdateSolution::InputParameters input{solution,   configuration, version,
                                                                fileSystem, server,        progress};
        const Quor::User::UpdateSolution::Discover discover(input);
        hr = Quor::User::UpdateSolution::Execute(discover, nullptr).m_hr;
    }
    Quor::User::TelvoLogger::Shutdown();
    std::printf("0x%08x\n", static_cast<unsigned>(hr));
    return hr == S_OK ? 0 : 1;
}
