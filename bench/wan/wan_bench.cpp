// Installing a project release from a distant server, the kernel program against curl --parallel.
//
// Why: on loopback a request costs nothing, so the other download benchmarks cannot show what a
// round trip per file costs; a real server is tens of milliseconds away, and with one request in
// flight the round trips, not the bytes, make up most of an install of many small files. This
// benchmark puts nginx behind an emulated link of 100 Mbit/s and 50 ms round trip (two network
// namespaces joined by a veth pair limited by tc tbf, and a proxy delaying each direction by
// 25 ms: this machine's kernel has no netem) and times:
//   ours: the kernel program (Orvane -noupdate InstallProjectRelease) installing a fresh release of
//         2,000 small files (0.5-4 KiB) and 20 large files (20 MiB; plain, zlib and LZMA2 forms,
//         deploy and managed files) into an empty project folder;
//   peer: one `curl --parallel` process fetching every URI the kernel's install fetched (as nginx
//         logged them) over the same link.
// One untimed install first (it also names the URIs); then the rounds, alternating which side
// goes first. Prints every round, min and median of each side, their ratios (goal: ours <= 1.5 x
// curl --parallel) and the load average before and after. Needs root (or user namespaces); it
// says so and ends with 0 when the namespaces cannot be made.
//
//   quor_bench_wan [rounds] [MiB per large file] [content folder]
// Defaults: 5 rounds, 20 MiB, a temporary content folder. A content folder that is given is kept,
// and used as it is when it already holds the content (building it takes minutes).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "bench/support/Curl.h"
#include "bench/wan/EmulatedLink.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/orvane/OrvaneRoot.h"
#include "tests/kit/orvane/OrvaneRun.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

using namespace Quor::Tools::ContentTree;

// The link, and the release: its version, small and large files.
constexpr unsigned kMegabitsPerSecond = 100;
constexpr std::chrono::milliseconds kOneWayDelay{25};
constexpr DWORD kRelease = 0x01000001;
constexpr int kSmallFiles = 2000, kLargeFiles = 20;

// Bytes that compress about 3:1: runs of letters from a small alphabet with scattered noise.
std::string Compressible(size_t size, unsigned seed) {
    std::string bytes(size, ' ');
    uint64_t x = 0x2545F4914F6CDD1Dull ^ (static_cast<uint64_t>(seed) * 0x9E3779B97F4A7C15ull);
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        bytes[i] = (x & 0xF00) == 0 ? static_cast<char>(x >> 24) : "etaoin shrdlu\n"[(x >> 32) % 14];
    }
    return bytes;
}

