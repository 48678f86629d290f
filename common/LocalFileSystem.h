#pragma once
// Logged file operations on the local disk, each returning an HRESULT.
//
// Every operation is static (the object has no state; callers pass an instance to enumeration
// functions of other layers). Operations log their call with their signature as tag; a failing
// one logs the system's error text and returns the last-error result: E_FAIL (0x80004005) - also
// when the failure left errno at 0, so a failure is never reported as success.
// Temporary files are created with O_EXCL in {root}/temp (or a given folder), named "TMP"
// followed by six characters, one creation at a time (a process-wide lock).
// Paths of the install tree ({root}/projects, solutions, temp; TreePath.h) are reached without
// following any symbolic link: every component is opened below its parent's descriptor, a link
// found where a folder or a file is expected is removed as damage (WARNING) and never followed;
// creating operations then make a real folder or file there (files with O_EXCL), the others act
// as on a missing name. Listings there report a link as a file. Other paths keep the runtime's
// plain calls.
// Thread-safe; the working folder (SetCurrentDirectory) is process-wide and so is {root}.
#include <string>
#include <vector>

#include "foundation/FileSystem/File.h"
#include "foundation/FileSystem/FileSystem.h"
#include "foundation/Types.h"

namespace Quor::Common {

class LocalFileSystem {
public:
    static const char* const DefaultTempFilePrefix;  // "TMP"

    LocalFileSystem() = default;

    // The entries of one folder matching pattern (null: "*", every name), appended to out through
    // Vorn::FileSystem::FindFiles; E_FAIL when the folder cannot be opened.
    static HRESULT FindFiles(std::vector<Vorn::FileSystem::FindFileResult>& out, const char* pattern);
    // Names of the entries matching pattern (null: "*") from Vorn::File::CreateFileIterator:
    // folders when `directories` is set, other entries (folders too) when `others` is set; "."
    // and ".." when the iterator yields them. Always S_OK.
    static HRESULT FindFiles(std::vector<std::string>& out, const char* pattern, bool directories,
                             bool others);

    static HRESULT SetCurrentDirectory(const std::string& path);
    static HRESULT GetCurrentDirectory(std::string& out);     // out empty when it cannot be read; S_OK
    static HRESULT CreateDirectory(const std::string& path);  // with every missing parent
    static HRESULT RemoveDirectory(const std::string& path);  // an empty folder
    static HRESULT CreateTempFile(std::string& out);          // in {root}/temp
    // An empty file in folder (null: {root}/temp, created when missing); out = its path, or empty
    // on failure.
    static HRESULT CreateTempFileInDirectory(std::string& out, const char* folder);
    static HRESULT DeleteFile(const std::string& path);
    static bool DoesFileOrDirectoryExist(const std::string& path);  // a folder or a regular file
    static HRESULT CopyFile(const std::string& from, const std::string& to, bool failIfExists);
    static HRESULT MoveFile(const std::string& from, const std::string& to, DWORD flags);
    // out = Vorn::FileSystem::File::Create(path, access, share, open, flags); the template file is
    // not used. S_OK when out holds a file.
    static HRESULT CreateFile(Vorn::FileSystem::FilePtr_t& out, const char* path, DWORD access, DWORD share,
                              DWORD open, DWORD flags, void* templateFile);
    // Adds read and write permission for the file's owner (mode | 0600), never for others: an
    // installed file stays writable by its owner alone. E_FAIL when the file is missing.
    static HRESULT RemoveReadOnly(const std::string& path);
};

}  // namespace Quor::Common
