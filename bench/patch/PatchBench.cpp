// Patch benchmark: our jdiff/jpatch against `xdelta3 -9 -B` (a source window covering the whole
// original), bsdiff/bspatch (when it ends within 120 s) and `zstd --patch-from --long -19 -T0` on
// every pair of the corpus (Corpus.h). Per pair and tool: patch bytes, create time and peak memory,
// apply time (median of five runs) and peak memory; every result is compared byte for byte with the
// new file. Then the ratios to xdelta3 and the goals, each naming its peer.
//
//   patch_bench [corpus folder] [pair ...]
//
// The corpus folder (default $TMPDIR or /tmp, then "quor-patch-corpus") keeps the built pairs for
// the next run; patches and results go to a folder inside it that is removed at the end. Any failed
// run (a wrong result included) is printed and ends the program with exit code 1 and no ratio.
//
// Peak memory is the child's ru_maxrss from wait4. A child started with posix_spawn inherits the
// high-water mark of the memory it shared with its parent until exec, so pairs are built by a child
// of their own ("patch_bench --generate corpus pair") and this process stays small throughout.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/patch/Corpus.h"

extern char** environ;

namespace {

constexpr int kApplyRuns = 5;
constexpr int kBsdiffLimitSeconds = 120;
constexpr int kLimitSeconds = 3600;

struct RunResult {
    enum class Outcome { Ok, Failed, TimedOut } outcome = Outcome::Failed;
    double seconds = 0;
    double peakMiB = 0;
};

// Runs a program (looked up in PATH), its output discarded, killing it after limit seconds; the
// child's own peak memory comes from wait4.
RunResult Run(const std::vector<std::string>& args, int limitSeconds) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    RunResult result;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        fprintf(stderr, "cannot start %s\n", argv[0]);
        return result;
    }
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        struct pollfd p = {pidfd, POLLIN, 0};
        int ready;
        while ((ready = poll(&p, 1, limitSeconds * 1000)) < 0 && errno == EINTR) {
        }
        if (ready == 0) {
            kill(pid, SIGKILL);
            result.outcome = RunResult::Outcome::TimedOut;
        }
        close(pidfd);
    }
    int status = 0;
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (result.outcome == RunResult::Outcome::TimedOut) return result;
    result.outcome = WIFEXITED(status) && WEXITSTATUS(status) <= 1 ? RunResult::Outcome::Ok : RunResult::Outcome::Failed;
    if (result.outcome == RunResult::Outcome::Failed) fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
    return result;
}

bool SameContent(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> bx(1 << 20), by(1 << 20);
    while (x && y) {
        x.read(bx.data(), static_cast<std::streamsize>(bx.size()));
        y.read(by.data(), static_cast<std::streamsize>(by.size()));
        if (x.gcount() != y.gcount() || !std::equal(bx.begin(), bx.begin() + x.gcount(), by.begin())) return false;
    }
    return x.eof() && y.eof();
}

long long FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Smallest power of two that is at least n (and at least 1 MiB).
int CeilLog2(long long n) {
    int log = 20;
    while ((1ll << log) < n) ++log;
    return log;
}

struct Tool {
    std::string name;
    std::vector<std::string> create;  // with {old} {new} {patch}
    std::vector<std::string> apply;   // with {old} {patch} {out}
    int createLimit = kLimitSeconds;
};

struct Measured {
    long long patchBytes = 0;
    RunResult made;
    double applySeconds = 0;  // median
    double applyPeakMiB = 0;  // largest
    bool skipped = false;     // create did not end in its time limit
};

std::vector<Tool> Tools(const PatchBench::CorpusPair& pair) {
    const long long original = FileSize(pair.oldPath);
    const std::string sourceWindow = std::to_string(1ll << CeilLog2(original));
    const std::string longWindow = "--long=" + std::to_string(std::min(31, CeilLog2(original + FileSize(pair.newPath))));
    return {
        {"jdiff/jpatch", {QUOR_JDIFF_PATH, "{old}", "{new}", "{patch}"}, {QUOR_JPATCH_PATH, "{old}", "{patch}", "{out}"}},
        {"xdelta3 -9 -B", {"xdelta3", "-e", "-9", "-f", "-B", sourceWindow, "-s", "{old}", "{new}", "{patch}"},
         {"xdelta3", "-d", "-f", "-B", sourceWindow, "-s", "{old}", "{patch}", "{out}"}},
        {"bsdiff", {"bsdiff", "{old}", "{new}", "{patch}"}, {"bspatch", "{old}", "{out}", "{patch}"}, kBsdiffLimitSeconds},
        {"zstd -19 -T0", {"zstd", "-q", "-f", "-19", "-T0", longWindow, "--patch-from={old}", "{new}", "-o", "{patch}"},
         {"zstd", "-q", "-d", "-f", longWindow, "--patch-from={old}", "{patch}", "-o", "{out}"}},
    };
}

