#pragma once
// Readable forms of the content manifests, as quor-manifest prints them. A release manifest is
// printed in the description format (see Description.h) after "#" lines naming the project and
// the release, so that its output can be written back with `quor-manifest write`.
//
// Each function loads the file with the system's own reader (which logs its failures) and returns
// that reader's result; nothing is printed for a file that does not load.
#include <cstdio>
#include <string>

#include "foundation/Types.h"

namespace Quor::Tools {

enum class ManifestKind { Release, Solution, Configuration, Package, Patch };

// The kind a file's first bytes announce: "RLSM", the solution or configuration magic line, or
// "PKG1"; anything else is taken for a patch manifest. False when the file cannot be read.
bool DetectManifestKind(const std::string& path, ManifestKind& kind);

HRESULT PrintReleaseManifest(const std::string& path, FILE* out);
HRESULT PrintSolutionManifest(const std::string& path, FILE* out);
HRESULT PrintConfigurationManifest(const std::string& path, FILE* out);
HRESULT PrintPackageManifest(const std::string& path, FILE* out);
HRESULT PrintPatchManifest(const std::string& path, FILE* out);

}  // namespace Quor::Tools
