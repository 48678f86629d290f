// Hashes one 1 GiB file with our MD5 and with md5sum, alternating, and prints the best throughput
// of each and their ratio (ours / md5sum). The file is made in $TMPDIR (or /tmp) and removed at the
// end, unless a path is given as the first argument.
//
//   quor_bench_md5 [file] [rounds]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/support/BenchSupport.h"
#include "remote/MD5.h"
#include "remote/MD5Helper.h"
#include "tests/kit/Md5sum.h"

namespace {

constexpr uint64_t kFileSize = 1ull << 30;

using QuorBench::Now;

std::string RunOurs(const std::string& path) {
    MD5::DIGEST digest;
    if (FAILED(Quor::Common::MD5Helper::ComputeMD5(path, digest))) return {};
    std::string text;
    MD5::ToString(digest, text);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    bool made = false;
    if (argc > 1) {
        path = argv[1];
    } else {
        const char* tmp = getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/quor_bench_md5." + std::to_string(getpid());
        std::printf("writing a 1 GiB file %s ...\n", path.c_str());
        if (!QuorBench::MakeXorshiftFile(path, kFileSize)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            unlink(path.c_str());
            return 1;
        }
        made = true;
    }
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    FILE* probe = fopen(path.c_str(), "rb");
    if (!probe) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    fseeko(probe, 0, SEEK_END);
    const double mib = static_cast<double>(ftello(probe)) / (1 << 20);
    fclose(probe);

    // Warm the page cache so that both hash from memory.
    const std::string expected = QuorTest::Md5sum(path);
    if (expected.empty()) {
        std::fprintf(stderr, "md5sum failed on %s\n", path.c_str());
        if (made) unlink(path.c_str());
        return 1;
    }
    double bestTheirs = 1e30, bestOurs = 1e30;
    bool same = true;
    for (int r = 0; r < rounds && same; ++r) {
        // md5sum and ours take turns at going first.
        double theirTime = 0, ourTime = 0;
        std::string theirs, ours;
        const auto runTheirs = [&] {
            const double t0 = Now();
            theirs = QuorTest::Md5sum(path);
            theirTime = Now() - t0;
        };
        const auto runOurs = [&] {
            const double t0 = Now();
            ours = RunOurs(path);
            ourTime = Now() - t0;
        };
        if (r % 2 == 0) runTheirs(), runOurs();
        else runOurs(), runTheirs();
        bestTheirs = std::min(bestTheirs, theirTime);
        bestOurs = std::min(bestOurs, ourTime);
        same = theirs == expected && ours == expected;
        if (!same)
            std::fprintf(stderr, "FAILED: round %d: md5sum gave \"%s\", ours \"%s\", expected %s; no ratio is printed\n",
                         r + 1, theirs.c_str(), ours.c_str(), expected.c_str());
        else
            std::printf("round %d: md5sum %.0f MiB/s, ours %.0f MiB/s\n", r + 1, mib / theirTime, mib / ourTime);
    }
    if (made) unlink(path.c_str());
    if (!same) return 1;
    std::printf("file         %.0f MiB, digest %s (identical)\n", mib, expected.c_str());
    std::printf("md5sum       %.1f MiB/s (best of %d)\n", mib / bestTheirs, rounds);
    std::printf("ours         %.1f MiB/s (best of %d)\n", mib / bestOurs, rounds);
    std::printf("ratio        %.3f (ours / md5sum; goal vs md5sum >= 0.9)\n", bestTheirs / bestOurs);
    return 0;
}
