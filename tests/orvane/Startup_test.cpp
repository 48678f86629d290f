// The kernel program's start: the roads of its command line, the refusal of a case-sensitive
// volume, and a content server that cannot be reached.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "archive/ManagedFileHelper.h"
#include "archive/PairCommit.h"
#include "common/ErrorCodes.h"
#include "common/ErrorHelper.h"
#include "foundation/OsContext.h"
#include "kernel/Application.h"
#include "platform/FakeShell.h"
#include "platform/FakeVolumeProperties.h"
#include "platform/VolumeProperties.h"
#include "tests/orvane/OrvaneTest.h"

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;

std::string Text(HRESULT code) {
    std::string text;
    Quor::Common::ErrorHelper::GetWindowsMessage(static_cast<DWORD>(code), text);
    return text;
}

// Every file below folder with its bytes, for comparing a folder before and after.
std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().string()] = QuorTest::ReadFile(entry.path().string());
    return files;
}

// A kernel killed in the middle of an archive commit, after the stage of a rewrite that never
// committed, and between an archive step's flush and the removal of the plain file it took the
// copy from: the next kernel start finishes the commit, removes the stage and the plain copy, and
// keeps a plain file that the archive does not store (an interrupted install archives it later).
TEST_F(OrvaneTest, AStartFinishesWhatAKilledArchiveChangeLeft) {
    Serve();
    PublishSameKernel();
    const std::string archives = root->root() + "/projects/alpha/filearchives/1.0.0.1";
    constexpr DWORD kV1 = 0x01000001;
    {
        QuorTest::ScopedCwd cwd(root->system());
        QuorTest::WriteFile(root->root() + "/temp/one", "first stored file");
        ASSERT_EQ(S_OK, Quor::User::ManagedFileHelper::AddFile("alpha", kV1, "a/one.bin", root->root() + "/temp/one"));
        ASSERT_EQ(S_OK, Quor::User::ManagedFileHelper::Flush(0));
        Quor::User::ManagedFileHelper::Release();
        // The second commit dies once its data file is in place, before its index is.
        QuorTest::WriteFile(root->root() + "/temp/two", "second stored file");
        const pid_t writer = fork();
        if (writer == 0) {
            Quor::FileSystem::Impl::PairCommit::SetStepHookForTesting([](Quor::FileSystem::Impl::PairCommit::Step step) {
                if (step == Quor::FileSystem::Impl::PairCommit::Step::kDataRenamed) _exit(0);
            });
            (void)Quor::User::ManagedFileHelper::AddFile("alpha", kV1, "a/two.bin", root->root() + "/temp/two");
            (void)Quor::User::ManagedFileHelper::Flush(0);
            _exit(1);
        }
        int status = -1;
        ASSERT_EQ(writer, waitpid(writer, &status, 0));
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the commit was not cut off";
    }
    QuorTest::WriteFile(archives + "/TMPa1b2c3", "");
    QuorTest::WriteFile(archives + "/TMPa1b2c3.dat", "a stage that never committed");
    QuorTest::WriteFile(archives + "/a/one.bin", "first stored file");
    QuorTest::WriteFile(archives + "/a/waiting.bin", "not stored yet");
    const auto leftovers = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(archives)) {
            const std::string name = fs::relative(entry.path(), archives).generic_string();
            if (name.starts_with("TMP") || name.ends_with(".commit") || name == "a/one.bin") names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    ASSERT_EQ(5u, leftovers().size()) << "journal, its build's index, the stage pair and the plain copy";

    std::string errors;
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "noop"}, {}, &errors)) << errors;
    EXPECT_EQ(std::vector<std::string>{}, leftovers());
    EXPECT_EQ("not stored yet", QuorTest::ReadFile(archives + "/a/waiting.bin"));
    QuorTest::ScopedCwd cwd(root->system());
    for (const char* name : {"a/one.bin", "a/two.bin"})
        EXPECT_TRUE(Quor::User::ManagedFileHelper::DoesFileOrDirectoryExist("alpha", kV1, name)) << name;
}

