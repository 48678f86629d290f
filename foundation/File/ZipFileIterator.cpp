#include "foundation/File/ZipFileIterator.h"

#include <cctype>
#include <string>
#include <vector>

#include "foundation/File/EntryListFileIterator.h"
#include "foundation/File/FileSysHelper.h"
#include "foundation/File/ZipFileProvider.h"

namespace Vorn::File {

namespace {

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

FileIteratorPtr CreateZipArchiveFileIterator(const char* pattern, unsigned flags) {
    const ZipFileProvider& provider = ZipFileProviderSingleton::Instance();
    if (provider.ZipCount() == 0) return FileIteratorPtr();

    std::string folder, name, extension;
    FileSysHelper::ParseFileSpecification(pattern ? pattern : "", folder, name, extension);
    auto iterator = std::make_shared<EntryListFileIterator>();
    if (name == "*" && (extension.empty() || extension == "*")) {
        iterator->Add(".", true);
        iterator->Add("..", true);
    }
    const std::string whole = extension.empty() ? name : name + "." + extension;
    const bool all = whole == "*" || whole == "*.*";
    name = Lowered(name);
    const size_t star = name.rfind('*');
    const std::string wanted = star == std::string::npos ? name : name.substr(0, star);

    if (const auto* elements = provider.GetFilesFromPath(folder)) {
        for (const ZipFileProvider::Element& e : *elements) {
            if (flags & FILE_ITERATOR_FOLDERS_ONLY) {
                if (e.isDirectory) iterator->Add(e.name, true);
                continue;
            }
            if (!all && !e.isDirectory) {
                std::string eFolder, eName, eExtension;
                FileSysHelper::ParseFileSpecification(e.name.c_str(), eFolder, eName, eExtension);
                if (eExtension == extension && name == "*") iterator->Add(e.name, false);
                continue;
            }
            if (Lowered(e.name).find(wanted) != std::string::npos) iterator->Add(e.name, e.isDirectory);
        }
    }
    iterator->AppendAll(CreatePlatformFileIterator(pattern, flags));
    return iterator;
}

void RegisterZipFileIterator() { SetZipFileIteratorFactory(&CreateZipArchiveFileIterator); }

}  // namespace Vorn::File
