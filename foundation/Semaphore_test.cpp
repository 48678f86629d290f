#include "foundation/Semaphore.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/kit/OtherUserChild.h"
#include "tests/kit/TempDir.h"

using namespace Vorn;

namespace {
std::string UniqueName(const char* tag) { return "vorn_test_" + std::to_string(getpid()) + "_" + tag; }
bool NameExists(const std::string& name) { return QuorTest::Exists("/dev/shm/sem." + InstanceName(name.c_str())); }

int CountShmEntriesStartingWith(const std::string& prefix) {
    int count = 0;
    if (DIR* dir = opendir("/dev/shm")) {
        while (dirent* e = readdir(dir)) count += std::string(e->d_name).rfind(prefix, 0) == 0;
        closedir(dir);
    }
    return count;
}
}  // namespace

TEST(Semaphore, CreatorOwnsTheNameAndOpenersDoNot) {
    const std::string name = UniqueName("owner");
    {
        Semaphore creator(name.c_str(), 2);
        ASSERT_TRUE(creator.IsValid());
        EXPECT_TRUE(NameExists(name));
        {
            Semaphore opener(name.c_str(), 5);  // exists: opened as it is, count unchanged
            ASSERT_TRUE(opener.IsValid());
            EXPECT_TRUE(opener.TryAcquireOne());
            EXPECT_TRUE(creator.TryAcquireOne());
            EXPECT_FALSE(opener.TryAcquireOne()) << "the count of 2 was used up";
            EXPECT_TRUE(opener.ReleaseOne());
        }
        EXPECT_TRUE(NameExists(name)) << "an opener must not remove the name";
        EXPECT_TRUE(creator.AcquireOne());
    }
    EXPECT_FALSE(NameExists(name)) << "the creator removes the name";
}

TEST(Semaphore, CountZeroOnlyOpensAnExistingName) {
    const std::string name = UniqueName("probe");
    {
        Semaphore probe(name.c_str(), 0);
        EXPECT_FALSE(probe.IsValid());
        EXPECT_FALSE(probe.TryAcquireOne());
        EXPECT_FALSE(probe.ReleaseOne());
    }
    EXPECT_FALSE(NameExists(name)) << "a probe must leave nothing behind";

    Semaphore creator(name.c_str(), 1);
    Semaphore probe(name.c_str(), 0);
    EXPECT_TRUE(probe.IsValid());
}

TEST(Semaphore, UnnamedSemaphoresLeaveNothingInDevShm) {
    const std::string prefix = "sem.vorn_sem_" + std::to_string(getpid()) + "_";
    Semaphore a(0), b(1), c(3);
    ASSERT_TRUE(a.IsValid() && b.IsValid() && c.IsValid());
    EXPECT_EQ(CountShmEntriesStartingWith(prefix), 0);
    EXPECT_FALSE(a.TryAcquireOne());
    EXPECT_TRUE(a.ReleaseOne());
    EXPECT_TRUE(a.TryAcquireOne());
    EXPECT_TRUE(b.TryAcquireOne());
    EXPECT_FALSE(b.TryAcquireOne()) << "each unnamed semaphore has its own count";
}

TEST(Semaphore, CleanupRemovesANameLeftBehind) {
    const std::string name = UniqueName("left");
    sem_t* leftover = sem_open(("/" + InstanceName(name.c_str())).c_str(), O_CREAT, 0666, 0);
    ASSERT_NE(leftover, SEM_FAILED);
    sem_close(leftover);
    ASSERT_TRUE(NameExists(name));
    Semaphore::Cleanup(name.c_str());
    EXPECT_FALSE(NameExists(name));
    Semaphore::Cleanup(name.c_str());  // nothing there: leaves nothing either
    EXPECT_FALSE(NameExists(name));
}

TEST(Semaphore, InstanceSuffixMovesEveryName) {
    ASSERT_EQ(setenv("ORVANE_INSTANCE", "_inst/7", 1), 0);  // before the first use in this process
    EXPECT_EQ(InstanceName("QUOR_ORVANE_MUTEX_NAME"), "QUOR_ORVANE_MUTEX_NAME_inst_7");
    const std::string name = UniqueName("moved");
    Semaphore creator(name.c_str(), 1);
    ASSERT_TRUE(creator.IsValid());
    EXPECT_TRUE(QuorTest::Exists("/dev/shm/sem." + name + "_inst_7"));
    EXPECT_FALSE(QuorTest::Exists("/dev/shm/sem." + name));
}

// Another process's suffix comes from its environment block as this process's comes from its own.
TEST(Semaphore, InstanceSuffixOfAnEnvironmentBlock) {
    using namespace std::string_literals;
    const struct {
        std::string block;
        std::string suffix;
    } cases[] = {
        {""s, ""},
        {"PATH=/bin\0HOME=/root\0"s, ""},
        {"ORVANE_INSTANCE=_a/b\0"s, "_a_b"},
        {"PATH=/bin\0ORVANE_INSTANCE=_x\0ORVANE_INSTANCE=_y\0"s, "_x"},  // the first entry, as getenv
        {"XORVANE_INSTANCE=_no\0ORVANE_INSTANCEX=_no\0"s, ""},
        {"ORVANE_INSTANCE=\0"s, ""},
        {"ORVANE_INSTANCE=_unended"s, "_unended"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InstanceSuffixOfEnvironment(c.block), c.suffix) << "block of " << c.block.size() << " bytes";
    ASSERT_EQ(setenv("ORVANE_INSTANCE", "_own/1", 1), 0);
    EXPECT_EQ(InstanceSuffix(), "_own_1");
}

// A name that another user (nobody) made is not this user's: it is replaced by one of this user's
// when asked for an own name, and a name of this user's is opened as it is. Needs root.
TEST(Semaphore, AnOwnNameReplacesOneAnotherUserMade) {
    if (!QuorTest::RunsAsRoot()) GTEST_SKIP() << "needs root to play user nobody";
    const std::string name = UniqueName("foreign");
    const std::string system = "/" + InstanceName(name.c_str());
    {
        QuorTest::OtherUserChild nobody([&](int report) {
            sem_t* planted = sem_open(system.c_str(), O_CREAT | O_EXCL, 0666, 1u);
            if (planted != SEM_FAILED) {
                sem_close(planted);
                (void)!::write(report, "planted", 7);
            }
            ::close(report);
        });
        ASSERT_EQ("planted", nobody.Await());
    }
    EXPECT_TRUE(NameExists(name));
    EXPECT_FALSE(Semaphore::IsOwnName(name.c_str()));
    {
        Semaphore own(name.c_str(), 1, Semaphore::OwnName{});
        ASSERT_TRUE(own.IsValid());
        EXPECT_TRUE(Semaphore::IsOwnName(name.c_str()));
        Semaphore again(name.c_str(), 1, Semaphore::OwnName{});  // this user's now: opened, not replaced
        ASSERT_TRUE(again.IsValid());
        EXPECT_TRUE(again.TryAcquireOne());
        EXPECT_FALSE(own.TryAcquireOne()) << "the second object made a semaphore of its own";
    }
    EXPECT_FALSE(NameExists(name)) << "the creator removes the name";
}
