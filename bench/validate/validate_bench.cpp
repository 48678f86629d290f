// Builds one healthy installed project release of many plain files in a fresh tree, then
// alternates ValidateProject over it (every file checked by MD5, nothing fetched) with md5sum
// hashing the same files, fed their names through xargs, and prints the best throughput of each
// and the ratios (ours / md5sum):
//   - ValidateProject held to one processor (so it hashes on one thread) against one md5sum at a
//     time (`xargs -0 md5sum`) held to the same processor;
//   - ValidateProject on every processor (hashing on pool threads) against `xargs -0 -P <cores>`.
// Every run reads from the page cache after a warm-up round. The tree is removed at the end.
//
//   quor_bench_validate [files] [MiB] [rounds]
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/LocalRootFolder.h"
#include "common/ReleaseManifest.h"
#include "remote/MD5Helper.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "update/Validate.h"

extern char** environ;

namespace {

using Quor::Common::ReleaseManifest;
constexpr DWORD kVersion = 0x01000001;

// One stream of xorshift words cut into consecutive files, so that no two files share bytes.
class ByteStream {
public:
    bool WriteFile(const std::string& path, size_t size) {
        std::vector<uint64_t> words((size + 7) / 8);
        for (uint64_t& word : words) {
            m_state ^= m_state << 13;
            m_state ^= m_state >> 7;
            m_state ^= m_state << 17;
            word = m_state;
        }
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return false;
        const bool written = std::fwrite(words.data(), 1, size, file) == size;
        return std::fclose(file) == 0 && written;
    }

private:
    uint64_t m_state = 0x2545F4914F6CDD1Dull;
};

// Runs `xargs -0 [extra...] md5sum` in folder with the names on its input and its output
// discarded; true when it exited with 0.
bool RunXargsMd5sum(const std::string& folder, const std::vector<std::string>& names,
                    const std::vector<std::string>& extra) {
    std::vector<std::string> args{"xargs", "-0"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("md5sum");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int input[2];
    if (pipe(input) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addclose(&actions, input[0]);
    posix_spawn_file_actions_addclose(&actions, input[1]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "xargs", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    bool fed = rc == 0;
    for (size_t i = 0; fed && i < names.size(); ++i) {
        const std::string& name = names[i];
        fed = write(input[1], name.c_str(), name.size() + 1) == static_cast<ssize_t>(name.size() + 1);
    }
    close(input[1]);
    if (rc != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return fed && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// One md5sum pass through xargs, in seconds; negative when it failed.
double TimeXargsMd5sum(const std::string& folder, const std::vector<std::string>& names,
                       const std::vector<std::string>& extra) {
    const double start = QuorBench::Now();
    if (RunXargsMd5sum(folder, names, extra)) return QuorBench::Now() - start;
    std::fprintf(stderr, "md5sum through xargs failed\n");
    return -1;
}

// One ValidateProject of the release, in seconds; negative when it failed or fetched anything.
double TimeValidation(QuorTest::FakeRemoteFileServer& server) {
    Quor::Common::LocalFileSystem fileSystem;
    signed char cancel = 0;
    Quor::User::AutoUpdateProgress progress(nullptr, &cancel, 1000);
    const double start = QuorBench::Now();
    const HRESULT hr = Quor::User::ValidateProject("bench", fileSystem, server, progress);
    const double took = QuorBench::Now() - start;
    if (hr == S_OK && server.FilesFetched() == 0) return took;
    std::fprintf(stderr, "the validation failed (0x%08x) or fetched files\n", static_cast<unsigned>(hr));
    return -1;
}

// Runs `run` with the process (and the processes it starts) held to its first usable processor;
// the seconds it took, or negative when it failed.
template <typename Run>
double TimeOnOneProcessor(const Run& run) {
    cpu_set_t all, one;
    if (sched_getaffinity(0, sizeof all, &all) != 0) return -1;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &one);
            break;
        }
    if (sched_setaffinity(0, sizeof one, &one) != 0) return -1;
    const double took = run();
    sched_setaffinity(0, sizeof all, &all);
    return took;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t files = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const uint64_t mib = argc > 2 ? std::max(1, atoi(argv[2])) : 2048;
    const int rounds = argc > 3 ? std::max(1, atoi(argv[3])) : 3;
    const size_t fileSize = static_cast<size_t>((mib << 20) / files);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());

    QuorTest::QuorTree tree;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};  // a healthy release fetches nothing
    const std::string release = Quor::Common::LocalRootFolder::Get() + "/projects/bench/releases/1.0.0.1";
    const std::string deploy = release + "/deploy";
    std::printf("writing %zu files of %zu bytes under %s ...\n", files, fileSize, deploy.c_str());
    ReleaseManifest manifest;
    manifest.m_ProjectName = "bench";
    manifest.m_ReleaseVersion = kVersion;
    std::vector<std::string> names;
    ByteStream bytes;
    for (size_t i = 0; i < files; ++i) {
        const std::string folder = "p" + std::to_string(i / 250);
        const std::string name = folder + "/file" + std::to_string(i) + ".dat";
        Quor::Common::LocalFileSystem::CreateDirectory(deploy + "/" + folder);
        MD5::DIGEST digest;
        if (!bytes.WriteFile(deploy + "/" + name, fileSize) ||
            FAILED(Quor::Common::MD5Helper::ComputeMD5(deploy + "/" + name, digest))) {
            std::fprintf(stderr, "cannot write %s/%s\n", deploy.c_str(), name.c_str());
            return 1;
        }
        manifest.AddUnsorted(name, kVersion, digest, 0, static_cast<DWORD>(fileSize), static_cast<DWORD>(fileSize));
        names.push_back(name);
    }
    manifest.SortEntries(nullptr);
    if (FAILED(manifest.Save(release + "/releasemanifest"))) return 1;
    if (!bytes.WriteFile(release + "/S_OK", 0)) return 1;

    const std::vector<std::string> parallel{"-P", std::to_string(cores), "-n", std::to_string(files / cores + 1)};
    double best[4] = {1e30, 1e30, 1e30, 1e30};  // ours on one processor, md5sum, ours, xargs -P md5sum
    for (int round = 0; round <= rounds; ++round) {  // round 0 warms the page cache
        double took[4] = {};
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (round % 2 == 0)) {  // each goes first in every other round
                took[0] = TimeOnOneProcessor([&] { return TimeValidation(server); });
                took[2] = TimeValidation(server);
                if (took[0] < 0 || took[2] < 0) return 1;
            } else {
                took[1] = TimeOnOneProcessor([&] { return TimeXargsMd5sum(deploy, names, {}); });
                took[3] = TimeXargsMd5sum(deploy, names, parallel);
                if (took[1] < 0 || took[3] < 0) return 1;
            }
        }
        if (round == 0) continue;
        for (int i = 0; i < 4; ++i) best[i] = std::min(best[i], took[i]);
        std::printf("round %d: ValidateProject on one processor %.3f s, xargs md5sum %.3f s; ValidateProject %.3f s, "
                    "xargs -P %u md5sum %.3f s\n",
                    round, took[0], took[1], took[2], cores, took[3]);
    }
    const double total = static_cast<double>(fileSize) * static_cast<double>(files) / (1 << 20);
    std::printf("one thread: ValidateProject %.0f MiB/s, xargs md5sum %.0f MiB/s, ratio (goal >= 0.9): %.2f\n",
                total / best[0], total / best[1], best[1] / best[0]);
    std::printf("pool threads: ValidateProject %.0f MiB/s, xargs -P %u md5sum %.0f MiB/s, ratio: %.2f; "
                "speed-up over one thread: %.2f\n",
                total / best[2], cores, total / best[3], best[3] / best[2], best[0] / best[2]);
    return 0;
}
