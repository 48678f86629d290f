#pragma once
// Fixture of the installation end-to-end tests: a fresh install tree, a content tree built from a
// description (project "alpha" with plain, zlib, LZMA, kept-compressed, managed, archived and
// run-me files, offered in region "xx"), nginx serving it, and the expected tree of each install
// taken from the description alone (ExpectedProjectInstall), never from the install code.
// Each test case runs in its own process (the server settings and the working folder are
// process-wide).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/ManagedFileHelper.h"
#include "common/AutoUpdateProgress.h"
#include "common/ConvertVersion.h"
#include "common/LocalFileSystem.h"
#include "common/LocalRootFolder.h"
#include "common/ReleaseVersion.h"
#include "common/testing/LogCapture.h"
#include "install/InstallProjectRelease.h"
#include "install/InstalledState.h"
#include "remote/RemoteFileServerHTTP.h"
#include "remote/ServerSettings.h"
#include "tests/kit/install/RunInstall.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/TreeSnapshot.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace InstallE2E {

using Quor::Tools::ContentTree::ContentDescription;
using Quor::Tools::ContentTree::FileSpec;
using Quor::Tools::ContentTree::ReleaseSpec;

inline constexpr DWORD kV1 = 0x01000001;  // 1.0.0.1
inline constexpr DWORD kV2 = 0x01000002;
inline constexpr DWORD kV3 = 0x01000003;
inline const char* const kDownloadPath = "/quor";

// Bytes that compress a little but not to nothing.
inline std::string Bytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>((state >> 16) % 16 + 'a');
    }
    return bytes;
}

// The entry name of a whole-file URI ("/quor/projects/alpha/releases/1.0.0.1/files/a/t1.bin.compressed").
inline std::string NameOf(const std::string& uri) {
    const size_t files = uri.find("/files/");
    std::string name = uri.substr(files + 7);
    for (const std::string suffix : {".compressed", ".lzma2"})
        if (name.size() > suffix.size() && name.ends_with(suffix)) name.resize(name.size() - suffix.size());
    return name;
}


class InstallFixture : public ::testing::Test {
protected:
    void SetUp() override { Quor::User::RegisterInstalledStateServices(); }

    QuorTest::LogCapture quiet{Quor::Log::USER};  // failed region listings and faults log on purpose

    // The files of the first release: every kind of entry the installer places differently.
    ReleaseSpec& AddFirstRelease() {
        ReleaseSpec& release = description.AddProject("alpha").AddRelease(kV1, {"xx"});
        release.AddFile("bin/run.sh", 0, "#!/bin/sh\necho run\n");
        release.AddFile("data/z.txt", 0x04, Bytes(70000, 1));
        release.AddFile("data/l.bin", 0x20, Bytes(50000, 2));
        release.AddFile("c/packed.bin", 0x14, Bytes(30000, 3));
        release.AddFile("m/shared.dat", 0x01, Bytes(9000, 4));
        release.AddFile("a/t1.bin", 0x06, Bytes(12000, 5));
        release.AddFile("a/t2.bin", 0x02, Bytes(8000, 6));
        release.AddFile("setup/once.sh", 0x08, "#!/bin/sh\necho ran >> '" + RunMeMarker() + "'\n");
        return release;
    }
    // A release that keeps every file of the first at its entry version except run.sh, and adds one.
    ReleaseSpec& AddSharingRelease(DWORD version) {
        std::vector<FileSpec> kept;
        for (const FileSpec& file : description.projects.front().FindRelease(kV1)->files)
            if (file.name != "bin/run.sh" && file.name != "setup/once.sh") kept.push_back(file);
        ReleaseSpec& release = description.projects.front().AddRelease(version, {"xx"});
        release.files = kept;
        release.AddFile("bin/run.sh", 0, "#!/bin/sh\necho run " + Quor::Common::ConvertVersion::ToString(version) + "\n");
        release.AddFile("new/n.txt", 0x04, Bytes(5000, version));
        return release;
    }

    std::string RunMeMarker() const { return outside.path() + "/ran"; }

    void Serve() {
        std::string error;
        ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
        nginx = std::make_unique<QuorTest::NginxServer>(content.path());
        ASSERT_TRUE(nginx->started());
        tree.WriteSystemConfig(nginx->baseUrl(), kDownloadPath, "xx");
        HRESULT created = E_FAIL;
        http = std::make_unique<Quor::User::RemoteFileServerHTTP>(created, Quor::Common::GetDownloadURL());
        ASSERT_EQ(S_OK, created);
    }

