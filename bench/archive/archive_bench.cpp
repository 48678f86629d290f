// Archive pairs, side by side with their peers (page cache warm, best of N rounds):
//
//   rewrite  adding one 1 MiB file to a pair of 1 GiB in 10,000 files and flushing, against
//            `cp` + `sync` of the 1 GiB data file (plain `cp` shown too; time and bytes written);
//   find     Manager::Find among 1,000 .. 100,000 stored paths (ns per look-up, and per log2 n),
//            against a std::map look-up with a case-insensitive order;
//   extract  ManagedFileHelper::ExtractFile of a stored 100 MiB file, against `cat file > copy`.
//
//   quor_bench_archive [rewrite|find|extract|all] [rounds]
//
// Ours and the peer take turns at going first. A failure is printed and ends the program with exit
// code 1 and no ratio. Works in a folder under $TMPDIR (or /tmp) and removes it at the end.
#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/ArchiveFileBuilder.h"
#include "archive/IMain.h"
#include "archive/ManagedFileHelper.h"
#include "common/Log.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Quor::FileSystem::Impl::ArchiveFileBuilder;

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

bool MakeFile(const std::string& path, uint64_t size, uint64_t seed) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    std::vector<uint64_t> block(1 << 17);
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    bool ok = true;
    for (uint64_t written = 0; ok && written < size;) {
        for (auto& w : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            w = x;
        }
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size - written, block.size() * 8));
        ok = fwrite(block.data(), 1, n, f) == n;
        written += n;
    }
    return fclose(f) == 0 && ok;
}

// Runs a program with its standard output sent to `out` (or inherited when empty); true on exit 0.
bool Spawn(std::vector<std::string> args, const std::string& out = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!out.empty()) posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

uint64_t FileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

std::string PairIndex(const std::string& folder) {
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".zef") return e.path().string();
    return {};
}

// Prints what failed in which round; false, so that a failure reads `return Failed(...)`.
bool Failed(const char* what, int round) {
    if (round < 0) std::fprintf(stderr, "FAILED: %s (setting up)\n", what);
    else std::fprintf(stderr, "FAILED: %s (round %d)\n", what, round + 1);
    return false;
}

// ---- rewrite ------------------------------------------------------------------------------------

