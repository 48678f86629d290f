// The download step from the test kit's loopback nginx, side by side with its peer:
//   ours:  UpdateAndInstallShared::DownloadFilesStep of a release of 2,000 small files and 20 files
//          of 20 MiB (a third each fetched in zlib form, in LZMA2 form and plain), expanded and
//          checked against their MD5s into a fresh install tree;
//   peer:  one `curl -K` process fetching the same forms over one connection, then the bare
//          decompression loops writing each compressed one decoded, then one md5sum over every
//          file as it ends up (bench/support/DecodedPeer.h).
// Rounds alternate which goes first; the best time of each is kept. A second release of the same
// files served with package bins shows the requests the step makes for its bins (nginx's log).
// The server tree and the install tree live in $TMPDIR (or /tmp) and are removed at the end.
//
//   quor_bench_download_step [rounds] [MiB per large file, default 20] [server folder]
// A server folder given is kept, and used as it is when it already holds the content.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "bench/support/Curl.h"
#include "bench/support/DecodedPeer.h"
#include "common/AutoUpdateProgress.h"
#include "common/ConvertVersion.h"
#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "install/DownloadFilesStep.h"
#include "remote/ReleaseManifestPaths.h"
#include "remote/RemoteFileServerHTTP.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

using QuorBench::Now;
using Quor::Common::ReleaseManifest;
namespace ContentTree = Quor::Tools::ContentTree;

constexpr int kSmallFiles = 2000;
constexpr int kLargeFiles = 20;
size_t g_largeSize = 20u << 20;  // the second argument sets it in MiB
constexpr DWORD kRelease = 0x01000001;  // 1.0.0.1
constexpr DWORD kBinBytes = 4u << 20;
const DWORD kForms[] = {ReleaseManifest::FLAG_ZLIB, ReleaseManifest::FLAG_LZMA, 0};

// Text-like bytes that compress about as well as game data: words with random runs.
std::string Content(size_t size, uint64_t seed) {
    static const char* const kWords[] = {"actor ", "mesh ", "texture ", "level ", "sound ", "script ", "0.5 ", "\n"};
    std::string bytes;
    bytes.reserve(size);
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    while (bytes.size() < size) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        if (x % 5 == 0)
            for (int i = 0; i < 8; ++i) bytes += static_cast<char>((x >> (i * 8)) & 0xFF);
        else
            bytes += kWords[x % 8];
    }
    bytes.resize(size);
    return bytes;
}

void AddFiles(ContentTree::ReleaseSpec& release) {
    for (int i = 0; i < kSmallFiles; ++i)
        release.AddFile("small/" + std::to_string(i) + ".dat", kForms[i % 3], Content(512 + (i * 37) % 3584, i));
    for (int i = 0; i < kLargeFiles; ++i)
        release.AddFile("large/" + std::to_string(i) + ".pak", kForms[i % 3], Content(g_largeSize, 100000 + i));
}

std::string Suffix(DWORD flags) {
    if (flags & ReleaseManifest::FLAG_ZLIB) return ".compressed";
    if (flags & ReleaseManifest::FLAG_LZMA) return ".lzma2";
    return "";
}

struct Project {
    std::string name;
    ReleaseManifest manifest;
    std::vector<Quor::User::FileToDownload> files;
};

// The work list of the whole release, with its folders made as the discovery makes them.
bool Prepare(const std::string& serverRoot, const std::string& installRoot, Project& project) {
    const std::string folder = serverRoot + "/quor/projects/" + project.name + "/releases/1.0.0.1/";
    if (project.manifest.m_Entries.empty() &&
        FAILED(project.manifest.Load(folder + "releasemanifest", nullptr)))
        return false;
    std::error_code error;
    std::filesystem::remove_all(installRoot + "/projects/" + project.name, error);
    project.files.clear();
    for (const auto& entry : project.manifest.m_Entries) {
        std::string local;
        Quor::Common::GetLocalFilePath(local, project.name, kRelease, entry);
        local = installRoot + local;
        std::filesystem::create_directories(std::filesystem::path(local).parent_path(), error);
        project.files.push_back({&entry, local});
    }
    return true;
}

double RunOurs(Project& project, const std::string& serverRoot, const std::string& installRoot,
               const std::string& address, bool& ok) {
    ok = Prepare(serverRoot, installRoot, project) && ok;
    sync();
    HRESULT result = E_FAIL;
    Quor::User::RemoteFileServerHTTP server(result, address);
    Quor::Common::LocalFileSystem fileSystem;
    Quor::User::AutoUpdateProgress progress(nullptr, nullptr, 1000);
    const double start = Now();
    result = Quor::User::UpdateAndInstallShared::DownloadFilesStep(project.files, project.manifest, server,
                                                                    fileSystem, progress);
    const double time = Now() - start;
    if (FAILED(result)) {
        std::printf("the download step failed: 0x%08x\n", static_cast<unsigned>(result));
        ok = false;
    }
    return time;
}

