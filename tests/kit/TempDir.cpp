#include "tests/kit/TempDir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace QuorTest {

namespace {
std::string CurrentFolder() {
    std::error_code ec;
    auto p = fs::current_path(ec);
    return ec ? std::string() : p.string();
}

std::string CreateTempFolder(const std::string& tag) {
    const char* base = getenv("QUOR_TEST_TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + tag + "-XXXXXX";
    std::string buffer = pattern;
    if (!mkdtemp(buffer.data())) {
        ADD_FAILURE() << "mkdtemp(" << pattern << ") failed: " << strerror(errno);
        return {};
    }
    return buffer;
}
}  // namespace

TempDir::TempDir(const std::string& tag) : m_path(CreateTempFolder(tag)) {}

TempDir::~TempDir() {
    if (!m_path.empty()) RemoveTree(m_path);
}

ScopedCwd::ScopedCwd(const std::string& folder) : m_previous(CurrentFolder()) {
    if (chdir(folder.c_str()) != 0)
        ADD_FAILURE() << "chdir(" << folder << ") failed: " << strerror(errno);
}

ScopedCwd::~ScopedCwd() {
    if (!m_previous.empty() && chdir(m_previous.c_str()) != 0) {
        // The previous folder may have been removed by the test; fall back to a folder that exists.
        if (chdir("/") != 0) ADD_FAILURE() << "cannot restore the working folder";
    }
}

namespace {
std::string MakeTree(const TempDir& dir) {
    MakeDirs(dir / "QUOR/system");
    MakeDirs(dir / "QUOR/temp");
    MakeDirs(dir / "QUOR/projects");
    MakeDirs(dir / "QUOR/solutions");
    return dir / "QUOR/";
}
}  // namespace

QuorTree::QuorTree() : m_dir("quortree"), m_root(MakeTree(m_dir)), m_cwd(m_root + "system") {}

void QuorTree::WriteSystemConfig(const std::string& downloadUrl, const std::string& downloadPath,
                                 const std::string& region) const {
    WriteFile(system() + "/system.cfg", "DownloadURL = " + downloadUrl + "\nDownloadPath = " + downloadPath +
                                            "\nRegion = " + region + "\n");
}

void WriteFile(const std::string& path, const std::string& bytes) {
    fs::path p(path);
    if (p.has_parent_path()) MakeDirs(p.parent_path().string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void MakeDirs(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) ADD_FAILURE() << "cannot create " << path << ": " << ec.message();
}

void RemoveTree(const std::string& path) {
    std::error_code ec;
    // Make read-only folders writable first so that the removal cannot fail on them.
    for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    ec.clear();
    fs::remove_all(path, ec);
}

}  // namespace QuorTest
