// Installing a project release from the test kit's loopback nginx, ours and a peer side by side:
//  1. a fresh install of 2,000 small files and 20 files of 20 MiB (plain, zlib and LZMA2 forms,
//     deploy and managed files): InstallProjectRelease (discovery and execution) against one
//     `curl -K` process fetching the same URIs, the bare decompression loops writing each
//     compressed file decoded, and one md5sum over every file as it ends up (DecodedPeer.h);
//     best of the rounds, each side on an empty project folder and an empty peer folder with the
//     disk synced, ours and the peer taking turns at going first;
//  2. the same release with its large files archived (a second project);
//  3. a second release that keeps 90% of the files: the files it fetches, from nginx's access log.
// The content and the install tree are made in $TMPDIR (or /tmp) and removed at the end.
//
//   quor_bench_install [rounds] [MiB per large file]
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/ManagedFileHelper.h"
#include "bench/support/BenchSupport.h"
#include "bench/support/Curl.h"
#include "bench/support/DecodedPeer.h"
#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/LocalRootFolder.h"
#include "common/ReleaseVersion.h"
#include "install/InstallProjectRelease.h"
#include "install/InstalledState.h"
#include "remote/RemoteFileServerHTTP.h"
#include "remote/ServerSettings.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

using namespace Quor::Tools::ContentTree;
using QuorBench::Now;

constexpr DWORD kV1 = 0x01000001;
constexpr DWORD kV2 = 0x01000002;
constexpr int kSmall = 2000;
constexpr int kLarge = 20;
size_t largeSize = 20u << 20;  // the second argument (MiB) makes a quicker trial run

// Text-like bytes that compress about 3:1.
std::string Content(size_t size, unsigned seed) {
    static const char* const words[] = {"quor ", "release ", "manifest ", "archive ", "deploy ", "patch ",
                                        "file ", "server ", "\n", "0x1f ", "entry ", "version "};
    std::string bytes;
    bytes.reserve(size + 16);
    unsigned state = seed * 2654435761u + 7;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345u;
        bytes += words[(state >> 16) % 12];
        if ((state >> 8) % 5 == 0) bytes += static_cast<char>('a' + (state >> 20) % 26);
    }
    bytes.resize(size);
    return bytes;
}

DWORD SmallFlags(int i) {
    static const DWORD flags[] = {0, 0x04, 0x20, 0x01, 0x01 | 0x04, 0x01 | 0x20};
    return flags[i % 6];
}
DWORD LargeFlags(int i, bool archived) {
    static const DWORD flags[] = {0, 0x04, 0x20, 0x01 | 0x04, 0, 0x04, 0, 0x01 | 0x04, 0x01, 0x04};
    return flags[i % 10] | (archived ? 0x02 : 0);
}

void AddFiles(ReleaseSpec& release, bool archived) {
    for (int i = 0; i < kSmall; ++i)
        release.AddFile("small/d" + std::to_string(i % 40) + "/f" + std::to_string(i), SmallFlags(i),
                        Content(500 + (i * 37) % 3500, i));
    for (int i = 0; i < kLarge; ++i)
        release.AddFile("large/l" + std::to_string(i) + ".bin", LargeFlags(i, archived), Content(largeSize, 9000 + i));
}

struct Fetched {
    std::string uri;
    DWORD flags = 0;
    size_t size = 0;  // plain size
};

// The whole-file and bin GETs nginx logged from `from` on.
std::vector<std::string> FileGets(const QuorTest::NginxServer& nginx, size_t from) {
    std::vector<std::string> uris;
    const auto log = nginx.accessLog();
    for (size_t i = from; i < log.size(); ++i)
        if (log[i].method == "GET" && log[i].uri.find("/files/") != std::string::npos &&
            log[i].uri.find("packagemanifest") == std::string::npos)
            uris.push_back(log[i].uri);
    return uris;
}

