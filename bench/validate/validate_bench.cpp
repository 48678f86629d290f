// Builds one healthy installed project release of many plain files in a fresh tree, then
// alternates ValidateProject over it (every file checked by MD5, nothing fetched) with md5sum
// hashing the same files, fed their names through xargs (one md5sum at a time, and with
// `xargs -P <cores>` for scale), and prints the best throughput of each and the ratios
// (ours / md5sum). Every run reads from the page cache after a warm-up round. The tree is removed
// at the end.
//
//   quor_bench_validate [files] [MiB] [rounds]
#include <fcntl.h>
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
    double bestOurs = 1e30, bestOne = 1e30, bestParallel = 1e30;
    for (int round = 0; round <= rounds; ++round) {  // round 0 warms the page cache
        // Each goes first in every other round.
        double ours = 0, one = 0, many = 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (round % 2 == 0)) {
                Quor::Common::LocalFileSystem fileSystem;
                signed char cancel = 0;
                Quor::User::AutoUpdateProgress progress(nullptr, &cancel, 1000);
                const double start = QuorBench::Now();
                const HRESULT hr = Quor::User::ValidateProject("bench", fileSystem, server, progress);
                ours = QuorBench::Now() - start;
                if (hr != S_OK || server.FilesFetched() != 0) {
                    std::fprintf(stderr, "the validation failed (0x%08x) or fetched files\n", static_cast<unsigned>(hr));
                    return 1;
                }
            } else {
                double start = QuorBench::Now();
                const bool oneOk = RunXargsMd5sum(deploy, names, {});
                one = QuorBench::Now() - start;
                start = QuorBench::Now();
                const bool manyOk = RunXargsMd5sum(deploy, names, parallel);
                many = QuorBench::Now() - start;
                if (!oneOk || !manyOk) {
                    std::fprintf(stderr, "md5sum through xargs failed\n");
                    return 1;
                }
            }
        }
        if (round == 0) continue;
        bestOurs = std::min(bestOurs, ours);
        bestOne = std::min(bestOne, one);
        bestParallel = std::min(bestParallel, many);
        std::printf("round %d: ValidateProject %.3f s, xargs md5sum %.3f s, xargs -P %u md5sum %.3f s\n", round, ours,
                    one, cores, many);
    }
    const double total = static_cast<double>(fileSize) * static_cast<double>(files) / (1 << 20);
    std::printf("ValidateProject: %.0f MiB/s; xargs md5sum: %.0f MiB/s; xargs -P %u md5sum: %.0f MiB/s\n",
                total / bestOurs, total / bestOne, cores, total / bestParallel);
    std::printf("ratio (ValidateProject / xargs md5sum, goal >= 0.9): %.2f\n", bestOne / bestOurs);
    std::printf("ratio (ValidateProject / xargs -P %u md5sum): %.2f\n", cores, bestParallel / bestOurs);
    return 0;
}
