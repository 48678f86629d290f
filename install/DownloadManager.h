#pragma once
// Quor::User::DownloadManager: fetches a list of server files on a worker thread.
//
// DownloadPath names one file to fetch: its full server path without a compression suffix, its
// manifest entry (owned by a manifest that outlives the download) and the local path where it
// must end up. Failure lists are vectors of it.
#include <string>

#include "common/ReleaseManifest.h"

namespace Quor::User {

class DownloadManager {
public:
    struct DownloadPath {
        std::string m_RemotePath;
        const Common::ReleaseManifest::ENTRY* m_Entry = nullptr;
        std::string m_LocalPath;
    };
};

}  // namespace Quor::User
