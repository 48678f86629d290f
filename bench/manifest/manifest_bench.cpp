// Release manifest speed, ours beside a plain peer doing the least the same result needs:
//   load   ReleaseManifest::Load of a saved manifest of N entries (default 200,000), against reading
//          the file's bytes and sorting the same names with strcasecmp;
//   build  AddUnsorted of n entries + SortEntries for n = N/8, N/4, N/2, N, against std::sort of
//          the same entries with ENTRY::PredicateByName; the time per n*log2(n) shows the growth.
// Best of `rounds` (default 5) for each figure, ours and the peer taking turns at going first. The file is made in $TMPDIR (or /tmp) and removed.
//
//   quor_bench_manifest [entries] [rounds]
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "common/ReleaseManifest.h"

using Quor::Common::ReleaseManifest;

namespace {

using QuorBench::Now;

// Best of `rounds` for ours and the peer, taking turns at going first.
template <typename O, typename P>
void BestOfBoth(int rounds, O&& ours, P&& peer, double& bestOurs, double& bestPeer) {
    bestOurs = bestPeer = 1e30;
    const auto time = [](auto& run, double& best) {
        const double start = Now();
        run();
        best = std::min(best, Now() - start);
    };
    for (int r = 0; r < rounds; ++r) {
        if (r % 2 == 0) {
            time(ours, bestOurs);
            time(peer, bestPeer);
        } else {
            time(peer, bestPeer);
            time(ours, bestOurs);
        }
    }
}

template <typename F>
double Best(int rounds, F&& run) {
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        const double start = Now();
        run();
        best = std::min(best, Now() - start);
    }
    return best;
}

// Names spread over a few hundred folders two levels deep, in a shuffled order.
std::vector<std::string> MakeNames(size_t count) {
    static const char* const ext[] = {".dds", ".bin", ".lua", ".ogg", ".txt"};
    std::vector<std::string> names;
    names.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        char name[96];
        snprintf(name, sizeof name, "Data/Folder%03zu/Sub%02zu/file_%06zu%s", i % 311, (i / 311) % 17, i,
                 ext[i % 5]);
        names.emplace_back(name);
    }
    std::shuffle(names.begin(), names.end(), std::mt19937(42));
    return names;
}

void Fill(ReleaseManifest& m, const std::vector<std::string>& names, size_t count) {
    unsigned char md5[16] = {};
    for (size_t i = 0; i < count; ++i) {
        md5[0] = static_cast<unsigned char>(i);
        m.AddUnsorted(names[i], 0x01000000u + static_cast<DWORD>(i % 7), md5, 0x12, static_cast<DWORD>(i),
                      static_cast<DWORD>(i / 2));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const size_t entries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const char* tmp = getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/quor_bench_manifest_XXXXXX";
    if (!mkdtemp(folder.data())) {
        perror("mkdtemp");
        return 1;
    }
    const std::string path = folder + "/releasemanifest";
    const std::vector<std::string> names = MakeNames(entries);

    ReleaseManifest built;
    built.m_ProjectName = "bench";
    built.m_ReleaseVersion = 0x01000000;
    Fill(built, names, entries);
    built.SortEntries(nullptr);
    double saveTime = Best(1, [&] {
        if (FAILED(built.Save(path))) std::abort();
    });
    FILE* f = fopen(path.c_str(), "rb");
    fseek(f, 0, SEEK_END);
    const long bytes = ftell(f);
    fclose(f);
    printf("release manifest: %zu entries, %ld bytes (saved in %.3f s)\n\n", entries, bytes, saveTime);

    // Load against: read the bytes, sort the names.
    size_t loaded = 0;
    double ours = 0, peer = 0;
    BestOfBoth(
        rounds,
        [&] {
            ReleaseManifest m;
            if (FAILED(m.Load(path, nullptr))) std::abort();
            loaded = m.m_Entries.size();
        },
        [&] {
        std::vector<char> data(static_cast<size_t>(bytes));
        FILE* in = fopen(path.c_str(), "rb");
        if (fread(data.data(), 1, data.size(), in) != data.size()) std::abort();
        fclose(in);
        std::vector<std::string> copy = names;
        std::sort(copy.begin(), copy.end(), [](const std::string& a, const std::string& b) {
            return strcasecmp(a.c_str(), b.c_str()) < 0;
        });
        },
        ours, peer);
    if (loaded != entries) {
        fprintf(stderr, "loaded %zu entries of %zu\n", loaded, entries);
        return 1;
    }
    printf("load   %-8zu ours %8.3f s   peer (read + sort names) %8.3f s   ratio ours/peer %.2f\n", entries,
           ours, peer, ours / peer);

    // AddUnsorted + SortEntries against std::sort with the plain predicate.
    printf("\nbuild  entries     ours (s)   ns per n*log2(n)   peer std::sort (s)   ratio ours/peer\n");
    for (size_t n : {entries / 8, entries / 4, entries / 2, entries}) {
        double o = 0, p = 0;
        BestOfBoth(
            rounds,
            [&] {
                ReleaseManifest m;
                Fill(m, names, n);
                if (FAILED(m.SortEntries(nullptr))) std::abort();
            },
            [&] {
                ReleaseManifest m;
                Fill(m, names, n);
                std::sort(m.m_Entries.begin(), m.m_Entries.end(), ReleaseManifest::ENTRY::PredicateByName);
            },
            o, p);
        const double nlogn = static_cast<double>(n) * std::log2(static_cast<double>(n));
        printf("       %-10zu %9.3f   %16.1f   %18.3f   %15.2f\n", n, o, o * 1e9 / nlogn, p, o / p);
    }

    unlink(path.c_str());
    rmdir(folder.c_str());
    return 0;
}