void DescribeRelease(ContentDescription& description, size_t largeBytes) {
    description.downloadPath = "/quor";
    ReleaseSpec& release = description.AddProject("alpha").AddRelease(kRelease, {"xx"});
    static const DWORD smallFlags[] = {0, 0x04, 0x20, 0x01, 0x01 | 0x04, 0x01 | 0x20};
    for (int i = 0; i < kSmallFiles; ++i)
        release.AddFile("s" + std::to_string(i % 50) + "/f" + std::to_string(i) + ".dat", smallFlags[i % 6],
                        Compressible(512 + (static_cast<size_t>(i) * 53) % 3584, i));
    // Large: plain, zlib and LZMA2 forms; every fourth one managed.
    static const DWORD largeFlags[] = {0, 0x04, 0x01, 0x20, 0x04, 0, 0x01 | 0x04, 0x04};
    for (int i = 0; i < kLargeFiles; ++i)
        release.AddFile("big/b" + std::to_string(i) + ".pak", largeFlags[i % 8], Compressible(largeBytes, 7000 + i));
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

class Bench {
public:
    Bench(QuorBench::EmulatedLink& link, QuorTest::OrvaneRoot& root, const std::string& peerFolder)
        : m_link(link), m_root(root), m_peerFolder(peerFolder) {}

    // A fresh install by the kernel; its GET URIs are noted.
    bool Ours(double& seconds) {
        std::filesystem::remove_all(m_root.root() + "/projects/alpha");
        sync();
        const size_t before = m_link.accessLog().size();
        std::string errors;
        const double start = QuorBench::Now();
        const int status = QuorTest::RunOrvane(m_root, {"-noupdate", "InstallProjectRelease", "alpha", "1.0.0.1"},
                                               {}, &errors);
        seconds = QuorBench::Now() - start;
        if (status != 0) {
            std::fprintf(stderr, "the kernel's install ended with %d:\n%s\n", status, errors.c_str());
            return false;
        }
        m_uris.clear();
        for (size_t tries = 0; tries < 50 && m_uris.empty(); ++tries) {
            const auto log = m_link.accessLog();
            for (size_t i = before; i < log.size(); ++i)
                if (log[i].method == "GET" && log[i].status == 200) m_uris.push_back(log[i].uri);
            if (m_uris.empty()) usleep(100000);
        }
        return !m_uris.empty();
    }

    // curl --parallel over the URIs of the last install, into fresh files.
    bool Peer(double& seconds) {
        std::filesystem::remove_all(m_peerFolder + "/out");
        std::filesystem::create_directories(m_peerFolder + "/out");
        const std::string config = m_peerFolder + "/curl.cfg";
        FILE* f = std::fopen(config.c_str(), "w");
        if (!f) return false;
        for (size_t i = 0; i < m_uris.size(); ++i)
            std::fprintf(f, "url = \"http://%s%s\"\noutput = \"%s/out/%zu\"\n", m_link.address().c_str(),
                         m_uris[i].c_str(), m_peerFolder.c_str(), i);
        std::fclose(f);
        sync();
        const double start = QuorBench::Now();
        const bool ok = QuorBench::RunCurl({"-s", "--no-progress-meter", "--fail", "--parallel", "-K", config});
        seconds = QuorBench::Now() - start;
        if (!ok) std::fprintf(stderr, "curl --parallel -K %s failed\n", config.c_str());
        return ok;
    }

    size_t requests() const { return m_uris.size(); }

private:
    QuorBench::EmulatedLink& m_link;
    QuorTest::OrvaneRoot& m_root;
    std::string m_peerFolder;
    std::vector<std::string> m_uris;
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const size_t largeBytes = static_cast<size_t>(argc > 2 ? std::max(1, atoi(argv[2])) : 20) << 20;
    setvbuf(stdout, nullptr, _IOLBF, 0);
    // The kernels of this run use a semaphore suffix of their own (the loopback port lives in the
    // run's own network namespace).
    setenv("ORVANE_INSTANCE", ("wanbench" + std::to_string(getpid())).c_str(), 1);

    QuorTest::TempDir temporaryContent("quorwancontent");
    QuorTest::TempDir peer("quorwanpeer");
    const std::string content = argc > 3 ? argv[3] : temporaryContent.path();
    std::filesystem::create_directories(content);
    QuorBench::EmulatedLink link(content, kMegabitsPerSecond, kOneWayDelay);
    if (!link.failure().empty()) {
        std::printf("quor_bench_wan skipped: %s. The emulated link needs network namespaces (run as root).\n",
                    link.failure().c_str());
        return 0;
    }
    // nginx serves from disk, so the content may be written once it runs.
    const std::string marker = content + "/quor-wan-" + std::to_string(largeBytes >> 20) + "MiB";
    if (std::filesystem::exists(marker)) {
        std::printf("using the content in %s\n", content.c_str());
    } else {
        ContentDescription description;
        DescribeRelease(description, largeBytes);
        std::printf("writing %d small files and %d files of %zu MiB into %s ...\n", kSmallFiles, kLargeFiles,
                    largeBytes >> 20, content.c_str());
        std::string error;
        if (!BuildContentTree(description, content, error)) {
            std::fprintf(stderr, "cannot build the content: %s\n", error.c_str());
            return 1;
        }
        std::ofstream(marker) << "built\n";
    }

    std::printf("link: %u Mbit/s each way (tbf), %lld ms round trip (delaying proxy), server %s\n", kMegabitsPerSecond,
                static_cast<long long>(2 * kOneWayDelay.count()), link.address().c_str());
    QuorTest::OrvaneRoot root(link.address(), "/quor", "xx");
    Bench bench(link, root, peer.path());

    const std::string loadBefore = LoadAverage();
    double warmUp = 0;
    if (!bench.Ours(warmUp)) return 1;
    std::printf("untimed first install: %.2f s, %zu GET requests\n", warmUp, bench.requests());

    std::vector<double> ours, theirs;
    for (int r = 0; r < rounds; ++r) {
        double ourTime = 0, theirTime = 0;
        const bool oursFirst = r % 2 == 0;
        bool ok = oursFirst ? bench.Ours(ourTime) && bench.Peer(theirTime)
                            : bench.Peer(theirTime) && bench.Ours(ourTime);
        if (!ok) {
            std::fprintf(stderr, "round %d failed\n", r + 1);
            return 1;
        }
        ours.push_back(ourTime);
        theirs.push_back(theirTime);
        std::printf("round %d (%s first): ours %.2f s, curl --parallel %.2f s, ratio %.3f\n", r + 1,
                    oursFirst ? "ours" : "curl", ourTime, theirTime, ourTime / theirTime);
    }
    const double oursMin = *std::min_element(ours.begin(), ours.end());
    const double theirsMin = *std::min_element(theirs.begin(), theirs.end());
    const double oursMedian = Median(ours), theirsMedian = Median(theirs);
    std::printf("install over %u Mbit/s, %lld ms: ours min %.2f s median %.2f s; curl --parallel min %.2f s median "
                "%.2f s\n",
                kMegabitsPerSecond, static_cast<long long>(2 * kOneWayDelay.count()), oursMin, oursMedian, theirsMin,
                theirsMedian);
    std::printf("ratio (ours / curl --parallel; goal <= 1.5): min %.3f, median %.3f\n", oursMin / theirsMin,
                oursMedian / theirsMedian);
    std::printf("load average before %s, after %s\n", loadBefore.c_str(), LoadAverage().c_str());
    return 0;
}
