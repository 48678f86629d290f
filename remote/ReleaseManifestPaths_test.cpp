#include "remote/ReleaseManifestPaths.h"

#include <gtest/gtest.h>

#include "tests/kit/TempDir.h"

using Quor::INVALID_RELEASE_VERSION;
using Quor::Common::ReleaseManifest;

namespace {
const unsigned char kMd5[16] = {};

ReleaseManifest::ENTRY Entry(const std::string& name, DWORD version, DWORD flags) {
    ReleaseManifest::ENTRY e;
    e.name = name;
    e.version = version;
    e.flags = flags;
    return e;
}
}  // namespace

TEST(GetLocalFilePath, FollowsTheFlagsManagedFirst) {
    struct Case {
        DWORD flags;
        const char* path;
    } cases[] = {
        {0x01, "/projects/game/managedfiles/0.0.0.7/data/a.bin"},
        {0x03, "/projects/game/managedfiles/0.0.0.7/data/a.bin"},
        {0x02, "/projects/game/filearchives/0.0.0.7/data/a.bin"},
        {0x00, "/projects/game/releases/1.2.3.4/deploy/data/a.bin"},
        {0x3C, "/projects/game/releases/1.2.3.4/deploy/data/a.bin"},
    };
    for (const Case& c : cases) {
        std::string path = "old";
        Quor::Common::GetLocalFilePath(path, "game", 0x01020304, Entry("data/a.bin", 7, c.flags));
        EXPECT_EQ(path, c.path) << "flags " << c.flags;
    }
}

TEST(FindReleaseManifestEntryInFolder, MatchesNameWithoutCaseThenFlagsAndVersion) {
    ReleaseManifest m;
    m.AddUnsorted("Data/A.bin", 5, kMd5, 0x01, 0, 0);
    m.AddUnsorted("data/a.bin", 6, kMd5, 0x02, 0, 0);
    m.AddUnsorted("data/a.BIN", 7, kMd5, 0x00, 0, 0);
    m.AddUnsorted("other", 6, kMd5, 0x02, 0, 0);
    ASSERT_EQ(m.SortEntries(nullptr), S_OK);
    using Quor::Common::FindReleaseManifestEntryInFolder;

    const ReleaseManifest::ENTRY* any =
        FindReleaseManifestEntryInFolder("DATA/A.BIN", INVALID_RELEASE_VERSION, 0, 0, &m);
    ASSERT_NE(any, nullptr);
    EXPECT_EQ(any, &*std::lower_bound(m.m_Entries.begin(), m.m_Entries.end(), Entry("data/a.bin", 0, 0),
                                      ReleaseManifest::ENTRY::PredicateByName))
        << "required 0 and excluded 0 take the first entry of the run";

    const ReleaseManifest::ENTRY* managed =
        FindReleaseManifestEntryInFolder("data/a.bin", INVALID_RELEASE_VERSION, 1, 0, &m);
    ASSERT_NE(managed, nullptr);
    EXPECT_EQ(managed->version, 5u);
    const ReleaseManifest::ENTRY* deploy =
        FindReleaseManifestEntryInFolder("data/a.bin", INVALID_RELEASE_VERSION, 0, 3, &m);
    ASSERT_NE(deploy, nullptr);
    EXPECT_EQ(deploy->version, 7u);
    const ReleaseManifest::ENTRY* v6 = FindReleaseManifestEntryInFolder("data/a.bin", 6, 0, 0, &m);
    ASSERT_NE(v6, nullptr);
    EXPECT_EQ(v6->flags, 0x02u);

    EXPECT_EQ(FindReleaseManifestEntryInFolder("data/a.bin", 8, 0, 0, &m), nullptr);
    EXPECT_EQ(FindReleaseManifestEntryInFolder("data/a.bin", 7, 1, 0, &m), nullptr);
    EXPECT_EQ(FindReleaseManifestEntryInFolder("data/b.bin", INVALID_RELEASE_VERSION, 0, 0, &m), nullptr);
    EXPECT_EQ(FindReleaseManifestEntryInFolder("data/a.bin", INVALID_RELEASE_VERSION, 0, 0, nullptr),
              nullptr);
}

TEST(FindReleaseManifestEntry, WalksTheCacheInKeyOrder) {
    QuorTest::QuorTree tree;
    Quor::Common::ReleaseManifestCache cache;
    EXPECT_EQ(Quor::Common::FindReleaseManifestEntry("a", INVALID_RELEASE_VERSION, 0, 0, cache), nullptr);

    for (const char* version : {"0.0.0.2", "0.0.0.1"}) {
        ReleaseManifest m;
        m.Add("shared.bin", version[6] - '0', kMd5, 0x01, 0, 0);
        QuorTest::MakeDirs(tree.root() + "projects/game/releases/" + version);
        ASSERT_EQ(m.Save(tree.root() + "projects/game/releases/" + version + "/releasemanifest"), S_OK);
    }
    const ReleaseManifest* manifest = nullptr;
    ASSERT_EQ(cache.Get("game", 2, manifest), S_OK);
    ASSERT_EQ(cache.Get("game", 1, manifest), S_OK);

    const ReleaseManifest::ENTRY* found =
        Quor::Common::FindReleaseManifestEntry("SHARED.bin", INVALID_RELEASE_VERSION, 1, 0, cache);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->version, 1u) << "the oldest release with a match wins";
    found = Quor::Common::FindReleaseManifestEntry("shared.bin", 2, 1, 0, cache);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->version, 2u);
    EXPECT_EQ(Quor::Common::FindReleaseManifestEntry("shared.bin", INVALID_RELEASE_VERSION, 2, 0, cache),
              nullptr);
    EXPECT_EQ(Quor::Common::FindReleaseManifestEntry("missing", INVALID_RELEASE_VERSION, 0, 0, cache),
              nullptr);
}
