#pragma once
// TidyArchiveFolders: at a kernel start, before any job runs, every archive folder of every
// installed project ({root}/projects/{p}/filearchives/{v}) is brought to the state its last
// committed change describes: a rewrite committed but not put in place is finished, the
// temporary pairs of rewrites that never committed are removed (the archive layer's tidying at
// load, done under the folder's writer lock when no other writer holds it), and plain copies of
// stored files that an archive step left beside its archive after the flush are deleted. A plain
// file that the archive does not store stays: an interrupted install takes it into the archive.
//
// Runs on the calling thread through ManagedFileHelper (its cached managers are released on
// return); follows no link; every failure is logged and passed over (a start never fails here).
#include "common/LocalFileSystem.h"

namespace Quor::User {

void TidyArchiveFolders(Common::LocalFileSystem& fileSystem);

}  // namespace Quor::User
