// What failed and finished operations leave behind: after each, every file and folder under
// projects/ belongs to an installed release (its folder, its managed files, its archive pairs
// whole), never a folder, data file or pair half that no release lists.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "archive/ArchiveFile.h"
#include "archive/ManagedFileHelper.h"
#include "common/testing/LogCapture.h"
#include "common/ReleaseManifest.h"
#include "common/ReleaseVersion.h"
#include "install/InstallProjectRelease.h"
#include "install/InstalledState.h"
#include "install/Uninstall.h"
#include "tests/kit/InstallTreeTest.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tools/contenttree/ContentTreeBuilder.h"
#include "update/RepairDiscover.h"
#include "update/RepairExecute.h"

namespace Quor::User {
namespace {

using InstallTesting::V;
constexpr DWORD kV1 = V(1, 0, 0, 1);
constexpr DWORD kV2 = V(1, 0, 0, 2);

class LeftoversTest : public InstallTesting::InstallTreeTest {
protected:
    void SetUp() override {
        RegisterInstalledStateServices();
        auto& alpha = description.AddProject("alpha");
        auto& first = alpha.AddRelease(kV1, {"xx"});
        first.AddFile("bin/run.sh", 0, "run 1");
        first.AddFile("m/shared.dat", 0x01, "managed");
        first.AddFile("a/t1.bin", 0x06, std::string(3000, 't'));
        first.AddFile("a/t2.bin", 0x02, "t2 of 1");
        auto& second = alpha.AddRelease(kV2, {"xx"});
        second.AddFile("bin/run.sh", 0, "run 2");
        second.AddFile("a/t3.bin", 0x02, "t3 of 2");
    }
    HRESULT Install(DWORD version) {
        const std::string project = "alpha";
        const InstallProjectRelease::InputParameters input{project, version, fileSystem, server, progress};
        InstallProjectRelease::Discover discover(input);
        InstallProjectRelease::Execute execute(discover);
        ManagedFileHelper::Release();
        return execute.m_hr;
    }
    HRESULT Repair() {
        const Repair::InputParameters input{0, fileSystem, server, progress};
        Repair::Discover discover(input);
        const Repair::Execute execute(discover);
        ManagedFileHelper::Release();
        return execute.m_hr;
    }
    // Every entry under projects/ that no installed release accounts for: release folders without
    // a manifest that loads, archive data files without their index, indexes without their data,
    // and pairs that store nothing.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> found;
        const std::filesystem::path projects = root + "/projects";
        std::error_code none;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(projects, none)) {
            const std::string relative = std::filesystem::relative(entry.path(), projects).string();
            const std::filesystem::path parent = entry.path().parent_path();
            const std::string name = entry.path().filename().string();
            Common::ReleaseManifest manifest;
            if (parent.filename() == "releases" && entry.is_directory() &&
                FAILED(manifest.Load((entry.path() / "releasemanifest").string(), nullptr)))
                found.push_back(relative + "/");
            if (parent.parent_path().filename() == "filearchives") {
                if (name.ends_with(".zef.dat") && !std::filesystem::exists(parent / name.substr(0, name.size() - 4)))
                    found.push_back(relative);
                if (name.ends_with(".zef") && !std::filesystem::exists(parent / (name + ".dat")))
                    found.push_back(relative);
                // A pair that stores nothing.
                FileSystem::Impl::ArchiveFile pair(name, parent.string(), 10);
                if (name.ends_with(".zef") && pair.Read(nullptr) && pair.GetCount() == 0)
                    found.push_back(relative + " (empty)");
            }
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    Tools::ContentTree::ContentDescription description;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};
};

TEST_F(LeftoversTest, FailedAndFinishedOperationsLeaveNothingNoReleaseLists) {
    const std::string releases = content.path() + "/quor/projects/alpha/releases/";
    struct Case {
        const char* what;
        std::function<void()> run;
    };
    const Case cases[] = {
        {"installs of releases a hostile listing offers but the server does not hold",
         [&] {
             std::string listing;
             for (int v = 14; v >= 2; --v) listing += "1.0.0." + std::to_string(v) + "\n";
             QuorTest::WriteFile(releases + "releaselisting_xx", listing + "1.0.0.1\n");
             QuorTest::WriteFile(releases + "releaselisting", listing + "1.0.0.1\n");
             std::filesystem::remove_all(releases + "1.0.0.2");
             for (int v = 14; v >= 2; --v) EXPECT_TRUE(FAILED(Install(V(1, 0, 0, v)))) << v;
             EXPECT_TRUE(FAILED(Install(Quor::INVALID_RELEASE_VERSION)));
         }},
        {"uninstall of the release whose pair held the only archived files",
         [&] {
             ASSERT_EQ(Install(kV2), S_OK);
             ASSERT_EQ(UninstallProjectRelease("alpha", kV2, fileSystem, progress), S_OK);
             ManagedFileHelper::Release();
         }},
        {"repair of a release holding a deploy file that is not a regular file",
         [&] {
             const std::string runSh = ReleaseFolder("alpha", kV1) + "/deploy/bin/run.sh";
             std::filesystem::remove(runSh);
             ASSERT_EQ(::mkfifo(runSh.c_str(), 0644), 0);
             ASSERT_EQ(Repair(), S_OK);
         }},
        {"repair that removes the only file of a pair",
         [&] {
             ASSERT_EQ(Install(kV2), S_OK);
             {
                 std::shared_ptr<FileSystem::IManager> manager;
                 ASSERT_EQ(ManagedFileHelper::GetFileSystemManager("alpha", kV2, manager), S_OK);
                 std::string archive;
                 uint32_t offset = 0, size = 0;
                 ASSERT_TRUE(manager->Find("a/t3.bin", archive, offset, size));
                 std::fstream data(manager->GetRootDirectory() + "/" + archive,
                                   std::ios::in | std::ios::out | std::ios::binary);
                 data.seekp(offset);
                 data.write("X", 1);
                 ManagedFileHelper::Release();
             }
             ASSERT_EQ(Repair(), S_OK);
         }},
        {"repair of a release holding a listed archived file that is not a regular file",
         [&] {
             const std::string archives = root + "/projects/alpha/filearchives/1.0.0.1";
             for (const auto& entry : std::filesystem::directory_iterator(archives))
                 if (entry.path().extension() == ".zef") {
                     std::filesystem::remove(entry.path().string() + ".dat");
                     std::filesystem::create_directory(entry.path().string() + ".dat");
                 }
             ASSERT_EQ(Repair(), S_OK);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ManagedFileHelper::Release();
        std::filesystem::remove_all(root + "/projects/alpha");
        std::filesystem::remove_all(content.path() + "/quor");
        std::string error;
        ASSERT_TRUE(Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
        ASSERT_EQ(Install(kV1), S_OK);
        ASSERT_TRUE(Leftovers().empty());
        QuorTest::LogCapture quiet(Log::USER);
        c.run();
        EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace Quor::User
