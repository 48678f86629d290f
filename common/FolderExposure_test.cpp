#include "common/FolderExposure.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/kit/OtherUserChild.h"
#include "tests/kit/TempDir.h"

namespace {

// A folder that its group or everyone may write (without the sticky bit), or that another user
// owns, is named, also as a parent of the path asked about; a private or sticky one is not.
TEST(FolderExposure, NamesTheFirstFolderOthersMayChange) {
    const struct {
        const char* what;
        mode_t mode;
        bool otherOwner;
        bool named;
    } cases[] = {
        {"private", 0700, false, false},
        {"readable by all", 0755, false, false},
        {"writable by its group", 0775, false, true},
        {"writable by everyone", 0777, false, true},
        {"writable by everyone, sticky", 01777, false, false},
        {"owned by another user", 0755, true, true},
    };
    for (const auto& c : cases) {
        if (c.otherOwner && !QuorTest::RunsAsRoot()) continue;  // only root can give a folder away
        QuorTest::TempDir dir;
        const std::string folder = dir / "root";
        const std::string inside = folder + "/system";
        QuorTest::MakeDirs(inside);
        ASSERT_EQ(0, ::chmod(folder.c_str(), c.mode)) << c.what;
        if (c.otherOwner) {
            ASSERT_EQ(0, ::chown(folder.c_str(), QuorTest::kNobodyUid, QuorTest::kNobodyGid)) << c.what;
        }
        ASSERT_TRUE(Quor::Common::FolderWritableByOthers(dir.path()).empty()) << "the test's own folder is exposed";
        EXPECT_EQ(c.named ? folder : "", Quor::Common::FolderWritableByOthers(folder)) << c.what;
        EXPECT_EQ(c.named ? folder : "", Quor::Common::FolderWritableByOthers(inside)) << c.what << ", as a parent";
    }
}

}  // namespace
