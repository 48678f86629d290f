#pragma once
// A gmock IRemoteFileServer for tests that check which server operations are asked, with which
// arguments, and what happens with their answers. Test code only.
#include <gmock/gmock.h>

#include "remote/IRemoteFileServer.h"

namespace InstallTesting {

class MockRemoteFileServer : public Quor::User::IRemoteFileServer {
public:
    virtual ~MockRemoteFileServer() = default;
    MOCK_METHOD(HRESULT, GetFile,
                (const std::string&, const std::string&, Quor::Common::IGetFileProgressCallback* const, const bool),
                (override));
    MOCK_METHOD(HRESULT, GetFileSize, (const std::string&, DWORD&), (override));
    MOCK_METHOD(const std::string&, GetDownloadPath, (), (override));
    MOCK_METHOD(HRESULT, EnumerateAvailableSolutionReleases, (const std::string&, std::vector<DWORD>&, const unsigned int),
                (override));
    MOCK_METHOD(HRESULT, EnumerateAvailableSolutionReleasesForRegion,
                (const std::string&, const std::string&, std::vector<DWORD>&, const unsigned int), (override));
    MOCK_METHOD(HRESULT, EnumerateAvailableProjectReleases, (const std::string&, std::vector<DWORD>&, const unsigned int),
                (override));
    MOCK_METHOD(HRESULT, EnumerateAvailableProjectReleasesForRegion,
                (const std::string&, const std::string&, std::vector<DWORD>&, const unsigned int), (override));
    MOCK_METHOD(HRESULT, EnumerateAvailablePatches, (const std::string&, const DWORD, std::vector<DWORD>&, const DWORD),
                (override));
};

}  // namespace InstallTesting
