// An update of changed files through PatchFilesStep from the test kit's loopback nginx, against
// DownloadFilesStep fetching the same files whole from the same server, both with the downloads in
// flight that a job of the kernel asks for: wall time of each over
// rounds in which the two take turns at going first (min and median, with the machine's load), and
// the bytes nginx sent (its access log) against the sum of the patch sizes. The files are 1-5 MiB of
// program-like bytes with scattered edits (bench/patch's pair generator); the patches are made by
// our jdiff through the content-tree builder. Everything lives in $TMPDIR (or /tmp) and is removed
// at the end. Three links: loopback as it is, a link's rate shared out among the connections in
// flight, and a distant server
// (bench/wan's delaying proxy in front of nginx, loopback bandwidth, the given round trip).
//
//   quor_bench_patchstep [files] [MiB/s] [rounds] [ms round trip] [KiB of the smallest file]
//   (500 files, 40 MiB/s, 5 rounds, 50 ms, files of 1-5 MiB by default; files of n to 5n KiB)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/patch/BenchPair.h"
#include "bench/support/BenchSupport.h"
#include "bench/wan/DelayProxy.h"
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

// smallest to 5 x smallest bytes, spread evenly.
size_t Size(int i, size_t smallest) { return smallest + (static_cast<size_t>(i) * 2654435761u) % (4 * smallest); }

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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
double Min(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

// The machine's load averages as /proc/loadavg gives them (the machine is shared).
std::string Load() {
    std::string text = QuorTest::ReadFile("/proc/loadavg");
    const size_t third = text.find(' ', text.find(' ', text.find(' ') + 1) + 1);
    return third == std::string::npos ? text : text.substr(0, third);
}

// `rounds` rounds against an nginx sending at most bytesPerSecond per connection (0: no limit),
// reached directly or, with a round trip, through a proxy holding each direction for half of it;
// the patch step and the whole download take turns at going first. Both start from the same
// state: no file of the new release at its place, the page cache warm from the previous round
// (the first round reads what the builder just wrote).
int Measure(const std::string& contentRoot, const std::string& root, unsigned long long bytesPerSecond,
            std::chrono::milliseconds roundTrip, int rounds) {
    const std::string server = contentRoot + "/quor/projects/game/releases/";
    QuorTest::NginxServer nginx(contentRoot, {}, bytesPerSecond);
    if (!nginx.started()) return Fail("nginx did not start");
    std::unique_ptr<QuorBench::DelayProxy> proxy;
    std::string address = nginx.baseUrl();
    if (roundTrip.count() > 0) {
        std::string failure;
        proxy = std::make_unique<QuorBench::DelayProxy>("127.0.0.1", 0, "127.0.0.1", nginx.port(), roundTrip / 2,
                                                        failure);
        if (!failure.empty()) return Fail(failure.c_str());
        address = "127.0.0.1:" + std::to_string(proxy->port());
    }
    HRESULT result = S_OK;
    RemoteFileServerHTTP remote(result, address, RemoteFileServerHTTP::kJobTransfersInFlight);
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
    empty();

    std::vector<double> wholeTimes, patchTimes;
    unsigned long long wholeSent = 0, patchSent = 0;
    size_t wholeRequests = 0, patchRequests = 0;
    const auto runWhole = [&]() -> bool {
        const size_t mark = nginx.accessLog().size();
        AutoUpdateProgress job(nullptr, &cancel, 1000);  // one per run, as the kernel has one per job
        const double t0 = Now();
        if (FAILED(DownloadFilesStep(whole, target, remote, fileSystem, job))) return false;
        wholeTimes.push_back(Now() - t0);
        wholeSent = BytesSince(nginx, mark, wholeRequests);
        empty();
        return true;
    };
    const auto runPatch = [&]() -> bool {
        std::vector<FileToDownload> left;
        const size_t mark = nginx.accessLog().size();
        AutoUpdateProgress job(nullptr, &cancel, 1000);
        const double t0 = Now();
        if (FAILED(PatchFilesStep(toPatch, left, "game", *patches, remote, fileSystem, job)) || !left.empty())
            return false;
        patchTimes.push_back(Now() - t0);
        patchSent = BytesSince(nginx, mark, patchRequests);
        empty();
        return true;
    };

    const double mib = 1.0 / (1 << 20);
    const std::string link =
        roundTrip.count() > 0 ? "a distant server, " + std::to_string(roundTrip.count()) + " ms round trip"
        : bytesPerSecond      ? "a link of " + std::to_string((bytesPerSecond * RemoteFileServerHTTP::kJobTransfersInFlight + (1 << 19)) >> 20) +
                                   " MiB/s (" + std::to_string(bytesPerSecond >> 10) + " KiB/s a connection)"
                              : "loopback without a limit";
    std::printf("\n%s (%u downloads in flight): %zu files, %.1f MiB; patches %.2f MiB (%.2f%% of the files)\n",
                link.c_str(), RemoteFileServerHTTP::kJobTransfersInFlight, whole.size(), fileBytes * mib,
                patchBytes * mib, 100.0 * patchBytes / fileBytes);
    for (int round = 0; round < rounds; ++round) {
        const bool patchFirst = round % 2 == 1;
        const std::string load = Load();
        if (patchFirst ? !runPatch() : !runWhole()) return Fail(patchFirst ? "patch step" : "download step");
        if (patchFirst ? !runWhole() : !runPatch()) return Fail(patchFirst ? "download step" : "patch step");
        std::printf("round %d (%s first, load %s): whole %.2f s, patches %.2f s, ratio %.3f\n", round + 1,
                    patchFirst ? "patches" : "whole", load.c_str(), wholeTimes.back(), patchTimes.back(),
                    patchTimes.back() / wholeTimes.back());
    }
    std::printf("whole files (DownloadFilesStep): min %.2f s, median %.2f s; nginx sent %.2f MiB in %zu requests\n",
                Min(wholeTimes), Median(wholeTimes), wholeSent * mib, wholeRequests);
    std::printf("patches (PatchFilesStep):        min %.2f s, median %.2f s; nginx sent %.2f MiB in %zu requests\n",
                Min(patchTimes), Median(patchTimes), patchSent * mib, patchRequests);
    std::printf("bytes sent / patch sizes: %.3f (goal <= 1.1)\n", static_cast<double>(patchSent) / patchBytes);
    const double goal = bytesPerSecond || roundTrip.count() > 0 ? 0.5 : 1.0;
    std::printf("time patch / whole: min %.3f, median %.3f (goal <= %.1f; load now %s)\n",
                Min(patchTimes) / Min(wholeTimes), Median(patchTimes) / Median(wholeTimes), goal, Load().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    const unsigned long long linkMiB = argc > 2 ? std::max(1, atoi(argv[2])) : 40;
    const int rounds = argc > 3 ? std::max(1, atoi(argv[3])) : 5;
    const std::chrono::milliseconds roundTrip(argc > 4 ? std::max(1, atoi(argv[4])) : 50);
    const size_t smallest = static_cast<size_t>(argc > 5 ? std::max(1, atoi(argv[5])) : 1024) << 10;
    Quor::Log::SetLogLevel(Quor::Log::ERROR);
    QuorTest::QuorTree tree;
    tree.InstallPatchTools();
    QuorTest::TempDir content("quorbenchpatchstep");
    const std::string root = Common::LocalRootFolder::Get();

    std::printf("making %d changed files of %zu-%zu KiB and their patches in %s ...\n", files, smallest >> 10,
                (5 * smallest) >> 10, content.path().c_str());
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
            std::string original = PatchBench::MakeOriginal(Size(i, smallest), 1000 + i);
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

    // Loopback as it is, a link of `linkMiB` MiB/s, a distant server. nginx limits each connection:
    // the link's rate is shared out among the transfers a job keeps in flight, so that both steps,
    // each keeping that many busy, get the link's rate together.
    struct Link {
        unsigned long long bytesPerSecond;
        std::chrono::milliseconds roundTrip;
    };
    const unsigned long long perConnection = (linkMiB << 20) / RemoteFileServerHTTP::kJobTransfersInFlight;
    for (const Link& link : {Link{0, {}}, Link{perConnection, {}}, Link{0, roundTrip}}) {
        const int failed = Measure(content.path(), root, link.bytesPerSecond, link.roundTrip, rounds);
        if (failed) return failed;
    }
    return 0;
}
