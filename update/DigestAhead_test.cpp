// Digests computed ahead of an ordered walk: the same digests as the MD5 helper's, items the walk
// passes over or takes before any worker had them answered "not hashed", nothing but regular
// files read, and nothing started once the job is cancelled.
#include "update/DigestAhead.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "common/UsableProcessors.h"
#include "remote/MD5Helper.h"
#include "tests/kit/ObservedState.h"
#include "tests/kit/TempDir.h"

namespace Quor::User {
namespace {

class DigestAheadTest : public ::testing::Test {
protected:
    // Files f0 .. f(n-1) of different sizes, and their paths.
    std::vector<std::string> MakeFiles(size_t count) {
        std::vector<std::string> paths;
        for (size_t i = 0; i < count; ++i) {
            paths.push_back(folder.path() + "/f" + std::to_string(i));
            QuorTest::WriteFile(paths.back(), std::string(i * 4099 % 300000, static_cast<char>('a' + i % 26)));
        }
        return paths;
    }
    QuorTest::TempDir folder{"quordigest"};
};

TEST_F(DigestAheadTest, DigestsMatchTheHelpersAndUnhashableItemsAreLeftToTheWalk) {
    std::vector<std::string> paths = MakeFiles(200);
    paths[3].clear();                              // the walk checks it itself
    paths[5] = folder.path() + "/missing";         // cannot be opened
    paths[7] = folder.path() + "/pipe";            // never opened for reading
    ASSERT_EQ(0, ::mkfifo(paths[7].c_str(), 0644));
    paths[9] = folder.path();                      // a folder
    const std::vector<std::string> expected = paths;
    DigestAhead ahead(paths, nullptr);
    for (size_t i = 0; i < expected.size(); ++i) {
        if (i % 50 == 11) continue;  // the walk passes over some items
        MD5::DIGEST digest = {};
        const bool hashed = ahead.Take(i, digest);
        if (i == 3 || i == 5 || i == 7 || i == 9) {
            EXPECT_FALSE(hashed) << i;
            continue;
        }
        if (!hashed) continue;  // taken before a worker had it: the walk would hash it itself
        MD5::DIGEST want = {};
        ASSERT_EQ(S_OK, Common::MD5Helper::ComputeMD5(expected[i], want));
        EXPECT_TRUE(std::equal(digest, digest + 16, want)) << i;
    }
    MD5::DIGEST digest;
    EXPECT_FALSE(ahead.Take(expected.size(), digest));
}

TEST_F(DigestAheadTest, NothingIsHashedOnceTheJobIsCancelledOrWithoutWorkers) {
    const std::vector<std::string> paths = MakeFiles(40);
    for (const auto& [cancelled, most] : {std::pair<signed char, unsigned>{1, DigestAhead::kMostWorkers}, {0, 0}}) {
        signed char cancel = cancelled;
        DigestAhead ahead(paths, &cancel, most);
        for (size_t i = 0; i < paths.size(); ++i) {
            MD5::DIGEST digest;
            EXPECT_FALSE(ahead.Take(i, digest)) << i << " " << most;
        }
    }
}

TEST_F(DigestAheadTest, AWalkThatEndsEarlyLeavesTheItemsBeyondTheWindowUnread) {
    const std::vector<std::string> paths = MakeFiles(400);
    const unsigned processors = Common::UsableProcessors();
    const unsigned workers = processors < 2 ? 0 : std::min(processors, DigestAhead::kMostWorkers);
    const std::vector<pid_t> known = QuorTest::ThreadIds();
    DigestAhead ahead(paths, nullptr);
    // Every worker waits once it is a window ahead of the walk, which has not moved yet.
    ASSERT_TRUE(QuorTest::AwaitNewThreadsInConditionWait(known, workers)) << workers << " workers";
    MD5::DIGEST digest;
    if (workers > 0) {
        EXPECT_TRUE(ahead.Take(1, digest)) << "an item inside the window is hashed";
    }
    EXPECT_FALSE(ahead.Take(paths.size() - 1, digest)) << "the last item was hashed far ahead of the walk";
}

}  // namespace
}  // namespace Quor::User
