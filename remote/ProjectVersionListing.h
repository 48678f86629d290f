#pragma once
// Quor::Common::ProjectVersionListing: which release version carries which project (game)
// version. File format: one line per project version, the project version text then one or more
// dotted release versions, separated by white space ("1.0.0.152 0.0.0.25 0.0.0.26").
//
// Two maps: release version -> project version (one entry per release), and project version ->
// release version, where the highest release carrying a project version wins. Load adds to what
// the maps hold and is lenient: a bad release version or a duplicate is logged and skipped, and a
// project version that could not stand as one folder name (empty, ".", "..", "/", "\" or NUL) is
// refused with its whole line. A plain value: copying copies both maps; no lock.
// Errors are HRESULTs (E_FAIL), each failure logged.
#include <map>
#include <string>

#include "foundation/Types.h"

namespace Quor::Common {

class ProjectVersionListing {
public:
    ProjectVersionListing() = default;
    ~ProjectVersionListing();

    HRESULT GetQuorVersion(std::string projectVersion, DWORD& quorVersion) const;
    HRESULT GetProjectVersion(DWORD quorVersion, std::string& projectVersion) const;
    HRESULT Add(DWORD quorVersion, const std::string& projectVersion);
    HRESULT Load(const std::string& path);
    HRESULT Save(const std::string& path) const;
    // How many release versions the listing maps.
    size_t ReleaseCount() const { return m_quorToProject.size(); }

private:
    std::map<DWORD, std::string> m_quorToProject;
    std::map<std::string, DWORD> m_projectToQuor;
};

}  // namespace Quor::Common
