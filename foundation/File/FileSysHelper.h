#pragma once
// Static path operations of the file layer: splitting a file specification into folder, name and
// extension, making a relative path absolute, dividing a path into its components, and creating
// the folders of a path.
//
// All are reentrant and keep no state. An output documented below as "put in front" keeps what
// the caller had in it after the new text. FormatPath and CreatePathDirectories lower the
// whole path, so they are for paths the system spells in lower case only.
#include <string>
#include <vector>

namespace Vorn::File {

class FileSysHelper {
public:
    // Replaces every `from` in the terminated text by `to`, in place.
    static void ReplaceCharacter(char* text, char from, char to);
    // folder: spec up to and including its last "/", "\" or ":" (a "/" added after a ":"), put in
    // front of what folder held, or emptied when there is none. The rest splits at its last "."
    // into name (put in front) and extension (assigned); without a "." the rest is assigned to
    // name and extension is left as it was.
    static void ParseFileSpecification(const char* spec, std::string& folder, std::string& name,
                                       std::string& extension);
    // As ParseFileSpecification, but the last "." is looked for in the whole spec (a dot in a
    // folder name is taken for the extension's), and extension is emptied when there is none.
    static void ParseFileSpecificationOld(const char* spec, std::string& folder, std::string& name,
                                          std::string& extension);
    // path resolved against the folder base ("./" and "../" at its start are applied); a path
    // with a drive colon is taken as absolute and only gets "/" for "\".
    static void RelativeToAbsolutePath(const char* path, const char* base, std::string& result);
    // Lowers every character, then turns every "\" into "/".
    static void FormatPath(std::string& path);
    // FormatPath, then creates every folder of the path; the last component is taken for a file
    // name (and not created) when it holds a ".". Failures are not reported.
    static void CreatePathDirectories(std::string& path);
    // The non-empty components between "\" and "/" separators, in order.
    static std::vector<std::string> DividePath(const std::string& path);
};

// Does nothing.
void test();

}  // namespace Vorn::File