bool BenchRewrite(const std::string& work, int rounds) {
    constexpr uint64_t kPair = 1ull << 30;
    constexpr unsigned kFiles = 10000;
    const std::string folder = work + "/rewrite";
    fs::create_directories(folder);
    std::printf("rewrite: building a pair of %u files, 1 GiB ...\n", kFiles);
    const std::string big = work + "/big.bin";
    if (!MakeFile(big, kPair, 1) || !MakeFile(work + "/one_mib.bin", 1 << 20, 2)) return Failed("writing the content", -1);
    {
        ArchiveFileBuilder builder(0);
        const uint64_t each = kPair / kFiles;
        for (unsigned i = 0; i < kFiles; ++i) {
            const uint64_t size = i + 1 == kFiles ? kPair - each * i : each;
            builder.AddStretch("data/dir" + std::to_string(i % 100) + "/file" + std::to_string(i) + ".bin", big,
                               static_cast<unsigned>(each * i), static_cast<unsigned>(size));
        }
        if (FAILED(builder.Write(folder + "/Archive_1.zef", nullptr))) return Failed("writing the pair", -1);
    }
    fs::remove(big);
    const std::string data = PairIndex(folder) + ".dat";
    Spawn({"cat", data}, "/dev/null");  // warm

    double bestOurs = 1e30, bestCp = 1e30, bestCpSync = 1e30;
    uint64_t written = 0;
    for (int r = 0; r < rounds; ++r) {
        // Each step starts with no dirty pages left by the step before; ours and cp take turns at
        // going first.
        double cpTime = 0, cpSyncTime = 0, ourTime = 0;
        const auto copy = [&] {
            ::sync();
            const double t0 = Now();
            if (!Spawn({"cp", data, work + "/copy.bin"})) return Failed("cp of the data file", r);
            const double t1 = Now();
            ::sync();
            cpTime = t1 - t0;
            cpSyncTime = Now() - t0;
            fs::remove(work + "/copy.bin");
            return true;
        };
        const auto ours = [&] {
            ::sync();
            const double t0 = Now();
            std::shared_ptr<Quor::FileSystem::IManager> manager;
            if (!Quor::FileSystem::Instance().CreateManager(manager, folder, "")) return Failed("opening the pair", r);
            const std::string source = work + "/one_mib.bin";
            const std::string path = "added/round" + std::to_string(r) + ".bin";
            if (!manager->Add(path, &source, nullptr) || !manager->WriteArchiveFiles(false, nullptr))
                return Failed("adding 1 MiB and flushing", r);
            manager.reset();
            ourTime = Now() - t0;
            return true;
        };
        if (r % 2 == 0 ? !(copy() && ours()) : !(ours() && copy())) return false;
        written = FileSize(PairIndex(folder)) + FileSize(PairIndex(folder) + ".dat");
        bestCp = std::min(bestCp, cpTime);
        bestCpSync = std::min(bestCpSync, cpSyncTime);
        bestOurs = std::min(bestOurs, ourTime);
        std::printf("round %d: cp %.2f s (with sync %.2f s), add 1 MiB + flush %.2f s\n", r + 1, cpTime, cpSyncTime,
                    ourTime);
    }
    std::printf("rewrite      pair of %u files, %.0f MiB; one 1 MiB file added per round\n", kFiles,
                static_cast<double>(kPair) / (1 << 20));
    std::printf("cp 1 GiB     %.2f s (%.0f MiB/s), best of %d\n", bestCp, 1024 / bestCp, rounds);
    std::printf("cp + sync    %.2f s (the copy on the disk)\n", bestCpSync);
    std::printf("ours         %.2f s, %.1f MiB written (data and index, flushed to disk), best of %d\n", bestOurs,
                static_cast<double>(written) / (1 << 20), rounds);
    std::printf("ratio        %.3f (cp + sync time / our time; goal vs cp + sync >= 1.0)\n", bestCpSync / bestOurs);
    std::printf("ratio        %.3f (cp time / our time; no goal: plain cp leaves its copy in the page cache)\n\n",
                bestCp / bestOurs);
    fs::remove_all(folder);
    return true;
}

// ---- find ---------------------------------------------------------------------------------------

struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};

bool BenchFind(const std::string& work, int rounds) {
    const std::string tiny = work + "/tiny.bin";
    if (!MakeFile(tiny, 1 << 20, 3)) return Failed("writing the content", -1);
    std::printf("find: look-ups of stored paths (random order)\n");
    std::printf("%10s %14s %16s %14s %8s\n", "entries", "ours ns/find", "ns per log2(n)", "map ns/find", "ratio");
    for (unsigned n : {1000u, 10000u, 100000u}) {
        const std::string folder = work + "/find" + std::to_string(n);
        fs::create_directories(folder);
        std::vector<std::string> paths;
        ArchiveFileBuilder builder(0);
        for (unsigned i = 0; i < n; ++i) {
            paths.push_back("Data/Level" + std::to_string(i % 37) + "/Mesh_" + std::to_string(i * 7919u) + ".bin");
            builder.AddStretch(paths.back(), tiny, i % 1000, 8);
        }
        if (FAILED(builder.Write(folder + "/Archive_1.zef", nullptr))) return Failed("writing the pair", -1);
        std::map<std::string, unsigned, NoCase> peer;
        for (unsigned i = 0; i < n; ++i) peer.emplace(paths[i], i);
        std::vector<std::string> probes;  // copies in probe order: the harness reads them in sequence
        std::mt19937 random(7);
        for (int i = 0; i < 200000; ++i) probes.push_back(paths[random() % n]);

        std::shared_ptr<Quor::FileSystem::IManager> manager;
        if (!Quor::FileSystem::Instance().CreateManager(manager, folder, "")) return Failed("opening the pair", -1);
        double bestOurs = 1e30, bestPeer = 1e30;
        uint64_t sink = 0;
        for (int r = 0; r < rounds; ++r) {
            std::string name;
            uint32_t offset = 0, size = 0;
            const auto ours = [&] {
                const double t0 = Now();
                for (const std::string& p : probes) sink += manager->Find(p, name, offset, size) ? offset : 1u << 31;
                bestOurs = std::min(bestOurs, Now() - t0);
            };
            const auto map = [&] {
                const double t0 = Now();
                for (const std::string& p : probes) sink += peer.find(p)->second;
                bestPeer = std::min(bestPeer, Now() - t0);
            };
            if (r % 2 == 0) ours(), map();
            else map(), ours();
        }
        if (sink >> 63) std::printf(" ");  // keep the loops
        const double ours = bestOurs * 1e9 / probes.size(), theirs = bestPeer * 1e9 / probes.size();
        std::printf("%10u %14.0f %16.1f %14.0f %8.2f\n", n, ours, ours / std::log2(n), theirs, theirs / ours);
        manager.reset();
        fs::remove_all(folder);
    }
    std::printf("(ratio: std::map time / our time; goal: ns per log2(n) flat, ratio vs std::map >= 1 at 100,000)\n\n");
    fs::remove(tiny);
    return true;
}

