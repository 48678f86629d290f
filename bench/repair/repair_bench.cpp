// Builds one healthy installed project release of many files in a fresh tree, then alternates a
// whole repair (discovery, MD5 of every file, release check) with one md5sum process hashing the
// same files, and prints the best throughput of each and their ratio (ours / md5sum): the repair
// hashing on its own thread, and with 4 threads hashing ahead of it. All read from the page cache
// after a warm-up round. The tree is removed at the end.
//
//   quor_bench_repair [files] [MiB] [rounds]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "bench/support/Md5sumRun.h"
#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/LocalRootFolder.h"
#include "common/ReleaseManifest.h"
#include "remote/MD5Helper.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "update/RepairDiscover.h"
#include "update/RepairExecute.h"

namespace {

using Quor::Common::ReleaseManifest;
constexpr DWORD kVersion = 0x01000001;

bool WriteFileOfSize(const std::string& path, size_t size, uint64_t seed) {
    std::vector<uint64_t> words((size + 7) / 8);
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (uint64_t& word : words) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        word = x;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t files = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const uint64_t mib = argc > 2 ? std::max(1, atoi(argv[2])) : 2048;
    const int rounds = argc > 3 ? std::max(1, atoi(argv[3])) : 3;
    const size_t fileSize = static_cast<size_t>((mib << 20) / files);

    QuorTest::QuorTree tree;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};  // a repair reads no server
    const std::string root = Quor::Common::LocalRootFolder::Get();
    const std::string release = root + "/projects/bench/releases/1.0.0.1";
    const std::string deploy = release + "/deploy";
    std::printf("writing %zu files of %zu bytes under %s ...\n", files, fileSize, deploy.c_str());
    ReleaseManifest manifest;
    manifest.m_ProjectName = "bench";
    manifest.m_ReleaseVersion = kVersion;
    std::vector<std::string> names;
    for (size_t i = 0; i < files; ++i) {
        const std::string name = "d" + std::to_string(i / 100) + "/f" + std::to_string(i) + ".bin";
        const std::string path = deploy + "/" + name;
        Quor::Common::LocalFileSystem::CreateDirectory(deploy + "/d" + std::to_string(i / 100));
        MD5::DIGEST digest;
        if (!WriteFileOfSize(path, fileSize, i) || FAILED(Quor::Common::MD5Helper::ComputeMD5(path, digest))) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        manifest.AddUnsorted(name, kVersion, digest, 0, static_cast<DWORD>(fileSize), static_cast<DWORD>(fileSize));
        names.push_back(name);
    }
    manifest.SortEntries(nullptr);
    if (FAILED(manifest.Save(release + "/releasemanifest"))) return 1;
    std::ofstream(release + "/S_OK").close();

    const unsigned threadCounts[] = {1, 4};
    double bestOurs[2] = {1e30, 1e30}, bestTheirs = 1e30;
    for (int round = 0; round <= rounds; ++round) {  // round 0 warms the page cache
        double ours[2] = {0, 0}, theirs = 0;
        const auto runOurs = [&](int which) {
            Quor::Common::LocalFileSystem fileSystem;
            signed char cancel = 0;
            Quor::User::AutoUpdateProgress progress(nullptr, &cancel, 1000);
            const double start = QuorBench::Now();
            const Quor::User::Repair::InputParameters input{0, fileSystem, server, progress};
            HRESULT hr = S_OK;
            {
                Quor::User::Repair::Discover discover(input);
                const Quor::User::Repair::Execute execute(discover, threadCounts[which]);
                hr = execute.m_hr;
            }
            ours[which] = QuorBench::Now() - start;
            if (hr == S_OK && Quor::Common::LocalFileSystem::DoesFileOrDirectoryExist(release + "/S_OK")) return true;
            std::fprintf(stderr, "the repair failed (0x%08x) or withdrew the release\n", static_cast<unsigned>(hr));
            return false;
        };
        const auto runTheirs = [&] {
            const double start = QuorBench::Now();
            const bool ok = QuorBench::RunMd5sum(names, deploy);
            theirs = QuorBench::Now() - start;
            if (!ok) std::fprintf(stderr, "md5sum failed\n");
            return ok;
        };
        // Ours and md5sum take turns at going first.
        const bool ok = round % 2 ? runTheirs() && runOurs(0) && runOurs(1) : runOurs(0) && runOurs(1) && runTheirs();
        if (!ok) return 1;
        if (round == 0) continue;
        for (int which = 0; which < 2; ++which) bestOurs[which] = std::min(bestOurs[which], ours[which]);
        bestTheirs = std::min(bestTheirs, theirs);
        std::printf("round %d: repair %.3f s, repair with 4 threads %.3f s, md5sum %.3f s\n", round, ours[0], ours[1],
                    theirs);
    }
    const double total = static_cast<double>(fileSize) * static_cast<double>(files) / (1 << 20);
    for (int which = 0; which < 2; ++which)
        std::printf("repair (%u thread%s): %.0f MiB/s, md5sum: %.0f MiB/s, ratio (repair / md5sum): %.2f (goal %s)\n",
                    threadCounts[which], which ? "s" : "", total / bestOurs[which], total / bestTheirs,
                    bestTheirs / bestOurs[which], which ? "> 1.0" : ">= 0.9");
    return 0;
}
