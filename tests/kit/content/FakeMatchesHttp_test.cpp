// A tree made by quor-content reads the same through the fake server and through
// RemoteFileServerHTTP on nginx: every file (bytes, size, listener bytes), a missing file, the
// release enumerations for each region and the patch enumeration.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/ConvertVersion.h"
#include "common/testing/LogCapture.h"
#include "remote/RemoteFileServerHTTP.h"
#include "remote/ServerSettings.h"
#include "remote/testing/DownloadProgressDouble.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/RunCommand.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/FakeRemoteFileServer.h"

namespace {

using Quor::Common::ConvertVersion;

const char* const kDescription =
    "project alpha\n"
    "  listing US\n"
    "  versionlisting 1.0.7 1.0.0.1 1.0.0.2\n"
    "  release 1.0.0.1 EU US\n"
    "    file bin/run me.sh - 0 text:#!/bin/sh\\necho\\s1\\n\n"
    "    file data/z.txt - 0x04 random:70000\n"
    "    file data/l.bin - 0x20 random:5000\n"
    "    file c/packed.bin - 0x14 zeros:9000\n"
    "    file m/shared.dat - 0x01 text:shared\n"
    "    file a/t1.bin - 0x06 random:3000\n"
    "    packages 50000\n"
    "  release 1.0.0.2 EU\n"
    "    file bin/run me.sh - 0 text:#!/bin/sh\\necho\\s2\\n\n"
    "    file data/z.txt 1.0.0.1 0x04 same\n"
    "    file a/t1.bin - 0x06 random:3000:9\n"
    "    file new/n.txt - 0 text:new\n"
    "    patch 1.0.0.1 zlib packages 1000\n"
    "  release 1.0.0.3 unlisted EU\n"
    "    file bin/run me.sh 1.0.0.2 0 same\n"
    "solution suite\n"
    "  release 2.0.0.1 EU\n"
    "    member alpha 1.0.0.2 5\n"
    "    configuration en_US alpha\n";

DWORD V(const char* text) {
    DWORD version = 0;
    EXPECT_EQ(S_OK, ConvertVersion::ToNumber(text, version));
    return version;
}

TEST(FakeMatchesHttp, ATreeFromTheCommandReadsTheSameThroughBothServers) {
    QuorTest::LogCapture quiet(Quor::Log::USER);  // the missing file and listings fail on purpose
    QuorTest::QuorTree tree;
    QuorTest::TempDir content{"quorcontent"};
    QuorTest::WriteFile(tree.temp() + "/content.txt", kDescription);
    ASSERT_EQ(0, QuorTest::RunCommand(QuorTest::ShellQuote(QUOR_CONTENT_TOOL) + " build " +
                                      QuorTest::ShellQuote(tree.temp() + "/content.txt") + " " +
                                      QuorTest::ShellQuote(content.path()) + " --jdiff " +
                                      QuorTest::ShellQuote(QuorTest::JDiffPath())));

    QuorTest::NginxServer nginx(content.path());
    ASSERT_TRUE(nginx.started());
    tree.WriteSystemConfig(nginx.baseUrl(), "/quor", "EU");
    HRESULT created = E_FAIL;
    Quor::User::RemoteFileServerHTTP http(created, Quor::Common::GetDownloadURL());
    ASSERT_EQ(S_OK, created);
    QuorTest::FakeRemoteFileServer fake(content.path(), "/quor");
    ASSERT_EQ(http.GetDownloadPath(), fake.GetDownloadPath());

    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(content.path()))
        if (entry.is_regular_file())
            paths.push_back(std::filesystem::relative(entry.path(), content.path()).generic_string());
    ASSERT_GT(paths.size(), 25u);
    paths.push_back("quor/projects/alpha/releases/1.0.0.1/files/missing.txt");

    Quor::User::IRemoteFileServer* servers[] = {&http, &fake};
    for (const std::string& relative : paths) {
        const std::string remote = "/" + relative;
        std::string bytes[2];
        DWORD sizes[2] = {1, 1};
        HRESULT sizeResults[2], getResults[2];
        unsigned long long reported[2];
        for (int i = 0; i < 2; ++i) {
            const std::string local = tree.temp() + "/got" + std::to_string(i);
            QuorTest::DownloadProgressDouble progress;
            sizeResults[i] = servers[i]->GetFileSize(remote, sizes[i]);
            getResults[i] = servers[i]->GetFile(remote, local, &progress, false);
            bytes[i] = QuorTest::ReadFile(local);
            reported[i] = progress.bytes.load();
        }
        SCOPED_TRACE(remote);
        EXPECT_EQ(sizeResults[0], sizeResults[1]);
        EXPECT_EQ(sizes[0], sizes[1]);
        EXPECT_EQ(SUCCEEDED(getResults[0]), SUCCEEDED(getResults[1]));
        EXPECT_TRUE(bytes[0] == bytes[1]);
        if (SUCCEEDED(getResults[0])) {
            EXPECT_EQ(reported[0], reported[1]);  // nginx's 404 page is no content
        }
    }

    for (const char* region : {"EU", "US", "XX"}) {
        for (bool solution : {false, true}) {
            std::vector<DWORD> releases[2];
            HRESULT results[2];
            for (int i = 0; i < 2; ++i)
                results[i] = solution
                                 ? servers[i]->EnumerateAvailableSolutionReleasesForRegion("suite", region, releases[i], 0)
                                 : servers[i]->EnumerateAvailableProjectReleasesForRegion("alpha", region, releases[i], 0);
            SCOPED_TRACE(std::string(region) + (solution ? " solution" : " project"));
            EXPECT_EQ(results[0], results[1]);
            EXPECT_EQ(releases[0], releases[1]);
        }
    }
    std::vector<DWORD> eu[2], patches[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(S_OK, servers[i]->EnumerateAvailableProjectReleases("alpha", eu[i], 1));
        ASSERT_EQ(S_OK, servers[i]->EnumerateAvailablePatches("alpha", V("1.0.0.2"), patches[i], V("1.0.0.1")));
    }
    EXPECT_EQ((std::vector<DWORD>{V("1.0.0.2")}), eu[0]);
    EXPECT_EQ(eu[0], eu[1]);
    EXPECT_EQ((std::vector<DWORD>{V("1.0.0.1")}), patches[0]);
    EXPECT_EQ(patches[0], patches[1]);
}

}  // namespace
