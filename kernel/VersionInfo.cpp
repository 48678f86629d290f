#include "kernel/VersionInfo.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/LocalFileSystem.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/LogText.h"
#include "common/RegularFile.h"
#include "common/RelativeName.h"
#include "common/UniqueFile.h"
#include "foundation/CStd/CStd.h"
#include "foundation/OsContext.h"
#include "foundation/UniqueFd.h"
#include "platform/FileCopy.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::Orvane {

namespace {

constexpr uint64_t kMaxListBytes = 4u << 20;       // far more than any kernel folder lists
constexpr const char* kBeside = ".~orvane-update";  // suffix of a copy on its way into place

bool Exists(const std::string& path) { return Common::LocalFileSystem::DoesFileOrDirectoryExist(path); }

bool MakeParentFolders(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 || Vorn::std_mkdir_tree(path.substr(0, slash).c_str());
}

// Entries of other platforms' kernels.
bool IsForeignEntry(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "quor_orvane.exe.version" || (name.size() >= 4 && name.compare(name.size() - 4, 4, ".exe") == 0);
}

// Paths that would leave {root}/system, or overwrite the list or the staging folder.
bool IsSafeEntry(const std::string& path) {
    return Common::IsValidRelativeName(path) && path != kVersionInfoFileName && path != "temp" &&
           path.compare(0, 5, "temp/") != 0;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = Vorn::Os().files.Write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// One attempt: the whole text into a new file beside path, then renamed over it.
bool WriteBesideAndRename(const std::string& path, const std::string& bytes) {
    const std::string beside = path + kBeside;
    Vorn::Os().files.Unlink(beside.c_str());
    Vorn::UniqueFd fd(Vorn::Os().files.Open(beside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.Get() < 0) return false;
    const bool written = WriteAll(fd.Get(), bytes) && ::close(fd.Release()) == 0;
    if (!written || Vorn::Os().files.Rename(beside.c_str(), path.c_str()) != 0) {
        Vorn::Os().files.Unlink(beside.c_str());
        return false;
    }
    return true;
}

}  // namespace

const VersionInformation* FindEntry(const VersionList& list, const std::string& path) {
    for (const VersionInformation& entry : list)
        if (entry.path == path) return &entry;
    return nullptr;
}

bool HoldsEntry(const VersionList& list, const VersionInformation& entry) {
    const VersionInformation* found = FindEntry(list, entry.path);
    return found && found->version == entry.version;
}

std::string SystemFolder() { return Common::LocalRootFolder::Get() + "/system/"; }
std::string SystemTempFolder() { return SystemFolder() + "temp/"; }

bool GetVersionInfo(const std::string& path, VersionList& list) {
    list.clear();
    Common::UniqueFile file(Common::OpenRegularFileStream(path, kMaxListBytes));
    if (!file) {
        QUOR_LOG(Log::USER, "Error while opening file \"%s\" for reading.\n", path.c_str());
        return false;
    }
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, file.get())) {
        std::string line(buffer);
        const size_t feed = line.find_last_of('\n');
        if (feed != std::string::npos) line.erase(feed);
        const size_t comma = line.find(',');
        if (comma == std::string::npos || comma + 1 == line.size()) continue;
        VersionInformation entry;
        entry.path = line.substr(0, comma);
        entry.version = static_cast<DWORD>(Vorn::std_atoi(line.c_str() + comma + 1));
        if (IsForeignEntry(entry.path)) continue;
        if (!IsSafeEntry(entry.path)) {
            QUOR_LOG(Log::ERROR, "Ignoring the entry \"%s\" of \"%s\": not a path inside the system folder.",
                     Log::CutText(entry.path).c_str(), path.c_str());
            continue;
        }
        list.push_back(entry);
    }
    return true;
}

bool WriteVersionInfo(const std::string& path, const VersionList& list) {
    std::string text;
    for (const VersionInformation& entry : list) {
        char number[16];
        Vorn::std_itoa(static_cast<int32_t>(entry.version), number, 10);
        text += entry.path + "," + number + "\n";
    }
    for (int attempt = 1;; ++attempt) {
        if (WriteBesideAndRename(path, text)) return true;
        if (attempt == 5) break;
        Vorn::std_sleep(1000);
    }
    QUOR_LOG(Log::USER, "Error while opening file \"%s\" for writing.\n", path.c_str());
    return false;
}

bool ReplaceFileWithCopy(const std::string& source, const std::string& target) {
    const std::string beside = target + kBeside;
    if (!MakeParentFolders(target)) return false;
    Vorn::Os().files.Unlink(beside.c_str());
    if (!Platform::CopyFileWithMetadata(source.c_str(), beside.c_str())) {
        Vorn::Os().files.Unlink(beside.c_str());
        return false;
    }
    if (Vorn::Os().files.Rename(beside.c_str(), target.c_str()) != 0) {
        Vorn::Os().files.Unlink(beside.c_str());
        return false;
    }
    return true;
}

bool MoveUpdatedFiles(const VersionList& current, const VersionList& fresh, VersionList& result) {
    const std::string system = SystemFolder();
    const std::string staged = SystemTempFolder();
    result.clear();
    bool ok = true;
    for (const VersionInformation& entry : fresh) {
        const VersionInformation* now = FindEntry(current, entry.path);
        const bool needed = !Exists(system + entry.path) || !now || now->version != entry.version;
        bool copied = false;
        if (needed && Exists(staged + entry.path)) {
            copied = ReplaceFileWithCopy(staged + entry.path, system + entry.path);
            if (!copied) {
                QUOR_LOG(Log::USER,
                         "Failed to copy file: %s, Please make sure file is not write protected or in use.\n",
                         entry.path.c_str());
                ok = false;
            }
        }
        if (copied)
            result.push_back(entry);
        else if (now)
            result.push_back(*now);
    }
    return ok;
}

void DeleteOldFiles(const VersionList& current, const VersionList& fresh) {
    const std::string system = SystemFolder();
    for (const VersionInformation& entry : current) {
        if (FindEntry(fresh, entry.path)) continue;
        QUOR_LOG(Log::DEBUG, "Removing file %s from system directory.", entry.path.c_str());
        Vorn::Os().files.Unlink((system + entry.path).c_str());
        Vorn::Os().files.Unlink((system + entry.path + kBeside).c_str());
    }
}

HRESULT DownloadVersionInfoFile(User::IRemoteFileServer& server) {
    const std::string staged = SystemTempFolder();
    if (!Vorn::std_mkdir_tree(staged.c_str())) return Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
    // Fetched beside its place, so that a failed or cut download never stands as the new list.
    const std::string list = staged + kVersionInfoFileName;
    const std::string incoming = list + kBeside;
    Vorn::Os().files.Unlink(incoming.c_str());
    Common::TransferBound bound(static_cast<int64_t>(kMaxListBytes));
    HRESULT hr = server.GetFile(server.GetDownloadPath() + "/system/" + kVersionInfoFileName, incoming, &bound, false);
    if (SUCCEEDED(hr) && Vorn::Os().files.Rename(incoming.c_str(), list.c_str()) != 0) {
        hr = Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
        if (SUCCEEDED(hr)) hr = E_FAIL;
    }
    if (FAILED(hr)) Vorn::Os().files.Unlink(incoming.c_str());
    return hr;
}

}  // namespace Quor::Orvane
