// Repair::Execute: the completeness checks of project and solution releases after the deletion.
#include <algorithm>

#include "common/ConvertVersion.h"
#include "common/Log.h"
#include "remote/ReleaseManifestPaths.h"
#include "update/RepairExecute.h"
#include "update/SortedKeys.h"

namespace Quor::User::Repair {

namespace {

template <typename T>
void InsertSorted(std::vector<T>& list, const T& value) {
    const auto at = std::lower_bound(list.begin(), list.end(), value);
    if (at == list.end() || *at != value) list.insert(at, value);
}

}  // namespace

HRESULT Execute::CheckProjectReleases() {
    for (const Release& release : m_CompleteProjects) {
        const std::string& project = release.first;
        const std::string version = Common::ConvertVersion::ToString(release.second);
        if (Report(project)) return E_ABORT;
        QUOR_LOG(Log::DEBUG, "Checking project %s v.%s", project.c_str(), version.c_str());
        const Common::ReleaseManifest* manifest = nullptr;
        if (FAILED(m_Cache.Get(project, release.second, manifest))) {
            // Its deploy folder went as a tree: the release is not complete any longer.
            QUOR_LOG(Log::DEBUG, "Failed to find release manifest: %s, %s", project.c_str(), version.c_str());
            InsertSorted(m_InvalidProjects, release);
            continue;
        }
        bool complete = true;
        for (const Common::ReleaseManifest::ENTRY& entry : manifest->m_Entries) {
            if (Common::IsCancelRequested(m_Progress.GetCancelFlag())) return E_ABORT;
            std::string path;
            Common::GetLocalFilePath(path, project, release.second, entry);
            const std::string key = path.substr(1);
            if (!SortedKeys::Contains(m_Validated, key)) {
                QUOR_LOG(Log::DEBUG, "Failed to find \"%s\".  Project not ok: %s, %s", key.c_str(), project.c_str(),
                         version.c_str());
                complete = false;
                break;
            }
            if (!m_StoredForms.Serves(key, entry)) {
                QUOR_LOG(Log::DEBUG, "\"%s\" is kept in another stored form.  Project not ok: %s, %s", key.c_str(),
                         project.c_str(), version.c_str());
                complete = false;
                break;
            }
        }
        if (!complete) {
            InsertSorted(m_InvalidProjects, release);
            continue;
        }
        QUOR_LOG(Log::DEBUG, "Project is ok: %s, %s", project.c_str(), version.c_str());
        InsertSorted(m_ValidProjects, release);
    }
    for (const Release& release : m_InvalidProjects) {
        const std::string version = Common::ConvertVersion::ToString(release.second);
        if (Report(release.first)) return E_ABORT;
        QUOR_LOG(Log::DEBUG, "Deleting S_OK from %s v.%s", release.first.c_str(), version.c_str());
        DeleteMark(m_Root + "/projects/" + release.first + "/releases/" + version + "/S_OK");
    }
    return S_OK;
}

HRESULT Execute::CheckSolutionReleases() {
    for (const Release& release : m_CompleteSolutions) {
        const std::string& solution = release.first;
        const std::string version = Common::ConvertVersion::ToString(release.second);
        if (Report(solution)) return E_ABORT;
        QUOR_LOG(Log::DEBUG, "Checking solution %s v.%s", solution.c_str(), version.c_str());
        bool valid = true;
        const std::shared_ptr<InstalledSolutionInfo> info = m_Solutions.Get(solution, release.second);
        if (!info) {
            QUOR_LOG(Log::DEBUG, "Failed to load solution information.  Solution will be marked invalid: \"%s\", %s",
                     solution.c_str(), version.c_str());
            valid = false;
        }
        for (size_t i = 0; valid && i < info->m_Projects.size(); ++i) {
            if (Common::IsCancelRequested(m_Progress.GetCancelFlag())) return E_ABORT;
            const Common::SolutionManifest::PROJECT& project = info->m_Projects[i];
            if (!std::binary_search(m_ValidProjects.begin(), m_ValidProjects.end(), Release(project.name, project.version))) {
                QUOR_LOG(Log::DEBUG, "Project \"%s\", %s is not valid, so solution not ok: %s, %s", project.name.c_str(),
                         Common::ConvertVersion::ToString(project.version).c_str(), solution.c_str(), version.c_str());
                valid = false;
            }
        }
        // Every file the configuration places in the deploy folder must still be there and sound.
        if (valid) {
            const SolutionFiles& files = GetSolutionFiles(solution, release.second);
            const std::string deploy = "solutions/" + solution + "/releases/" + version + "/deploy/";
            if (FAILED(files.m_hr)) valid = false;
            for (size_t i = 0; valid && i < files.m_Files.size(); ++i) {
                if (Common::IsCancelRequested(m_Progress.GetCancelFlag())) return E_ABORT;
                const std::string key = deploy + files.m_Files[i].name;
                if (!SortedKeys::Contains(m_Validated, key)) {
                    QUOR_LOG(Log::DEBUG, "Failed to find \"%s\".  Solution not ok: %s, %s", key.c_str(),
                             solution.c_str(), version.c_str());
                    valid = false;
                }
            }
        }
        if (valid) {
            QUOR_LOG(Log::DEBUG, "Validated solution: \"%s\", %s", solution.c_str(), version.c_str());
            continue;
        }
        QUOR_LOG(Log::DEBUG, "Deleting S_OK from solution %s v.%s", solution.c_str(), version.c_str());
        DeleteMark(m_Root + "/solutions/" + solution + "/releases/" + version + "/S_OK");
    }
    return S_OK;
}

}  // namespace Quor::User::Repair
