#include "api/Main.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include "api/FindFileResult.h"
#include "api/IAsyncLoadFile.h"
#include "api/IFile.h"
#include "api/RPC/IManager.h"
#include "api/RPC/Requests.h"
#include "tests/api/GameRelease.h"
#include "archive/testing/ArchiveTesting.h"
#include "common/ClientApiFileIterator.h"
#include "foundation/SharedMutex.h"
#include "tests/kit/LoopbackSocket.h"

namespace Quor::API::Impl {
namespace {

using QuorTest::Flags;
using Items = std::vector<std::pair<int, std::string>>;

TEST(DoesNameMatchPattern, Table) {
    struct Case {
        const char* name;
        const char* prefix;
        const char* middle;
        const char* suffix;
        bool match;
    };
    const Case cases[] = {
        {"x.ini", "", "", ".ini", true},
        {"X.INI", "", "", ".ini", true},
        {"x.txt", "", "", ".ini", false},
        {"a", "", "", ".ini", false},        // shorter than the suffix
        {"ini", "", "", ".ini", false},
        {"ab", "ab", "b", "", true},          // the middle is found inside the prefix
        {"abc", "abc", "", "c", true},        // the suffix would overlap the prefix
        {"abx", "abc", "", "c", false},
        {"axbycd", "a", "b", "c*d", false},   // a third star is an ordinary character
        {"axbyc*d", "a", "b", "c*d", true},
        {"readme.txt", "read", "", "", true},
        {"anything", "", "", "", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DoesNameMatchPattern(c.name, c.prefix, c.middle, c.suffix), c.match)
            << c.name << " vs " << c.prefix << "*" << c.middle << "*" << c.suffix;
}

TEST(FindFileResult, SortsNamesThenFilesBeforeFoldersAndDropsDuplicates) {
    FindFileResult result;
    result.AddIfNotDuplicate("abd", FindFileResultItem::TYPE_FILE);
    result.AddIfNotDuplicate("abc", FindFileResultItem::TYPE_FOLDER);
    result.AddIfNotDuplicate("abc", FindFileResultItem::TYPE_FILE);
    result.AddIfNotDuplicate("ab", FindFileResultItem::TYPE_FILE);
    result.AddIfNotDuplicate("abc", FindFileResultItem::TYPE_FILE);
    Items items;
    for (uint32_t i = 0; i < result.GetCount(); ++i)
        items.emplace_back(result.GetByIndex(i).type, result.GetByIndex(i).name);
    EXPECT_EQ(items, (Items{{1, "ab"}, {1, "abc"}, {2, "abc"}, {1, "abd"}}));
}

class MainTest : public QuorTest::GameRelease {
protected:
    Items Find(IMain& object, const std::string& pattern, uint32_t flags) {
        std::shared_ptr<IFindFileResult> result;
        EXPECT_EQ(object.FindFile(pattern, flags, result), S_OK) << pattern;
        Items items;
        if (!result) return items;
        for (uint32_t i = 0; i < result->GetCount(); ++i)
            items.emplace_back(result->GetByIndex(i).type, result->GetByIndex(i).name);
        return items;
    }
};

TEST_F(MainTest, FindFileTable) {
    EXPECT_EQ(main->GetFlags(), IMain::FLAG_RUNTIME_ENVIRONMENT);
    struct Case {
        std::string pattern;
        uint32_t flags;
        Items items;
    };
    const Case cases[] = {
        {"data/*.ini", 1, {{1, "a.ini"}, {1, "b.ini"}}},
        {"DATA\\*.INI", 1, {{1, "a.ini"}, {1, "b.ini"}}},
        {"data/*", 2, {{2, "sub"}}},
        {"data/sub/*", 3, {{1, "inner.ini"}}},
        {"*", 3, {{2, "data"}}},
        {"data/a", 1, {{1, "a.ini"}}},         // no star: a prefix
        {"data/*a*.txt", 1, {{1, "plain.txt"}, {1, "readme.txt"}}},
        {"data/a*.ini*x", 1, {{1, "a.ini"}}},  // "x" would overlap ".ini": not compared
        {"data/q*", 3, {}},
        {"nothing/*", 3, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Find(*main, c.pattern, c.flags), c.items) << c.pattern;
}

TEST_F(MainTest, FindFileMergesTheProjectsOfASolution) {
    tree.AddProject("low", 0x01000001, {{"x.ini", 0, "l"}, {"x/in.ini", 0, "l"}, {"low.ini", 0, "l"}});
    tree.AddProject("high", 0x02000000, {{"x.ini", Flags::FLAG_ARCHIVED, "h"}, {"x/other.ini", 0, "h"}});
    tree.AddSolution("sol", 0x0000000C, {{"low", 0x01000001, 1}, {"high", 0x02000000, 9}});
    const auto cwd2 = tree.Enter(tree.SolutionRelease("sol", 0x0000000C) + "/deploy");
    std::shared_ptr<IMain> solution;
    ASSERT_EQ(CreateMain(solution), S_OK);
    EXPECT_EQ(Find(*solution, "*", 3), (Items{{1, "low.ini"}, {2, "x"}, {1, "x.ini"}}));
    // Archived only in the first project's manifest: found there.
    EXPECT_TRUE(solution->DoesFileOrDirectoryExist("x.ini"));
    std::string path;
    solution->FindBestPath("x.ini", path);
    EXPECT_EQ(path, tree.Root() + "/projects/high/filearchives/2.0.0.0/x.ini");
}

TEST_F(MainTest, DoesFileOrDirectoryExist) {
    struct Case {
        std::string name;
        bool exists;
    };
    const Case cases[] = {
        {"data", true},              {"DATA/", true},
        {"data/sub", true},          {"dat", false},
        {"data/stored.bin", true},   // archived
        {"data/plain.bin", true},    // a deploy file on disk
        {"data/sub/inner.ini", true},  // managed, on disk
        {"data/missing", false},
    };
    for (const Case& c : cases) EXPECT_EQ(main->DoesFileOrDirectoryExist(c.name), c.exists) << c.name;
    ::unlink((deploy + "/data/plain.bin").c_str());
    EXPECT_FALSE(main->DoesFileOrDirectoryExist("data/plain.bin"));
}

TEST_F(MainTest, OutsideAReleaseNothingIsManaged) {
    const auto outside = tree.Enter(tree.Root() + "/elsewhere");
    QuorTest::WriteFile(tree.Root() + "/elsewhere/data/plain.bin", "loose");
    std::shared_ptr<IMain> loose;
    ASSERT_EQ(CreateMain(loose), S_OK);
    EXPECT_EQ(loose->GetFlags(), 0u);
    std::shared_ptr<IFindFileResult> found;
    EXPECT_EQ(loose->FindFile("*", 3, found), E_FAIL);
    EXPECT_FALSE(found);
    std::shared_ptr<IFile> file;
    EXPECT_EQ(loose->OpenFile("data/plain.bin", FILE_TYPE_BINARY, file), E_FAIL);
    EXPECT_FALSE(loose->DoesFileOrDirectoryExist("data/plain.bin"));
    std::string path;
    loose->FindBestPath("data/plain.bin", path);
    EXPECT_EQ(path, "data/plain.bin");
    // The asynchronous load reads it from the working folder.
    const auto load = loose->CreateAsyncLoadFile("data/plain.bin");
    load->WaitUntilComplete();
    EXPECT_EQ(load->GetAutoLockResult()->GetHResult(), S_OK);
}

TEST_F(MainTest, WithoutAKernelRequestsFailAtOnce) {
    ASSERT_FALSE(main->GetFlags() & IMain::FLAG_CONNECTED);
    const auto request = main->GetRPCManager().CreateGetVersion({});
    ASSERT_TRUE(request);
    EXPECT_TRUE(request->GetIsComplete());
    request->WaitUntilComplete();
    EXPECT_EQ(request->GetAutoLockResult()->GetHResult(), E_FAIL);
}

// A kernel's semaphore and a listener on the kernel port of this test.
class MainKernelProbeTest : public QuorTest::GameRelease {
protected:
    void SetUp() override {
        QuorTest::GameRelease::SetUp();
        main.reset();
        listener = QuorTest::ListenLoopback(0);
        ASSERT_TRUE(listener.valid());
        ::setenv("ORVANE_PORT", std::to_string(QuorTest::LocalPort(listener.get())).c_str(), 1);
        semaphore = Vorn::SharedMutex::Create(Main::kKernelSemaphore);
        ASSERT_TRUE(semaphore && semaphore->IsValid());
    }
    bool SomeoneConnected() {
        const int fd = ::accept(listener.get(), nullptr, nullptr);
        if (fd < 0) return false;
        ::close(fd);
        return true;
    }
    QuorTest::UniqueFd listener;
    std::shared_ptr<Vorn::SharedMutex> semaphore;
};

TEST_F(MainKernelProbeTest, ConnectsWhenTheKernelSemaphoreExists) {
    ASSERT_EQ(CreateMain(main), S_OK);
    EXPECT_EQ(main->GetFlags(), IMain::FLAG_RUNTIME_ENVIRONMENT | IMain::FLAG_CONNECTED);
    EXPECT_TRUE(SomeoneConnected());
}

TEST_F(MainKernelProbeTest, DisabledConnectsToNothingAndLoadsNoManifest) {
    QuorTest::WriteFile(deploy + "/QUOR_DISABLED", "");
    ArchiveTesting::LogRecorder log(Log::WARNING);
    ASSERT_EQ(CreateMain(main), S_OK);
    EXPECT_EQ(main->GetFlags(), IMain::FLAG_RUNTIME_ENVIRONMENT);  // disabled loading is no failure
    EXPECT_FALSE(SomeoneConnected());
    EXPECT_TRUE(log.Contains("Orvane is not running, proceeding without that functionality.")) << log.All();
    EXPECT_TRUE(log.Contains("Quor File loading is disabled.")) << log.All();
    std::shared_ptr<IFindFileResult> found;
    EXPECT_EQ(main->FindFile("*", 3, found), E_FAIL);
    EXPECT_EQ(main->GetRPCManager().CreateGetVersion({})->GetAutoLockResult()->GetHResult(), E_FAIL);
}

TEST_F(MainKernelProbeTest, TheFileIteratorListsThroughAMainObjectMadeOnFirstUse) {
    // Linked into a program (as into the kernel): nothing is installed by hand, and the first
    // listing creates the process's own main object.
    semaphore.reset();
    Vorn::File::FileIteratorPtr iterator = Vorn::File::CreateFileIterator("data/*.ini", 0);
    ASSERT_TRUE(iterator);
    std::vector<std::string> names;
    for (; iterator->HasFile(); iterator->Advance()) names.emplace_back(iterator->GetCurrentFileName());
    // The main object's names first (b.ini is archived only), then the disk's.
    EXPECT_EQ(names, (std::vector<std::string>{"a.ini", "b.ini", "a.ini"}));
    ASSERT_NE(Vorn::File::GetQuorAPIIMain(), nullptr);
    EXPECT_NE(Vorn::File::GetQuorAPIIMain()->GetFlags() & IMain::FLAG_RUNTIME_ENVIRONMENT, 0u);
}

}  // namespace
}  // namespace Quor::API::Impl
