#pragma once
// What an installed solution release is made of: InstalledSolutionInfo holds the release's
// solution manifest, its configuration manifest and the project releases its configuration names,
// read from {root}/solutions/{solution}/releases/{a.b.c.d}/. Loaders for one release or for every
// complete release of a solution, searches over lists of records, and a cache of records for the
// repair.
//
// - A record owns both manifests. Its identity is the name and version inside its solution
//   manifest, not the folder it was read from. Its project list is sorted by name without regard
//   to case (as SolutionManifestHelper::GatherProjects keeps it), which ContainsProjectRelease's
//   bisection relies on.
// - Lists own their records; the list form of LoadInstalledSolutionInfo empties the caller's list
//   on failure (records that were in it before included).
// - InstalledSolutionInfoCache remembers failed loads as empty pointers and never loads a key
//   twice; keys compare by exact name, then version.
// - LoadOtherSolutions and IsProjectReleaseNeededBySolutions consult every installed solution:
//   a project release that any solution's configuration lists belongs to that solution too.
// - No lock: a list, a record or a cache is used by one thread at a time. Loaders use the working
//   folder through the installed-state enumeration (restored on return).
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/ConfigurationManifest.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "common/ReleaseManifestCache.h"
#include "common/SolutionManifest.h"
#include "foundation/Types.h"

namespace Quor::User {

struct InstalledSolutionInfo {
    std::unique_ptr<Common::SolutionManifest> m_SolutionManifest;
    std::unique_ptr<Common::ConfigurationManifest> m_ConfigurationManifest;
    std::string m_Text;  // left empty by the loader
    std::vector<Common::SolutionManifest::PROJECT> m_Projects;

    // True when the project list names the project (without regard to case) at exactly its version.
    bool ContainsProjectRelease(const Common::SolutionManifest::PROJECT& project) const;
};

using InstalledSolutionInfoList = std::vector<std::unique_ptr<InstalledSolutionInfo>>;

// One installed release; `info` is set only on success.
HRESULT LoadInstalledSolutionInfo(const std::string& solution, const DWORD version,
                                  std::unique_ptr<InstalledSolutionInfo>& info);
// Appends a record for every complete installed release of the solution, ascending by version.
HRESULT LoadInstalledSolutionInfo(const std::string& solution, Common::LocalFileSystem& fileSystem,
                                  InstalledSolutionInfoList& infos);

// Moves the first record of that name (without regard to case) and version out of the list into
// `info`, the others keeping their order; when there is none, list and `info` stay as they are.
void RemoveInstalledSolutionInfo(const std::string& solution, DWORD version, InstalledSolutionInfoList& infos,
                                 std::unique_ptr<InstalledSolutionInfo>& info);
// The first record of that name and version, or null; the list keeps it.
InstalledSolutionInfo* FindInstalledSolutionInfo(const std::string& solution, DWORD version,
                                                 const InstalledSolutionInfoList& infos);

// True when one record of the list contains the project release.
bool IsProjectReleaseUsedBySolutions(const Common::SolutionManifest::PROJECT& project,
                                     const InstalledSolutionInfoList& infos);

// Appends the records of every complete release of every installed solution other than `solution`
// (an empty name excludes none). False (logged) when one of them cannot be read: the caller must
// then assume that any project release is still used.
bool LoadOtherSolutions(const std::string& solution, Common::LocalFileSystem& fileSystem,
                        InstalledSolutionInfoList& infos);

// True when a complete release of any installed solution lists the project release, or when the
// installed solutions cannot be read (logged): such a release must be left where it is.
bool IsProjectReleaseNeededBySolutions(const Common::SolutionManifest::PROJECT& project,
                                       Common::LocalFileSystem& fileSystem);

class InstalledSolutionInfoCache {
public:
    InstalledSolutionInfoCache() = default;
    InstalledSolutionInfoCache(const InstalledSolutionInfoCache&) = delete;
    InstalledSolutionInfoCache& operator=(const InstalledSolutionInfoCache&) = delete;

    // The record of the release, loaded on first use; empty when it could not be loaded.
    std::shared_ptr<InstalledSolutionInfo> Get(const std::string& solution, const DWORD version);

private:
    std::map<std::pair<std::string, DWORD>, std::shared_ptr<InstalledSolutionInfo>> m_Entries;
};

// The first entry of that path (see FindReleaseManifestEntryInFolder) in the manifests of the
// record's project releases, in list order; null when none has it or a manifest cannot be loaded.
const Common::ReleaseManifest::ENTRY* FindFileInSolutionProjects(const std::string& path, DWORD version,
                                                                 DWORD requiredFlags, DWORD forbiddenFlags,
                                                                 const InstalledSolutionInfo& info,
                                                                 Common::ReleaseManifestCache& cache);

// True when the manifest of every project release of the record can be loaded.
bool AreSolutionProjectManifestsLoadable(const InstalledSolutionInfo& info, Common::ReleaseManifestCache& cache);

}  // namespace Quor::User
