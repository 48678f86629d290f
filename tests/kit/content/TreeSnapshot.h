#pragma once
// TreeSnapshot: what a folder tree holds, for comparing installed trees in tests.
//
// TakeSnapshot maps every regular file below the folder, by its path relative to the folder, to
// the MD5 (32 hexadecimal characters) of its bytes; a folder that holds nothing maps to
// "<empty folder>", a symbolic link to "<link>". The archive pairs of a folder ("*.zef" with
// "*.zef.dat") are read through the archive manager instead: each stored path maps, as
// "<folder>:<stored path>", to the MD5 of its stored bytes, and the pair files themselves are not
// listed; when the folder's pairs cannot be loaded (or the folder's manager is held elsewhere:
// release ManagedFileHelper first) "<folder>:" maps to "<archives not readable>".
// Paths that begin with one of `skip` (relative, e.g. "temp/" or "system/") are left out.
// SnapshotDifference gives one line per difference, empty when both are equal:
//     "- path" (only expected), "+ path" (only actual), "~ path: expected MD5 -> actual MD5";
// an expected value of kAnyContent matches whatever the path holds.
// Plain values and functions; the snapshot reads the tree on the calling thread only.
#include <map>
#include <string>
#include <vector>

namespace QuorTest {

using TreeSnapshot = std::map<std::string, std::string>;
inline const std::string kAnyContent = "<any content>";

TreeSnapshot TakeSnapshot(const std::string& folder, const std::vector<std::string>& skip = {});
std::string SnapshotDifference(const TreeSnapshot& expected, const TreeSnapshot& actual);
// MD5 of bytes, as a snapshot writes it (for building expected snapshots).
std::string Md5Hex(const std::string& bytes);

}  // namespace QuorTest
