// A program's data file read whole through the client library, side by side with its peers
// (page cache warm, best of N rounds, alternating):
//
//   plain     a 1 GiB installed deploy file through IMain::OpenFile + IFile::Read in 1 MiB reads,
//             against `cat file > /dev/null`;
//   archived  the same bytes stored in an archive pair, through the same calls (an uncompressed
//             archived file), against `quor-archive extract <folder> <path> /dev/null`.
//
//   quor_bench_client_read [rounds]
//
// Works in a QUOR tree under $TMPDIR (or /tmp) and removes it at the end.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "api/IFile.h"
#include "api/Main.h"
#include "archive/ManagedFileHelper.h"
#include "bench/support/BenchSupport.h"
#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "tests/kit/RunCommand.h"

namespace {

namespace fs = std::filesystem;
constexpr uint64_t kSize = 1ull << 30;
constexpr DWORD kRelease = 0x01000000;

// Runs a command line with its standard output sent to /dev/null; true on exit 0.
bool Run(const std::string& commandLine) { return QuorTest::RunCommand(commandLine + " > /dev/null") == 0; }

// Reads the file whole in 1 MiB reads; true when exactly kSize bytes came back.
bool ReadThroughClient(Quor::API::IMain& main, const std::string& name, std::vector<char>& buffer) {
    std::shared_ptr<Quor::API::IFile> file;
    if (FAILED(main.OpenFile(name, Quor::API::FILE_TYPE_BINARY, file))) return false;
    uint64_t total = 0;
    while (total < kSize) {
        size_t count = 0;
        if (FAILED(file->Read(buffer.data(), 1, buffer.size(), count))) return false;
        total += count;
    }
    return total == kSize;
}

bool Setup(const std::string& root, const std::string& source) {
    fs::create_directories(root + "/system");
    fs::current_path(root + "/system");
    const std::string release = root + "/projects/game/releases/1.0.0.0";
    fs::create_directories(release + "/deploy/data");
    if (!QuorBench::MakeXorshiftFile(source, kSize)) return false;
    fs::create_hard_link(source, release + "/deploy/data/big.bin");
    using namespace Quor::User::ManagedFileHelper;
    if (FAILED(AddFile("game", kRelease, "data/stored.bin", source)) || FAILED(Flush(0))) return false;
    Release();
    Quor::Common::ReleaseManifest manifest;
    manifest.m_ProjectName = "game";
    manifest.m_ReleaseVersion = kRelease;
    const unsigned char md5[16] = {};
    const auto size = static_cast<DWORD>(kSize);
    return SUCCEEDED(manifest.Add("data/big.bin", kRelease, md5, 0, size, size)) &&
           SUCCEEDED(manifest.Add("data/stored.bin", kRelease, md5, Quor::Common::ReleaseManifest::FLAG_ARCHIVED, size,
                                  size)) &&
           SUCCEEDED(manifest.Save(release + "/releasemanifest"));
}

}  // namespace

int main(int argc, char** argv) {
    Quor::Log::SetLogLevel(Quor::Log::USER);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    // No kernel of another run is seen: the client works on its own.
    ::setenv("ORVANE_INSTANCE", ("_bench" + std::to_string(getpid())).c_str(), 1);
    const char* tmp = getenv("TMPDIR");
    const std::string work = std::string(tmp && *tmp ? tmp : "/tmp") + "/quor_bench_client." + std::to_string(getpid());
    const std::string root = work + "/QUOR";
    const std::string source = work + "/big.bin";
    const std::string cwd = fs::current_path().string();
    bool ok = Setup(root, source);

    double bestPlain = 1e30, bestCat = 1e30, bestStored = 1e30, bestExtract = 1e30;
    if (ok) {
        const std::string folder = root + "/projects/game/filearchives/1.0.0.0";
        fs::current_path(root + "/projects/game/releases/1.0.0.0/deploy");
        std::shared_ptr<Quor::API::IMain> main;
        ok = SUCCEEDED(Quor::API::CreateMain(main)) && (main->GetFlags() & 1);
        std::vector<char> buffer(1 << 20);
        const std::string cat = "cat " + QuorTest::ShellQuote(source);
        const std::string extract = std::string(QUOR_ARCHIVE_TOOL) + " extract " + QuorTest::ShellQuote(folder) +
                                    " data/stored.bin /dev/null";
        ok = ok && Run(cat) && ReadThroughClient(*main, "data/stored.bin", buffer);  // warm
        // In each pair ours and the peer take turns at going first.
        const auto pair = [&](int r, const std::function<bool()>& peer, const std::function<bool()>& ours,
                              double& bestPeer, double& bestOurs) {
            const auto time = [](const std::function<bool()>& run, double& best) {
                const double start = QuorBench::Now();
                const bool done = run();
                best = std::min(best, QuorBench::Now() - start);
                return done;
            };
            return r % 2 == 0 ? time(ours, bestOurs) && time(peer, bestPeer)
                              : time(peer, bestPeer) && time(ours, bestOurs);
        };
        for (int r = 0; ok && r < rounds; ++r) {
            ok = pair(
                     r, [&] { return Run(cat); },
                     [&] { return ReadThroughClient(*main, "data/big.bin", buffer); }, bestCat, bestPlain) &&
                 pair(
                     r, [&] { return Run(extract); },
                     [&] { return ReadThroughClient(*main, "data/stored.bin", buffer); }, bestExtract, bestStored);
        }
        main.reset();
        Quor::User::ManagedFileHelper::Release();
    }
    fs::current_path(cwd);
    fs::remove_all(work);
    if (!ok) {
        std::fprintf(stderr, "benchmark failed\n");
        return 1;
    }
    const double mib = static_cast<double>(kSize >> 20);
    std::printf("client reads of a 1 GiB file in 1 MiB reads (best of %d, page cache warm)\n", rounds);
    std::printf("plain     cat > /dev/null       %6.0f MiB/s\n", mib / bestCat);
    std::printf("          IFile::Read           %6.0f MiB/s   ratio %.3f (cat time / ours; goal >= 0.9)\n",
                mib / bestPlain, bestCat / bestPlain);
    std::printf("archived  quor-archive extract  %6.0f MiB/s\n", mib / bestExtract);
    std::printf("          IFile::Read           %6.0f MiB/s   ratio %.3f (extract time / ours; goal >= 0.9)\n",
                mib / bestStored, bestExtract / bestStored);
    return 0;
}
