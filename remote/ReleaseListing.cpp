#include "remote/ReleaseListing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>

#include "common/ConvertVersion.h"
#include "common/CRT.h"
#include "common/LastError.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/TextFileHelper.h"
#include "common/UniqueFile.h"
#include "foundation/CStd/CStd.h"
#include "remote/AutoTemporaryFile.h"
#include "remote/ServerSettings.h"

namespace Quor::Common::ReleaseListing {

namespace {

enum ListingType { PROJECT = 0, SOLUTION = 1 };

const char* const TAG_RETRIEVE =
    "HRESULT Quor::Common::ReleaseListing::RetrieveReleaseListing(Quor::Common::ReleaseListing::ListingType, "
    "const std::string &, const std::string &, Quor::Common::HTTPConnection &, Quor::Common::LocalFileSystem &, "
    "std::vector<DWORD> &)";
const char* const TAG_RETRIEVE_PROJECT =
    "HRESULT Quor::Common::ReleaseListing::RetrieveProjectReleaseListing(const std::string &, const std::string &, "
    "Quor::Common::HTTPConnection &, Quor::Common::LocalFileSystem &, std::vector<DWORD> &)";
const char* const TAG_RETRIEVE_SOLUTION =
    "HRESULT Quor::Common::ReleaseListing::RetrieveSolutionReleaseListing(const std::string &, const std::string &, "
    "Quor::Common::HTTPConnection &, Quor::Common::LocalFileSystem &, std::vector<DWORD> &)";
const char* const TAG_UPDATE =
    "HRESULT Quor::Common::ReleaseListing::UpdateReleaseListing(Quor::Common::ReleaseListing::ListingType, "
    "const std::string &, const std::string &, const std::vector<DWORD> &, Quor::Common::FTPConnection &, "
    "Quor::Common::LocalFileSystem &)";
const char* const TAG_UPDATE_PROJECT =
    "HRESULT Quor::Common::ReleaseListing::UpdateProjectReleaseListing(const std::string &, const std::string &, "
    "const std::vector<DWORD> &, Quor::Common::FTPConnection &, Quor::Common::LocalFileSystem &)";
const char* const TAG_UPDATE_SOLUTION =
    "HRESULT Quor::Common::ReleaseListing::UpdateSolutionReleaseListing(const std::string &, const std::string &, "
    "const std::vector<DWORD> &, Quor::Common::FTPConnection &, Quor::Common::LocalFileSystem &)";

// Listing lines longer than this come back in pieces (and then fail as versions).
constexpr SIZE_T kLineBuffer = 1024;

HRESULT RetrieveReleaseListing(ListingType type, const std::string& name, const std::string& region,
                               HTTPConnection& connection, LocalFileSystem& fileSystem, std::vector<DWORD>& versions) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_RETRIEVE, "(\"%s\")", name.c_str());
    if (name.empty()) {
        QUOR_LOG_TAG(Log::ERROR, TAG_RETRIEVE, "Empty project name, aborting.");
        return E_FAIL;
    }
    if (!LocalDirectoryStructure::IsValidName(name) || (!region.empty() && !LocalDirectoryStructure::IsValidName(region))) {
        QUOR_LOG_TAG(Log::ERROR, TAG_RETRIEVE, "Invalid name \"%s\" or region \"%s\", aborting.", name.c_str(),
                     region.c_str());
        return E_FAIL;
    }

    HRESULT created = S_OK;
    AutoTemporaryFile temporary(fileSystem, created);  // a failed creation fails the download below

    std::string path = GetDownloadPath() + (type == SOLUTION ? "/solutions/" : "/projects/") + name + "/releases/";
    path += region.empty() ? std::string("releaselisting") : "releaselisting_" + region;

    TransferBound bound(kMaxListingBytes);
    HRESULT result = connection.GetFile(path, temporary.GetPath(), &bound, false, true, false, nullptr);
    if (FAILED(result)) {
        QUOR_LOG_TAG(Log::ERROR, TAG_RETRIEVE, "Failed to download listing file from \"%s\" to temp file \"%s\"",
                     path.c_str(), temporary.GetPath().c_str());
        return result;
    }

    errno = 0;
    UniqueFile stream(CRT::fopen(temporary.GetPath().c_str(), "rt"));
    if (!stream) {
        result = LastErrorFailure(TAG_RETRIEVE);
        QUOR_LOG_TAG(Log::ERROR, TAG_RETRIEVE, "Failed to open \"%s\".", temporary.GetPath().c_str());
        return result;
    }

