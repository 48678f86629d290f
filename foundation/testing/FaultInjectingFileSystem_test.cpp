#include "foundation/testing/FaultInjectingFileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/OsContext.h"
#include "platform/Clock.h"

namespace {

using QuorTest::FaultInjectingFileSystem;
using QuorTest::FileCall;
using QuorTest::PathMatch;

class FaultInjectingFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/faultfsXXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        char resolved[PATH_MAX];
        ASSERT_NE(::realpath(pattern, resolved), nullptr);
        m_folder = resolved;
    }
    void TearDown() override { std::system(("rm -rf '" + m_folder + "'").c_str()); }

    std::string Path(const std::string& name) const { return m_folder + "/" + name; }
    static bool Exists(const std::string& path) {
        struct stat status {};
        return ::lstat(path.c_str(), &status) == 0;
    }
    static void Touch(const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << path;
        ::close(fd);
    }

    std::string m_folder;
};

TEST_F(FaultInjectingFileSystemTest, FailsOnlyTheNthMatchingCallAndCountsThem) {
    FaultInjectingFileSystem faults;
    const size_t rule = faults.Fail(FileCall::Rename, PathMatch::EndingWith("/b"), EXDEV, 2);
    Vorn::ScopedOsContext os({.files = &faults});
    Touch(Path("a"));
    Touch(Path("c"));
    // An unmatched rename passes and is not counted.
    EXPECT_EQ(Vorn::Os().files.Rename(Path("c").c_str(), Path("d").c_str()), 0);
    EXPECT_EQ(Vorn::Os().files.Rename(Path("a").c_str(), Path("b").c_str()), 0);
    errno = 0;
    EXPECT_EQ(Vorn::Os().files.Rename(Path("b").c_str(), Path("a").c_str()), -1);
    EXPECT_EQ(errno, EXDEV);
    EXPECT_TRUE(Exists(Path("b"))) << "a failed call must not reach the system";
    EXPECT_EQ(Vorn::Os().files.Rename(Path("b").c_str(), Path("e").c_str()), 0);
    EXPECT_EQ(faults.Matched(rule), 3u);
    EXPECT_EQ(faults.Failed(rule), 1u);
    EXPECT_TRUE(Exists(Path("d")));
    EXPECT_TRUE(Exists(Path("e")));
}

