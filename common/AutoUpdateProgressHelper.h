#pragma once
// Helpers around AutoUpdateProgress.
//
// SetStringDataToFilenameFromPath sets the progress object's current-item text to the part of path
// after its last "/" (the whole path when it has none). It takes the object's mutex, so it may be
// called while other threads tick; it must not be called from within the object's sink.
#include <string>

#include "common/AutoUpdateProgress.h"

namespace Quor::User::AutoUpdateProgressHelper {

void SetStringDataToFilenameFromPath(AutoUpdateProgress& progress, const std::string& path);

}  // namespace Quor::User::AutoUpdateProgressHelper
