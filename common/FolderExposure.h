#pragma once
// Whether another user of the machine could change what stands at a path: a folder on the way
// from "/" to it (itself included) that is owned by neither root nor this process's user, or that
// its group or everyone may write without the sticky bit. Such a folder lets that user replace
// {root}'s files or plant links in it. Read-only (lstat of each folder; a link on the way counts
// by its target's folder, as the system resolves it); thread-safe.
#include <string>

namespace Quor::Common {

// The first such folder, walking up from path; empty when there is none (or path is relative).
std::string FolderWritableByOthers(const std::string& path);

}  // namespace Quor::Common
