#include "tests/kit/content/FakeRemoteFileServer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <thread>

#include "common/ConvertVersion.h"
#include "common/ErrorCodes.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalFileSystem.h"
#include "common/RelativeName.h"
#include "common/ReleaseVersion.h"
#include "remote/ReleaseInstallationServices.h"
#include "remote/ServerSettings.h"
#include "tests/kit/TempDir.h"

namespace QuorTest {

using Quor::Common::ConvertVersion;

namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The size of a regular file; false for anything else.
bool RegularFileSize(const std::string& path, unsigned long long& size) {
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<unsigned long long>(st.st_size);
    return true;
}

// Reads a regular file only.
bool ReadRegular(const std::string& path, std::string& bytes) {
    unsigned long long size = 0;
    if (!RegularFileSize(path, size)) return false;
    bytes = ReadFile(path);
    return bytes.size() == size;
}

}  // namespace

FakeRemoteFileServer::FakeRemoteFileServer(const std::string& serverRoot, const std::string& downloadPath,
                                           const std::string& region)
    : m_serverRoot(serverRoot), m_downloadPath(downloadPath), m_region(region) {}

std::string FakeRemoteFileServer::LocalPath(const std::string& remotePath) const {
    if (remotePath.empty() || remotePath[0] != '/' || !Quor::Common::IsValidRelativeName(remotePath.substr(1)))
        return {};
    return m_serverRoot + remotePath;
}

FakeRemoteFileServer::Decision FakeRemoteFileServer::Begin(const char* method, const std::string& remotePath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.push_back(std::string(method) + " " + remotePath);
    ++m_counts[remotePath];
    Decision decision;
    decision.chunk = m_chunk;
    decision.delay = m_delay;
    auto fault = m_pathFaults.find(remotePath);
    if (fault != m_pathFaults.end()) decision.fault = fault->second;
    for (const std::string& suffix : m_failedForms)
        if (EndsWith(remotePath, suffix)) decision.fault = Fault::NotFound;
    if (decision.fault == Fault::Cut) decision.cutAfter = m_cuts[remotePath];
    return decision;
}

HRESULT FakeRemoteFileServer::Failure() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_anySucceeded ? E_QUOR_HTTP_CONNECTION_LOST : E_QUOR_HTTP_CONNECTION_FAILED;
}

void FakeRemoteFileServer::Succeeded(bool file, const std::string& remotePath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_anySucceeded = true;
    if (!file) return;
    ++m_filesFetched;
    if (!m_cancelFlag || remotePath.find(m_cancelContaining) == std::string::npos) return;
    if (++m_cancelCounted >= m_cancelAfter) __atomic_store_n(m_cancelFlag, static_cast<signed char>(1), __ATOMIC_SEQ_CST);
}

