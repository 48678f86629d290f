#include "bench/patch/Corpus.h"

#include <glob.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "bench/patch/BenchPair.h"

extern char** environ;

namespace PatchBench {

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMB = 1000 * 1000;
constexpr uint64_t kMaxMember = 16u << 20;

std::string FindLibrary(const char* name) {
    glob_t found{};
    std::string path;
    const std::string pattern = std::string("/usr/lib/*/") + name;
    if (glob(pattern.c_str(), 0, nullptr, &found) == 0 && found.gl_pathc > 0) path = found.gl_pathv[0];
    globfree(&found);
    return path.empty() ? std::string("/usr/lib/x86_64-linux-gnu/") + name : path;
}

bool WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) fprintf(stderr, "cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

bool ReadAll(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    bytes = all.str();
    if (!in) fprintf(stderr, "cannot read %s\n", path.c_str());
    return static_cast<bool>(in);
}

// Shared objects under /usr/lib, sorted by path, until their sizes reach target bytes.
std::vector<std::string> SharedObjects(uint64_t target) {
    std::vector<std::pair<std::string, uint64_t>> all;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator("/usr/lib", fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        const bool sharedObject = name.size() > 3 && (name.ends_with(".so") || name.find(".so.") != std::string::npos);
        if (!sharedObject || it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
        const uint64_t size = it->file_size(ec);
        if (!ec && size > 0 && size < kMaxMember) all.emplace_back(it->path().string(), size);
    }
    std::sort(all.begin(), all.end());
    std::vector<std::string> picked;
    uint64_t total = 0;
    for (const auto& [path, size] : all) {
        if (total >= target) break;
        picked.push_back(path.substr(1));  // relative to "/"
        total += size;
    }
    return picked;
}

bool RunTar(const std::string& list, const std::string& out) {
    std::vector<std::string> args = {"tar", "--mtime=@0", "--owner=0", "--group=0", "--numeric-owner",
                                     "-cf", out, "-C", "/", "-T", list};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "tar", nullptr, nullptr, argv.data(), environ) != 0) {
        fprintf(stderr, "cannot start tar\n");
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fprintf(stderr, "tar failed (status %d)\n", status);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool BuildTarPair(const std::string& dir, uint64_t target, uint64_t seed) {
    const std::vector<std::string> members = SharedObjects(target);
    std::ofstream list(dir + "/members");
    for (const auto& m : members) list << m << '\n';
    list.close();
    std::string original;
    if (!list || !RunTar(dir + "/members", dir + "/old") || !ReadAll(dir + "/old", original)) return false;
    return WriteAll(dir + "/new", MakeNewVersion(original, seed));
}

}  // namespace

std::vector<CorpusPair> CorpusPairs(const std::string& corpus) {
    std::vector<CorpusPair> pairs;
    for (const char* name : {"generated-30MiB", "libLLVM-14-15", "so-tar-30MB", "so-tar-100MB", "so-tar-200MB",
                             "blobs-80MB"})
        pairs.push_back({name, corpus + "/" + name + "/old", corpus + "/" + name + "/new"});
    pairs[1].oldPath = FindLibrary("libLLVM-14.so.1");
    pairs[1].newPath = FindLibrary("libLLVM-15.so.1");
    return pairs;
}

bool PairReady(const std::string& corpus, const std::string& name) {
    for (const CorpusPair& p : CorpusPairs(corpus))
        if (p.name == name) return access(p.oldPath.c_str(), R_OK) == 0 && access(p.newPath.c_str(), R_OK) == 0 &&
                                   (name == "libLLVM-14-15" || access((corpus + "/" + name + "/ready").c_str(), F_OK) == 0);
    return false;
}

bool BuildPair(const std::string& corpus, const std::string& name) {
    const std::string dir = corpus + "/" + name;
    std::error_code ec;
    fs::create_directories(dir, ec);
    bool ok = false;
    if (name == "generated-30MiB") {
        const std::string original = MakeOriginal(30u << 20, 2024);
        ok = WriteAll(dir + "/old", original) && WriteAll(dir + "/new", MakeNewVersion(original, 2025));
    } else if (name == "libLLVM-14-15") {
        fprintf(stderr, "libLLVM-14.so.1 or libLLVM-15.so.1 is missing: install libllvm14 and libllvm15 (scripts/deps)\n");
        return false;
    } else if (name == "so-tar-30MB") {
        ok = BuildTarPair(dir, 30 * kMB, 30);
    } else if (name == "so-tar-100MB") {
        ok = BuildTarPair(dir, 100 * kMB, 100);
    } else if (name == "so-tar-200MB") {
        ok = BuildTarPair(dir, 200 * kMB, 200);
    } else if (name == "blobs-80MB") {
        const std::string original = MakeBlobs(80 * kMB, 80);
        ok = WriteAll(dir + "/old", original) && WriteAll(dir + "/new", MakeBlobNewVersion(original, 81));
    } else {
        fprintf(stderr, "no corpus pair named %s\n", name.c_str());
    }
    return ok && WriteAll(dir + "/ready", "");
}

}  // namespace PatchBench
