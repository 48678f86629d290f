// Downloads from the test kit's loopback nginx, ours and curl's side by side:
//  1. one 1 GiB file: HTTPConnection::GetFile against `curl -s -o`, best of the rounds, both writing
//     into the same folder (and, in a second pair of rows, into /dev/null);
//  2. 2,000 small files through one RemoteFileServerHTTP against one curl process fetching the same
//     URLs, with the number of connections each used, read from nginx's access log.
// Ours and curl take turns at going first. Any failed download (ours or curl's, the server gone
// included) ends the program with exit code 1 and the failure on stderr, and no ratio.
// The content is made in $TMPDIR (or /tmp) and removed at the end.
//
//   quor_bench_download [rounds]
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "bench/support/Curl.h"
#include "remote/HTTPConnection.h"
#include "remote/RemoteFileServerHTTP.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"

namespace {

constexpr uint64_t kBigSize = 1ull << 30;
constexpr int kSmallFiles = 2000;

using QuorBench::Now;
using QuorBench::RunCurl;

std::string SmallName(int i) { return "small/f" + std::to_string(i) + ".dat"; }

bool MakeSmallFiles(const std::string& root) {
    QuorTest::MakeDirs(root + "/small");
    for (int i = 0; i < kSmallFiles; ++i) {
        FILE* f = fopen((root + "/" + SmallName(i)).c_str(), "wb");
        if (!f) return false;
        std::string body(512 + (i * 37) % 3584, static_cast<char>('a' + i % 26));
        const bool ok = fwrite(body.data(), 1, body.size(), f) == body.size();
        if (fclose(f) != 0 || !ok) return false;
    }
    return true;
}

uint64_t FileSize(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return 0;
    fseeko(f, 0, SEEK_END);
    const uint64_t size = static_cast<uint64_t>(ftello(f));
    fclose(f);
    return size;
}

size_t ConnectionsSince(const QuorTest::NginxServer& nginx, size_t first) {
    auto log = nginx.accessLog();
    std::set<unsigned long long> connections;
    for (size_t i = first; i < log.size(); ++i) connections.insert(log[i].connection);
    return connections.size();
}

// A failed round ends the benchmark: what failed is printed, and no ratio.
int Fail(const char* who, const char* what, int round) {
    std::fprintf(stderr, "FAILED: %s: %s (round %d); no ratio is printed\n", who, what, round + 1);
    return 1;
}

struct Pair {
    double ours = 1e30;
    double theirs = 1e30;
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QuorTest::TempDir content("quorbenchcontent");
    QuorTest::TempDir target("quorbenchtarget");
    std::printf("writing a 1 GiB file and %d small files into %s ...\n", kSmallFiles, content.path().c_str());
    if (!QuorBench::MakeXorshiftFile(content / "big.bin", kBigSize) || !MakeSmallFiles(content.path())) {
        std::fprintf(stderr, "cannot write the content\n");
        return 1;
    }
    QuorTest::NginxServer nginx(content.path());
    if (!nginx.started()) {
        std::fprintf(stderr, "nginx did not start\n");
        return 1;
    }
    const std::string url = "http://" + nginx.baseUrl();
    const double mib = static_cast<double>(kBigSize) / (1 << 20);

    HRESULT result = E_FAIL;
    Quor::Common::HTTPConnection connection(result, nginx.baseUrl(), 80, 60, false, nullptr);
    if (FAILED(result)) return Fail("ours", "opening the connection", -1);

    // Warm the page cache of the served file.
    if (!RunCurl({"-s", "-f", "-o", "/dev/null", url + "/big.bin"})) return Fail("curl", "warming the cache", -1);

