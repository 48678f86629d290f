// A release's deploy folder is the working folder of the program the kernel starts: what the
// program and its user keep there ("QUOR_DISABLED", settings, saves) survives the kernel's
// install of the complete release again and its update in place by patches, while
// the file the update's target drops goes; and the client library started in that folder still
// finds "QUOR_DISABLED" afterwards.
#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/api/IMain.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/UserFiles.h"
#include "tests/orvane/OrvaneTest.h"

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;

// Whether a client main object made with `folder` as working folder reads its release's files:
// "QUOR_DISABLED" there turns that off.
bool ClientReadsTheRelease(const std::string& folder) {
    const QuorTest::ScopedCwd cwd(folder);
    std::shared_ptr<Quor::API::IMain> main;
    if (FAILED(Quor::API::CreateMain(main)) || !main) return false;
    std::shared_ptr<Quor::API::IFindFileResult> found;
    return SUCCEEDED(main->FindFile("*", 3, found));
}

TEST_F(OrvaneTest, TheUsersFilesInTheWorkingFolderSurviveAReinstallAndAnUpdateByPatches) {
    ContentDescription description;
    auto& first = description.AddProject("game").AddRelease(kFirst, {"xx"});
    first.AddFile("bin/run.sh", 0, "#!/bin/sh\necho one\n" + std::string(4000, '1'));
    first.AddFile("data/gone.txt", 0, "dropped by the second release");
    first.AddFile("a/arch.bin", 0x02, std::string(3000, 'a'));
    auto& second = description.projects.front().AddRelease(kSecond, {"xx"});
    second.AddFile("bin/run.sh", 0, "#!/bin/sh\necho two\n" + std::string(4000, '1'));
    second.AddFile("a/arch.bin", 0x02, std::string(3000, 'a'));
    second.patches.push_back({kFirst, 0, 0});
    Serve(description);
    if (HasFatalFailure()) return;

    std::string errors;
    ASSERT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "InstallProjectRelease", "game", "1.0.0.1"}, {}, &errors))
        << errors;
    const std::string releases = root->root() + "/projects/game/releases/";
    const std::string outsideFile = outside / "outside.txt";
    QuorTest::WriteFile(outsideFile, "not the tree's");
    QuorTest::UserFiles::Plant(releases + "1.0.0.1/deploy", outsideFile);
    const auto expectUsersFiles = [&](const std::string& release) {
        const std::string deploy = releases + release + "/deploy/";
        for (const auto& [name, bytes] : QuorTest::UserFiles::Files()) {
            ASSERT_TRUE(fs::is_regular_file(deploy + name)) << deploy + name << "\n" << Log();
            EXPECT_EQ(QuorTest::ReadFile(deploy + name), bytes) << name;
        }
        EXPECT_TRUE(QuorTest::UserFiles::StillThere(deploy, outsideFile));
        EXPECT_EQ(QuorTest::ReadFile(outsideFile), "not the tree's");
        EXPECT_TRUE(fs::exists(releases + release + "/S_OK"));
    };

    ASSERT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "InstallProjectRelease", "game", "1.0.0.1"}, {}, &errors))
        << errors;
    expectUsersFiles("1.0.0.1");

    ASSERT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "UpdateProject", "game"}, {}, &errors)) << errors;
    expectUsersFiles("1.0.0.2");
    bool patched = false;
    for (const auto& request : nginx->accessLog()) patched |= Has(request.uri, "/patches/1.0.0.1/bin/run.sh");
    EXPECT_TRUE(patched) << "the update fetched no patch";
    EXPECT_FALSE(fs::exists(releases + "1.0.0.2/deploy/data/gone.txt"));
    EXPECT_FALSE(fs::exists(releases + "1.0.0.2/deployfiles.previous"));
    EXPECT_FALSE(fs::exists(releases + "1.0.0.1"));

    // The program started in its working folder still finds the switch there, and reads its
    // release once the switch is gone.
    EXPECT_FALSE(ClientReadsTheRelease(releases + "1.0.0.2/deploy"));
    fs::remove(releases + "1.0.0.2/deploy/QUOR_DISABLED");
    EXPECT_TRUE(ClientReadsTheRelease(releases + "1.0.0.2/deploy"));
}

}  // namespace
}  // namespace OrvaneTest
