// A program's data file read whole through the client library, side by side with its peers
// (page cache warm, N rounds, the peer and ours alternating which goes first each round):
//
//   plain     a 1 GiB installed deploy file through IMain::OpenFile + IFile::Read in 1 MiB reads,
//             against `cat file > /dev/null`;
//   archived  the same bytes stored in an archive pair, through the same calls (an uncompressed
//             archived file), against `quor-archive extract <folder> <path> /dev/null`;
//   zlib      256 MiB of mixed content stored zlib-compressed in the archive pair, through
//             IMain::OpenFile + one IFile::Read of the whole file into a new block, against the
//             bare inflate of the same stored bytes (read from disk) into a new block;
//   lzma2     the same content stored in the LZMA2 container (made with xz, fast preset), against
//             the bare raw LZMA2 decode of the same stored bytes into a new block.
//
//   quor_bench_client_read [rounds]
//
// Each row gives the best time of each side and the ratio peer time / ours of the best times and
// the median of the rounds' ratios. Works in a QUOR tree under $TMPDIR (or /tmp) and removes it at
// the end; needs xz.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "api/IFile.h"
#include "api/Main.h"
#include "archive/ManagedFileHelper.h"
#include "bench/support/BareLoops.h"
#include "bench/support/BenchSupport.h"
#include "bench/support/MixedContent.h"
#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "common/ZLibHelper.h"
#include "foundation/ByteOrder.h"
#include "tests/kit/RunCommand.h"

