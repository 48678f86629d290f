#pragma once
// Starts a program from the deploy folder D of an installed solution or project release: the
// program {D}/{executable}/Contents/MacOS/{executable without its last extension}, with D as its
// working folder, the whole arguments text as one argument (none when empty), and the process's
// environment plus vorn_launched=true. A solution is preferred to a project of the same name
// (names compare exactly). The program is not waited for; the process's own working folder is
// left as it was.
//
// S_OK with processId set, or a failure (E_FAIL for an unknown name, an executable that is not one
// plain name, or a program that cannot be started) with both out-values 0. Runs on the job thread;
// it enters folders below {root} for a moment, so it must not run beside other code that relies
// on the working folder.
#include <string>

#include "common/LocalFileSystem.h"
#include "foundation/Types.h"

namespace Quor::User {

HRESULT CreateProcess(const std::string& name, const DWORD version, const std::string& executable,
                      const std::string& arguments, Common::LocalFileSystem& fileSystem, DWORD& processId,
                      DWORD& reserved);

}  // namespace Quor::User
