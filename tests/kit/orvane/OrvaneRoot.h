#pragma once
// Test kit for the kernel program: a temporary {base}/QUOR laid out as an installed kernel, the
// kernel's folder as a content server publishes it, and the version list both use.
//
// OrvaneRoot: {base}/QUOR with projects/, solutions/, temp/ and a system/ folder holding a copy of
// the built kernel bundle (Orvane.app with the crash reporter framework in its Frameworks folder),
// jdiff, jpatch and libMondrel.so, listed in system/filelist.versioninfo with one version each,
// and a system.cfg naming the content server. The working folder is not changed (the kernel runs
// as a child process in system/; see OrvaneRun.h). Everything is removed when the object dies.
// Failures fail the current test (ADD_FAILURE). Not thread-safe.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/kit/TempDir.h"

namespace QuorTest {

// One line of a version list: path below the kernel's folder and its version.
struct SystemFile {
    std::string path;
    uint32_t version = 0;
};
using SystemFileList = std::vector<SystemFile>;

// The built programs the kernel's folder is made of.
std::string BuiltOrvane();
std::string BuiltMondrel();

// The files of a kernel folder, relative to it, each with `version`.
SystemFileList KernelFolderFiles(uint32_t version);
// Writes a version list ("path,version" lines) to path (parent folders made).
void WriteVersionList(const std::string& path, const SystemFileList& files);
// Parses a version list as the kernel writes it (lines "path,version").
SystemFileList ReadVersionList(const std::string& path);

class OrvaneRoot {
public:
    // downloadUrl "127.0.0.1:PORT" (empty: any unused address), served below downloadPath.
    explicit OrvaneRoot(const std::string& downloadUrl = "", const std::string& downloadPath = "/quor",
                        const std::string& region = "xx", uint32_t version = 1);
    // Kills what still runs from below base() (kernels of an update chain, started programs).
    ~OrvaneRoot();
    OrvaneRoot(const OrvaneRoot&) = delete;
    OrvaneRoot& operator=(const OrvaneRoot&) = delete;

    const std::string& base() const { return m_dir.path(); }
    std::string root() const { return m_dir.path() + "/QUOR"; }      // no trailing "/"
    std::string system() const { return root() + "/system"; }
    std::string kernel() const { return system() + "/Orvane.app/Contents/MacOS/Orvane"; }
    // The kernel folder's files as laid out, with their version.
    const SystemFileList& files() const { return m_files; }
    // Rewrites system/system.cfg.
    void WriteSystemConfig(const std::string& downloadUrl, const std::string& downloadPath,
                           const std::string& region) const;

private:
    TempDir m_dir{"orvane"};
    SystemFileList m_files;
};

// Publishes a kernel folder on a content server: copies each listed file from `from` (a kernel
// folder such as OrvaneRoot::system()) to {contentRoot}{downloadPath}/system/ and writes the
// server's "filelist.versioninfo" there. Files are copied with their mode; a listed file missing
// from `from` is left for the caller to put on the server.
void PublishKernelFolder(const std::string& contentRoot, const std::string& downloadPath, const std::string& from,
                         const SystemFileList& files);

}  // namespace QuorTest
