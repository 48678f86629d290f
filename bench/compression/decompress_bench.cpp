// Decompression of 256 MiB through our helpers, side by side with the bare library loops:
//  - an LZMA2 container through Quor::Common::LZMA, against one raw LZMA2 decode from memory into a
//    preallocated block (through the LzmaStream adapter) and against `xz --format=raw -d`;
//  - a zlib file through Quor::Common::ZLibHelper, against one inflate from memory into a
//    preallocated block (through the ZStream adapter).
// Each round runs every step, odd rounds in the reverse order (ours and the peers take turns at
// going first); the best time of each is kept. The peers' times include reading the file.
// The content mixes text, structured binary records and random blocks (MixedContent.h); its LZMA2
// stream is made once with xz (fast preset), the zlib file with our CompressFile. Files live in
// $TMPDIR (or /tmp) and are removed.
//
//   quor_bench_decompress [rounds]
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/BareLoops.h"
#include "bench/support/BenchSupport.h"
#include "bench/support/MixedContent.h"
#include "common/LZMA.h"
#include "common/Log.h"
#include "common/LzmaContainer.h"
#include "common/LzmaStream.h"
#include "common/ZLibHelper.h"
#include "foundation/ByteOrder.h"
#include "foundation/ZStream.h"
#include "foundation/api/IBuffer.h"

extern char** environ;