    Pair toFile, toNull, small;
    // Each timed download starts with no dirty pages left over from the one before; ours and curl
    // take turns at going first in every comparison, so that neither always meets the space or the
    // cache state the other left.
    const auto timed = [](const std::function<bool()>& step, double& seconds) {
        sync();
        const double start = Now();
        const bool done = step();
        seconds = Now() - start;
        return done;
    };
    const auto compare = [&](int round, const std::function<bool()>& ours, const std::function<bool()>& theirs,
                             double& ourTime, double& theirTime) -> const char* {
        if (round % 2 == 0) {
            if (!timed(ours, ourTime)) return "ours";
            if (!timed(theirs, theirTime)) return "curl";
        } else {
            if (!timed(theirs, theirTime)) return "curl";
            if (!timed(ours, ourTime)) return "ours";
        }
        return nullptr;
    };
    const std::string ourFile = target / "ours.bin";
    const std::string theirFile = target / "curl.bin";
    for (int r = 0; r < rounds; ++r) {
        double ourTime = 0, theirTime = 0, ourNull = 0, theirNull = 0;
        const char* failed = compare(
            r, [&] { return SUCCEEDED(connection.GetFile("/big.bin", ourFile, nullptr, false, false, false, nullptr)) &&
                            FileSize(ourFile) == kBigSize; },
            [&] { return RunCurl({"-s", "-f", "-o", theirFile, url + "/big.bin"}) && FileSize(theirFile) == kBigSize; },
            ourTime, theirTime);
        unlink(ourFile.c_str());
        unlink(theirFile.c_str());
        if (failed) return Fail(failed, "the 1 GiB download to a file", r);
        failed = compare(
            r, [&] { return SUCCEEDED(connection.GetFile("/big.bin", "/dev/null", nullptr, false, false, false, nullptr)); },
            [&] { return RunCurl({"-s", "-f", "-o", "/dev/null", url + "/big.bin"}); }, ourNull, theirNull);
        if (failed) return Fail(failed, "the 1 GiB download to /dev/null", r);
        toFile.ours = std::min(toFile.ours, ourTime);
        toFile.theirs = std::min(toFile.theirs, theirTime);
        toNull.ours = std::min(toNull.ours, ourNull);
        toNull.theirs = std::min(toNull.theirs, theirNull);
        std::printf("round %d: to a file ours %.0f MiB/s, curl %.0f MiB/s; to /dev/null ours %.0f MiB/s, curl %.0f MiB/s\n",
                    r + 1, mib / ourTime, mib / theirTime, mib / ourNull, mib / theirNull);
        std::fflush(stdout);
    }

    // 2,000 small files: ours through one RemoteFileServerHTTP, curl in one process, taking turns.
    Quor::User::RemoteFileServerHTTP remote(result, nginx.baseUrl());
    const std::string config = target / "curl.cfg";
    {
        FILE* f = fopen(config.c_str(), "w");
        if (!f) return Fail("curl", "writing its list of URLs", 0);
        for (int i = 0; i < kSmallFiles; ++i)
            std::fprintf(f, "url = \"%s/%s\"\noutput = \"%s\"\n", url.c_str(), SmallName(i).c_str(),
                         (target / "small-curl.dat").c_str());
        if (fclose(f) != 0) return Fail("curl", "writing its list of URLs", 0);
    }
    size_t ourConnections = 0, curlConnections = 0;
    for (int r = 0; r < rounds; ++r) {
        double ourTime = 0, theirTime = 0;
        const auto ourRun = [&] {
            int fetched = 0;
            while (fetched < kSmallFiles &&
                   SUCCEEDED(remote.GetFile("/" + SmallName(fetched), target / "small.dat", nullptr, false)))
                ++fetched;
            return fetched == kSmallFiles;
        };
        const auto theirRun = [&] { return RunCurl({"-s", "-f", "-K", config}); };
        size_t ours = 0, theirs = 0;
        // A run counts once nginx has logged all its requests; a missing log line is a failure.
        const auto withCount = [&](std::function<bool()> run, size_t& into) -> std::function<bool()> {
            return [&nginx, &into, run] {
                const size_t before = nginx.accessLog().size();
                if (!run() || !nginx.WaitForAccessLog(before + kSmallFiles)) return false;
                into = ConnectionsSince(nginx, before);
                return true;
            };
        };
        const char* failed = compare(r, withCount(ourRun, ours), withCount(theirRun, theirs), ourTime, theirTime);
        if (failed) return Fail(failed, "the small files", r);
        small.ours = std::min(small.ours, ourTime);
        small.theirs = std::min(small.theirs, theirTime);
        ourConnections = std::max(ourConnections, ours);
        curlConnections = std::max(curlConnections, theirs);
    }

    std::printf("1 GiB to a file    ours %.1f MiB/s, curl -o %.1f MiB/s (best of %d), ratio %.3f (ours / curl; goal vs curl >= 0.9)\n",
                mib / toFile.ours, mib / toFile.theirs, rounds, toFile.theirs / toFile.ours);
    std::printf("1 GiB to /dev/null ours %.1f MiB/s, curl -o %.1f MiB/s (best of %d), ratio %.3f (ours / curl)\n",
                mib / toNull.ours, mib / toNull.theirs, rounds, toNull.theirs / toNull.ours);
    std::printf("%d small files     ours %.0f files/s on %zu connection(s), curl -K %.0f files/s on %zu connection(s) "
                "(best of %d), ratio %.3f (ours / curl -K; goal vs curl -K: one connection)\n",
                kSmallFiles, kSmallFiles / small.ours, ourConnections, kSmallFiles / small.theirs, curlConnections, rounds,
                small.theirs / small.ours);
    return 0;
}
