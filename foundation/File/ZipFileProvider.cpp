#include "foundation/File/ZipFileProvider.h"

#include <strings.h>

#include <cctype>

#include "foundation/File/FileSysHelper.h"
#include "foundation/File/UnpackedFile.h"
#include "foundation/File/ZipFileIterator.h"
#include "foundation/HashFunctions.h"

namespace Vorn::File {

namespace {

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

size_t ZipFileNameHashCompare::operator()(const std::string& name) const { return HashFunctions::HashString_SDBM(name.c_str()); }

bool ZipFileNameHashCompare::operator()(const std::string& a, const std::string& b) const {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

ZipFileProvider::ZipFileProvider() : m_names(100), m_folders(100) {}

ZipFileProvider::~ZipFileProvider() = default;

std::string ZipFileProvider::NormalizeName(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '/') c = '\\';
        if (c == '\\' && !out.empty() && out.back() == '\\') continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

bool ZipFileProvider::AddZip(const char* path) {
    if (m_zipCount >= kMaxZips) return false;
    auto zip = std::make_unique<ZipFile>();
    if (!zip->Open(path)) return false;
    const unsigned archive = static_cast<unsigned>(m_zipCount);
    // A directory read from the archive never has more than 65535 entries (its count is 16 bits),
    // so every member has its own packed index.
    for (int i = 0; i < zip->Count() && i <= 0xFFFF; ++i) {
        const std::string& name = zip->Entry(i).name;
        m_names[name] = (archive << 16) | static_cast<unsigned>(i);

        std::string folder, file, extension;
        FileSysHelper::ParseFileSpecification(name.c_str(), folder, file, extension);
        AddToHashedPathToFilesMap(folder, file + "." + extension, false);

        const std::vector<std::string> parts = FileSysHelper::DividePath(folder);
        if (parts.size() >= 2) {
            std::string prefix = parts[0];
            for (size_t k = 1; k < parts.size(); ++k) {
                prefix += "/";
                AddToHashedPathToFilesMap(prefix, parts[k], true);
                prefix += parts[k];
            }
        }
        ++m_entryCount;
    }
    m_zips[archive] = std::move(zip);
    ++m_zipCount;
    // From now on CreateFileIterator asks the zip archives before the disk.
    RegisterZipFileIterator();
    return true;
}

void ZipFileProvider::AddToHashedPathToFilesMap(const std::string& folder, const std::string& name, bool isDirectory) {
    std::vector<Element>& list = m_folders[Lowered(NormalizeName(folder))];
    if (isDirectory)
        for (const Element& e : list)
            if (e.isDirectory && e.name == name) return;
    list.push_back({name, isDirectory});
}

const std::vector<ZipFileProvider::Element>* ZipFileProvider::GetFilesFromPath(const std::string& folder) const {
    const auto it = m_folders.find(Lowered(NormalizeName(folder)));
    return it == m_folders.end() ? nullptr : &it->second;
}

bool ZipFileProvider::SearchInZipsHelper(const char* path, unsigned* packedIndex) {
    if (!path) return false;
    const auto it = m_names.find(path);
    if (it == m_names.end()) return false;
    if (packedIndex) *packedIndex = it->second;
    return true;
}

bool ZipFileProvider::SearchInZips(const char* path, unsigned* packedIndex) {
    if (!path || m_entryCount == 0) return false;
    if (SearchInZipsHelper(path, packedIndex)) return true;
    const std::string given(path);
    if (given.size() > kMaxLookupPath) return false;
    const std::string normalized = NormalizeName(given);
    return SearchInZipsHelper(normalized.c_str(), packedIndex);
}

IFile* ZipFileProvider::Open(const char* path, const char* /*mode*/) {
    unsigned packed = 0;
    if (!SearchInZips(path, &packed)) return nullptr;
    const unsigned archive = packed >> 16;
    if (archive >= static_cast<unsigned>(m_zipCount) || !m_zips[archive]) return nullptr;
    auto file = std::make_unique<UnpackedFile>(path);
    m_zips[archive]->UnpackFile(static_cast<int>(packed & 0xFFFF), file->Data());
    file->Seal();
    return file->IsValid() ? file.release() : nullptr;
}

int ZipFileProvider::CheckAccess(const char* path, int mode) {
    if (mode != 0 && mode != 4) return -1;
    return SearchInZips(path, nullptr) ? 0 : -1;
}

}  // namespace Vorn::File
