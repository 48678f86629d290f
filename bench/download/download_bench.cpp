// Downloads from the test kit's loopback nginx, ours and curl's side by side:
//  1. one 1 GiB file: HTTPConnection::GetFile against `curl -s -o`, alternating, best of the rounds,
//     both writing into the same folder (and, in a second pair of rows, into /dev/null);
//  2. 2,000 small files through one RemoteFileServerHTTP against one curl process fetching the same
//     URLs, with the number of connections each used, read from nginx's access log.
// The content is made in $TMPDIR (or /tmp) and removed at the end.
//
//   quor_bench_download [rounds]
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

size_t ConnectionsSince(const QuorTest::NginxServer& nginx, size_t first, size_t count) {
    nginx.WaitForAccessLog(first + count);
    auto log = nginx.accessLog();
    std::set<unsigned long long> connections;
    for (size_t i = first; i < log.size(); ++i) connections.insert(log[i].connection);
    return connections.size();
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
    if (FAILED(result)) return 1;

    // Warm the page cache of the served file.
    RunCurl({"-s", "-o", "/dev/null", url + "/big.bin"});

    bool ok = true;
    Pair toFile, toNull;
    for (int r = 0; r < rounds; ++r) {
        const std::string ourFile = target / "ours.bin";
        const std::string theirFile = target / "curl.bin";
        // Each timed download starts with no dirty pages left over from the one before, and the two
        // take turns at going first, so that neither always meets the space the last round freed.
        auto ours = [&] {
            sync();
            const double start = Now();
            ok = SUCCEEDED(connection.GetFile("/big.bin", ourFile, nullptr, false, false, false, nullptr)) && ok;
            return Now() - start;
        };
        auto theirs = [&] {
            sync();
            const double start = Now();
            ok = RunCurl({"-s", "-o", theirFile, url + "/big.bin"}) && ok;
            return Now() - start;
        };
        double ourTime, theirTime;
        if (r % 2 == 0) {
            ourTime = ours();
            theirTime = theirs();
        } else {
            theirTime = theirs();
            ourTime = ours();
        }
        ok = ok && FileSize(ourFile) == kBigSize && FileSize(theirFile) == kBigSize;
        unlink(ourFile.c_str());
        unlink(theirFile.c_str());
        sync();
        toFile.ours = std::min(toFile.ours, ourTime);
        toFile.theirs = std::min(toFile.theirs, theirTime);

        double t3 = Now();
        ok = SUCCEEDED(connection.GetFile("/big.bin", "/dev/null", nullptr, false, false, false, nullptr)) && ok;
        double t4 = Now();
        ok = RunCurl({"-s", "-o", "/dev/null", url + "/big.bin"}) && ok;
        double t5 = Now();
        toNull.ours = std::min(toNull.ours, t4 - t3);
        toNull.theirs = std::min(toNull.theirs, t5 - t4);
        std::printf("round %d: to a file ours %.0f MiB/s, curl %.0f MiB/s; to /dev/null ours %.0f MiB/s, curl %.0f MiB/s\n",
                    r + 1, mib / ourTime, mib / theirTime, mib / (t4 - t3), mib / (t5 - t4));
    }

    // 2,000 small files: ours through one RemoteFileServerHTTP, curl in one process.
    size_t logBefore = nginx.accessLog().size();
    Quor::User::RemoteFileServerHTTP remote(result, nginx.baseUrl());
    double s0 = Now();
    for (int i = 0; i < kSmallFiles && ok; ++i)
        ok = SUCCEEDED(remote.GetFile("/" + SmallName(i), target / "small.dat", nullptr, false));
    double s1 = Now();
    const size_t ourConnections = ConnectionsSince(nginx, logBefore, kSmallFiles);

    logBefore = nginx.accessLog().size();
    const std::string config = target / "curl.cfg";
    {
        FILE* f = fopen(config.c_str(), "w");
        if (!f) return 1;
        for (int i = 0; i < kSmallFiles; ++i)
            std::fprintf(f, "url = \"%s/%s\"\noutput = \"%s\"\n", url.c_str(), SmallName(i).c_str(),
                         (target / "small-curl.dat").c_str());
        fclose(f);
    }
    double s2 = Now();
    ok = RunCurl({"-s", "-K", config}) && ok;
    double s3 = Now();
    const size_t curlConnections = ConnectionsSince(nginx, logBefore, kSmallFiles);

    std::printf("1 GiB to a file    ours %.1f MiB/s, curl -o %.1f MiB/s (best of %d), ratio %.3f (ours / curl; goal >= 0.9)\n",
                mib / toFile.ours, mib / toFile.theirs, rounds, toFile.theirs / toFile.ours);
    std::printf("1 GiB to /dev/null ours %.1f MiB/s, curl -o %.1f MiB/s (best of %d), ratio %.3f\n",
                mib / toNull.ours, mib / toNull.theirs, rounds, toNull.theirs / toNull.ours);
    std::printf("%d small files     ours %.0f files/s on %zu connection(s), curl %.0f files/s on %zu connection(s), ratio %.3f\n",
                kSmallFiles, kSmallFiles / (s1 - s0), ourConnections, kSmallFiles / (s3 - s2), curlConnections,
                (s3 - s2) / (s1 - s0));
    if (!ok) std::printf("SOME DOWNLOADS FAILED\n");
    return ok ? 0 : 1;
}
