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
    for (int r = 0; r < rounds; ++r) {
        double t0 = Now();
        const std::string theirs = QuorTest::Md5sum(path);
        double t1 = Now();
        const std::string ours = RunOurs(path);
        double t2 = Now();
        bestTheirs = std::min(bestTheirs, t1 - t0);
        bestOurs = std::min(bestOurs, t2 - t1);
        same = same && theirs == expected && ours == expected;
        std::printf("round %d: md5sum %.0f MiB/s, ours %.0f MiB/s\n", r + 1, mib / (t1 - t0), mib / (t2 - t1));
    }
    if (made) unlink(path.c_str());
    std::printf("file         %.0f MiB, digest %s (%s)\n", mib, expected.c_str(),
                same ? "identical" : "DIFFERENT");
    std::printf("md5sum       %.1f MiB/s (best of %d)\n", mib / bestTheirs, rounds);
    std::printf("ours         %.1f MiB/s (best of %d)\n", mib / bestOurs, rounds);
    std::printf("ratio        %.3f (ours / md5sum; goal >= 0.9)\n", bestTheirs / bestOurs);
    return same ? 0 : 1;
}
