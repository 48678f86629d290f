#pragma once
// ParsedDirectory: the entries of the working folder split into subfolder names and other names
// (symbolic links included, never followed), each sorted by byte order, "." and ".." left out.
// Parse fails with the listing's error (logged). One thread.
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace Quor::User::Repair {

struct ParsedDirectory {
    HRESULT Parse();

    std::vector<std::string> m_Directories;
    std::vector<std::string> m_Files;
};

}  // namespace Quor::User::Repair
