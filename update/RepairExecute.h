#pragma once
// Repair::Execute: judges every folder a Discover found, deletes what does not belong in the
// installed tree, checks installed files by MD5 against their own project's release manifests,
// and withdraws the "S_OK" of every project or solution release that is no longer complete.
// Nothing is downloaded; nothing is deleted when the walk fails or is cancelled (E_ABORT).
//
// The result is in m_hr once the constructor returns. Every run sends the telemetry pair
// "quor_patch_repair_request". The working folder is changed while it runs and put back before
// the constructor returns. One thread judges; with hashThreads above 1, up to that many pool
// workers (one per processor at most) hash the installed files ahead of it (judging order, log
// lines and results stay those of one thread; the workers end before the constructor returns). The archive
// managers of ManagedFileHelper are used and, before a failed archive folder is deleted, released.
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/ReleaseManifestCache.h"
#include "common/SolutionManifest.h"
#include "install/InstalledSolutionInfo.h"
#include "install/UpdateAndInstallSolutionShared.h"
#include "update/DigestAhead.h"
#include "update/RepairDiscover.h"
#include "update/StoredForms.h"

namespace Quor::User::Repair {

class Execute {
public:
    static constexpr unsigned kDefaultHashThreads = 4;

    explicit Execute(Discover& discover, unsigned hashThreads = kDefaultHashThreads);
    Execute(const Execute&) = delete;
    Execute& operator=(const Execute&) = delete;

    HRESULT m_hr = S_OK;

private:
    using Release = std::pair<std::string, DWORD>;
    enum class FileKind { kManaged, kProjectDeploy, kSolutionDeploy };
    // What a solution release's configuration places in its deploy folder, by providing project.
    struct SolutionFiles {
        HRESULT m_hr = E_FAIL;
        std::vector<Common::SolutionManifest::PROJECT> m_Projects;  // as GatherFiles sorted them
        std::vector<UpdateAndInstallSolutionShared::UNMANAGED_FILE> m_Files;
    };

    void Run();
    HRESULT GetFileSizes();
    // The installed files the walk may check by MD5, in the order it reaches them.
    std::vector<std::string> FilesToHash() const;
    // ComputeMD5 of a whole installed file, taken from the workers when they hashed it ahead.
    HRESULT ComputeMD5(const std::string& path, MD5::DIGEST& digest);
    // S_OK to go on, E_ABORT to end the run, another failure to end the walk.
    HRESULT JudgeFolder(const DISCOVERED_DIRECTORY& directory);
    HRESULT JudgeProjects(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names);
    HRESULT JudgeSolutions(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names);
    HRESULT JudgeSystem(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names);
    // Names 3 and 4 of a project or solution folder (n >= 3): false when the folder was judged
    // here (unknown subfolder, the subfolder itself, a name that is not a version).
    bool JudgeVersionFolder(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names,
                            bool knownSubfolder, DWORD& version);
    HRESULT JudgeReleaseFolder(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names,
                               bool solution);
    HRESULT CheckFiles(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names, FileKind kind);
    const Common::ReleaseManifest::ENTRY* FindEntry(FileKind kind, const std::vector<std::string>& names,
                                                    const std::string& relative);
    // The entries of the project's own manifests (one per manifest, cache order) listing the
    // managed file relative of the folder managedfiles/{names[3]}.
    std::vector<const Common::ReleaseManifest::ENTRY*> FindManagedEntries(const std::vector<std::string>& names,
                                                                          const std::string& relative);
    HRESULT DeleteMarked();
    HRESULT CheckProjectReleases();
    HRESULT CheckSolutionReleases();
    SolutionFiles& GetSolutionFiles(const std::string& solution, DWORD version);

    bool Report(const std::string& item);
    void MarkFileForDeletion(const DISCOVERED_DIRECTORY& directory, const DISCOVERED_FILE& file);
    void MarkFolderForDeletion(const DISCOVERED_DIRECTORY& directory);
    void MarkUnexpectedFiles(const DISCOVERED_DIRECTORY& directory);
    void MarkTree(const DISCOVERED_DIRECTORY& directory, const char* format);
    std::string Absolute(const std::string& relative) const;
    HRESULT DeleteMark(const std::string& path);

    Discover& m_Discover;
    unsigned m_HashThreads;
    std::unique_ptr<DigestAhead> m_Ahead;
    std::unordered_map<std::string, size_t> m_AheadItems;  // path -> item of m_Ahead
    AutoUpdateProgress& m_Progress;
    std::string m_Root;
    Common::ReleaseManifestCache m_Cache;
    InstalledSolutionInfoCache m_Solutions;
    std::map<Release, SolutionFiles> m_SolutionFiles;
    std::vector<std::string> m_FilesToDelete;
    std::vector<std::string> m_FoldersToDelete;
    std::vector<std::string> m_Validated;
    StoredForms m_StoredForms;  // the form each managed or archived copy was found good in
    std::vector<Release> m_CompleteProjects;
    std::vector<Release> m_CompleteSolutions;
    std::vector<Release> m_ValidProjects;
    std::vector<Release> m_InvalidProjects;
};

}  // namespace Quor::User::Repair