namespace {

namespace fs = std::filesystem;
using Flags = Quor::Common::ReleaseManifest;
constexpr uint64_t kSize = 1ull << 30;
constexpr size_t kPackedSize = 256u << 20;
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

// Reads the file whole in one read into a new block, as a program loads a data file; true when
// exactly kPackedSize bytes came back.
bool ReadWholeThroughClient(Quor::API::IMain& main, const std::string& name, std::unique_ptr<char[]>& out) {
    std::shared_ptr<Quor::API::IFile> file;
    if (FAILED(main.OpenFile(name, Quor::API::FILE_TYPE_BINARY, file)) || file->GetSize() != kPackedSize) return false;
    out.reset(new char[kPackedSize]);
    size_t count = 0;
    return SUCCEEDED(file->Read(out.get(), 1, kPackedSize, count)) && count == kPackedSize;
}

bool WriteAll(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// The stored forms of plain: a zlib stream (our compressor) and an LZMA2 container (xz's raw
// stream behind our header).
bool MakeStoredForms(const std::string& work, const std::string& plain) {
    const std::string plainPath = work + "/mixed", raw = work + "/mixed.raw";
    if (!WriteAll(plainPath, plain)) return false;
    if (FAILED(Quor::Common::ZLibHelper::CompressFile(plainPath, work + "/mixed.z", 0))) return false;
    if (QuorTest::RunCommand("xz --format=raw --lzma2=preset=1,dict=8MiB -c < " + QuorTest::ShellQuote(plainPath) +
                             " > " + QuorTest::ShellQuote(raw)) != 0) {
        std::fprintf(stderr, "xz failed (is xz-utils installed?)\n");
        return false;
    }
    std::string header(9, '\0');
    header[0] = 22;  // 8 MiB dictionary
    Vorn::Bytes::StoreLE64(&header[1], plain.size());
    return WriteAll(work + "/mixed.lzma2", header + QuorBench::ReadAll(raw));
}

bool Setup(const std::string& work, const std::string& root, const std::string& source, const std::string& plain) {
    fs::create_directories(root + "/system");
    fs::current_path(root + "/system");
    const std::string release = root + "/projects/game/releases/1.0.0.0";
    fs::create_directories(release + "/deploy/data");
    if (!QuorBench::MakeXorshiftFile(source, kSize) || !MakeStoredForms(work, plain)) return false;
    fs::create_hard_link(source, release + "/deploy/data/big.bin");
    using namespace Quor::User::ManagedFileHelper;
    if (FAILED(AddFile("game", kRelease, "data/stored.bin", source)) ||
        FAILED(AddFile("game", kRelease, "data/zlib.bin", work + "/mixed.z")) ||
        FAILED(AddFile("game", kRelease, "data/lzma.bin", work + "/mixed.lzma2")) || FAILED(Flush(0)))
        return false;
    Release();
    Quor::Common::ReleaseManifest manifest;
    manifest.m_ProjectName = "game";
    manifest.m_ReleaseVersion = kRelease;
    const unsigned char md5[16] = {};
    const auto size = static_cast<DWORD>(kSize);
    const auto packed = static_cast<DWORD>(kPackedSize);
    const auto zlibSize = static_cast<DWORD>(fs::file_size(work + "/mixed.z"));
    const auto lzmaSize = static_cast<DWORD>(fs::file_size(work + "/mixed.lzma2"));
    return SUCCEEDED(manifest.Add("data/big.bin", kRelease, md5, 0, size, size)) &&
           SUCCEEDED(manifest.Add("data/stored.bin", kRelease, md5, Flags::FLAG_ARCHIVED, size, size)) &&
           SUCCEEDED(manifest.Add("data/zlib.bin", kRelease, md5,
                                  Flags::FLAG_ARCHIVED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_ZLIB, packed,
                                  zlibSize)) &&
           SUCCEEDED(manifest.Add("data/lzma.bin", kRelease, md5,
                                  Flags::FLAG_ARCHIVED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_LZMA, packed,
                                  lzmaSize)) &&
           SUCCEEDED(manifest.Save(release + "/releasemanifest"));
}

// One row: our read and its peer, timed in the same rounds.
struct Pair {
    const char* name;
    const char* peerName;
    double mib;
    std::function<bool()> peer, ours;
    std::vector<double> peerTimes, ourTimes;
};

// Times one call; false when it failed.
bool Time(const std::function<bool()>& call, std::vector<double>& times) {
    const double start = QuorBench::Now();
    const bool ok = call();
    times.push_back(QuorBench::Now() - start);
    return ok;
}

void Report(const Pair& pair) {
    const double bestPeer = *std::min_element(pair.peerTimes.begin(), pair.peerTimes.end());
    const double bestOurs = *std::min_element(pair.ourTimes.begin(), pair.ourTimes.end());
    std::vector<double> ratios;
    for (size_t i = 0; i < pair.ourTimes.size(); ++i) ratios.push_back(pair.peerTimes[i] / pair.ourTimes[i]);
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios.size() % 2 ? ratios[ratios.size() / 2]
                                            : (ratios[ratios.size() / 2 - 1] + ratios[ratios.size() / 2]) / 2;
    std::printf("%-9s %-22s %6.0f MiB/s\n", pair.name, pair.peerName, pair.mib / bestPeer);
    std::printf("          %-22s %6.0f MiB/s   ratio best %.3f, median %.3f, lowest %.3f (peer time / ours; goal >= 0.9)\n",
                "IFile::Read", pair.mib / bestOurs, bestPeer / bestOurs, median, ratios.front());
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
    const std::string plain = QuorBench::MakeMixedContent(kPackedSize);
    bool ok = Setup(work, root, source, plain);

    std::vector<Pair> pairs;
    if (ok) {
        const std::string folder = root + "/projects/game/filearchives/1.0.0.0";
        fs::current_path(root + "/projects/game/releases/1.0.0.0/deploy");
        std::shared_ptr<Quor::API::IMain> main;
        ok = SUCCEEDED(Quor::API::CreateMain(main)) && (main->GetFlags() & 1);
        std::vector<char> buffer(1 << 20);
        std::unique_ptr<char[]> block;
        const std::string cat = "cat " + QuorTest::ShellQuote(source);
        const std::string extract = std::string(QUOR_ARCHIVE_TOOL) + " extract " + QuorTest::ShellQuote(folder) +
                                    " data/stored.bin /dev/null";
        const double mib = static_cast<double>(kSize >> 20), packedMib = static_cast<double>(kPackedSize >> 20);
        Quor::API::IMain* client = main.get();
        pairs = {
            {"plain", "cat > /dev/null", mib, [&] { return Run(cat); },
             [&] { return ReadThroughClient(*client, "data/big.bin", buffer); }, {}, {}},
            {"archived", "quor-archive extract", mib, [&] { return Run(extract); },
             [&] { return ReadThroughClient(*client, "data/stored.bin", buffer); }, {}, {}},
            {"zlib", "bare inflate", packedMib,
             [&] { return QuorBench::BareZlib(work + "/mixed.z", block, kPackedSize); },
             [&] { return ReadWholeThroughClient(*client, "data/zlib.bin", block); }, {}, {}},
            {"lzma2", "bare LZMA2 decode", packedMib, [&] { return QuorBench::BareLzma(work + "/mixed.lzma2", block); },
             [&] { return ReadWholeThroughClient(*client, "data/lzma.bin", block); }, {}, {}},
        };
        // Warm the page cache, and check the bytes the compressed files read to.
        ok = ok && Run(cat) && ReadThroughClient(*main, "data/stored.bin", buffer);
        for (const char* name : {"data/zlib.bin", "data/lzma.bin"})
            ok = ok && ReadWholeThroughClient(*main, name, block) &&
                 std::memcmp(block.get(), plain.data(), kPackedSize) == 0;
        for (int r = 0; ok && r < rounds; ++r) {
            for (Pair& pair : pairs) {
                if (r % 2 == 0)
                    ok = ok && Time(pair.peer, pair.peerTimes) && Time(pair.ours, pair.ourTimes);
                else
                    ok = ok && Time(pair.ours, pair.ourTimes) && Time(pair.peer, pair.peerTimes);
                block.reset();
            }
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
    std::printf("client reads, whole files (%d rounds, page cache warm; plain and archived: 1 GiB in 1 MiB reads; "
                "zlib and lzma2: 256 MiB in one read)\n",
                rounds);
    for (const Pair& pair : pairs) Report(pair);
    return 0;
}
