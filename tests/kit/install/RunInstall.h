#pragma once
// Runs one project release installation as the kernel's handler does: Discover, then Execute from
// it, both destroyed before returning. The Execute's result. Test and benchmark code; runs on the
// calling thread.
#include <string>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "install/InstallProjectRelease.h"

namespace InstallE2E {

inline HRESULT RunInstall(const std::string& project, DWORD version, Quor::User::IRemoteFileServer& server,
                          Quor::User::AutoUpdateProgress& progress) {
    Quor::Common::LocalFileSystem fileSystem;
    const Quor::User::InstallProjectRelease::InputParameters input{project, version, fileSystem, server, progress};
    Quor::User::InstallProjectRelease::Discover discover(input);
    Quor::User::InstallProjectRelease::Execute execute(discover);
    return execute.m_hr;
}

}  // namespace InstallE2E
