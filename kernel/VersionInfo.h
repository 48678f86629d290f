#pragma once
// The kernel's version-info list ("filelist.versioninfo"): every file of {root}/system with a
// version number, one "path,version" line each, and the operations that bring {root}/system in
// line with a newer list staged in {root}/system/temp.
//
// Reading keeps only entries that are safe to use as paths below {root}/system: a relative
// "/"-separated path without empty, "." or ".." segments, backslashes or NUL bytes, not the list
// itself and not inside the staging folder "temp"; other entries are logged and dropped, as are
// entries of other platforms (".exe" files and "quor_orvane.exe.version"). So nothing read from a
// list is ever written or removed outside {root}/system.
//
// Every file that changes in {root}/system is written beside its place and renamed over it, and a
// list is written the same way, so a process killed at any moment leaves each file either old or
// new, never half written; the system list is rewritten last, so an interrupted update is redone
// by the next start. Functions log their failures and report them by their result; they are
// called on the main thread before the request server runs (no lock).
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace Quor::User {
class IRemoteFileServer;
}

namespace Quor::Orvane {

struct VersionInformation {
    std::string path;  // relative to {root}/system, "/" separated
    DWORD version = 0;
};

using VersionList = std::vector<VersionInformation>;

constexpr const char* kVersionInfoFileName = "filelist.versioninfo";

// {root}/system/ and {root}/system/temp/ (with their trailing "/").
std::string SystemFolder();
std::string SystemTempFolder();

// The entry of list with that path (compared byte for byte), or null.
const VersionInformation* FindEntry(const VersionList& list, const std::string& path);
// True when list holds entry's path with entry's version.
bool HoldsEntry(const VersionList& list, const VersionInformation& entry);

// False (and an empty list) when the file cannot be opened.
bool GetVersionInfo(const std::string& path, VersionList& list);
// Up to five attempts, a second apart; false when the last one failed.
bool WriteVersionInfo(const std::string& path, const VersionList& list);

// Copies each file of fresh that changed against current from {root}/system/temp over
// {root}/system; result: the entries now in place (copied ones with their new version, others
// with their current one). False when a copy failed (the others are still made).
bool MoveUpdatedFiles(const VersionList& current, const VersionList& fresh, VersionList& result);
// Removes from {root}/system every file of current that fresh no longer lists.
void DeleteOldFiles(const VersionList& current, const VersionList& fresh);
// Fetches the server's list into {root}/system/temp/filelist.versioninfo.
HRESULT DownloadVersionInfoFile(User::IRemoteFileServer& server);

// Replaces target by a copy of source written beside it and renamed into place (parent folders
// made); the copy keeps the source's mode. False with nothing changed at target on failure.
bool ReplaceFileWithCopy(const std::string& source, const std::string& target);

}  // namespace Quor::Orvane