    // Discover then Execute, as the kernel's handler runs them; the Execute's result.
    HRESULT Install(Quor::User::IRemoteFileServer& server, DWORD version = Quor::INVALID_RELEASE_VERSION) {
        return RunInstall(project, version, server, progress);
    }
    HRESULT Install(DWORD version = Quor::INVALID_RELEASE_VERSION) { return Install(*http, version); }

    QuorTest::TreeSnapshot Expected(const std::vector<DWORD>& versions) const {
        QuorTest::TreeSnapshot expected;
        for (DWORD version : versions)
            expected.merge(QuorTest::ExpectedProjectInstall(description, content.path(), project, version));
        return expected;
    }
    QuorTest::TreeSnapshot Actual() const {
        Quor::User::ManagedFileHelper::Release();  // the snapshot opens the archive pairs itself
        // Discovery prepares the folder of every entry, archived ones too: an empty folder is no difference.
        QuorTest::TreeSnapshot actual = QuorTest::TakeSnapshot(root, {"temp/", "system/", "solutions/"});
        std::erase_if(actual, [](const auto& item) { return item.second == "<empty folder>"; });
        return actual;
    }
    std::string Difference(const std::vector<DWORD>& versions) const {
        return QuorTest::SnapshotDifference(Expected(versions), Actual());
    }

    // The entries of release 1.0.0.1 that are in place, or (archived ones) wait naked at their path.
    std::set<std::string> PlacedEntries() const {
        // An archive change that a killed run committed but did not finish is completed by the
        // next opener of the archives, as the next run would.
        std::error_code none;
        for (const auto& folder : std::filesystem::directory_iterator(root + "/projects/alpha/filearchives", none)) {
            DWORD version = 0;
            std::shared_ptr<Quor::FileSystem::IManager> manager;
            if (SUCCEEDED(Quor::Common::ConvertVersion::ToNumber(folder.path().filename().string(), version)))
                (void)Quor::User::ManagedFileHelper::GetFileSystemManager("alpha", version, manager);
        }
        const QuorTest::TreeSnapshot expected = Expected({kV1}), actual = Actual();
        std::set<std::string> placed;
        for (const FileSpec& file : description.projects.front().FindRelease(kV1)->files) {
            std::string key;
            if (file.flags & 0x01)
                key = "projects/alpha/managedfiles/1.0.0.1/" + file.name;
            else if (file.flags & 0x02)
                key = "projects/alpha/filearchives/1.0.0.1:" + file.name;
            else
                key = "projects/alpha/releases/1.0.0.1/deploy/" + file.name;
            const auto want = expected.find(key);
            const auto have = actual.find(key);
            if (want != expected.end() && have != actual.end() && want->second == have->second)
                placed.insert(file.name);
            const auto naked = actual.find("projects/alpha/filearchives/1.0.0.1/" + file.name);
            if ((file.flags & 0x02) && naked != actual.end() && naked->second == QuorTest::Md5Hex(file.bytes))
                placed.insert(file.name);
        }
        return placed;
    }
    std::multiset<std::string> NotPlacedEntries() const {
        const std::set<std::string> placed = PlacedEntries();
        std::multiset<std::string> missing;
        for (const FileSpec& file : description.projects.front().FindRelease(kV1)->files)
            if (!placed.count(file.name)) missing.insert(file.name);
        return missing;
    }

    std::string Ok(DWORD version) const {
        return root + "/projects/alpha/releases/" + Quor::Common::ConvertVersion::ToString(version) + "/S_OK";
    }
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(tree.temp()))
            names.push_back(entry.path().filename().string());
        return names;
    }

    // GETs of release files and bins (URIs), in the order nginx logged them.
    std::vector<std::string> FileGets(size_t from = 0) const {
        std::vector<std::string> gets;
        const auto log = nginx->accessLog();
        for (size_t i = from; i < log.size(); ++i)
            if (log[i].method == "GET" && (log[i].uri.find("/files/") != std::string::npos) &&
                log[i].uri.find("packagemanifest") == std::string::npos)
                gets.push_back(log[i].uri);
        return gets;
    }
    QuorTest::QuorTree tree;
    QuorTest::TempDir content{"quorcontent"};
    QuorTest::TempDir outside{"quorrunme"};
    const std::string root = Quor::Common::LocalRootFolder::Get();
    const std::string project = "alpha";
    ContentDescription description;
    std::unique_ptr<QuorTest::NginxServer> nginx;
    std::unique_ptr<Quor::User::RemoteFileServerHTTP> http;
    Quor::Common::LocalFileSystem fileSystem;
    signed char cancel = 0;
    Quor::User::AutoUpdateProgress progress{nullptr, &cancel, 0};
};

}  // namespace InstallE2E
