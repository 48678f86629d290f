// Hashes one 1 GiB file with our MD5 and with md5sum, alternating, and prints the best throughput
// of each and their ratio (ours / md5sum). The file is made in $TMPDIR (or /tmp) and removed at the
// end, unless a path is given as the first argument.
//
//   quor_bench_md5 [file] [rounds]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "remote/MD5.h"
#include "remote/MD5Helper.h"

extern char** environ;

namespace {

constexpr uint64_t kFileSize = 1ull << 30;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool MakeFile(const std::string& path) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    std::vector<uint64_t> block(1 << 17);  // 1 MiB of xorshift output
    uint64_t x = 0x9E3779B97F4A7C15ull;
    bool ok = true;
    for (uint64_t written = 0; ok && written < kFileSize; written += block.size() * 8) {
        for (auto& w : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            w = x;
        }
        ok = fwrite(block.data(), 8, block.size(), f) == block.size();
    }
    return fclose(f) == 0 && ok;
}

// Runs md5sum on path; returns the hex digest it printed, or "" on failure.
std::string RunMd5sum(const std::string& path) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::string file = path;
    char name[] = "md5sum";
    char* argv[] = {name, file.data(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "md5sum", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string out;
    if (rc == 0) {
        char buf[256];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out.clear();
    }
    close(fds[0]);
    return out.size() >= 32 ? out.substr(0, 32) : std::string();
}

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
        if (!MakeFile(path)) {
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
    const std::string expected = RunMd5sum(path);
    if (expected.empty()) {
        std::fprintf(stderr, "md5sum failed on %s\n", path.c_str());
        if (made) unlink(path.c_str());
        return 1;
    }
    double bestTheirs = 1e30, bestOurs = 1e30;
    bool same = true;
    for (int r = 0; r < rounds; ++r) {
        double t0 = Now();
        const std::string theirs = RunMd5sum(path);
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