HRESULT FakeRemoteFileServer::GetFile(const std::string& remotePath, const std::string& localPath,
                                      Quor::Common::IGetFileProgressCallback* const callback, const bool) {
    const Decision decision = Begin("GET", remotePath);
    if (decision.delay.count() > 0) std::this_thread::sleep_for(decision.delay);

    // Like the HTTP connection: the local file is created or emptied by the request.
    const int fd = open(localPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return Failure();
    std::string body;
    const std::string source = LocalPath(remotePath);
    if (decision.fault == Fault::NotFound || decision.fault == Fault::Connection || source.empty() ||
        !ReadRegular(source, body)) {
        close(fd);
        return Failure();
    }
    if (decision.fault == Fault::Corrupt && !body.empty()) body[body.size() / 2] ^= 0x5A;
    const size_t end = decision.fault == Fault::Cut ? std::min(decision.cutAfter, body.size()) : body.size();

    bool ok = true;
    for (size_t done = 0; ok && done < end;) {
        const size_t piece = std::min(decision.chunk, end - done);
        ok = write(fd, body.data() + done, piece) == static_cast<ssize_t>(piece);
        done += piece;
        if (ok && callback && FAILED(callback->GetFileProgressCallback(piece))) ok = false;
    }
    ok = close(fd) == 0 && ok;
    if (!ok || decision.fault == Fault::Cut) return Failure();
    Succeeded(true, remotePath);
    return S_OK;
}

HRESULT FakeRemoteFileServer::GetFileSize(const std::string& remotePath, DWORD& size) {
    const Decision decision = Begin("HEAD", remotePath);
    if (decision.delay.count() > 0) std::this_thread::sleep_for(decision.delay);
    size = 0;
    if (decision.fault == Fault::Connection) return Failure();
    unsigned long long bytes = 0;
    if (decision.fault != Fault::NotFound && RegularFileSize(LocalPath(remotePath), bytes)) {
        if (bytes > 0xFFFFFFFFull) return E_FAIL;
        size = static_cast<DWORD>(bytes);
    }
    Succeeded(false, remotePath);
    return S_OK;
}

HRESULT FakeRemoteFileServer::Exists(const std::string& remotePath, bool& exists) {
    const Decision decision = Begin("HEAD", remotePath);
    if (decision.delay.count() > 0) std::this_thread::sleep_for(decision.delay);
    exists = false;
    if (decision.fault == Fault::Connection) return Failure();
    unsigned long long size = 0;
    exists = decision.fault != Fault::NotFound && RegularFileSize(LocalPath(remotePath), size);
    Succeeded(false, remotePath);
    return S_OK;
}

// Versions in file order, as the release listing reader takes them: empty lines skipped, the
// first line that is no version fails the listing.
HRESULT FakeRemoteFileServer::ReadListing(const std::string& remotePath, std::vector<DWORD>& versions) {
    const Decision decision = Begin("GET", remotePath);
    if (decision.delay.count() > 0) std::this_thread::sleep_for(decision.delay);
    std::string body;
    const std::string source = LocalPath(remotePath);
    if (decision.fault != Fault::None || source.empty() || !ReadRegular(source, body)) return Failure();
    Succeeded(false, remotePath);
    std::istringstream lines(body);
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (line.empty()) continue;
        DWORD version = 0;
        if (FAILED(ConvertVersion::ToNumber(line, version))) return E_FAIL;
        versions.push_back(version);
    }
    return S_OK;
}

std::string FakeRemoteFileServer::Region() const {
    if (!m_region.empty()) return m_region;
    return Quor::Common::GetSystemSettings().Get(Quor::Common::SETTING_REGION);
}

HRESULT FakeRemoteFileServer::Enumerate(bool solution, const std::string& name, const std::string& region,
                                        std::vector<DWORD>& releases, unsigned int maxCount) {
    using Quor::Common::LocalDirectoryStructure;
    if (region.empty() || !LocalDirectoryStructure::IsValidName(region) || !LocalDirectoryStructure::IsValidName(name))
        return E_FAIL;
    const std::string folder = m_downloadPath + (solution ? "/solutions/" : "/projects/") + name + "/releases/";
    std::vector<DWORD> regional;
    if (SUCCEEDED(ReadListing(folder + "releaselisting_" + region, regional))) {
        releases.insert(releases.end(), regional.begin(), regional.end());
        std::sort(releases.begin(), releases.end());
        return S_OK;
    }
    std::vector<DWORD> general;
    HRESULT result = ReadListing(folder + "releaselisting", general);
    if (FAILED(result)) return result;
    unsigned int found = 0;
    for (DWORD version : general) {
        bool exists = false;
        const std::string marker = folder + ConvertVersion::ToString(version) + "/" + region + "_OK";
        for (int attempt = 0; attempt < 3; ++attempt)
            if (SUCCEEDED(result = Exists(marker, exists))) break;
        if (FAILED(result)) break;
        if (exists) {
            releases.push_back(version);
            if (maxCount != 0 && ++found == maxCount) break;
        }
    }
    std::sort(releases.begin(), releases.end());
    return result;
}

HRESULT FakeRemoteFileServer::EnumerateAvailableSolutionReleases(const std::string& solution,
                                                                 std::vector<DWORD>& releases,
                                                                 const unsigned int maxCount) {
    return Enumerate(true, solution, Region(), releases, maxCount);
}

HRESULT FakeRemoteFileServer::EnumerateAvailableSolutionReleasesForRegion(const std::string& solution,
                                                                          const std::string& region,
                                                                          std::vector<DWORD>& releases,
                                                                          const unsigned int maxCount) {
    return Enumerate(true, solution, region, releases, maxCount);
}

