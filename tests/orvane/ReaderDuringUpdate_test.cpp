// A program of an installed release reads an archived file through libMondrel.so, without a
// kernel, and holds it open while the kernel updates that release: the update neither waits for
// nor fails on the reader, the reader reads on the bytes it opened, and its next file comes from
// the archives as the update left them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "archive/Manager.h"
#include "tests/kit/TempDir.h"
#include "tests/orvane/OrvaneTest.h"

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;

// Printable bytes (the reader prints what it read on one line).
std::string Letters(size_t size, unsigned seed) {
    std::string bytes(size, 'a');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + seed * 13 + i / 89) % 26);
    return bytes;
}

// Polls the run's output for `line` (a minute at most, while it runs).
bool WaitForLine(QuorTest::OrvaneRun& run, const std::string& line) {
    for (int i = 0; i < 600; ++i) {
        if (run.Stdout().find(line + "\n") != std::string::npos) return true;
        if (!run.Running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST_F(OrvaneTest, AnArchivedFileHeldOpenByAProgramDoesNotHoldUpAnUpdateOfItsRelease) {
    // Release 2 replaces the held file (its pair in the first release's archive folder loses it)
    // and keeps the other archived file there.
    const std::string held = Letters(30000, 1), kept = Letters(20000, 2);
    ContentDescription description;
    auto& first = description.AddProject("game").AddRelease(kFirst, {"xx"});
    first.AddFile("a/held.bin", 0x02, held);
    first.AddFile("a/kept.bin", 0x02, kept);
    first.AddFile("data/plain.txt", 0, "plain");
    auto& second = description.projects.front().AddRelease(kSecond, {"xx"});
    for (const auto& file : description.projects.front().FindRelease(kFirst)->files)
        if (file.name != "a/held.bin") second.files.push_back(file);
    second.AddFile("a/held.bin", 0x02, Letters(25000, 3));
    Serve(description);
    if (HasFatalFailure()) return;

    std::string errors;
    ASSERT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "InstallProjectRelease", "game", "1.0.0.1"}, {}, &errors))
        << errors;
    const std::string deploy = root->root() + "/projects/game/releases/1.0.0.1/deploy";
    const std::string go = outside / "go";
    QuorTest::OrvaneRun reader(QUOR_ARCHIVED_FILE_READER, deploy, {"a/held.bin", go, "a/kept.bin"});
    ASSERT_TRUE(WaitForLine(reader, "held 0 15000")) << reader.Stdout() << reader.Stderr();

    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "UpdateProject", "game"}, {}, &errors)) << errors;
    const std::string log = Log();
    EXPECT_TRUE(fs::exists(root->root() + "/projects/game/releases/1.0.0.2/S_OK")) << log;
    EXPECT_FALSE(Has(log, "Failed to create file system manager")) << log;
    EXPECT_FALSE(Has(log, "in use by another writer")) << log;
    {
        // The update rewrote the pair the reader has open: the replaced file left it.
        Quor::FileSystem::Impl::Manager archives;
        ASSERT_TRUE(archives.SetRootDirectory(root->root() + "/projects/game/filearchives/1.0.0.1", ""));
        EXPECT_FALSE(archives.FileExists("a/held.bin"));
        EXPECT_TRUE(archives.FileExists("a/kept.bin"));
    }

    QuorTest::WriteFile(go, "");
    EXPECT_EQ(0, reader.Wait()) << reader.Stderr();
    const std::string output = reader.Stdout();
    EXPECT_TRUE(Has(output, "rest 0 " + held + "\n")) << output;
    EXPECT_TRUE(Has(output, "read 0 " + kept + "\n")) << output;
}

}  // namespace
}  // namespace OrvaneTest
