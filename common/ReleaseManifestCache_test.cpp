#include "common/ReleaseManifestCache.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "tests/kit/TempDir.h"

using Quor::Common::ReleaseManifest;
using Quor::Common::ReleaseManifestCache;

namespace {

// Writes a manifest with one entry named `file` for project/version under the tree's root.
std::string WriteManifest(const QuorTest::QuorTree& tree, const std::string& project,
                          const std::string& version, const std::string& file) {
    const std::string folder = tree.root() + "projects/" + project + "/releases/" + version;
    QuorTest::MakeDirs(folder);
    ReleaseManifest m;
    m.m_ProjectName = project;
    const unsigned char md5[16] = {};
    m.Add(file, 1, md5, 0, 1, 1);
    EXPECT_EQ(m.Save(folder + "/releasemanifest"), S_OK);
    return folder + "/releasemanifest";
}

}  // namespace

TEST(ReleaseManifestCache, LoadsOnceAndHandsOutTheSameObject) {
    QuorTest::QuorTree tree;
    const std::string path = WriteManifest(tree, "game", "1.0.0.2", "a.txt");
    ReleaseManifestCache cache;
    const ReleaseManifest* first = nullptr;
    ASSERT_EQ(cache.Get("game", 1u << 24 | 2, first), S_OK);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->m_Entries.at(0).name, "a.txt");

    // The file is not read again: removing it changes nothing for the cache.
    QuorTest::RemoveTree(path);
    const ReleaseManifest* second = nullptr;
    ASSERT_EQ(cache.Get("game", 1u << 24 | 2, second), S_OK);
    EXPECT_EQ(second, first);
}

TEST(ReleaseManifestCache, ProjectSpelledInAnotherCaseOrAnotherVersionIsAnotherKey) {
    QuorTest::QuorTree tree;
    WriteManifest(tree, "game", "1.0.0.2", "lower.txt");
    WriteManifest(tree, "Game", "1.0.0.2", "upper.txt");
    WriteManifest(tree, "game", "1.0.0.3", "newer.txt");
    ReleaseManifestCache cache;
    const ReleaseManifest *lower = nullptr, *upper = nullptr, *newer = nullptr;
    ASSERT_EQ(cache.Get("game", 0x01000002, lower), S_OK);
    ASSERT_EQ(cache.Get("Game", 0x01000002, upper), S_OK);
    ASSERT_EQ(cache.Get("game", 0x01000003, newer), S_OK);
    EXPECT_NE(lower, upper);
    EXPECT_EQ(upper->m_Entries.at(0).name, "upper.txt");
    EXPECT_EQ(newer->m_Entries.at(0).name, "newer.txt");
    EXPECT_EQ(cache.Manifests().size(), 3u);
}

TEST(ReleaseManifestCache, MissingManifestIsTriedAgainOnTheNextCall) {
    QuorTest::QuorTree tree;
    ReleaseManifestCache cache;
    const ReleaseManifest* manifest = reinterpret_cast<const ReleaseManifest*>(&tree);
    {
        QuorTest::LogCapture log;
        EXPECT_EQ(cache.Get("game", 0x01000002, manifest), E_FAIL);
        EXPECT_EQ(manifest, nullptr);
        EXPECT_TRUE(log.HasError("Failure to load manifest \"" + tree.root() +
                                 "projects/game/releases/1.0.0.2/releasemanifest\"."))
            << log.Errors();
    }
    EXPECT_TRUE(cache.Manifests().empty());

    WriteManifest(tree, "game", "1.0.0.2", "late.txt");
    ASSERT_EQ(cache.Get("game", 0x01000002, manifest), S_OK);
    EXPECT_EQ(manifest->m_Entries.at(0).name, "late.txt");
}

TEST(ReleaseManifestCache, RefusesProjectNamesThatLeaveTheTree) {
    QuorTest::QuorTree tree;
    QuorTest::WriteFile(tree.root() + "releases/1.0.0.1/releasemanifest", "x");
    ReleaseManifestCache cache;
    for (const char* project : {"..", "../projects/x", "a/b", "", "a\\b"}) {
        const ReleaseManifest* manifest = nullptr;
        QuorTest::LogCapture log;
        EXPECT_EQ(cache.Get(project, 0x01000001, manifest), E_FAIL) << project;
        EXPECT_EQ(manifest, nullptr);
        EXPECT_TRUE(log.HasError(std::string("Invalid project name \"") + project + "\"")) << project;
    }
}
