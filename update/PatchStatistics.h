#pragma once
// Telemetry about one install or update of a project: the bytes it downloads, its (up to five)
// largest files, and how long the work took and how fast it went. Records go through the
// process's TelvoLogger ("quor_patch_" + project + "_size", "quor_patch_top_file",
// "quor_patch_" + project + "_patch_time" and "_patch_speed"; "_newuser" appended to all but the
// top-file key after a first install). Nothing here fails or changes the operation's result.
// ReportSize and ReportTopFiles leave the upload to the caller (TelvoLogger::SendDataToServer);
// ReportTimeAndSpeed starts it itself. Runs on the job's thread; the progress is read under its
// own lock.
#include <map>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "foundation/Types.h"
#include "install/WorkLists.h"

namespace Quor::User::PatchStatistics {

// Files by size, ascending; an equal size goes after those already held.
using LargestFiles = std::multimap<DWORD, std::string>;

// Offers one file to a list that holds at most `limit` files: kept while the list is not full,
// otherwise only when larger than the smallest held, which then leaves.
void AddToLargestFiles(DWORD size, const std::string& name, LargestFiles& largest, size_t limit);

void ReportSize(AutoUpdateProgress& progress, const char* projectName, bool newUser);

// ReportSize, then one "quor_patch_top_file" record per largest file (download items count with
// their download size, patch items with their patch size), in ascending order of size.
void ReportTopFiles(const std::vector<FileToDownload>& downloads, const std::vector<FileToPatch>& patches,
                    AutoUpdateProgress& progress, const char* projectName, bool newUser);

// Nothing when no byte was downloaded or no time has passed; otherwise the time and speed
// records, then the upload.
void ReportTimeAndSpeed(AutoUpdateProgress& progress, const char* projectName, bool newUser);

}  // namespace Quor::User::PatchStatistics
