#pragma once
// Opening places of the install tree without ever following a symbolic link.
//
// The install tree is what lies in {root}/projects, {root}/solutions and {root}/temp (and those
// three folders themselves), for a {root} named "QUOR" (LocalRootFolder). A path of the tree is
// walked from {root}'s folder one component at a time with O_NOFOLLOW (openat below the folder
// descriptor of each parent), so no component is ever resolved through a link. A symbolic link
// found where a folder or a file of the tree is expected is damage: it is removed (one WARNING
// line naming the place), never followed; when the caller creates, a real folder (0755) or file
// takes its place. A name that is neither a folder nor a link where a folder is expected fails
// with ENOTDIR and stays as it is. "." and ".." components are refused (EINVAL).
// Paths outside the tree are not handled here (callers keep their plain calls for them).
// Failures: an invalid descriptor (or false) with errno set. Stateless and thread-safe; the
// root follows the process's working folder.
#include <sys/stat.h>

#include <string>

#include "foundation/UniqueFd.h"

namespace Quor::Common::TreePath {

// True when path is (or lies below) {root}/projects, {root}/solutions or {root}/temp. Both
// slashes count as separators.
bool Contains(const std::string& path);

// The folder that holds the last component of a path of the tree, opened by the walk; leaf
// receives that component. With create, missing folders on the way (and folders whose place a
// link held) are made.
Vorn::UniqueFd OpenParent(const std::string& path, bool create, std::string& leaf);
// The same for any path: by the walk for a path of the tree, opened as the system opens it for
// any other (leaf: the last component, trailing slashes dropped; a bare name's folder is ".").
Vorn::UniqueFd OpenHoldingFolder(const std::string& path, std::string& leaf);
// The folder a path of the tree names, opened by the walk (the path's last component included).
Vorn::UniqueFd OpenFolder(const std::string& path, bool create);

// lstat of leaf in folder. A link there is removed as damage (path names it in the log) and
// reported as missing (false, ENOENT).
bool StatLeaf(int folder, const std::string& leaf, const std::string& path, struct stat& status);

// Opens a regular file of the tree. flags as for open(): the access mode, O_CREAT, O_EXCL,
// O_TRUNC, O_APPEND. The file is never reached through a link: a link at its place is removed
// as damage and, with O_CREAT, a new file is made there with O_EXCL (mode under the umask).
// Anything but a regular file is refused (EINVAL) without blocking on it.
Vorn::UniqueFd OpenFile(const std::string& path, int flags, mode_t mode = 0666);

// Removes the link at leaf of folder as damage (logged with path); true when it is gone.
bool RemoveLink(int folder, const std::string& leaf, const std::string& path);

}  // namespace Quor::Common::TreePath
