#pragma once
// What a finished installation of one project release leaves below {root}, as a TreeSnapshot
// (paths relative to {root}) to compare with TakeSnapshot(root):
//   projects/{p}/releases/{v}/S_OK (any content), .../releasemanifest (the server's file),
//   .../deploy/{name} for entries neither managed nor archived,
//   projects/{p}/managedfiles/{e}/{name} for managed entries (0x01),
//   projects/{p}/filearchives/{e}:{name} for archived entries (0x02), e being the entry version.
// A file kept compressed (0x10) holds the server's compressed form (zlib for 0x04, else LZMA),
// every other file its plain content. Folders left empty are not listed. The server tree must
// have been built from `description` below serverRoot.
//
// ExpectedSolutionInstall: the same for a solution release installed in `configuration` (found
// without regard to case, written as given): every project release the configuration names, and
//   solutions/{s}/releases/{v}/S_OK (any content), .../solutionmanifest (the server's file),
//   .../configurationmanifest (the configuration's name and projects), .../deploy/{name} for
//   every plain file (flags & 3 == 0) of those releases, the project of highest priority winning
//   a name (without regard to case), its installed bytes.
// Pure functions of their arguments and the server tree; errors fail the current test.
#include <string>

#include "foundation/Types.h"
#include "tests/kit/content/TreeSnapshot.h"
#include "tools/contenttree/ContentDescription.h"

namespace QuorTest {

TreeSnapshot ExpectedProjectInstall(const Quor::Tools::ContentTree::ContentDescription& description,
                                    const std::string& serverRoot, const std::string& project, DWORD version);
TreeSnapshot ExpectedSolutionInstall(const Quor::Tools::ContentTree::ContentDescription& description,
                                     const std::string& serverRoot, const std::string& solution, DWORD version,
                                     const std::string& configuration);

}  // namespace QuorTest
