#pragma once
// Paths of projects, solutions and their releases inside the install tree:
//     {root}/projects/<project>[/releases/<version>[/S_OK | /deploy]]
//     {root}/solutions/<solution>[/releases/<version>[/S_OK | /deploy]]
// with {root} from LocalRootFolder::Get() and <version> the dotted text a.b.c.d of a release
// version (or the text given). Nothing looks at the disk.
//
// Names and version texts are checked: one that is empty, "." or "..", or holds "/", "\" or a NUL
// would leave its folder; it is refused with E_INVALIDARG, an ERROR line and an empty path.
// Callers that take a name from outside (a client request, a listing, a manifest) must check the
// result or IsValidName first. Reentrant.
#include <string>

#include "foundation/Types.h"

namespace Quor::Common {

class LocalDirectoryStructure {
public:
    // True when name can stand as one folder name inside the tree.
    static bool IsValidName(const std::string& name);

    static HRESULT GetProjectPath(const std::string& name, std::string& out);
    static HRESULT GetProjectReleasePath(const std::string& name, DWORD version, std::string& out);
    static HRESULT GetProjectReleasePath(const std::string& name, const std::string& version,
                                         std::string& out);
    static HRESULT GetProjectReleaseOkPath(const std::string& name, DWORD version, std::string& out);
    static HRESULT GetProjectReleaseOkPath(const std::string& name, const std::string& version,
                                           std::string& out);
    static HRESULT GetProjectDeployPath(const std::string& name, DWORD version, std::string& out);
    static HRESULT GetProjectDeployPath(const std::string& name, const std::string& version,
                                        std::string& out);

    static HRESULT GetSolutionPath(const std::string& name, std::string& out);
    static HRESULT GetSolutionReleasePath(const std::string& name, DWORD version, std::string& out);
    static HRESULT GetSolutionReleasePath(const std::string& name, const std::string& version,
                                          std::string& out);
    static HRESULT GetSolutionReleaseOkPath(const std::string& name, DWORD version, std::string& out);
    static HRESULT GetSolutionReleaseOkPath(const std::string& name, const std::string& version,
                                            std::string& out);
    static HRESULT GetSolutionDeployPath(const std::string& name, DWORD version, std::string& out);
    static HRESULT GetSolutionDeployPath(const std::string& name, const std::string& version,
                                         std::string& out);
};

}  // namespace Quor::Common
