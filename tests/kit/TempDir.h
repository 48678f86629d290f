#pragma once
// Test helpers for the file system.
//
// TempDir: a fresh folder (mkdtemp) removed with everything in it when the object dies.
// ScopedCwd: changes the working folder and restores the previous one when it dies.
// QuorTree: a fresh install tree <tmp>/QUOR with projects/, solutions/, system/ and temp/ (what
//           the kernel's root-folder check makes), and the working folder set to <tmp>/QUOR/system
//           as the kernel has it, so that the root folder is <tmp>/QUOR/. On request it writes a
//           system.cfg naming a content server and puts our jdiff/jpatch (or stubs) into system/.
// None of these are thread-safe; the working folder is process-wide.
#include <string>

namespace QuorTest {

class TempDir {
public:
    explicit TempDir(const std::string& tag = "quortest");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + relative
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
};

class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& folder);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::string m_previous;
};

class QuorTree {
public:
    QuorTree();
    // Root folder with a trailing "/", as the system reports it.
    std::string root() const { return m_root; }
    std::string system() const { return m_root + "system"; }
    std::string projects() const { return m_root + "projects"; }
    std::string solutions() const { return m_root + "solutions"; }
    std::string temp() const { return m_root + "temp"; }

    // Writes system/system.cfg with DownloadURL, DownloadPath and Region (the settings are read
    // once per process: write it before the first use of the server settings).
    void WriteSystemConfig(const std::string& downloadUrl, const std::string& downloadPath,
                           const std::string& region) const;
    // Copies our built "jdiff" and "jpatch" into system/ (tests/kit/PatchTools.cpp).
    void InstallPatchTools() const;
    // Puts a script named `name` ("jdiff" or "jpatch") into system/ that exits with `code`.
    void InstallStubTool(const std::string& name, int code) const;

private:
    TempDir m_dir;
    std::string m_root;
    ScopedCwd m_cwd;
};

// The path of our built jdiff (what InstallPatchTools copies).
std::string JDiffPath();

// Small file helpers; each fails the current test (ADD_FAILURE) on an I/O error.
void WriteFile(const std::string& path, const std::string& bytes);  // creates parent folders
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
void MakeDirs(const std::string& path);
void RemoveTree(const std::string& path);

}  // namespace QuorTest
