// The game-version request: list the game versions that could be uninstalled, uninstall the
// releases of one game version, preview an install, or install. Game versions are translated to
// solution releases through the solution's project version listing.
#include <cstdio>
#include <set>
#include <vector>

#include "common/Log.h"
#include "common/LogText.h"
#include "kernel/JobSetup.h"
#include "common/JsonText.h"
#include "kernel/ToOrvaneImpl.h"
#include "remote/HTTPConnection.h"
#include "remote/ProjectVersionListingCache.h"
#include "remote/RemoteFileServerHTTP.h"

namespace Quor::Orvane {

namespace {
constexpr DWORD kNoVersion = 0xFFFFFFFF;
const char* const kFailureText = "{\"result\":\"FAILURE\"}";
const char* const kInstalledText = "{\"result\":\"INSTALLED\"}";
}  // namespace

void ToOrvaneImpl::InstallSolutionReleaseByProjectVersionRequest(const DWORD requester, const DWORD requestId,
                                                                 const std::string& solution,
                                                                 const std::string& projectVersion,
                                                                 const std::string& configuration,
                                                                 const bool preview, const bool uninstall) {
    using Quor::Common::ProjectVersionListingCache::GetSolutionListing;
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s, %s, %s, %s, %s)", requester, requestId, Quor::Log::CutText(solution).c_str(),
             Quor::Log::CutText(projectVersion).c_str(), Quor::Log::CutText(configuration).c_str(), preview ? "true" : "false",
             uninstall ? "true" : "false");
    HRESULT hr = S_OK;
    DWORD version = kNoVersion;
    std::string text;
    Quor::Common::LocalFileSystem fs;
    const bool listingMode = projectVersion.empty() && configuration.empty();
    const auto answer = [&] {
        m_Answers.InstallSolutionReleaseByProjectVersionResponse(requester, requestId, hr, version, text);
    };

    if (IsRefusedName(solution) || (!configuration.empty() && IsRefusedName(configuration))) {
        hr = E_FAIL;
        return answer();
    }
    std::shared_ptr<Quor::Common::HTTPConnection> connection;
    if (FAILED(hr = Connect(connection))) return answer();
    Quor::Common::ProjectVersionListing listing;
    if (FAILED(hr = GetSolutionListing(*connection, solution, listing))) {
        QUOR_LOG(Quor::Log::ERROR, "Failed to get project version listing for %s", Quor::Log::CutText(solution).c_str());
        return answer();
    }

    if (listingMode) {
        const auto latest = m_LatestSolutionVersions.find(solution);
        if (latest == m_LatestSolutionVersions.end() || latest->second == kNoVersion) {
            QUOR_LOG(Quor::Log::ERROR, "Latest solution version was not set");
            hr = E_FAIL;
            return answer();
        }
        std::vector<DWORD> installed;
        if (FAILED(hr = m_Options.engine->EnumerateInstalledSolutionReleases(solution, fs, installed))) {
            QUOR_LOG(Quor::Log::ERROR, "Failed to enumerate installed releases of %s", Quor::Log::CutText(solution).c_str());
            return answer();
        }
        std::set<std::string> written;
        text = "[";
        for (const DWORD release : installed) {
            std::string gameVersion;
            if (release == latest->second || FAILED(listing.GetProjectVersion(release, gameVersion)) ||
                gameVersion.empty() || !written.insert(gameVersion).second)
                continue;
            if (written.size() > 1) text += ",";
            text += Quor::Common::JsonString(gameVersion);
        }
        text += "]";
        return answer();
    }

    std::vector<DWORD> toUninstall;
    DWORD release = kNoVersion;
    if (uninstall) {
        std::vector<DWORD> installed;
        if (FAILED(hr = m_Options.engine->EnumerateInstalledSolutionReleases(solution, fs, installed))) {
            QUOR_LOG(Quor::Log::ERROR, "Failed to enumerate installed releases of %s", Quor::Log::CutText(solution).c_str());
            return answer();
        }
        for (const DWORD candidate : installed) {
            std::string gameVersion;
            if (SUCCEEDED(listing.GetProjectVersion(candidate, gameVersion)) && gameVersion == projectVersion)
                toUninstall.push_back(candidate);
        }
    } else if (FAILED(listing.GetQuorVersion(projectVersion, release))) {
        // The game version may be newer than the cached listing: fetch it once more.
        Quor::Common::ProjectVersionListingCache::RemoveSolutionListing(solution);
        Quor::Common::ProjectVersionListing fresh;
        hr = GetSolutionListing(*connection, solution, fresh);
        if (SUCCEEDED(hr)) hr = fresh.GetQuorVersion(projectVersion, release);
        if (FAILED(hr)) {
            QUOR_LOG(Quor::Log::ERROR, "Failed to translate %s to quor version after retry",
                     Quor::Log::CutText(projectVersion).c_str());
            return answer();
        }
    }

    {
        Quor::User::RemoteFileServerHTTP server(connection, Quor::User::RemoteFileServerHTTP::kJobTransfersInFlight);
        ForwardUpdateProgress forward(requester, requestId, m_Answers);
        JobProgress progress(forward, CancelFlag());
        if (uninstall) {
            if (toUninstall.empty()) {
                QUOR_LOG(Quor::Log::ERROR, "No versions found to uninstall");
                hr = E_FAIL;
            } else if (preview) {
                QUOR_LOG(Quor::Log::ERROR, "Uninstall preview not implemented");
                hr = E_NOTIMPL;
            } else {
                QUOR_LOG(Quor::Log::DEBUG, "Uninstalling %zu versions", toUninstall.size());
                hr = S_OK;
                for (size_t i = 0; i < toUninstall.size(); ++i) {
                    const HRESULT one = m_Options.engine->UninstallSolutionRelease(solution, toUninstall[i],
                                                                                   fs, progress.Get());
                    if (FAILED(one)) {
                        QUOR_LOG(Quor::Log::DEBUG, "Failed to uninstall version %zu/%zu", i + 1,
                                 toUninstall.size());
                        hr = one;
                    }
                }
            }
        } else if (preview) {
            QUOR_LOG(Quor::Log::DEBUG, "Preview mode for InstallSolutionReleaseByProjectVersionRequest");
            SolutionDiscovery discovery;
            hr = m_Options.engine->DiscoverSolutionRelease(solution, release, configuration, fs, server,
                                                           progress.Get(), discovery);
            if (FAILED(hr)) {
                QUOR_LOG(Quor::Log::ERROR, "Preview Failed");
                text = kFailureText;
            } else if (discovery.alreadyInstalled) {
                QUOR_LOG(Quor::Log::DEBUG, "Already Installed");
                version = discovery.version;
                text = kInstalledText;
            } else {
                Quor::API::Progress record;
                record.Clear();
                progress.Get().GetProgress(record);
                const float seconds = record.m_RemainingSeconds;
                const int remainingTime = !(seconds > 0)             ? 0
                                          : seconds >= 2147483647.0f ? 2147483647
                                                                     : static_cast<int>(seconds);
                char buffer[1028];
                std::snprintf(buffer, sizeof buffer,
                              "{\"result\":\"SUCCESS\",\"remainingTime\":%d,\"remainingBytes\":%u}",
                              remainingTime, record.m_BytesToDownload);
                text = buffer;
                QUOR_LOG(Quor::Log::DEBUG, "%s", text.c_str());
            }
        } else {
            hr = CancelledAsAbort(m_Options.engine->InstallSolutionRelease(solution, release, configuration, fs,
                                                                           server, progress.Get(), version));
        }
    }
    if (FAILED(hr) && text.empty() && preview) text = kFailureText;
    answer();
}

}  // namespace Quor::Orvane
