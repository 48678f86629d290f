#pragma once
// The end of a step that added plain files to archive pairs: writes out every open archive
// (ManagedFileHelper::Flush) and then deletes the plain files whose contents now live there.
//
// Runs on the job thread. S_OK; the flush's failure (nothing deleted: the plain files stay for the
// next run to archive); or the first failing deletion (logged with its path, the rest kept).
#include <string>
#include <vector>

#include "common/LocalFileSystem.h"
#include "foundation/Types.h"

namespace Quor::User::UpdateAndInstallShared {

HRESULT FlushArchivesAndDeleteSources(const std::vector<std::string>& archivedSources,
                                      Common::LocalFileSystem& fileSystem);

}  // namespace Quor::User::UpdateAndInstallShared
