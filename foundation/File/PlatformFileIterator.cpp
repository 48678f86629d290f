// The disk's iterator: the matches of glob(3) in the order the file system yields them.
#include <glob.h>
#include <sys/stat.h>

#include <string>

#include "foundation/CStd/CStd.h"
#include "foundation/File/FileIterator.h"

namespace Vorn::File {

namespace {

class FileIteratorMacOSX final : public FileIterator {
public:
    FileIteratorMacOSX(const char* pattern, unsigned flags) : m_flags(flags) {
        // The pattern with "\" turned into "/", built per call (no shared buffer).
        std::string native = pattern ? pattern : "";
        Vorn::std_get_native_path(native.data(), native.c_str(), 0);
        m_globbed = !native.empty() && glob(native.c_str(), GLOB_NOSORT, nullptr, &m_glob) == 0;
        m_index = -1;
        MoveToNextMatch();
    }
    ~FileIteratorMacOSX() override {
        if (m_globbed) globfree(&m_glob);
    }
    FileIteratorMacOSX(const FileIteratorMacOSX&) = delete;
    FileIteratorMacOSX& operator=(const FileIteratorMacOSX&) = delete;

    bool HasFile() const override { return m_globbed && static_cast<size_t>(m_index) < m_glob.gl_pathc; }
    void Advance() override {
        if (HasFile()) MoveToNextMatch();
    }
    void SkipDotDirectories() override {}  // glob yields no "." or ".."
    const char* GetCurrentFileName() const override { return m_name.c_str(); }
    bool IsCurrentFileDirectory() const override { return m_isDirectory; }

private:
    // Moves to the next match (the next folder with FILE_ITERATOR_FOLDERS_ONLY) and makes its name.
    void MoveToNextMatch() {
        m_name.clear();
        m_isDirectory = false;
        if (!m_globbed) return;
        for (++m_index; static_cast<size_t>(m_index) < m_glob.gl_pathc; ++m_index) {
            const char* path = m_glob.gl_pathv[m_index];
            struct stat st;
            m_isDirectory = stat(path, &st) == 0 && S_ISDIR(st.st_mode);
            if ((m_flags & FILE_ITERATOR_FOLDERS_ONLY) && !m_isDirectory) continue;
            // File name and extension of the match, without its folder.
            char name[1024];
            char extension[1024];
            if (Vorn::std_splitpath(path, nullptr, 0, nullptr, 0, name, sizeof name, extension,
                                    sizeof extension)) {
                m_name = name;
                m_name += extension;
            }
            return;
        }
        m_isDirectory = false;
    }

    unsigned m_flags;
    long m_index = -1;
    glob_t m_glob{};
    bool m_globbed = false;
    std::string m_name;
    bool m_isDirectory = false;
};

}  // namespace

FileIteratorPtr CreatePlatformFileIterator(const char* pattern, unsigned flags) {
    return std::make_shared<FileIteratorMacOSX>(pattern, flags);
}

}  // namespace Vorn::File
