#include "foundation/File/FileSysHelper.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "foundation/CStd/CStd.h"
#include "foundation/String_t.h"

namespace Vorn::File {

namespace {

// Position of the last "/", "\" or ":" in spec, or npos.
size_t LastSeparator(const std::string& spec) { return spec.find_last_of("/\\:"); }

// Puts spec's folder part in front of folder; returns where the file part starts.
size_t TakeFolder(const std::string& spec, std::string& folder) {
    const size_t separator = LastSeparator(spec);
    if (separator == std::string::npos) {
        folder.clear();
        return 0;
    }
    std::string part = spec.substr(0, separator + 1);
    if (spec[separator] == ':') part += '/';
    folder.insert(0, part);
    return separator + 1;
}

}  // namespace

void FileSysHelper::ReplaceCharacter(char* text, char from, char to) {
    if (!text) return;
    for (; *text; ++text)
        if (*text == from) *text = to;
}

void FileSysHelper::ParseFileSpecification(const char* spec, std::string& folder, std::string& name,
                                           std::string& extension) {
    const std::string text = spec ? spec : "";
    const size_t start = TakeFolder(text, folder);
    const std::string rest = text.substr(start);
    const size_t dot = rest.rfind('.');
    if (dot == std::string::npos) {
        name = rest;
        return;
    }
    name.insert(0, rest.substr(0, dot));
    extension = rest.substr(dot + 1);
}

void FileSysHelper::ParseFileSpecificationOld(const char* spec, std::string& folder, std::string& name,
                                              std::string& extension) {
    const std::string text = spec ? spec : "";
    const size_t start = TakeFolder(text, folder);
    const size_t dot = text.rfind('.');
    if (dot == std::string::npos) {
        name = text.substr(start);
        extension.clear();
        return;
    }
    // A dot inside the folder part leaves no name and makes the extension run across the separator.
    name.insert(0, dot >= start ? text.substr(start, dot - start) : std::string());
    extension = text.substr(dot + 1);
}

void FileSysHelper::RelativeToAbsolutePath(const char* path, const char* base, std::string& result) {
    const std::string relative = path ? path : "";
    std::string folder, name, extension;
    ParseFileSpecification(relative.c_str(), folder, name, extension);
    if (folder.find(':') != std::string::npos) {
        result = relative;
        std::replace(result.begin(), result.end(), '\\', '/');
        return;
    }
    std::replace(folder.begin(), folder.end(), '\\', '/');

    std::string baseText = base ? base : "";
    if (!baseText.empty() && baseText.back() != '/') baseText += '/';
    std::string baseFolder, baseName, baseExtension;
    ParseFileSpecification(baseText.c_str(), baseFolder, baseName, baseExtension);
    result = baseFolder;
    std::replace(result.begin(), result.end(), '\\', '/');

    if (!folder.empty() && folder[0] != '.' && folder.find('/') != std::string::npos) folder.insert(0, "./");
    size_t pos = 0;
    for (;;) {
        if (folder.compare(pos, 2, "./") == 0) {
            pos += 2;
        } else if (folder.compare(pos, 3, "../") == 0) {
            pos += 3;
            if (result.size() >= 2) {
                const size_t cut = result.rfind('/', result.size() - 2);
                if (cut != std::string::npos) result.erase(cut + 1);
            }
        } else {
            break;
        }
    }
    result += folder.substr(pos);
    if (!result.empty() && result.back() != '/') result += '/';
    if (!name.empty()) result += name + "." + extension;
}

void FileSysHelper::FormatPath(std::string& path) {
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::replace(path.begin(), path.end(), '\\', '/');
}

void FileSysHelper::CreatePathDirectories(std::string& path) {
    FormatPath(path);
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (slash) std_mkdir_tree(path.substr(0, slash).c_str());
    const size_t last = path.rfind('/');
    const size_t fileStart = last == std::string::npos ? 0 : last + 1;
    if (path.find('.', fileStart) == std::string::npos) std_mkdir_tree(path.c_str());
}

std::vector<std::string> FileSysHelper::DividePath(const std::string& path) { return String_t::Tokenize(path, "\\/"); }

void test() {}

}  // namespace Vorn::File
