#pragma once
// The file pairs of the patch benchmark, built on first use into a corpus folder and kept there
// (a pair is rebuilt only when its "ready" mark is missing).
//
//   generated-30MiB  MakeOriginal/MakeNewVersion of BenchPair.h at 30 MiB
//   libLLVM-14-15    libLLVM-14.so.1 -> libLLVM-15.so.1 of Debian's libllvm14/libllvm15, used in place
//   so-tar-30MB      tars of shared objects from /usr/lib (sorted by path, each under 16 MiB) of
//   so-tar-100MB     about that size; the new version is MakeNewVersion of the tar (2% of bytes
//   so-tar-200MB     edited in short runs, blocks inserted and removed)
//   blobs-80MB       MakeBlobs/MakeBlobNewVersion of BenchPair.h (already-compressed assets)
//
// BuildPair runs in a child process of its own (it holds whole files in memory). Errors are
// printed on stderr and returned as false.
#include <string>
#include <vector>

namespace PatchBench {

struct CorpusPair {
    std::string name;
    std::string oldPath;
    std::string newPath;
};

// The pairs in benchmark order, with their paths under corpus (or in place for libLLVM).
std::vector<CorpusPair> CorpusPairs(const std::string& corpus);

// True when the pair's files are present (built now or before).
bool PairReady(const std::string& corpus, const std::string& name);
bool BuildPair(const std::string& corpus, const std::string& name);

}  // namespace PatchBench
