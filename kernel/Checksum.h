#pragma once
// The "checksum" command: a report "checksums.txt" in the working folder listing every file under
// the root folder with its size and MD5 digest, so that an installation can be compared with a
// known good one.
//
// The walk uses absolute paths and never changes the working folder (other threads run meanwhile);
// it follows no symbolic link into a folder, skips the report itself and lists the entries of each
// folder in name order. A file or folder that cannot be read gets its failure text in the report
// and the walk goes on; only a report that cannot be created is a failure.
#include "foundation/Types.h"

namespace Quor::Orvane::Checksum {

HRESULT ChecksumAllFilesInQuorDirectories();

}  // namespace Quor::Orvane::Checksum