TEST_F(OrvaneTest, CommandLineRoads) {
    Serve();
    PublishSameKernel();

    // No arguments: banner, usage, success; the equal lists start no second kernel.
    std::string errors;
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {}, {}, &errors)) << errors;
    std::string log = Log();
    EXPECT_TRUE(Has(log, "(version 1.0.1.3)")) << log;
    EXPECT_TRUE(Has(log, "Commands:")) << log;
    EXPECT_TRUE(Has(log, "Started from system directory. Checking for updates")) << log;
    EXPECT_FALSE(Has(log, "Updates to Orvane found!")) << log;
    EXPECT_TRUE(Has(log, "Returning 0x00000000")) << log;

    // "-noupdate" alone: the files are verified against the server's list, then the usage.
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate"}, {}, &errors)) << errors;
    log = Log();
    EXPECT_FALSE(Has(log, "Checking for updates")) << log;
    EXPECT_TRUE(Has(log, "Copying over new and updated files.")) << log;
    EXPECT_LT(log.find("Updating current Orvane's version information."), log.find("Commands:")) << log;

    // An unknown option: its failure text in the box (on stderr), and 255.
    EXPECT_EQ(255, QuorTest::RunOrvane(*root, {"-noupdate", "noop", "-x"}, {}, &errors));
    EXPECT_TRUE(Has(errors, Text(E_QUOR_FAILED_TO_PARSE_COMMANDLINE))) << errors;
    EXPECT_TRUE(Has(Log(), "ParseCommandLine failed.")) << Log();
}

TEST_F(OrvaneTest, ACaseSensitiveVolumeIsRefusedWithAMessage) {
    Serve();
    Quor::Platform::FakeVolumeProperties caseSensitive(true);
    Vorn::ScopedOsContext os({.volumes = &caseSensitive});
    Quor::Platform::FakeShell shell;
    Quor::Platform::SetShellForTests(&shell);
    {
        QuorTest::ScopedCwd cwd(root->system());
        const char* argv[] = {"Orvane", "updateandrun", "kiv_launcher", "KivLauncher.app"};
        Quor::Orvane::Application application(4, argv);
        EXPECT_EQ(S_OK, application.Run());
    }
    Quor::Platform::SetShellForTests(nullptr);
    const auto calls = shell.Calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("MessageBox:" + Text(E_QUOR_CASE_SENSITIVE_ERROR), calls[0]);
    EXPECT_TRUE(fs::is_empty(root->root() + "/projects"));
    EXPECT_FALSE(fs::exists(record()));
    EXPECT_TRUE(nginx->accessLogLines().empty());  // not even the kernel's list was asked for
}

TEST_F(OrvaneTest, AServerThatCannotBeReachedLeavesTheSystemFolder) {
    ServeNothing();
    const auto before = Contents(root->system());
    std::string errors;
    EXPECT_EQ(255, QuorTest::RunOrvane(*root, {"noop"}, {}, &errors));
    EXPECT_TRUE(Has(errors, Text(E_QUOR_HTTP_CONNECTION_FAILED))) << errors;
    EXPECT_TRUE(Has(Log(), "SelfUpdate failed.")) << Log();
    EXPECT_EQ(before, Contents(root->system()));
}

TEST_F(OrvaneTest, ListEntriesOutsideTheSystemFolderChangeNothing) {
    Serve();
    // The installed list names a file outside; the server's list drops it and adds others.
    QuorTest::WriteFile(root->root() + "/victim", "stays");
    auto installed = root->files();
    installed.push_back({"../victim", 1});
    QuorTest::WriteVersionList(root->system() + "/filelist.versioninfo", installed);
    auto served = root->files();
    for (const char* bad : {"../x", "../../y", "/tmp/abs", "a//b", "sub/./c", "temp/z"}) served.push_back({bad, 2});
    QuorTest::PublishKernelFolder(content.path(), "/quor", root->system(), served);
    for (const char* planted : {"quor/x", "y", "quor/system/a/b", "quor/system/temp/z"})
        QuorTest::WriteFile(content / planted, "planted");

    std::string errors;
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"noop"}, {}, &errors)) << errors;
    EXPECT_EQ("stays", QuorTest::ReadFile(root->root() + "/victim"));
    for (const char* outsideFile : {"x", "y", "QUOR/x"})
        EXPECT_FALSE(fs::exists(root->base() + "/" + outsideFile)) << outsideFile;
    EXPECT_FALSE(fs::exists("/tmp/abs"));
    EXPECT_FALSE(Has(Log(), "Updates to Orvane found!")) << Log();
    EXPECT_TRUE(Has(Log(), "Ignoring the entry \"../x\"")) << Log();
    // The safe part of the server's list is the new truth; the unsafe entries were dropped.
    auto listed = QuorTest::ReadVersionList(root->system() + "/filelist.versioninfo");
    EXPECT_EQ(root->files().size(), listed.size());
    for (const auto& entry : listed) EXPECT_EQ(entry.path.find(".."), std::string::npos) << entry.path;
}

}  // namespace
}  // namespace OrvaneTest
