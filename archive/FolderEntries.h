#pragma once
// The names of the entries of one folder (without "." and ".."), sorted byte for byte; empty when
// the folder cannot be listed. Reads the disk only; thread-safe.
#include <string>
#include <vector>

namespace Quor::FileSystem::Impl {

std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace Quor::FileSystem::Impl