// Discovery and execution, each timed.
HRESULT Install(const std::string& project, DWORD version, Quor::User::IRemoteFileServer& server,
                double* discoverSeconds = nullptr) {
    Quor::Common::LocalFileSystem fileSystem;
    signed char cancel = 0;
    Quor::User::AutoUpdateProgress progress(nullptr, &cancel, 500);
    const Quor::User::InstallProjectRelease::InputParameters input{project, version, fileSystem, server, progress};
    const double start = Now();
    Quor::User::InstallProjectRelease::Discover discover(input);
    if (discoverSeconds) *discoverSeconds = Now() - start;
    Quor::User::InstallProjectRelease::Execute execute(discover);
    return execute.m_hr;
}

// curl -K over the URIs into files of `target`, then each compressed one decoded and written, then
// md5sum over every file as it ends up.
bool Peer(const std::string& base, const std::vector<Fetched>& files, const std::string& target, double& seconds) {
    const std::string config = target + "/curl.cfg";
    FILE* f = fopen(config.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", config.c_str());
        return false;
    }
    for (size_t i = 0; i < files.size(); ++i)
        std::fprintf(f, "url = \"%s%s\"\noutput = \"%s/%zu\"\n", base.c_str(), files[i].uri.c_str(), target.c_str(), i);
    fclose(f);
    sync();
    const double start = Now();
    bool ok = QuorBench::RunCurl({"-s", "-K", config});
    if (!ok) std::fprintf(stderr, "curl -K %s failed\n", config.c_str());
    std::vector<std::string> finals;
    for (size_t i = 0; ok && i < files.size(); ++i) {
        const std::string path = target + "/" + std::to_string(i);
        ok = QuorBench::DecodeAndWrite(path, files[i].uri, files[i].size, finals);
        if (!ok) std::fprintf(stderr, "cannot expand %s (%s)\n", path.c_str(), files[i].uri.c_str());
    }
    if (ok && !QuorBench::RunMd5sum(finals)) {
        std::fprintf(stderr, "md5sum of the peer's files failed\n");
        ok = false;
    }
    seconds = Now() - start;
    for (size_t i = 0; i < files.size(); ++i) {
        std::filesystem::remove(target + "/" + std::to_string(i));
        std::filesystem::remove(target + "/" + std::to_string(i) + ".plain");
    }
    return ok;
}