double RunPeer(const Project& project, const std::string& url, const std::string& target, bool& ok) {
    std::error_code error;
    std::filesystem::remove_all(target, error);
    std::filesystem::create_directories(target, error);
    const std::string config = target + "/curl.cfg";
    FILE* f = fopen(config.c_str(), "w");
    if (!f) return ok = false, 0;
    std::vector<std::string> outputs;
    for (size_t i = 0; i < project.manifest.m_Entries.size(); ++i) {
        const auto& entry = project.manifest.m_Entries[i];
        outputs.push_back(target + "/" + std::to_string(i));
        std::fprintf(f, "url = \"%s/quor/projects/%s/releases/1.0.0.1/files/%s%s\"\noutput = \"%s\"\n", url.c_str(),
                     project.name.c_str(), entry.name.c_str(), Suffix(entry.flags).c_str(), outputs.back().c_str());
    }
    fclose(f);
    sync();
    const double start = Now();
    ok = QuorBench::RunCurl({"-s", "-f", "-K", config}) && ok;
    std::vector<std::string> finals;
    for (size_t i = 0; i < project.manifest.m_Entries.size(); ++i) {
        const auto& entry = project.manifest.m_Entries[i];
        ok = QuorBench::DecodeAndWrite(outputs[i], Suffix(entry.flags), entry.size, finals) && ok;
    }
    ok = QuorBench::RunMd5sum(finals) && ok;
    return Now() - start;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    if (argc > 2) g_largeSize = static_cast<size_t>(std::max(1, atoi(argv[2]))) << 20;
    Quor::Log::SetLogLevel(Quor::Log::USER);  // the step's expected 404 of a package manifest
    QuorTest::TempDir madeRoot("quorbenchserver");
    const std::string serverRoot = argc > 3 ? argv[3] : madeRoot.path();
    const bool reuse = argc > 3 && std::filesystem::exists(serverRoot + "/quor/projects/beta");
    QuorTest::TempDir peerTarget("quorbenchpeer");
    QuorTest::QuorTree tree;
    const std::string installRoot = tree.root().substr(0, tree.root().size() - 1);

    if (!reuse) {
        std::printf("writing %d small files and %d files of %zu MiB in three forms into %s ...\n", kSmallFiles,
                    kLargeFiles, g_largeSize >> 20, serverRoot.c_str());
        ContentTree::ContentDescription description;
        AddFiles(description.AddProject("alpha").AddRelease(kRelease, {"xx"}));
        auto& packaged = description.AddProject("beta").AddRelease(kRelease, {"xx"});
        packaged.binBytes = kBinBytes;
        AddFiles(packaged);
        std::string error;
        if (!ContentTree::BuildContentTree(description, serverRoot, error)) {
            std::fprintf(stderr, "cannot write the content: %s\n", error.c_str());
            return 1;
        }
    }

    QuorTest::NginxServer nginx(serverRoot);
    if (!nginx.started()) {
        std::fprintf(stderr, "nginx did not start\n");
        return 1;
    }
    tree.WriteSystemConfig(nginx.baseUrl(), "/quor", "xx");
    const std::string url = "http://" + nginx.baseUrl();

    bool ok = true;
    Project alpha{"alpha", {}, {}};
    double ours = 1e30, peer = 1e30;
    // Before each side both sides' files of the run before are removed, so that each starts on the
    // same empty disk state (each side syncs before its clock starts).
    const auto clearBoth = [&] {
        std::error_code error;
        std::filesystem::remove_all(installRoot + "/projects/alpha", error);
        std::filesystem::remove_all(peerTarget.path(), error);
    };
    const auto ourRun = [&] {
        clearBoth();
        return RunOurs(alpha, serverRoot, installRoot, nginx.baseUrl(), ok);
    };
    const auto peerRun = [&] {
        clearBoth();
        return RunPeer(alpha, url, peerTarget.path(), ok);
    };
    for (int r = 0; r < rounds && ok; ++r) {
        double ourTime, peerTime;
        if (r % 2 == 0) {
            ourTime = ourRun();
            peerTime = peerRun();
        } else {
            peerTime = peerRun();
            ourTime = ourRun();
        }
        ours = std::min(ours, ourTime);
        peer = std::min(peer, peerTime);
        std::printf("round %d: download step %.2f s, curl -K + decode + write + md5sum %.2f s\n", r + 1, ourTime,
                    peerTime);
    }
    std::printf("download step %.2f s, curl -K + decode + write + md5sum %.2f s (best of %d), ratio %.3f (ours / peer; goal "
                "<= 1.2)\n",
                ours, peer, rounds, ours / peer);

    // With bins: one request per bin the step marks, none for the files inside them.
    Project beta{"beta", {}, {}};
    const std::string packages = serverRoot + "/quor/projects/beta/releases/1.0.0.1/packages/files";
    size_t bins = 0;
    for (const auto& item : std::filesystem::directory_iterator(packages))
        if (item.path().filename().string().rfind("bin", 0) == 0) ++bins;
    const size_t before = nginx.accessLog().size();
    const double binTime = RunOurs(beta, serverRoot, installRoot, nginx.baseUrl(), ok);
    nginx.WaitForAccessLog(before + 1);
    size_t binRequests = 0, fileRequests = 0, requests = 0;
    const auto log = nginx.accessLog();
    for (size_t i = before; i < log.size(); ++i) {
        ++requests;
        if (log[i].uri.find("/packages/files/bin") != std::string::npos) ++binRequests;
        if (log[i].uri.find("/releases/1.0.0.1/files/") != std::string::npos) ++fileRequests;
    }
    std::printf("with bins: download step %.2f s; %zu bins on the server, %zu bin requests, %zu file requests, "
                "%zu requests in all\n",
                binTime, bins, binRequests, fileRequests, requests);
    if (!ok) std::printf("SOME DOWNLOADS FAILED\n");
    return ok ? 0 : 1;
}