// Each kind of call, matched by the path it touches (given directly, below a folder descriptor,
// or as an open descriptor), fails with the rule's errno; the same call on another path passes.
TEST_F(FaultInjectingFileSystemTest, EachKindOfCallFailsOnItsPathAndPassesElsewhere) {
    struct Case {
        const char* name;
        FileCall call;
        // Makes the call on `path` below `folder`; returns true when it succeeded.
        std::function<bool(const std::string& folder, const std::string& path)> run;
    };
    auto files = []() -> Quor::Platform::IFileSystemCalls& { return Vorn::Os().files; };
    const std::vector<Case> cases = {
        {"open for write", FileCall::OpenForWrite,
         [&](const std::string&, const std::string& path) {
             const int fd = files().Open(path.c_str(), O_WRONLY | O_CREAT, 0644);
             if (fd >= 0) ::close(fd);
             return fd >= 0;
         }},
        {"openat for write", FileCall::OpenForWrite,
         [&](const std::string& folder, const std::string& path) {
             const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
             const int fd = files().OpenAt(dir, path.substr(folder.size() + 1).c_str(), O_RDWR | O_CREAT, 0644);
             const int error = errno;
             if (fd >= 0) ::close(fd);
             ::close(dir);
             errno = error;
             return fd >= 0;
         }},
        {"fopen for write", FileCall::OpenForWrite,
         [&](const std::string&, const std::string& path) {
             FILE* stream = files().FOpen(path.c_str(), "wb");
             if (stream) std::fclose(stream);
             return stream != nullptr;
         }},
        {"write", FileCall::Write,
         [&](const std::string&, const std::string& path) {
             const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
             const bool ok = files().Write(fd, "x", 1) == 1;
             const int error = errno;
             ::close(fd);
             errno = error;
             return ok;
         }},
        {"pwrite", FileCall::Write,
         [&](const std::string&, const std::string& path) {
             const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
             const bool ok = files().PWrite(fd, "x", 1, 4) == 1;
             const int error = errno;
             ::close(fd);
             errno = error;
             return ok;
         }},
        {"fwrite", FileCall::Write,
         [&](const std::string&, const std::string& path) {
             FILE* stream = std::fopen(path.c_str(), "wb");
             const bool ok = files().FWrite("xy", 1, 2, stream) == 2;
             const int error = errno;
             std::fclose(stream);
             errno = error;
             return ok;
         }},
        {"fsync", FileCall::Sync,
         [&](const std::string&, const std::string& path) {
             const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
             const bool ok = files().Fsync(fd) == 0;
             const int error = errno;
             ::close(fd);
             errno = error;
             return ok;
         }},
        {"fdatasync", FileCall::Sync,
         [&](const std::string&, const std::string& path) {
             const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
             const bool ok = files().Fdatasync(fd) == 0;
             const int error = errno;
             ::close(fd);
             errno = error;
             return ok;
         }},
        {"fsync of a folder", FileCall::Sync,
         [&](const std::string&, const std::string& path) {
             ::mkdir(path.c_str(), 0755);
             const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
             const bool ok = files().Fsync(fd) == 0;
             const int error = errno;
             ::close(fd);
             errno = error;
             return ok;
         }},
        {"mkdir", FileCall::Mkdir,
         [&](const std::string&, const std::string& path) { return files().Mkdir(path.c_str(), 0755) == 0; }},
        {"mkdirat", FileCall::Mkdir,
         [&](const std::string& folder, const std::string& path) {
             const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
             const bool ok = files().MkdirAt(dir, path.substr(folder.size() + 1).c_str(), 0755) == 0;
             const int error = errno;
             ::close(dir);
             errno = error;
             return ok;
         }},
        {"renameat", FileCall::Rename,
         [&](const std::string& folder, const std::string& path) {
             const std::string from = path + ".from";
             ::close(::open(from.c_str(), O_WRONLY | O_CREAT, 0644));
             const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
             const bool ok = files().RenameAt(dir, from.substr(folder.size() + 1).c_str(), AT_FDCWD,
                                              path.c_str(), 0) == 0;
             const int error = errno;
             ::close(dir);
             errno = error;
             return ok;
         }},
        {"unlink", FileCall::Unlink,
         [&](const std::string&, const std::string& path) {
             ::close(::open(path.c_str(), O_WRONLY | O_CREAT, 0644));
             return files().Unlink(path.c_str()) == 0;
         }},
        {"unlinkat of a folder", FileCall::Unlink,
         [&](const std::string& folder, const std::string& path) {
             ::mkdir(path.c_str(), 0755);
             const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
             const bool ok = files().UnlinkAt(dir, path.substr(folder.size() + 1).c_str(), AT_REMOVEDIR) == 0;
             const int error = errno;
             ::close(dir);
             errno = error;
             return ok;
         }},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const std::string target = Path("target" + std::to_string(i));
        const std::string other = Path("other" + std::to_string(i));
        FaultInjectingFileSystem faults;
        const size_t rule = faults.Fail(c.call, PathMatch::Exactly(target), ENOSPC, FaultInjectingFileSystem::kEvery);
        Vorn::ScopedOsContext os({.files = &faults});
        EXPECT_TRUE(c.run(m_folder, other)) << c.name << " on another path: " << std::strerror(errno);
        errno = 0;
        EXPECT_FALSE(c.run(m_folder, target)) << c.name << " on the faulted path";
        EXPECT_EQ(errno, ENOSPC) << c.name;
        EXPECT_EQ(faults.Matched(rule), 1u) << c.name;
        EXPECT_EQ(faults.Failed(rule), 1u) << c.name;
    }
}

