// An update killed with SIGKILL at random points (the folder move among them): no release of the
// project carries "S_OK" unless its tree is complete, and a rerun (after the start-up sweep of
// temp/) ends complete at the target, fetching whole only files that were not in place yet.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <random>
#include <sstream>
#include <thread>

#include "tests/kit/RunCommand.h"
#include "tests/update/UpdateFixture.h"

namespace InstallE2E {
namespace {

class UpdateCrashTest : public UpdateFixture {
protected:
    // Starts the child program in this process's working folder ({root}/system), its output
    // discarded.
    static pid_t StartChild() {
        const pid_t pid = QuorTest::StartQuiet(QUOR_UPDATE_CHILD, {"project", "alpha", "ffffffff"});
        EXPECT_GT(pid, 0);
        return pid;
    }
    static int Reap(pid_t pid) { return QuorTest::WaitForChild(pid); }
    // The entries of the target that are in place with their content (archived ones also when
    // they wait naked at their path).
    std::set<std::string> PlacedTargetEntries() const {
        const QuorTest::TreeSnapshot expected = Expected({kV2}), actual = Actual();
        std::set<std::string> placed;
        for (const FileSpec& file : description.projects.front().FindRelease(kV2)->files) {
            const std::string version = Quor::Common::ConvertVersion::ToString(file.version);
            std::string key = "projects/alpha/releases/1.0.0.2/deploy/" + file.name;
            if (file.flags & 0x01) key = "projects/alpha/managedfiles/" + version + "/" + file.name;
            else if (file.flags & 0x02) key = "projects/alpha/filearchives/" + version + ":" + file.name;
            const auto want = expected.find(key), have = actual.find(key);
            if (want != expected.end() && have != actual.end() && want->second == have->second)
                placed.insert(file.name);
            const auto naked = actual.find("projects/alpha/filearchives/" + version + "/" + file.name);
            if ((file.flags & 0x02) && naked != actual.end() && naked->second == QuorTest::Md5Hex(file.bytes))
                placed.insert(file.name);
        }
        return placed;
    }
    // The difference from a fresh install of the target, less the files that a resumed update
    // leaves behind (repair removes them): the first release's managed and archived copies, since
    // a resume installs over the moved folder without knowing the release it came from, and a
    // naked copy of an archived file whose run was killed after the archive took it in and before
    // the copy was deleted. The target's deploy folder holds exactly its own files.
    std::string DifferenceButLeftovers() const {
        std::set<std::string> leftovers;
        for (const FileSpec& file : description.projects.front().FindRelease(kV1)->files) {
            leftovers.insert("+ projects/alpha/filearchives/1.0.0.1:" + file.name);
            leftovers.insert("+ projects/alpha/managedfiles/1.0.0.1/" + file.name);
        }
        for (const FileSpec& file : description.projects.front().FindRelease(kV2)->files)
            if (file.flags & 0x02)
                leftovers.insert("+ projects/alpha/filearchives/" + Quor::Common::ConvertVersion::ToString(file.version) +
                                 "/" + file.name);
        std::istringstream lines(Difference({kV2}));
        std::string line, rest;
        while (std::getline(lines, line))
            if (!leftovers.count(line)) rest += line + "\n";
        return rest;
    }
};

TEST_F(UpdateCrashTest, KilledAtRandomPointsNeverMarksAnIncompleteReleaseAndARerunCompletes) {
    AddS2Releases();
    ReleaseSpec& first = *description.projects.front().FindRelease(kV1);
    ReleaseSpec& second = *description.projects.front().FindRelease(kV2);
    for (int i = 0; i < 40; ++i) {
        const std::string name = "small/f" + std::to_string(i);
        first.AddFile(name, i % 3 == 0 ? 0x04 : 0, Bytes(3000, 200 + i));
        if (i % 2 == 0) second.files.push_back(first.files.back());  // kept
        else second.AddFile(name, i % 3 == 0 ? 0x04 : 0, Bytes(3000, 300 + i));  // changed: patched
    }
    second.AddFile("big/one.bin", 0x04, Bytes(2 << 20, 9));
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV1));
    ASSERT_EQ("", Difference({kV1}));
    Quor::User::ManagedFileHelper::Release();
    QuorTest::TempDir saved{"quorsaved"};
    std::filesystem::copy(root + "/projects/alpha", saved.path() + "/alpha", std::filesystem::copy_options::recursive);
    const auto restore = [&] {
        Quor::User::ManagedFileHelper::Release();
        std::filesystem::remove_all(root + "/projects/alpha");
        std::filesystem::copy(saved.path() + "/alpha", root + "/projects/alpha",
                              std::filesystem::copy_options::recursive);
    };

    // One whole run gives the time span the kill points are drawn from.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(0, WEXITSTATUS(Reap(StartChild())));
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ("", Difference({kV2}));

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> point(0, span.count());
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        restore();
        const pid_t child = StartChild();
        std::this_thread::sleep_for(std::chrono::microseconds(point(random)));  // the kill point, not an order
        kill(child, SIGKILL);
        Reap(child);
        if (QuorTest::Exists(Ok(kV1))) {
            ASSERT_EQ("", Difference({kV1}));
        }
        if (QuorTest::Exists(Ok(kV2))) {
            ASSERT_EQ("", Difference({kV2}));
        }

        const std::set<std::string> placed = PlacedTargetEntries();
        const size_t before = nginx->accessLog().size();
        ASSERT_EQ(0, WEXITSTATUS(Reap(StartChild())));
        EXPECT_TRUE(QuorTest::Exists(Ok(kV2)));
        EXPECT_FALSE(QuorTest::Exists(Release(kV1)));
        ASSERT_EQ("", DifferenceButLeftovers());
        for (const std::string& uri : FileGets(before)) EXPECT_EQ(0u, placed.count(NameOf(uri))) << uri;
    }
}

}  // namespace
}  // namespace InstallE2E
