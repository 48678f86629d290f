#pragma once
// ConfigurationManifest: the text file "configurationmanifest" of an installed solution release:
// the name of the configuration that was installed and the names of its projects.
//
// - Load keeps the names in file order; a project name that is not one plain folder name is
//   refused, and a file that ends before the count of names it announces fails (nothing is
//   repeated to make up the count). A failed Load leaves what was read; discard the object.
// - AddProject keeps the names in byte order and refuses an exact duplicate.
// - Errors are HRESULTs, logged at ERROR. No lock: one thread uses an object at a time.
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace Quor::Common {

class ConfigurationManifest {
public:
    ConfigurationManifest() = default;

    HRESULT Load(const std::string& path);
    HRESULT Save(const std::string& path);
    // Inserted in byte order; "Duplicate entry" and E_FAIL when the same name is present.
    HRESULT AddProject(const std::string& name);

    std::string m_Name;                   // the configuration's name
    std::vector<std::string> m_Projects;  // project names
};

}  // namespace Quor::Common
