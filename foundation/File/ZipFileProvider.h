#pragma once
// The process's virtual files from zip archives: up to 40 open archives, a name index over all
// their members, and for every folder inside them the list of its files and subfolders (which the
// zip file iterator walks).
//
// Reached as ZipFileProviderSingleton::Instance(): made on first use, destroyed at process exit,
// which closes every archive. A 41st archive is refused. Once an archive is added,
// Vorn::File::CreateFileIterator lists the archives' folders before the disk. Files handed out by Open are owned by the
// caller and hold their own bytes. The provider takes no lock: one thread at a time uses it.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/File/IFile.h"
#include "foundation/Singleton.h"
#include "foundation/File/ZipFile.h"

namespace Vorn::File {

// Case-insensitive SDBM hash and case-insensitive comparison of member names.
struct ZipFileNameHashCompare {
    size_t operator()(const std::string& name) const;
    bool operator()(const std::string& a, const std::string& b) const;
};

class ZipFileProvider : public IFileProvider {
public:
    static constexpr int kMaxZips = 40;
    // Paths longer than this are not looked up.
    static constexpr size_t kMaxLookupPath = 1023;

    struct Element {
        std::string name;
        bool isDirectory;
    };

    ZipFileProvider();
    ~ZipFileProvider() override;

    // Opens an archive and indexes its members. False when it cannot be opened or 40 archives are
    // held already.
    bool AddZip(const char* path);
    int ZipCount() const { return m_zipCount; }
    // The files and subfolders listed for folder, or null when the folder is unknown.
    const std::vector<Element>* GetFilesFromPath(const std::string& folder) const;

    IFile* Open(const char* path, const char* mode) override;
    int CheckAccess(const char* path, int mode) override;

    // Looks path up as given and then normalized; packedIndex = (archive << 16) | member.
    bool SearchInZips(const char* path, unsigned* packedIndex);
    // The first lookup of SearchInZips alone.
    bool SearchInZipsHelper(const char* path, unsigned* packedIndex);
    void AddToHashedPathToFilesMap(const std::string& folder, const std::string& name, bool isDirectory);

    // "/" becomes "\", runs of "\" become one, trailing blanks go.
    static std::string NormalizeName(const std::string& path);

private:
    std::array<std::unique_ptr<ZipFile>, kMaxZips> m_zips;
    int32_t m_zipCount = 0;
    int32_t m_entryCount = 0;
    std::unordered_map<std::string, unsigned, ZipFileNameHashCompare, ZipFileNameHashCompare> m_names;
    std::unordered_map<std::string, std::vector<Element>> m_folders;
};

typedef SingletonHolder<ZipFileProvider> ZipFileProviderSingleton;

}  // namespace Vorn::File
