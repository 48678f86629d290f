// An update of changed files through PatchFilesStep from the test kit's loopback nginx, against
// DownloadFilesStep fetching the same files whole from the same server: wall time of each, and the
// bytes nginx sent (its access log) against the sum of the patch sizes. The files are 1-5 MiB of
// program-like bytes with scattered edits (bench/patch's pair generator); the patches are made by
// our jdiff through the content-tree builder. Everything lives in $TMPDIR (or /tmp) and is removed
// at the end.
//
//   quor_bench_patchstep [files]      (500 by default)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/patch/BenchPair.h"
#include "bench/support/BenchSupport.h"
#include "common/ConvertVersion.h"
#include "common/LocalFileSystem.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "install/DownloadFilesStep.h"
#include "install/PatchFilesStep.h"
#include "install/PatchSelection.h"
#include "install/UpdateAndInstallShared.h"
#include "remote/ReleaseManifestPaths.h"
#include "remote/RemoteFileServerHTTP.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

namespace fs = std::filesystem;
using namespace Quor;
using namespace Quor::User;
using namespace Quor::User::UpdateAndInstallShared;
using Quor::Common::ReleaseManifest;
using QuorBench::Now;

constexpr DWORD kOld = 0x01000001, kNew = 0x01000002;

std::string Name(int i) { return "data/d" + std::to_string(i / 100) + "/f" + std::to_string(i) + ".bin"; }

// 1 to 5 MiB, spread evenly.
size_t Size(int i) { return (1u << 20) + (static_cast<size_t>(i) * 2654435761u) % (4u << 20); }

int Fail(const char* what) {
    std::fprintf(stderr, "failed: %s\n", what);
    return 1;
}

// Bytes nginx sent for the requests logged after the first `from`, once `count` more arrived.
unsigned long long BytesSince(const QuorTest::NginxServer& nginx, size_t from, size_t& requests) {
    size_t seen = 0;
    // The log line of a request comes just after its response: wait until it settles.
    for (;;) {
        nginx.WaitForAccessLog(from + 1);
        const size_t now = nginx.accessLog().size();
        if (now == seen) break;
        seen = now;
        nginx.WaitForAccessLog(now + 1, std::chrono::milliseconds(300));
    }
    unsigned long long bytes = 0;
    const auto log = nginx.accessLog();
    requests = log.size() - from;
    for (size_t i = from; i < log.size(); ++i) bytes += log[i].bodyBytes;
    return bytes;
}

