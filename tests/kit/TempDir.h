#pragma once
// Test helpers for the file system.
//
// TempDir: a fresh folder (mkdtemp) removed with everything in it when the object dies.
// ScopedCwd: changes the working folder and restores the previous one when it dies.
// QuorTree: a fresh install tree <tmp>/QUOR with system/ and temp/, and the working folder set
//           to <tmp>/QUOR/system as the kernel has it, so that the root folder is <tmp>/QUOR/.
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

private:
    TempDir m_dir;
    std::string m_root;
    ScopedCwd m_cwd;
};

// Small file helpers; each fails the current test (ADD_FAILURE) on an I/O error.
void WriteFile(const std::string& path, const std::string& bytes);  // creates parent folders
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
void MakeDirs(const std::string& path);
void RemoveTree(const std::string& path);

}  // namespace QuorTest