namespace {

using QuorBench::BareLzma;
using QuorBench::BareZlib;
using QuorBench::ReadAll;

constexpr size_t kSize = 256u << 20;

using QuorBench::Now;

bool WriteAll(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// The whole file in one read into a block of its size.
// Runs argv with stdin and stdout redirected to files; the exit status, or -1.
int Run(std::vector<std::string> args, const std::string& in, const std::string& out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Report(const char* what, double mine, double peer) {
    std::printf("%-48s ours %7.1f MiB/s   peer %7.1f MiB/s   ratio %.3f (goal vs that peer >= 0.9)\n", what,
                kSize / mine / (1 << 20), kSize / peer / (1 << 20), peer / mine);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    Quor::Log::SetLogLevel(Quor::Log::ERROR);
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/quor_bench_decompress_" + std::to_string(getpid());
    if (mkdir(dir.c_str(), 0700) != 0) {
        std::perror("mkdir");
        return 1;
    }
    const std::string plainPath = dir + "/plain", rawPath = dir + "/raw", lzmaPath = dir + "/plain.lzma2",
                      zlibPath = dir + "/plain.z", outPath = dir + "/out";
    std::printf("making %zu MiB of content ...\n", kSize >> 20);
    const std::string plain = QuorBench::MakeMixedContent(kSize);
    int status = 1;
    do {
        if (!WriteAll(plainPath, plain)) break;
        if (Run({"xz", "--format=raw", "--lzma2=preset=1,dict=8MiB", "-c"}, plainPath, rawPath) != 0) {
            std::fprintf(stderr, "xz failed (is xz-utils installed?)\n");
            break;
        }
        std::string header(9, '\0');
        header[0] = 22;  // 8 MiB dictionary
        Vorn::Bytes::StoreLE64(&header[1], plain.size());
        if (!WriteAll(lzmaPath, header + ReadAll(rawPath))) break;
        std::printf("LZMA2 container: %.1f MiB\n", ReadAll(lzmaPath).size() / double(1 << 20));

        if (Quor::Common::ZLibHelper::CompressFile(plainPath, zlibPath, 0) != S_OK) break;
        std::printf("zlib file: %.1f MiB\n", ReadAll(zlibPath).size() / double(1 << 20));

        double zOursFile = 1e9, zOursMemory = 1e9, zBare = 1e9;
        double oursFile = 1e9, oursMemory = 1e9, bare = 1e9, xz = 1e9;
        bool ok = true;
        const auto containerBytes = ReadAll(lzmaPath);
        struct Bytes final : Quor::API::IBuffer {
            const std::string& b;
            explicit Bytes(const std::string& bytes) : b(bytes) {}
            void* GetBufferPointer() override { return const_cast<char*>(b.data()); }
            const void* GetBufferPointer() const override { return b.data(); }
            uint32_t GetBufferSize() const override { return static_cast<uint32_t>(b.size()); }
        };
        auto input = std::make_shared<Bytes>(containerBytes);
        const auto zlibBytes = ReadAll(zlibPath);
        auto zInput = std::make_shared<Bytes>(zlibBytes);
        // Each step: best time and its run. Odd rounds run the steps in the reverse order, so that
        // ours and the peers take turns at going first.
        const auto timed = [&](double& best, const std::function<bool()>& run) {
            return std::function<void()>([&best, run, &ok] {
                const double t = Now();
                ok &= run();
                best = std::min(best, Now() - t);
            });
        };
        // Ours: a file decoded into a buffer (compared with the plain bytes), a buffer into a buffer.
        const auto fromFile = [&](HRESULT (*decode)(const std::string&, std::shared_ptr<Quor::API::IBuffer>&),
                                  const std::string& path) {
            return [&, decode, path] {
                std::shared_ptr<Quor::API::IBuffer> out;
                return decode(path, out) == S_OK && out->GetBufferSize() == plain.size() &&
                       std::memcmp(out->GetBufferPointer(), plain.data(), plain.size()) == 0;
            };
        };
        const auto fromMemory = [&](HRESULT (*decode)(const std::shared_ptr<Quor::API::IBuffer>&,
                                                      std::shared_ptr<Quor::API::IBuffer>&, DWORD),
                                    const std::shared_ptr<Quor::API::IBuffer>& bytes) {
            return [&, decode, bytes] {
                std::shared_ptr<Quor::API::IBuffer> out;
                return decode(bytes, out, 0) == S_OK && out->GetBufferSize() == plain.size();
            };
        };
        const std::vector<std::function<void()>> steps = {
            timed(oursFile, fromFile(&Quor::Common::LZMA::DecompressFile, lzmaPath)),
            timed(oursMemory, fromMemory(&Quor::Common::LZMA::Decompress, input)),
            timed(bare,
                  [&] {
                      std::unique_ptr<char[]> bareOut;
                      return BareLzma(lzmaPath, bareOut);
                  }),
            timed(xz, [&] { return Run({"xz", "--format=raw", "--lzma2=dict=8MiB", "-dc"}, rawPath, "/dev/null") == 0; }),
            timed(zOursFile, fromFile(&Quor::Common::ZLibHelper::DecompressFile, zlibPath)),
            timed(zOursMemory, fromMemory(&Quor::Common::ZLibHelper::Decompress, zInput)),
            timed(zBare,
                  [&] {
                      std::unique_ptr<char[]> zBareOut;
                      return BareZlib(zlibPath, zBareOut, plain.size());
                  }),
        };
        for (int r = 0; r < rounds && ok; ++r) {
            if (r % 2 == 0)
                for (const auto& step : steps) step();
            else
                for (auto step = steps.rbegin(); step != steps.rend(); ++step) (*step)();
        }
        if (!ok) {
            std::fprintf(stderr, "a decode failed or gave other bytes\n");
            break;
        }
        Report("LZMA2 file->buffer vs bare liblzma loop", oursFile, bare);
        Report("LZMA2 buffer->buffer vs bare liblzma loop", oursMemory, bare);
        Report("LZMA2 file->buffer vs xz --format=raw -d", oursFile, xz);
        Report("zlib file->buffer vs bare zlib loop", zOursFile, zBare);
        Report("zlib buffer->buffer vs bare zlib loop", zOursMemory, zBare);
        status = 0;
    } while (false);
    for (const std::string& p : {plainPath, rawPath, lzmaPath, zlibPath, outPath}) unlink(p.c_str());
    rmdir(dir.c_str());
    return status;
}
