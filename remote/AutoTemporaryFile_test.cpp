#include "remote/AutoTemporaryFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/kit/TempDir.h"

namespace {

using Quor::Common::AutoTemporaryFile;
using Quor::Common::LocalFileSystem;

TEST(AutoTemporaryFile, MadeInRootTempAndDeletedUnlessKept) {
    QuorTest::QuorTree tree;
    LocalFileSystem fs;
    std::string deleted, kept;
    {
        HRESULT hr = E_FAIL;
        AutoTemporaryFile file(fs, hr);
        ASSERT_EQ(hr, S_OK);
        deleted = file.GetPath();
        EXPECT_EQ(deleted.rfind(tree.root() + "temp/TMP", 0), 0u) << deleted;
        EXPECT_TRUE(QuorTest::Exists(deleted));

        auto shared = std::make_shared<AutoTemporaryFile>(fs, hr);
        ASSERT_EQ(hr, S_OK);
        kept = shared->GetPath();
        EXPECT_NE(kept, deleted);
        QuorTest::WriteFile(kept, "payload");
        shared->SetKeep();
    }
    EXPECT_FALSE(QuorTest::Exists(deleted));
    EXPECT_EQ(QuorTest::ReadFile(kept), "payload");
}

TEST(AutoTemporaryFile, FailedCreationLeavesNoPath) {
    QuorTest::QuorTree tree;
    QuorTest::RemoveTree(tree.root() + "temp");
    QuorTest::WriteFile(tree.root() + "temp", "a file where the folder belongs");
    LocalFileSystem fs;
    HRESULT hr = S_OK;
    {
        AutoTemporaryFile file(fs, hr);
        EXPECT_TRUE(FAILED(hr));
        EXPECT_EQ(file.GetPath(), "");
    }
    EXPECT_EQ(QuorTest::ReadFile(tree.root() + "temp"), "a file where the folder belongs");
}

// The start-up sweep takes every "TMP..." entry of {root}/temp whatever its age, except names
// ending in "."; other names and other folders stay.
TEST(DeleteTemporaryFiles, SweepsRootTemp) {
    QuorTest::QuorTree tree;
    const std::string temp = tree.root() + "temp/";
    for (const char* name : {"TMPabc", "TMPx.", "other", "tmpLower", "TMP", "xTMP"}) QuorTest::WriteFile(temp + name, "x");
    QuorTest::WriteFile(tree.system() + "/TMPkeep", "not in temp");
    Quor::Common::DeleteTemporaryFiles();
    EXPECT_FALSE(QuorTest::Exists(temp + "TMPabc"));
    EXPECT_FALSE(QuorTest::Exists(temp + "TMP"));
    EXPECT_TRUE(QuorTest::Exists(temp + "TMPx."));
    EXPECT_TRUE(QuorTest::Exists(temp + "other"));
    EXPECT_TRUE(QuorTest::Exists(temp + "xTMP"));
    EXPECT_TRUE(QuorTest::Exists(tree.system() + "/TMPkeep"));
}

}  // namespace
