#pragma once
// Writes a ContentDescription as the tree a content server serves, with the system's own writers,
// below serverRoot + downloadPath:
//   projects/{p}/releases/releaselisting          listed releases, newest first
//   projects/{p}/releases/releaselisting_{R}      releases offered in region R, newest first
//   projects/{p}/releases/projectversionlisting
//   projects/{p}/releases/{v}/{R}_OK              one marker per region of the release
//   projects/{p}/releases/{v}/releasemanifest
//   projects/{p}/releases/{e}/files/{name}        every entry at its entry version e: the plain
//        form, and name + ".compressed" (zlib, flag 0x04) and name + ".lzma2" (flag 0x20)
//   projects/{p}/releases/{v}/packages/files/     "packagemanifest" and bins "bin0", "bin1"...
//        holding the form a first download pass fetches (compressed when there is one); names
//        are server paths below the download path ("/projects/...")
//   projects/{p}/releases/{v}/patchmanifests/{s}.patchmanifest, and the patches (or whole new
//        files) at the paths GetRemoteFilePath gives; bins under packages/patches/{s}/
//   solutions/{s}/releases/... listings, markers and {v}/solutionmanifest
// A release-manifest entry's compressed size is the size of its zlib form (flag 0x04), else of
// its LZMA form (0x20), else its size. A patch starts from the file as the source release
// installs it: the plain content, or the stored compressed bytes of a deploy file kept compressed
// (0x10). Files that are equal in both releases get the "no differences" flag.
//
// Patches are made by BinaryPatch::Create, which runs "jdiff" from {root}/system of the working
// folder's install tree: a description with patches needs such a tree. Errors: false with a text
// naming what failed and where; the tree is then partly written. One thread; no lock.
#include <string>

#include "tools/contenttree/ContentDescription.h"

namespace Quor::Tools::ContentTree {

bool BuildContentTree(const ContentDescription& description, const std::string& serverRoot, std::string& error);

// The folder of a release on the server: serverRoot + downloadPath + "/projects/" (or
// "/solutions/") + name + "/releases/" + a.b.c.d.
std::string ReleaseFolder(const std::string& serverRoot, const ContentDescription& description,
                          const std::string& name, DWORD version, bool solution = false);

}  // namespace Quor::Tools::ContentTree