// The plain size of the entry behind a URI.
std::vector<Fetched> Describe(const std::vector<std::string>& uris, const ContentDescription& description,
                              const std::string& project) {
    std::vector<Fetched> out;
    for (const std::string& uri : uris) {
        Fetched fetched{uri, 0, 0};
        const size_t files = uri.find("/files/");
        std::string name = uri.substr(files + 7);
        for (const std::string suffix : {".compressed", ".lzma2"})
            if (name.ends_with(suffix)) name.resize(name.size() - suffix.size());
        for (const ProductSpec& product : description.projects)
            if (product.name == project)
                for (const ReleaseSpec& release : product.releases)
                    for (const FileSpec& file : release.files)
                        if (file.name == name) {
                            fetched.flags = file.flags;
                            fetched.size = file.bytes.size();
                        }
        out.push_back(fetched);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    if (argc > 2) largeSize = static_cast<size_t>(std::max(1, atoi(argv[2]))) << 20;
    setvbuf(stdout, nullptr, _IOLBF, 0);
    Quor::User::RegisterInstalledStateServices();
    QuorTest::QuorTree tree;
    QuorTest::TempDir content("quorbenchcontent");
    QuorTest::TempDir peer("quorbenchpeer");
    const std::string root = Quor::Common::LocalRootFolder::Get();

    ContentDescription description;
    description.downloadPath = "/quor";
    {
        ProductSpec& alpha = description.AddProject("alpha");
        AddFiles(alpha.AddRelease(kV1, {"xx"}), false);
        // The second release keeps 90% of the files: every tenth one changed.
        std::vector<FileSpec> files = alpha.FindRelease(kV1)->files;
        ReleaseSpec& second = alpha.AddRelease(kV2, {"xx"});
        for (size_t i = 0; i < files.size(); ++i) {
            if (i % 10 == 9) {
                second.AddFile(files[i].name, files[i].flags, Content(files[i].bytes.size(), 50000 + i));
            } else {
                second.files.push_back(files[i]);
            }
        }
        AddFiles(description.AddProject("beta").AddRelease(kV1, {"xx"}), true);
    }
    std::printf("writing %d small and %d files of %zu MiB (twice) into %s ...\n", kSmall, kLarge, largeSize >> 20,
                content.path().c_str());
    std::string error;
    if (!BuildContentTree(description, content.path(), error)) {
        std::fprintf(stderr, "cannot build the content: %s\n", error.c_str());
        return 1;
    }
    QuorTest::NginxServer nginx(content.path());
    if (!nginx.started()) return 1;
    tree.WriteSystemConfig(nginx.baseUrl(), "/quor", "xx");
    HRESULT created = E_FAIL;
    Quor::User::RemoteFileServerHTTP server(created, Quor::Common::GetDownloadURL());
    if (FAILED(created)) return 1;
    const std::string base = "http://" + nginx.baseUrl();

    bool ok = true;
    // Before each side, both sides' output of the round before is removed and the disk is synced,
    // so that neither meets the other's files or its unlinks still being written back.
    const auto prepare = [&](const char* project) {
        Quor::User::ManagedFileHelper::Release();
        std::filesystem::remove_all(root + "/projects/" + project);
        for (const auto& item : std::filesystem::directory_iterator(peer.path())) std::filesystem::remove_all(item);
        sync();
    };
    for (const char* project : {"alpha", "beta"}) {
        double ours = 1e30, theirs = 1e30;
        size_t bytes = 0, requests = 0;
        std::vector<Fetched> fetched;  // the peer fetches what the latest install of ours fetched
        for (int r = 0; r < rounds && ok; ++r) {
            double ourTime = 0, discoverTime = 0, theirTime = 0;
            const auto runOurs = [&] {
                prepare(project);
                const size_t before = nginx.accessLog().size();
                const double start = Now();
                const HRESULT hr = Install(project, kV1, server, &discoverTime);
                ourTime = Now() - start;
                if (hr != S_OK)
                    std::fprintf(stderr, "install of %s failed: 0x%08x\n", project, static_cast<unsigned>(hr));
                nginx.WaitForAccessLog(before + 1);
                fetched = Describe(FileGets(nginx, before), description, project);
                return hr == S_OK;
            };
            const auto runPeer = [&] {
                prepare(project);
                return Peer(base, fetched, peer.path(), theirTime);
            };
            // Ours goes first in even rounds; the first round is always ours, to learn the URIs.
            ok = r % 2 == 0 ? runOurs() && runPeer() : runPeer() && runOurs();
            ours = std::min(ours, ourTime);
            theirs = std::min(theirs, theirTime);
            requests = fetched.size();
            bytes = 0;
            for (const auto& entry : nginx.accessLog()) bytes += entry.bodyBytes;
            std::printf("%s round %d (%s first): ours %.2f s (discovery %.2f s), curl -K + decode + write + md5sum %.2f s\n",
                        project, r + 1, r % 2 == 0 ? "ours" : "peer", ourTime, discoverTime, theirTime);
        }
        std::printf("fresh install of %s (%s): ours %.2f s, peer %.2f s, ratio %.3f (ours / peer; goal <= 1.1), %zu "
                    "file requests\n",
                    project, std::string(project) == "alpha" ? "large files deploy and managed" : "large files archived",
                    ours, theirs, ours / theirs, requests);
        (void)bytes;
    }

    // The second release of alpha over an installed first one.
    prepare("alpha");
    ok = ok && Install("alpha", kV1, server) == S_OK;
    const size_t before = nginx.accessLog().size();
    const double start = Now();
    ok = ok && Install("alpha", kV2, server) == S_OK;
    const double secondTime = Now() - start;
    nginx.WaitForAccessLog(before + 1);
    const size_t fetched = FileGets(nginx, before).size();
    const size_t total = description.projects.front().FindRelease(kV2)->files.size();
    std::printf("second release sharing 90%%: %zu of %zu files fetched (%.1f%%; goal 10%%), %.2f s\n", fetched, total,
                100.0 * static_cast<double>(fetched) / static_cast<double>(total), secondTime);
    if (!ok) std::printf("SOME INSTALLS FAILED\n");
    return ok ? 0 : 1;
}
