#pragma once
// Copies an application bundle (a folder tree) to a new place as one step: the tree is copied to
// a temporary folder beside the destination and then renamed onto it, so a failed copy leaves
// nothing behind and an existing destination is never replaced. Folders are made 0755, regular
// files keep their modes and times, symbolic links are copied as links; other kinds fail.
// Returns false with nothing left at the destination on any failure. Thread-safe.
#include <string>

namespace Installer {

bool CopyBundle(const std::string& source, const std::string& destination);

}  // namespace Installer
