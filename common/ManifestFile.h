#pragma once
// The open and close steps shared by the loaders and savers of the manifest files.
//
// OpenManifestFile opens a file with a C mode ("rt", "wt", ...); a file opened for reading must be
// a regular file of at most `maxSize` bytes (RegularFile.h); on failure it logs the system's
// error and then its own ERROR line under the caller's tag, and returns a failure (never a
// success). CloseManifestFile closes the file and returns the operation's result, or the close's
// failure (logged under the tag) when the operation had succeeded: a writer's lost final flush
// fails the save. Stateless; reentrant.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/UniqueFile.h"
#include "foundation/Types.h"

namespace Quor::Common {

// The most bytes each kind of manifest may have, fetched or read (docs/LIMITS.md). A release of
// 200,000 files makes a release manifest of about 10 MB and patch and package manifests of about
// 12 MB each; what the limits admit (with the entry limits of the loaders) loads and installs within
// the kernel's memory budget.
constexpr uint64_t kMaxReleaseManifestBytes = uint64_t{24} << 20;
constexpr uint64_t kMaxPatchManifestBytes = uint64_t{32} << 20;
constexpr uint64_t kMaxPackageManifestBytes = uint64_t{32} << 20;
constexpr uint64_t kMaxSolutionManifestBytes = uint64_t{4} << 20;
constexpr uint64_t kMaxConfigurationManifestBytes = uint64_t{1} << 20;
// The most entries a release, patch or package manifest may hold; a release manifest also holds at
// most that many directories.
constexpr size_t kMaxManifestEntries = 300000;
// The most bytes of entry names and directory paths a release manifest's folder tree may spell out
// (its names are stored once per folder, but each entry holds its whole path).
constexpr uint64_t kMaxReleaseManifestNameBytes = uint64_t{16} << 20;

// maxSize: the most bytes a file opened for reading may have. failure: the ERROR line's format,
// with one "%s" for the path.
HRESULT OpenManifestFile(const char* tag, const std::string& path, const char* mode, uint64_t maxSize,
                         UniqueFile& file, const char* failure = "Failed to open \"%s\".");
HRESULT CloseManifestFile(const char* tag, UniqueFile& file, HRESULT hr);

}  // namespace Quor::Common
