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
// Pure function of its arguments and the server tree; errors fail the current test.
#include <string>

#include "foundation/Types.h"
#include "tests/kit/content/TreeSnapshot.h"
#include "tools/contenttree/ContentDescription.h"

namespace QuorTest {

TreeSnapshot ExpectedProjectInstall(const Quor::Tools::ContentTree::ContentDescription& description,
                                    const std::string& serverRoot, const std::string& project, DWORD version);

}  // namespace QuorTest