HRESULT FakeRemoteFileServer::EnumerateAvailableProjectReleases(const std::string& project,
                                                                std::vector<DWORD>& releases,
                                                                const unsigned int maxCount) {
    return Enumerate(false, project, Region(), releases, maxCount);
}

HRESULT FakeRemoteFileServer::EnumerateAvailableProjectReleasesForRegion(const std::string& project,
                                                                         const std::string& region,
                                                                         std::vector<DWORD>& releases,
                                                                         const unsigned int maxCount) {
    return Enumerate(false, project, region, releases, maxCount);
}

HRESULT FakeRemoteFileServer::EnumerateAvailablePatches(const std::string& project, const DWORD release,
                                                        std::vector<DWORD>& patches, const DWORD sourceRelease) {
    std::vector<DWORD> candidates;
    if (sourceRelease == Quor::INVALID_RELEASE_VERSION) {
        Quor::Common::LocalFileSystem fileSystem;
        const HRESULT result =
            Quor::User::Services::EnumerateInstalledProjectReleases(project, fileSystem, candidates, false);
        if (FAILED(result)) return result;
    } else {
        candidates.push_back(sourceRelease);
    }
    HRESULT result = S_OK;
    for (DWORD source : candidates) {
        const std::string path = m_downloadPath + "/projects/" + project + "/releases/" +
                                 ConvertVersion::ToString(release) + "/patchmanifests/" +
                                 ConvertVersion::ToString(source) + ".patchmanifest";
        bool exists = false;
        for (int attempt = 0; attempt < 3; ++attempt)
            if (SUCCEEDED(result = Exists(path, exists))) break;
        if (FAILED(result)) break;
        if (exists) {
            patches.push_back(source);
            break;
        }
    }
    return result;
}

void FakeRemoteFileServer::FailPath(const std::string& remotePath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pathFaults[remotePath] = Fault::NotFound;
}

void FakeRemoteFileServer::FailFile(const std::string& remotePath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const char* suffix : {"", ".compressed", ".lzma2", ".z", ".z.lzma2", ".compressed.lzma2"})
        m_pathFaults[remotePath + suffix] = Fault::NotFound;
}

void FakeRemoteFileServer::FailForm(const std::string& suffix) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failedForms.push_back(suffix);
}

void FakeRemoteFileServer::FailConnection(const std::string& remotePath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pathFaults[remotePath] = Fault::Connection;
}

void FakeRemoteFileServer::CutBody(const std::string& remotePath, size_t bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pathFaults[remotePath] = Fault::Cut;
    m_cuts[remotePath] = bytes;
}

void FakeRemoteFileServer::CorruptBody(const std::string& remotePath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pathFaults[remotePath] = Fault::Corrupt;
}

void FakeRemoteFileServer::ClearFaults() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pathFaults.clear();
    m_cuts.clear();
    m_failedForms.clear();
    m_delay = std::chrono::milliseconds(0);
    m_cancelFlag = nullptr;
}

void FakeRemoteFileServer::SetDelay(std::chrono::milliseconds perRequest) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delay = perRequest;
}

void FakeRemoteFileServer::CancelAfterFiles(size_t files, signed char* flag, const std::string& containing) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelFlag = flag;
    m_cancelAfter = files;
    m_cancelCounted = 0;
    m_cancelContaining = containing;
    if (flag && files == 0) __atomic_store_n(flag, static_cast<signed char>(1), __ATOMIC_SEQ_CST);
}

void FakeRemoteFileServer::SetChunkSize(size_t bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_chunk = std::max<size_t>(bytes, 1);
}

std::vector<std::string> FakeRemoteFileServer::RequestLog() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

size_t FakeRemoteFileServer::RequestCount(const std::string& remotePath) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_counts.find(remotePath);
    return it == m_counts.end() ? 0 : it->second;
}

size_t FakeRemoteFileServer::CountContaining(const std::string& part) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<size_t>(std::count_if(m_log.begin(), m_log.end(), [&](const std::string& line) {
        return line.find(part) != std::string::npos;
    }));
}

size_t FakeRemoteFileServer::FilesFetched() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_filesFetched;
}

void FakeRemoteFileServer::ClearRecords() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
    m_counts.clear();
    m_filesFetched = 0;
}

}  // namespace QuorTest
