#pragma once
// SolutionManifest: the text file "solutionmanifest" of a solution release: the solution's name
// and version, its projects (each with the project release of this solution release, a priority
// and flags) and its configurations (each naming the projects it installs).
//
// - Projects and configurations are kept sorted by name without regard to case, names unique
//   without regard to case; a configuration only names projects of the manifest.
// - Load treats the file as untrusted: a solution, project or configuration name that is not one
//   plain folder name is refused, and a file that ends before the counts it announces fails. A failed Load leaves what
//   was read before the failure; discard the object.
// - Errors are HRESULTs, logged at ERROR with the messages of the format; nothing throws but
//   allocation. No lock: one thread uses an object at a time.
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace Quor::Common {

class SolutionManifest {
public:
    struct PROJECT {
        std::string name;
        DWORD version = 0;   // the project release that belongs to this solution release
        DWORD priority = 0;  // higher comes first
        DWORD flags = 0;     // carried unchanged

        static bool PredicateByName(const PROJECT& a, const PROJECT& b);
        // a before b when a's priority is greater (unsigned).
        static bool PredicateByPriority(const PROJECT& a, const PROJECT& b);
    };

    struct CONFIGURATION {
        std::string name;
        DWORD flags = 0;                    // carried unchanged
        std::vector<std::string> projects;  // names of projects of the manifest

        static bool PredicateByName(const CONFIGURATION& a, const CONFIGURATION& b);
    };

    SolutionManifest();

    HRESULT Load(const std::string& path);
    HRESULT Save(const std::string& path);

    // Sorted insert; E_FAIL when a project of that name (without regard to case) exists.
    HRESULT AddProject(const std::string& name, DWORD version, DWORD priority, DWORD flags);
    // E_FAIL when a name of `projects` is no project of the manifest, or a configuration of that
    // name (without regard to case) exists; otherwise a sorted insert of a copy of the list.
    HRESULT AddConfiguration(const std::string& name, const std::vector<std::string>& projects, DWORD flags);

    std::string m_Name;
    DWORD m_Version;
    std::vector<PROJECT> m_Projects;
    std::vector<CONFIGURATION> m_Configurations;

private:
    HRESULT LoadHeader(FILE* const stream);
    HRESULT LoadProjects(FILE* const stream);
    HRESULT LoadConfigurations(FILE* const stream);
    HRESULT SaveHeader(FILE* const stream);
    HRESULT SaveProjects(FILE* const stream);
    HRESULT SaveConfigurations(FILE* const stream);
};

}  // namespace Quor::Common
