#pragma once
// Folder trees on the local disk: recursive delete, recursive copy, and deletion of old files.
//
// All work on the paths they are given and never change the working folder (from which the
// root folder is derived), so they may run while other threads use it. Symbolic links are
// treated as files: deleting removes the link itself and never follows it into another tree; the
// delete works below folder descriptors, and in the install tree (TreePath.h) it does not pass a
// link on the way to the path either. Copies go through LocalFileSystem, which follows no link in
// the install tree.
// DeleteDirectoryTree stops at the first failure and returns it (what was deleted before stays
// deleted); a dangling link is deleted like any other. CopyDirectoryTree goes on past failed
// files and reports the last failure (a failed copy or listing; a target kept by failIfExists is
// not one); DeleteFilesOlderThan goes on past failed files and reports only a failed folder
// listing (the last one). Failures are logged.
#include <string>

#include "common/LocalFileSystem.h"
#include "common/Time.h"
#include "foundation/Types.h"

namespace Quor::Common {

class LocalFileSystemHelper {
public:
    // Deletes path and everything below it. A path that is a symbolic link loses only the link;
    // a path that does not exist fails and deletes nothing.
    static HRESULT DeleteDirectoryTree(const std::string& path, LocalFileSystem& fileSystem);
    // Copies the tree under source into target (created with its missing parents); with
    // failIfExists an existing target file is not overwritten. A failed copy is reported.
    static HRESULT CopyDirectoryTree(const std::string& source, const std::string& target, LocalFileSystem& fileSystem,
                                     const bool failIfExists);
    // Deletes every file below folder (which ends in "/") whose age (FileSysHelper::FileAge) is at
    // least maxAge, and every subfolder left empty by that; folder itself stays.
    static HRESULT DeleteFilesOlderThan(const std::string& folder, LocalFileSystem& fileSystem, Time::TIME maxAge);

private:
    static HRESULT RecursiveCopyDirectoryTree_INTERNAL(const std::string& sourceFolder, const std::string& targetFolder,
                                                       LocalFileSystem& fileSystem, bool failIfExists);
    static HRESULT RecursiveDeleteFilesOlderThan_INTERNAL(const std::string& folder, LocalFileSystem& fileSystem,
                                                          Time::TIME maxAge, bool removeWhenEmptied, bool& removed);
};

}  // namespace Quor::Common
