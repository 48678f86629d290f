#include "update/PatchStatistics.h"

#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "foundation/api/Progress.h"
#include "remote/TelvoLogger.h"

namespace Quor::User::PatchStatistics {
namespace {

const std::string kPrefix = "quor_patch_";
const std::string kTopFileKey = "quor_patch_top_file";
const std::string kNewUserSuffix = "_newuser";
constexpr size_t kMostTopFiles = 5;

std::string Key(const char* projectName, const char* what, bool newUser) {
    std::string key = kPrefix + (projectName ? projectName : "") + what;
    if (newUser) key += kNewUserSuffix;
    return key;
}

Quor::API::Progress Snapshot(AutoUpdateProgress& progress) {
    Quor::API::Progress snapshot;
    progress.GetProgress(snapshot);
    return snapshot;
}

}  // namespace

void AddToLargestFiles(const DWORD size, const std::string& name, LargestFiles& largest, const size_t limit) {
    if (limit == 0) return;
    if (largest.size() < limit) {
        largest.emplace(size, name);
        return;
    }
    if (size <= largest.begin()->first) return;
    largest.emplace(size, name);
    largest.erase(largest.begin());
}

void ReportSize(AutoUpdateProgress& progress, const char* projectName, const bool newUser) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    const Quor::API::Progress snapshot = Snapshot(progress);
    if (snapshot.m_BytesToDownload == 0) return;
    TelvoLogger::GetInstance()->AddLogEntry(Key(projectName, "_size", newUser), UINT{snapshot.m_BytesToDownload},
                                            false);
}

void ReportTopFiles(const std::vector<FileToDownload>& downloads, const std::vector<FileToPatch>& patches,
                    AutoUpdateProgress& progress, const char* projectName, const bool newUser) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    ReportSize(progress, projectName, newUser);
    if (downloads.empty() && patches.empty()) return;
    const size_t limit = std::min(kMostTopFiles, downloads.size() + patches.size());
    LargestFiles largest;
    for (const FileToDownload& item : downloads) {
        if (!item.m_Entry) continue;
        const Common::ReleaseManifest::ENTRY& entry = *item.m_Entry;
        const bool compressed =
            (entry.flags & (Common::ReleaseManifest::FLAG_LZMA | Common::ReleaseManifest::FLAG_ZLIB)) != 0;
        AddToLargestFiles(compressed ? entry.compressedSize : entry.size, entry.name, largest, limit);
    }
    for (const FileToPatch& item : patches)
        if (item.m_PatchEntry) AddToLargestFiles(item.m_PatchEntry->size, item.m_PatchEntry->name, largest, limit);
    TelvoLogger* logger = TelvoLogger::GetInstance();
    for (const auto& [size, name] : largest) logger->AddLogEntry(kTopFileKey, name.c_str(), false);
}

void ReportTimeAndSpeed(AutoUpdateProgress& progress, const char* projectName, const bool newUser) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    const Quor::API::Progress snapshot = Snapshot(progress);
    if (snapshot.m_BytesDownloaded == 0 || !(snapshot.m_ElapsedSeconds > 0.0f)) return;
    TelvoLogger* logger = TelvoLogger::GetInstance();
    logger->AddLogEntry(Key(projectName, "_patch_time", newUser), snapshot.m_ElapsedSeconds, false);
    logger->AddLogEntry(Key(projectName, "_patch_speed", newUser),
                        static_cast<float>(snapshot.m_BytesDownloaded) / snapshot.m_ElapsedSeconds, false);
    logger->SendDataToServer();
}

}  // namespace Quor::User::PatchStatistics