TEST(PathMatch, ExactlyEndingWithAndBelow) {
    const struct {
        PathMatch match;
        const char* path;
        bool matches;
    } cases[] = {
        {PathMatch::Exactly("/a/b"), "/a/b", true},
        {PathMatch::Exactly("/a/b"), "/a/b/c", false},
        {PathMatch::EndingWith("/b"), "/a/b", true},
        {PathMatch::EndingWith("/b"), "/a/bb", false},
        {PathMatch::EndingWith("/a/b"), "/b", false},
        {PathMatch::Below("/a"), "/a/b", true},
        {PathMatch::Below("/a"), "/a/b/c", true},
        {PathMatch::Below("/a"), "/a", false},
        {PathMatch::Below("/a"), "/ab/c", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.match.Matches(c.path), c.matches) << c.match.text << " against " << c.path;
}

TEST_F(FaultInjectingFileSystemTest, AnOpenForReadingIsNoOpenForWrite) {
    Touch(Path("file"));
    FaultInjectingFileSystem faults;
    const size_t rule = faults.Fail(FileCall::OpenForWrite, PathMatch::EndingWith("file"), EROFS, FaultInjectingFileSystem::kEvery);
    Vorn::ScopedOsContext os({.files = &faults});
    const int fd = Vorn::Os().files.Open(Path("file").c_str(), O_RDONLY, 0);
    EXPECT_GE(fd, 0);
    if (fd >= 0) ::close(fd);
    FILE* stream = Vorn::Os().files.FOpen(Path("file").c_str(), "rb");
    EXPECT_NE(stream, nullptr);
    if (stream) std::fclose(stream);
    EXPECT_EQ(Vorn::Os().files.FOpen(Path("file").c_str(), "r+b"), nullptr);
    EXPECT_EQ(errno, EROFS);
    EXPECT_EQ(faults.Matched(rule), 1u);
}

TEST_F(FaultInjectingFileSystemTest, CountsEveryCallFromManyThreads) {
    FaultInjectingFileSystem faults;
    const size_t rule = faults.Fail(FileCall::Write, PathMatch::EndingWith("/shared"), EIO, 50);
    Vorn::ScopedOsContext os({.files = &faults});
    const int fd = ::open(Path("shared").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    constexpr int kThreads = 4, kWrites = 25;
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kWrites; ++i)
                if (Vorn::Os().files.Write(fd, "x", 1) != 1) ++failures[t];
        });
    for (std::thread& thread : threads) thread.join();
    ::close(fd);
    int failed = 0;
    for (int f : failures) failed += f;
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(faults.Matched(rule), static_cast<unsigned>(kThreads * kWrites));
    EXPECT_EQ(faults.Failed(rule), 1u);
    struct stat status {};
    ASSERT_EQ(::stat(Path("shared").c_str(), &status), 0);
    EXPECT_EQ(status.st_size, kThreads * kWrites - 1);
}

// A clock that never moves (the manual clock installs itself, which this test must not have).
class StillClock final : public Quor::Platform::IClock {
public:
    uint64_t NowNanoseconds() override { return 0; }
    void Sleep(uint64_t) override {}
    int WaitUntil(pthread_cond_t&, pthread_mutex_t&, uint64_t) override { return ETIMEDOUT; }
};

TEST(ScopedOsContextTest, ReplacesOnlyTheNamedSeamsAndRestoresWhatWasBefore) {
    FaultInjectingFileSystem outerFiles, innerFiles;
    StillClock clock;
    {
        Vorn::ScopedOsContext outer({.files = &outerFiles});
        EXPECT_EQ(&Vorn::Os().files, &outerFiles);
        EXPECT_EQ(&Vorn::Os().clock, &Quor::Platform::RealClock());
        {
            Vorn::ScopedOsContext inner({.files = &innerFiles, .clock = &clock});
            EXPECT_EQ(&Vorn::Os().files, &innerFiles);
            EXPECT_EQ(&Vorn::Os().clock, &clock);
            EXPECT_EQ(&Quor::Platform::Clock(), &clock);
            EXPECT_EQ(&Vorn::Os().processStarts, &Quor::Platform::RealProcessStarts());
        }
        EXPECT_EQ(&Vorn::Os().files, &outerFiles);
        EXPECT_EQ(&Vorn::Os().clock, &Quor::Platform::RealClock());
    }
    EXPECT_EQ(&Vorn::Os().files, &Quor::Platform::RealFileSystemCalls());
}

}  // namespace
