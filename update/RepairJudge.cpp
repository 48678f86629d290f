// Repair::Execute: judging one discovered folder and checking its files.
#include <sys/stat.h>

#include <algorithm>

#include "archive/ManagedFileHelper.h"
#include "common/ConvertVersion.h"
#include "common/Log.h"
#include "common/ReleaseVersion.h"
#include "foundation/CStd/CStdStrings.h"
#include "install/InstalledState.h"
#include "remote/MD5Helper.h"
#include "remote/ReleaseManifestPaths.h"
#include "update/ProcessFileArchives.h"
#include "update/RepairExecute.h"
#include "update/SortedKeys.h"
#include "update/StoredFileDigest.h"

namespace Quor::User::Repair {

namespace {

using Common::ReleaseManifest;

bool Same(const std::string& a, const char* b) { return Vorn::std_stricmp(a.c_str(), b) == 0; }

bool IsOneOf(const std::string& name, std::initializer_list<const char*> list) {
    return std::any_of(list.begin(), list.end(), [&](const char* known) { return Same(name, known); });
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < path.size()) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        names.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// The known files of "system", and what this platform's system folder also holds: the client
// library and the patch tools beside the kernel.
const std::initializer_list<const char*> kSystemFiles = {
    "blocked_ips.csv", "launcher.cfg", "locale.cfg", "kiv.ico", "quor_orvane.log", "quor.dll", "jpatch.exe",
    "jdiff.exe", "quor_orvane.exe", "filelist.versioninfo", "system.cfg", "user.cfg", "admin.cfg",
    "libMondrel.so", "jdiff", "jpatch"};
// Folders of "system" that belong there on this platform: the kernel bundle and the kernel's
// temporary folder.
const std::initializer_list<const char*> kSystemFolders = {"Orvane.app", "temp"};

struct KindTexts {
    const char* noEntry;
    const char* noMD5;
    const char* mismatch;
    const char* validated;
};

const KindTexts kTexts[] = {
    {"Failed to match in release manifest.  File will be deleted: \"%s\"",
     "Failed to compute MD5 for managed file.  File will be deleted: \"%s\"",
     "MD5 mismatch for managed file.  File will be deleted: \"%s\"",
     "Validated managed file with MD5 check: \"%s\""},
    {"Failed to match in release manifest for project deploy file.  File will be deleted: \"%s\"",
     "Failed to compute MD5 for project deploy file.  File will be deleted: \"%s\"",
     "MD5 mismatch for project deploy file.  File will be deleted: \"%s\"",
     "Validated project deploy file with MD5 check: \"%s\""},
    {"Failed to match in release manifest for solution deploy file.  File will be deleted: \"%s\"",
     "Failed to compute MD5 for solution deploy file.  File will be deleted: \"%s\"",
     "MD5 mismatch for solution deploy file.  File will be deleted: \"%s\"",
     "Validated solution deploy file with MD5 check: \"%s\""},
};

constexpr const char* kUnexpectedTree = "Unexpected subfolder and contents will be deleted: \"%s\"";
constexpr const char* kBadVersion = "Invalid version fomrat.  Directory tree will be deleted: \"%s\"";
constexpr const char* kBadReleaseSubfolder = "Invalid subfolder under release.  Directory tree will be deleted: \"%s\"";

}  // namespace

std::vector<std::string> Execute::FilesToHash() const {
    std::vector<std::string> paths;
    for (const DISCOVERED_DIRECTORY& directory : m_Discover.m_Directories) {
        const std::vector<std::string> names = SplitPath(directory.m_Path);
        const size_t n = names.size();
        const bool managed = n >= 4 && Same(names[0], "projects") && Same(names[2], "managedfiles");
        const bool deploy = n >= 5 && (Same(names[0], "projects") || Same(names[0], "solutions")) &&
                            Same(names[2], "releases") && Same(names[4], "deploy");
        if (!managed && !deploy) continue;
        // A file of size 0 is empty or was no regular file when listed: nothing to gain ahead.
        for (const DISCOVERED_FILE& file : directory.m_Files)
            if (file.m_Size) paths.push_back(Absolute(directory.m_Path) + "/" + file.m_Name);
    }
    return paths;
}

HRESULT Execute::ComputeMD5(const std::string& path, MD5::DIGEST& digest) {
    const auto item = m_AheadItems.find(path);
    if (item == m_AheadItems.end() || !m_Ahead->Take(item->second, digest)) return Common::MD5Helper::ComputeMD5(path, digest);
    Common::MD5Helper::LogComputeMD5(path);  // the log reads as if the file had been hashed here
    return S_OK;
}

HRESULT Execute::JudgeFolder(const DISCOVERED_DIRECTORY& directory) {
    const std::vector<std::string> names = SplitPath(directory.m_Path);
    if (names.empty()) return S_OK;
    const std::string& top = names[0];
    if (Same(top, "system")) return JudgeSystem(directory, names);
    if (Same(top, "projects")) return JudgeProjects(directory, names);
    if (Same(top, "solutions")) return JudgeSolutions(directory, names);
    if (Same(top, "norrip")) {
        QUOR_LOG(Log::DEBUG, "Norrip folder ignored: \"%s\"", directory.m_Path.c_str());
    } else if (Same(top, "downloads")) {
        QUOR_LOG(Log::DEBUG, "Downloads folder ignored: \"%s\"", directory.m_Path.c_str());
    } else if (Same(top, "temp")) {
        QUOR_LOG(Log::DEBUG, "Temp folder ignored: \"%s\"", directory.m_Path.c_str());
    } else {
        MarkTree(directory, kUnexpectedTree);
    }
    return S_OK;
}

HRESULT Execute::JudgeSystem(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names) {
    if (names.size() >= 2) {
        if (IsOneOf(names[1], kSystemFolders))
            QUOR_LOG(Log::DEBUG, "System folder kept: \"%s\"", directory.m_Path.c_str());
        else
            MarkTree(directory, kUnexpectedTree);
        return S_OK;
    }
    for (const DISCOVERED_FILE& file : directory.m_Files) {
        if (Report(file.m_Name)) return E_ABORT;
        if (IsOneOf(file.m_Name, kSystemFiles)) {
            QUOR_LOG(Log::DEBUG, "Validated known system file: \"%s\" in \"%s\"", file.m_Name.c_str(),
                     directory.m_Path.c_str());
        } else {
            QUOR_LOG(Log::DEBUG, "Unexpected file will be deleted: \"%s\" in \"%s\"", file.m_Name.c_str(),
                     directory.m_Path.c_str());
            MarkFileForDeletion(directory, file);
        }
    }
    return S_OK;
}

HRESULT Execute::JudgeProjects(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names) {
    const size_t n = names.size();
    if (n <= 2) {
        MarkUnexpectedFiles(directory);
        if (n == 2) {
            if (Report(names[1])) return E_ABORT;
            const HRESULT hr = LoadManifestsForInstalledReleases(names[1], m_Discover.m_Parameters.m_LocalFileSystem,
                                                                 m_Progress, m_Cache, true);
            if (Common::IsCancelRequested(m_Progress.GetCancelFlag())) return E_ABORT;
            if (FAILED(hr)) QUOR_LOG(Log::DEBUG, "Failed to load release manifests for %s", names[1].c_str());
        }
        return S_OK;
    }
    const std::string& kind = names[2];
    DWORD version = 0;
    if (!JudgeVersionFolder(directory, names, IsOneOf(kind, {"filearchives", "managedfiles", "releases"}), version))
        return S_OK;
    if (Same(kind, "managedfiles")) return CheckFiles(directory, names, FileKind::kManaged);
    if (Same(kind, "releases")) {
        if (n == 4) return JudgeReleaseFolder(directory, names, false);
        if (!Same(names[4], "deploy")) {
            MarkTree(directory, kBadReleaseSubfolder);
            return S_OK;
        }
        const Common::ReleaseManifest* manifest = nullptr;
        if (FAILED(m_Cache.Get(names[1], version, manifest))) {
            MarkTree(directory, "Failed to load release manifest for a deploy folder.  Directory tree will be deleted: \"%s\"");
            return S_OK;
        }
        return CheckFiles(directory, names, FileKind::kProjectDeploy);
    }
    if (n > 4) {
        MarkTree(directory, "Invalid subfolder under filearchives.  Directory tree will be deleted: \"%s\"");
        return S_OK;
    }
    const HRESULT hr = ProcessFileArchives(names[1], version, m_Cache, names, m_Validated, m_Progress, &m_StoredForms);
    if (hr == E_ABORT) return E_ABORT;
    if (FAILED(hr)) {
        // The shared manager of this folder must not outlive the pairs it describes.
        ManagedFileHelper::Release();
        MarkTree(directory, nullptr);
    } else {
        QUOR_LOG(Log::DEBUG, "Successfully processed file archives");
    }
    return S_OK;
}

bool Execute::JudgeVersionFolder(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names,
                                 bool knownSubfolder, DWORD& version) {
    if (!knownSubfolder) {
        MarkTree(directory, kUnexpectedTree);
        return false;
    }
    if (names.size() == 3) {
        MarkUnexpectedFiles(directory);
        return false;
    }
    if (FAILED(Common::ConvertVersion::ToNumber(names[3], version))) {
        MarkTree(directory, kBadVersion);
        return false;
    }
    return true;
}

HRESULT Execute::JudgeSolutions(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names) {
    const size_t n = names.size();
    if (n <= 2) {
        MarkUnexpectedFiles(directory);
        return S_OK;
    }
    DWORD version = 0;
    if (!JudgeVersionFolder(directory, names, Same(names[2], "releases"), version)) return S_OK;
    const std::shared_ptr<InstalledSolutionInfo> info = m_Solutions.Get(names[1], version);
    if (Common::IsCancelRequested(m_Progress.GetCancelFlag())) return E_ABORT;
    if (!info) {
        MarkTree(directory, "Failed to load solution information.  Directory tree will be deleted: \"%s\"");
        return S_OK;
    }
    const bool loadable = AreSolutionProjectManifestsLoadable(*info, m_Cache);
    if (Common::IsCancelRequested(m_Progress.GetCancelFlag())) return E_ABORT;
    if (!loadable) {
        MarkTree(directory, "Cannot load release manifests for projects in solution.  Directory tree will be deleted: \"%s\"");
        return S_OK;
    }
    if (n == 4) return JudgeReleaseFolder(directory, names, true);
    if (!Same(names[4], "deploy")) {
        MarkTree(directory, kBadReleaseSubfolder);
        return S_OK;
    }
    return CheckFiles(directory, names, FileKind::kSolutionDeploy);
}

HRESULT Execute::JudgeReleaseFolder(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names,
                                    bool solution) {
    DWORD version = 0;
    Common::ConvertVersion::ToNumber(names[3], version);
    for (const DISCOVERED_FILE& file : directory.m_Files) {
        if (Report(file.m_Name)) return E_ABORT;
        const bool known = solution ? IsOneOf(file.m_Name, {"S_OK", "solutionmanifest", "configurationmanifest"})
                                    : IsOneOf(file.m_Name, {"S_OK", "releasemanifest"});
        if (!known) {
            QUOR_LOG(Log::DEBUG, "Unexpected file will be deleted: \"%s\" in \"%s\"", file.m_Name.c_str(),
                     directory.m_Path.c_str());
            MarkFileForDeletion(directory, file);
            continue;
        }
        QUOR_LOG(Log::DEBUG, "Validated known file: \"%s\" in \"%s\"", file.m_Name.c_str(), directory.m_Path.c_str());
        if (file.m_Name == "S_OK") (solution ? m_CompleteSolutions : m_CompleteProjects).emplace_back(names[1], version);
    }
    return S_OK;
}

std::vector<const ReleaseManifest::ENTRY*> Execute::FindManagedEntries(const std::vector<std::string>& names,
                                                                       const std::string& relative) {
    DWORD version = 0;
    Common::ConvertVersion::ToNumber(names[3], version);
    std::vector<const ReleaseManifest::ENTRY*> entries;
    // Only the project's own releases speak for its managed files.
    for (const auto& [key, manifest] : m_Cache.Manifests()) {
        if (Vorn::std_stricmp(key.first.c_str(), names[1].c_str()) != 0) continue;
        if (const ReleaseManifest::ENTRY* entry = Common::FindReleaseManifestEntryInFolder(
                relative, version, ReleaseManifest::FLAG_MANAGED, 0, manifest.get()))
            entries.push_back(entry);
    }
    return entries;
}

const ReleaseManifest::ENTRY* Execute::FindEntry(FileKind kind, const std::vector<std::string>& names,
                                                 const std::string& relative) {
    DWORD version = 0;
    Common::ConvertVersion::ToNumber(names[3], version);
    const std::string& owner = names[1];
    if (kind == FileKind::kManaged) {
        const std::vector<const ReleaseManifest::ENTRY*> entries = FindManagedEntries(names, relative);
        return entries.empty() ? nullptr : entries.front();
    }
    const DWORD plain = ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED;
    if (kind == FileKind::kProjectDeploy) {
        const ReleaseManifest* manifest = nullptr;
        if (FAILED(m_Cache.Get(owner, version, manifest))) return nullptr;
        return Common::FindReleaseManifestEntryInFolder(relative, INVALID_RELEASE_VERSION, 0, plain, manifest);
    }
    // A solution deploy file comes from the project that provides it, highest priority first.
    const SolutionFiles& files = GetSolutionFiles(owner, version);
    if (FAILED(files.m_hr)) return nullptr;
    UpdateAndInstallSolutionShared::UNMANAGED_FILE probe;
    probe.name = relative;
    const auto at = std::lower_bound(files.m_Files.begin(), files.m_Files.end(), probe,
                                     UpdateAndInstallSolutionShared::UNMANAGED_FILE::PredicateByName);
    if (at == files.m_Files.end() || UpdateAndInstallSolutionShared::UNMANAGED_FILE::PredicateByName(probe, *at) ||
        at->projectIndex >= files.m_Projects.size())
        return nullptr;
    const Common::SolutionManifest::PROJECT& project = files.m_Projects[at->projectIndex];
    const ReleaseManifest* manifest = nullptr;
    if (FAILED(m_Cache.Get(project.name, project.version, manifest))) return nullptr;
    return Common::FindReleaseManifestEntryInFolder(relative, INVALID_RELEASE_VERSION, 0, plain, manifest);
}

Execute::SolutionFiles& Execute::GetSolutionFiles(const std::string& solution, DWORD version) {
    const Release key(solution, version);
    auto found = m_SolutionFiles.find(key);
    if (found != m_SolutionFiles.end()) return found->second;
    SolutionFiles& files = m_SolutionFiles[key];
    if (const std::shared_ptr<InstalledSolutionInfo> info = m_Solutions.Get(solution, version)) {
        files.m_Projects = info->m_Projects;
        files.m_hr = UpdateAndInstallSolutionShared::GatherFiles(files.m_Projects, m_Cache, files.m_Files, m_Progress);
    }
    return files;
}

HRESULT Execute::CheckFiles(const DISCOVERED_DIRECTORY& directory, const std::vector<std::string>& names,
                            FileKind kind) {
    const KindTexts& texts = kTexts[static_cast<int>(kind)];
    const size_t first = kind == FileKind::kManaged ? 4 : 5;
    std::string folderPart;
    for (size_t i = first; i < names.size(); ++i) folderPart += names[i] + "/";
    HRESULT hr = S_OK;
    for (const DISCOVERED_FILE& file : directory.m_Files) {
        if (Report(file.m_Name)) return E_ABORT;
        const std::string relative = folderPart + file.m_Name;
        const ReleaseManifest::ENTRY* entry = FindEntry(kind, names, relative);
        if (!entry) {
            QUOR_LOG(Log::DEBUG, texts.noEntry, relative.c_str());
            MarkFileForDeletion(directory, file);
            continue;
        }
        // Files are placed under the manifest's spelling; another spelling of the name is a stray copy.
        if (entry->name != relative) {
            QUOR_LOG(Log::DEBUG, "Name differs from its release manifest entry only in case.  File will be deleted: \"%s\"",
                     relative.c_str());
            MarkFileForDeletion(directory, file);
            continue;
        }
        const std::string path = Absolute(directory.m_Path) + "/" + file.m_Name;
        struct stat status {};
        // A link, a pipe or a device is never read: it could lead anywhere or never end.
        const bool regular = ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
        // A managed copy may be listed by several releases in different stored forms: it is good
        // in the first whose bytes it holds.
        std::vector<const ReleaseManifest::ENTRY*> entries{entry};
        if (kind == FileKind::kManaged) entries = FindManagedEntries(names, relative);
        const ReleaseManifest::ENTRY* good = nullptr;
        bool computed = false, plainTaken = false;
        MD5::DIGEST plainDigest = {};
        for (size_t i = 0; regular && !good && i < entries.size(); ++i) {
            const ReleaseManifest::ENTRY& candidate = *entries[i];
            MD5::DIGEST digest = {};
            HRESULT md5 = S_OK;
            if (!(candidate.flags & ReleaseManifest::FLAG_STORED_COMPRESSED)) {
                // The whole file's digest is taken once (it may come from the workers).
                if (!plainTaken) md5 = ComputeMD5(path, plainDigest);
                plainTaken = SUCCEEDED(md5);
                std::copy(plainDigest, plainDigest + 16, digest);
            } else if (file.m_Size != candidate.compressedSize) {
                md5 = E_FAIL;  // not the stored form: never read more than the entry says it holds
            } else {
                md5 = ComputeStoredFileMD5(__PRETTY_FUNCTION__, path, 0, file.m_Size, candidate.flags, candidate.size,
                                           digest);
            }
            if (FAILED(md5)) continue;
            computed = true;
            if (std::equal(digest, digest + 16, candidate.md5)) good = &candidate;
        }
        if (!computed) {
            QUOR_LOG(Log::DEBUG, texts.noMD5, relative.c_str());
            MarkFileForDeletion(directory, file);
            continue;
        }
        if (!good) {
            QUOR_LOG(Log::DEBUG, texts.mismatch, relative.c_str());
            MarkFileForDeletion(directory, file);
            continue;
        }
        const std::string key = directory.m_Path + "/" + file.m_Name;
        QUOR_LOG(Log::DEBUG, texts.validated, key.c_str());
        if (!SortedKeys::Insert(m_Validated, key)) {
            QUOR_LOG(Log::ERROR, "We should never be checking the same file twice");
            hr = E_FAIL;
        }
        if (kind == FileKind::kManaged) m_StoredForms.Note(key, *good);
    }
    return hr;
}

}  // namespace Quor::User::Repair