    const size_t before = versions.size();
    for (;;) {
        std::string line;
        // Trailing carriage returns and line feeds are removed here, so CR LF lines read like LF ones.
        result = TextFileHelper::ReadString(stream.get(), line, kLineBuffer);
        if (result == TextFileHelper::E_END_OF_FILE) break;
        if (FAILED(result)) return result;
        if (line.empty()) continue;
        DWORD version = 0;
        result = ConvertVersion::ToNumber(line, version);
        if (FAILED(result)) {
            QUOR_LOG_TAG(Log::ERROR, TAG_RETRIEVE,
                         "Failed to create version number from release listing entry \"%s\"", line.c_str());
            return result;
        }
        versions.push_back(version);
    }
    if (versions.size() == before) {
        QUOR_LOG_TAG(Log::ERROR, TAG_RETRIEVE, "Release listing \"%s\" holds no release version", path.c_str());
        return E_FAIL;
    }
    return S_OK;
}

HRESULT UpdateReleaseListing(ListingType type, const std::string& name, const std::string& region,
                             const std::vector<DWORD>& versions, FTPConnection& ftp, LocalFileSystem& fileSystem) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_UPDATE, "(%i, %s, %s)", static_cast<int>(type), name.c_str(), region.c_str());
    if (name.empty()) {
        QUOR_LOG_TAG(Log::ERROR, TAG_UPDATE, "Empty project name not allowed when creating release listing");
        return E_FAIL;
    }
    std::vector<DWORD> sorted(versions);
    std::sort(sorted.begin(), sorted.end(), std::greater<DWORD>());

    HRESULT result = S_OK;
    AutoTemporaryFile temporary(fileSystem, result);
    if (FAILED(result)) return result;

    errno = 0;
    FILE* stream = CRT::fopen(temporary.GetPath().c_str(), "wt");
    if (!stream) {
        result = LastErrorFailure(TAG_UPDATE);
    } else {
        for (DWORD version : sorted) {
            if (std::fprintf(stream, "%s\n", ConvertVersion::ToString(version).c_str()) < 0) {
                result = LastErrorFailure(TAG_UPDATE);
                QUOR_LOG_TAG(Log::ERROR, TAG_UPDATE, "Error writing to temporary release listing file \"%s\"",
                             temporary.GetPath().c_str());
                break;
            }
        }
        if (std::fclose(stream) != 0) {
            const int error = errno;
            QUOR_LOG_TAG(Log::ERROR, TAG_UPDATE,
                         "Error %i closing temporary release listing file %s. Attempting to continue anyway.", error,
                         temporary.GetPath().c_str());
        }
    }
    if (FAILED(result)) {
        QUOR_LOG_TAG(Log::ERROR, TAG_UPDATE, "Aborting release listing update due to previous error. File not uploaded");
        return result;
    }

    std::string remote = GetFTPServerRootFolder() + (type == SOLUTION ? "/solutions/" : "/projects/") + name +
                         "/releases/releaselisting";
    if (!region.empty()) remote += "_" + region;
    result = ftp.PutFile(temporary.GetPath(), remote, 0);
    if (FAILED(result))
        QUOR_LOG_TAG(Log::ERROR, TAG_UPDATE, "Failed to copy release listing file to ftp server at path \"%s\".",
                     remote.c_str());
    else
        QUOR_LOG_TAG(Log::USER, TAG_UPDATE, "Successfully uploaded release listing for region %s to %s",
                     region.c_str(), remote.c_str());
    return result;
}

}  // namespace

HRESULT RetrieveProjectReleaseListing(const std::string& name, const std::string& region, HTTPConnection& connection,
                                      LocalFileSystem& fileSystem, std::vector<DWORD>& versions) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_RETRIEVE_PROJECT, "(\"%s\")", name.c_str());
    return RetrieveReleaseListing(PROJECT, name, region, connection, fileSystem, versions);
}

HRESULT RetrieveSolutionReleaseListing(const std::string& name, const std::string& region, HTTPConnection& connection,
                                       LocalFileSystem& fileSystem, std::vector<DWORD>& versions) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_RETRIEVE_SOLUTION, "(\"%s\")", name.c_str());
    return RetrieveReleaseListing(SOLUTION, name, region, connection, fileSystem, versions);
}

HRESULT UpdateProjectReleaseListing(const std::string& name, const std::string& region,
                                    const std::vector<DWORD>& versions, FTPConnection& ftp,
                                    LocalFileSystem& fileSystem) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_UPDATE_PROJECT, "(\"%s\")", name.c_str());
    return UpdateReleaseListing(PROJECT, name, region, versions, ftp, fileSystem);
}

HRESULT UpdateSolutionReleaseListing(const std::string& name, const std::string& region,
                                     const std::vector<DWORD>& versions, FTPConnection& ftp,
                                     LocalFileSystem& fileSystem) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_UPDATE_SOLUTION, "(\"%s\")", name.c_str());
    return UpdateReleaseListing(SOLUTION, name, region, versions, ftp, fileSystem);
}

}  // namespace Quor::Common::ReleaseListing