// One measurement against an nginx sending at most bytesPerSecond per connection (0: no limit).
int Measure(const std::string& contentRoot, const std::string& root, unsigned long long bytesPerSecond) {
    const std::string server = contentRoot + "/quor/projects/game/releases/";
    QuorTest::NginxServer nginx(contentRoot, {}, bytesPerSecond);
    if (!nginx.started()) return Fail("nginx did not start");
    HRESULT result = S_OK;
    RemoteFileServerHTTP remote(result, nginx.baseUrl());
    if (FAILED(result)) return Fail("server object");
    Common::LocalFileSystem fileSystem;
    signed char cancel = 0;
    AutoUpdateProgress progress(nullptr, &cancel, 1000);

    ReleaseManifest target;
    if (FAILED(target.Load(server + "1.0.0.2/releasemanifest", nullptr))) return Fail("target manifest");
    Common::PatchManifest* patchManifest = nullptr;
    ReleaseManifest* sourceManifest = nullptr;
    if (FAILED(FindBestPatchForRelease("game", kNew, fileSystem, remote, patchManifest, sourceManifest, progress)) ||
        !patchManifest)
        return Fail("no patch found");
    std::unique_ptr<Common::PatchManifest> patches(patchManifest);
    std::unique_ptr<ReleaseManifest> source(sourceManifest);

    std::vector<FileToPatch> toPatch;
    std::vector<FileToDownload> whole;
    unsigned long long patchBytes = 0, fileBytes = 0;
    for (const ReleaseManifest::ENTRY& entry : target.m_Entries) {
        std::string path;
        Common::GetLocalFilePath(path, "game", kNew, entry);
        path = root + path;
        fs::create_directories(fs::path(path).parent_path());
        const Common::PatchManifest::ENTRY* patch = FindEntryByName(entry.name, entry.version, *patches);
        if (!patch) return Fail("a file without a patch");
        toPatch.push_back({patch, FindManifestEntry(*source, entry.name), &entry, path, 0});
        whole.push_back({&entry, path});
        patchBytes += patch->size;
        fileBytes += entry.size;
    }
    auto empty = [&] {
        for (const auto& file : whole) fs::remove(file.m_LocalPath);
    };

    // Whole files first, then patches: both read what the builder just wrote (page cache warm).
    size_t mark = nginx.accessLog().size(), requests = 0;
    double t0 = Now();
    if (FAILED(DownloadFilesStep(whole, target, remote, fileSystem, progress))) return Fail("download step");
    const double wholeTime = Now() - t0;
    const unsigned long long wholeSent = BytesSince(nginx, mark, requests);
    const size_t wholeRequests = requests;
    empty();

    std::vector<FileToDownload> left;
    mark = nginx.accessLog().size();
    t0 = Now();
    if (FAILED(PatchFilesStep(toPatch, left, "game", *patches, remote, fileSystem, progress)))
        return Fail("patch step");
    const double patchTime = Now() - t0;
    if (!left.empty()) return Fail("files left for download");
    const unsigned long long patchSent = BytesSince(nginx, mark, requests);
    empty();

    const double mib = 1.0 / (1 << 20);
    const std::string link =
        bytesPerSecond ? "a link of " + std::to_string(bytesPerSecond >> 20) + " MiB/s" : "loopback without a limit";
    std::printf("\n%s: %zu files, %.1f MiB; patches %.2f MiB (%.2f%% of the files)\n", link.c_str(), whole.size(),
                fileBytes * mib, patchBytes * mib, 100.0 * patchBytes / fileBytes);
    std::printf("whole files (DownloadFilesStep): %.2f s, nginx sent %.2f MiB in %zu requests\n", wholeTime,
                wholeSent * mib, wholeRequests);
    std::printf("patches (PatchFilesStep):        %.2f s, nginx sent %.2f MiB in %zu requests\n", patchTime,
                patchSent * mib, requests);
    std::printf("bytes sent / patch sizes: %.3f (goal <= 1.1)\n", static_cast<double>(patchSent) / patchBytes);
    std::printf("time patch / whole:       %.3f (goal < 1)\n", patchTime / wholeTime);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    const unsigned long long linkMiB = argc > 2 ? std::max(1, atoi(argv[2])) : 40;
    Quor::Log::SetLogLevel(Quor::Log::ERROR);
    QuorTest::QuorTree tree;
    tree.InstallPatchTools();
    QuorTest::TempDir content("quorbenchpatchstep");
    const std::string root = Common::LocalRootFolder::Get();

    std::printf("making %d changed files of 1-5 MiB and their patches in %s ...\n", files, content.path().c_str());
    double built = Now();
    {
        Tools::ContentTree::ContentDescription description;
        auto& game = description.AddProject("game");
        game.AddRelease(kOld);
        game.AddRelease(kNew);
        auto& older = *game.FindRelease(kOld);
        auto& newer = *game.FindRelease(kNew);
        newer.patches.push_back({kOld, 0, 0});
        for (int i = 0; i < files; ++i) {
            std::string original = PatchBench::MakeOriginal(Size(i), 1000 + i);
            newer.AddFile(Name(i), 0, PatchBench::MakeNewVersion(original, 5000 + i));
            older.AddFile(Name(i), 0, std::move(original));
        }
        std::string error;
        if (!Tools::ContentTree::BuildContentTree(description, content.path(), error)) return Fail(error.c_str());
    }
    std::printf("  built in %.1f s\n", Now() - built);
    const std::string server = content.path() + "/quor/projects/game/releases/";

    // Release 1.0.0.1 installed as the download step leaves it.
    const std::string installed = root + "/projects/game/releases/1.0.0.1/";
    fs::create_directories(installed + "deploy");
    fs::copy(server + "1.0.0.1/files", installed + "deploy", fs::copy_options::recursive);
    fs::copy_file(server + "1.0.0.1/releasemanifest", installed + "releasemanifest");
    QuorTest::WriteFile(installed + "S_OK", "");
    tree.WriteSystemConfig("127.0.0.1", "/quor", "xx");  // the address is each server object's own

    // Loopback as it is, then a link of `rate` MiB/s per connection.
    for (unsigned long long rate : {0ull, linkMiB}) {
        const int failed = Measure(content.path(), root, rate << 20);
        if (failed) return failed;
    }
    return 0;
}
