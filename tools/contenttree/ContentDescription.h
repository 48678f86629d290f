#pragma once
// The content of a server tree as data: projects and solutions with their releases, the files of
// each project release (name, entry version, flags, bytes), the regions each release is offered
// in, the patches and package bins it carries, and the configurations of solution releases.
// ContentTreeBuilder writes such a description as a content server's tree; ReadContentDescription
// reads it from the text form that quor-content takes.
//
// Plain values: no lock, no resources. Versions are the 32-bit release numbers.
#include <string>
#include <utility>
#include <vector>

#include "foundation/Types.h"

namespace Quor::Tools::ContentTree {

struct FileSpec {
    std::string name;    // path inside the release, "/" separated
    DWORD version = 0;   // release that published this content (its folder serves the whole file)
    DWORD flags = 0;     // release-manifest entry flags
    std::string bytes;   // the plain content
};

struct PatchSpec {
    DWORD source = 0;            // release the patches start from (a release of the same project)
    DWORD form = 0;              // 0 plain, or the patch-manifest flag 0x01 (zlib) or 0x04 (LZMA)
    DWORD binBytes = 0;          // > 0: patches also go into package bins of about this size
};

struct ReleaseSpec {
    DWORD version = 0;
    bool listed = true;                  // named in the general "releaselisting"
    std::vector<std::string> regions;    // a marker region + "_OK" in the release's folder each
    DWORD binBytes = 0;                  // > 0: the release's files also go into package bins
    std::vector<FileSpec> files;         // project releases
    std::vector<PatchSpec> patches;      // project releases
    // Solution releases: {name, release, priority, flags} per project, then configurations.
    struct Project {
        std::string name;
        DWORD version = 0;
        DWORD priority = 0;
        DWORD flags = 0;
    };
    std::vector<Project> projects;
    std::vector<std::pair<std::string, std::vector<std::string>>> configurations;

    // Adds a file whose entry version is this release's; returns it for changes.
    FileSpec& AddFile(const std::string& name, DWORD flags, const std::string& bytes);
};

struct ProductSpec {  // a project or a solution
    std::string name;
    std::vector<ReleaseSpec> releases;
    std::vector<std::string> regionListings;  // a "releaselisting_" + region each
    // "projectversionlisting": project version text, release versions.
    std::vector<std::pair<std::string, std::vector<DWORD>>> versionListing;

    ReleaseSpec& AddRelease(DWORD version, const std::vector<std::string>& regions = {});
    ReleaseSpec* FindRelease(DWORD version);
    const ReleaseSpec* FindRelease(DWORD version) const;
};

struct ContentDescription {
    std::string downloadPath = "/quor";  // the tree lies below serverRoot + downloadPath
    std::vector<ProductSpec> projects;
    std::vector<ProductSpec> solutions;

    ProductSpec& AddProject(const std::string& name);
    ProductSpec& AddSolution(const std::string& name);
};

// Reads the text form (see quor-content's usage) from `path`; files named with "@" are read
// relative to the description's folder. False with `error` ("<path>:<line>: why") on the first
// bad line.
bool ReadContentDescription(const std::string& path, ContentDescription& description, std::string& error);

}  // namespace Quor::Tools::ContentTree