// ---- extract ------------------------------------------------------------------------------------

bool BenchExtract(const std::string& work, int rounds) {
    constexpr uint64_t kSize = 100ull << 20;
    const std::string root = work + "/QUOR";
    fs::create_directories(root + "/system");
    fs::create_directories(root + "/temp");
    const std::string cwd = fs::current_path().string();
    fs::current_path(root + "/system");
    const std::string source = work + "/hundred.bin";
    if (!MakeFile(source, kSize, 4)) return Failed("writing the content", -1);
    using namespace Quor::User::ManagedFileHelper;
    if (FAILED(AddFile("game", 0x01000000, "data/hundred.bin", source)) || FAILED(Flush(0))) return false;
    const std::string data = PairIndex(root + "/projects/game/filearchives/1.0.0.0") + ".dat";
    Spawn({"cat", data}, "/dev/null");

    double bestOurs = 1e30, bestCat = 1e30, bestRead = 1e30;
    for (int r = 0; r < rounds; ++r) {
        // Ours and cat take turns at going first; each starts with no dirty pages left by the other.
        const auto cat = [&] {
            ::sync();
            const double t0 = Now();
            if (!Spawn({"cat", source}, work + "/catcopy.bin")) return Failed("cat > copy", r);
            bestCat = std::min(bestCat, Now() - t0);
            return true;
        };
        const auto ours = [&] {
            ::sync();
            const double t0 = Now();
            if (FAILED(ExtractFile("game", 0x01000000, "data/hundred.bin", 0, work + "/extracted.bin")))
                return Failed("ExtractFile", r);
            bestOurs = std::min(bestOurs, Now() - t0);
            return true;
        };
        if (r % 2 == 0 ? !(cat() && ours()) : !(ours() && cat())) return false;
        const double t2 = Now();
        if (!Spawn({"cat", source}, "/dev/null")) return Failed("cat > /dev/null", r);
        bestRead = std::min(bestRead, Now() - t2);
        fs::remove(work + "/catcopy.bin");
        fs::remove(work + "/extracted.bin");
    }
    Release();
    fs::current_path(cwd);
    std::printf("extract      stored file of 100 MiB, flags 0\n");
    std::printf("cat > /dev/null  %.0f MiB/s (best of %d)\n", 100 / bestRead, rounds);
    std::printf("cat > copy   %.0f MiB/s (read and write)\n", 100 / bestCat);
    std::printf("ours         %.0f MiB/s\n", 100 / bestOurs);
    std::printf("ratio        %.3f (ours / cat > copy; goal vs cat > copy >= 0.8)\n\n", bestCat / bestOurs);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Quor::Log::SetLogLevel(Quor::Log::USER);
    const std::string which = argc > 1 ? argv[1] : "all";
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    const char* tmp = getenv("TMPDIR");
    const std::string work = std::string(tmp && *tmp ? tmp : "/tmp") + "/quor_bench_archive." + std::to_string(getpid());
    fs::create_directories(work);
    bool ok = true;
    if (ok && (which == "all" || which == "find")) ok = BenchFind(work, rounds);
    if (ok && (which == "all" || which == "extract")) ok = BenchExtract(work, rounds);
    if (ok && (which == "all" || which == "rewrite")) ok = BenchRewrite(work, rounds);
    fs::remove_all(work);
    if (!ok) std::fprintf(stderr, "benchmark FAILED: no further ratios printed\n");
    return ok ? 0 : 1;
}
