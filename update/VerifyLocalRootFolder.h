#pragma once
// Quor::User::VerifyLocalRootFolder: makes sure that the install tree's root folder and its four
// top folders (projects, solutions, system, temp) exist before anything else uses the tree.
//
// Missing folders are created in that order (root first); whatever already stands at one of the
// five paths, folder or file, counts as present and is left alone. The first folder that cannot
// be created ends the check with its failure (logged at ERROR); the folders after it are not
// looked at. Thread-safe as far as the file system is.
#include <string>

#include "common/LocalFileSystem.h"
#include "foundation/Types.h"

namespace Quor::User {

// root: the root folder without a trailing "/".
HRESULT VerifyLocalRootFolder(const std::string& root, Common::LocalFileSystem& fileSystem);

}  // namespace Quor::User
