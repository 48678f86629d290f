#pragma once
// Repair::Discover: lists every folder and file of the installed tree under {root}, depth first,
// without following symbolic links (a link is listed as a file). Names holding one of the ignored
// texts (log files and the like) are left out. The result stays in m_hr (E_ABORT when cancelled)
// and the tree in m_Directories, sorted by path without regard to case. The working folder is
// changed while it runs and put back before the constructor returns. One thread.
#include <vector>

#include "foundation/Types.h"
#include "update/RepairInputParameters.h"

namespace Quor::User::Repair {

class Discover {
public:
    explicit Discover(const InputParameters& parameters);
    Discover(const Discover&) = delete;
    Discover& operator=(const Discover&) = delete;

    const InputParameters& m_Parameters;
    HRESULT m_hr = S_OK;
    std::vector<DISCOVERED_DIRECTORY> m_Directories;

private:
    HRESULT DiscoverFiles();
};

// True when the name holds one of the texts discovery ignores (case significant).
bool IsIgnoredName(const std::string& name);

}  // namespace Quor::User::Repair