std::vector<std::string> Expand(std::vector<std::string> args, const PatchBench::CorpusPair& pair,
                                 const std::string& work, size_t tag) {
    const auto replace = [](std::string& s, const std::string& from, const std::string& to) {
        const size_t at = s.find(from);
        if (at != std::string::npos) s.replace(at, from.size(), to);
    };
    for (auto& a : args) {
        replace(a, "{old}", pair.oldPath);
        replace(a, "{new}", pair.newPath);
        replace(a, "{patch}", work + "/patch." + std::to_string(tag));
        replace(a, "{out}", work + "/out." + std::to_string(tag));
    }
    return args;
}

// Measures every tool on one pair; false (with the reason printed) when a run fails or a result
// differs from the new file. The tools take turns at going first (rotated per pair and per run).
bool MeasurePair(const PatchBench::CorpusPair& pair, size_t pairIndex, const std::string& work,
                 const std::vector<Tool>& tools, std::vector<Measured>& measured) {
    measured.assign(tools.size(), {});
    std::vector<std::vector<double>> times(tools.size());
    for (int run = -1; run < kApplyRuns; ++run) {
        for (size_t k = 0; k < tools.size(); ++k) {
            const size_t t = (k + pairIndex + static_cast<size_t>(run + 1)) % tools.size();
            const Tool& tool = tools[t];
            Measured& m = measured[t];
            if (m.skipped) continue;
            const std::string patch = work + "/patch." + std::to_string(t);
            const std::string out = work + "/out." + std::to_string(t);
            if (run < 0) {
                fprintf(stderr, "%s: %s creating...\n", pair.name.c_str(), tool.name.c_str());
                m.made = Run(Expand(tool.create, pair, work, t), tool.createLimit);
                if (m.made.outcome == RunResult::Outcome::TimedOut && tool.createLimit < kLimitSeconds) {
                    m.skipped = true;
                    unlink(patch.c_str());
                    continue;
                }
                if (m.made.outcome != RunResult::Outcome::Ok) {
                    fprintf(stderr, "FAILED: %s could not create a patch for %s\n", tool.name.c_str(), pair.name.c_str());
                    return false;
                }
                m.patchBytes = FileSize(patch);
                continue;
            }
            unlink(out.c_str());
            const RunResult r = Run(Expand(tool.apply, pair, work, t), kLimitSeconds);
            if (r.outcome != RunResult::Outcome::Ok) {
                fprintf(stderr, "FAILED: %s could not apply its patch for %s\n", tool.name.c_str(), pair.name.c_str());
                return false;
            }
            if (run == 0 && !SameContent(out, pair.newPath)) {
                fprintf(stderr, "FAILED: %s rebuilt a file that differs from the new file of %s\n", tool.name.c_str(),
                        pair.name.c_str());
                return false;
            }
            times[t].push_back(r.seconds);
            m.applyPeakMiB = std::max(m.applyPeakMiB, r.peakMiB);
        }
    }
    for (size_t t = 0; t < tools.size(); ++t) {
        if (measured[t].skipped) continue;
        std::sort(times[t].begin(), times[t].end());
        measured[t].applySeconds = times[t][kApplyRuns / 2];
        unlink((work + "/patch." + std::to_string(t)).c_str());
        unlink((work + "/out." + std::to_string(t)).c_str());
    }
    return true;
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--generate") return PatchBench::BuildPair(argv[2], argv[3]) ? 0 : 1;
    const char* tmp = getenv("TMPDIR");
    const std::string corpus =
        argc > 1 ? argv[1] : std::string(tmp && *tmp ? tmp : "/tmp") + "/quor-patch-corpus";
    std::vector<PatchBench::CorpusPair> pairs;
    for (const auto& p : PatchBench::CorpusPairs(corpus))
        if (argc <= 2 || std::find(argv + 2, argv + argc, p.name) != argv + argc) pairs.push_back(p);
    if (pairs.empty()) {
        fprintf(stderr, "no such pair in the corpus\n");
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(corpus, ec);
    for (const auto& p : pairs) {
        if (PatchBench::PairReady(corpus, p.name)) continue;
        fprintf(stderr, "building the pair %s in %s ...\n", p.name.c_str(), corpus.c_str());
        if (Run({"/proc/self/exe", "--generate", corpus, p.name}, kLimitSeconds).outcome != RunResult::Outcome::Ok) {
            fprintf(stderr, "FAILED: cannot build the pair %s\n", p.name.c_str());
            return 1;
        }
    }
    std::string pattern = corpus + "/run-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        fprintf(stderr, "FAILED: cannot create a folder in %s\n", corpus.c_str());
        return 1;
    }
    const std::string work = pattern;

    struct Row {
        const PatchBench::CorpusPair* pair;
        std::vector<Tool> tools;
        std::vector<Measured> measured;
    };
    std::vector<Row> rows;
    bool ok = true;
    for (size_t i = 0; i < pairs.size() && ok; ++i) {
        rows.push_back({&pairs[i], Tools(pairs[i]), {}});
        ok = MeasurePair(pairs[i], i, work, rows.back().tools, rows.back().measured);
        if (!ok) break;
        const Row& row = rows.back();
        printf("\n%s: original %lld bytes, new %lld bytes\n", row.pair->name.c_str(), FileSize(row.pair->oldPath),
               FileSize(row.pair->newPath));
        printf("%-15s %12s %9s %11s %9s %10s\n", "tool", "patch bytes", "create s", "create MiB", "apply s", "apply MiB");
        for (size_t t = 0; t < row.tools.size(); ++t) {
            const Measured& m = row.measured[t];
            if (m.skipped)
                printf("%-15s %12s %9s  (did not end within %d s)\n", row.tools[t].name.c_str(), "-", "-",
                       row.tools[t].createLimit);
            else
                printf("%-15s %12lld %9.2f %11.1f %9.3f %10.1f\n", row.tools[t].name.c_str(), m.patchBytes,
                       m.made.seconds, m.made.peakMiB, m.applySeconds, m.applyPeakMiB);
        }
        fflush(stdout);
    }
    std::filesystem::remove_all(work, ec);
    if (!ok) {
        fprintf(stderr, "patch benchmark FAILED: no ratios printed\n");
        return 1;
    }

    printf("\nratios of jdiff/jpatch to xdelta3 -9 -B (patch size, create time, apply time; goals <= 1, <= 10, <= 1)\n");
    bool allMet = true;
    for (const Row& row : rows) {
        const Measured& ours = row.measured[0];
        const Measured& xdelta = row.measured[1];
        const double size = static_cast<double>(ours.patchBytes) / static_cast<double>(xdelta.patchBytes);
        const double create = ours.made.seconds / xdelta.made.seconds;
        const double apply = ours.applySeconds / xdelta.applySeconds;
        allMet = allMet && size <= 1 && create <= 10 && apply <= 1;
        printf("%-16s patch %.3f (%s), create %.2f (%s), apply %.2f (%s)\n", row.pair->name.c_str(), size,
               Verdict(size <= 1), create, Verdict(create <= 10), apply, Verdict(apply <= 1));
    }
    // No cliff: the create time per MB of the new file never exceeds twice that of a smaller pair.
    printf("\njdiff create time per MB of new file (goal: at most 2x that of any smaller pair)\n");
    for (const Row& row : rows) {
        const double perMB = row.measured[0].made.seconds * 1e6 / static_cast<double>(FileSize(row.pair->newPath));
        double worst = 0;
        for (const Row& smaller : rows)
            if (FileSize(smaller.pair->newPath) < FileSize(row.pair->newPath))
                worst = std::max(worst, perMB / (smaller.measured[0].made.seconds * 1e6 /
                                                 static_cast<double>(FileSize(smaller.pair->newPath))));
        allMet = allMet && worst <= 2;
        if (worst == 0)
            printf("%-16s %.3f s/MB (no smaller pair)\n", row.pair->name.c_str(), perMB);
        else
            printf("%-16s %.3f s/MB, at most %.2fx that of a smaller pair (%s)\n", row.pair->name.c_str(), perMB, worst,
                   Verdict(worst <= 2));
    }
    printf("\ngoal vs xdelta3 -9 -B on every pair (patch no larger, create at most 10x, apply no slower, no cliff): %s\n",
           Verdict(allMet));
    return 0;
}
