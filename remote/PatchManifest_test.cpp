#include "remote/PatchManifest.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "tests/kit/ManifestFileTest.h"
#include "tests/kit/TempDir.h"

using Quor::Common::PatchManifest;
using QuorTest::LogCapture;

namespace {
class PatchManifestTest : public QuorTest::ManifestFileTest<PatchManifest> {
protected:
    PatchManifestTest() : ManifestFileTest("0.0.0.1.patchmanifest") {}
};
}  // namespace

TEST(GetRemoteFilePath, FollowsTheFlags) {
    struct Case {
        DWORD flags;
        const char* path;
    } cases[] = {
        {0x00, "/projects/p/releases/0.0.0.2/patches/0.0.0.1/data/a.bin"},
        {0x01, "/projects/p/releases/0.0.0.2/patches/0.0.0.1/data/a.bin.z"},
        {0x04, "/projects/p/releases/0.0.0.2/patches/0.0.0.1/data/a.bin.lzma2"},
        {0x08, "/projects/p/releases/0.0.0.2/files/data/a.bin"},
        {0x0D, "/projects/p/releases/0.0.0.2/files/data/a.bin.compressed.lzma2"},
        {0x02, "/projects/p/releases/0.0.0.2/patches/0.0.0.1/data/a.bin"},
    };
    for (const Case& c : cases) {
        PatchManifest::ENTRY e{"data/a.bin", 1, 2, 1, c.flags};
        EXPECT_EQ(Quor::Common::GetRemoteFilePath("p", e), c.path) << c.flags;
    }
}

TEST_F(PatchManifestTest, LoadsHeaderAndEntriesWithOptionalFields) {
    ASSERT_EQ(LoadText("kiv_game\r\n0.0.0.1,0.0.0.2\r\n"
                       "a,0.0.0.1,0.0.0.2\r\n"
                       "b,0.0.0.1,0.0.0.2,300\r\n"
                       "\r\n"
                       "c/d,0.0.0.1,0.0.0.2,-1,13\r\n"
                       "e,9.9.9.9,0.0.0.0,5,8,extra\r\n"),
              S_OK);
    EXPECT_EQ(manifest.m_ProjectName, "kiv_game");
    EXPECT_EQ(manifest.m_SourceReleaseVersion, 1u);
    EXPECT_EQ(manifest.m_DestinationReleaseVersion, 2u);
    ASSERT_EQ(manifest.m_Entries.size(), 4u);
    const auto& e = manifest.m_Entries;
    EXPECT_EQ(e[0].size, 1u);
    EXPECT_EQ(e[0].flags, 0u);
    EXPECT_EQ(e[1].size, 300u);
    EXPECT_EQ(e[1].flags, 0u);
    EXPECT_EQ(e[2].name, "c/d");
    EXPECT_EQ(e[2].size, 0xFFFFFFFFu);
    EXPECT_EQ(e[2].flags, 13u);
    EXPECT_EQ(e[3].source, 0x09090909u);
    EXPECT_EQ(e[3].destination, 0u);
    EXPECT_EQ(e[3].flags, 8u) << "atoi stops at the comma";
}

TEST_F(PatchManifestTest, EmptyFirstLineMakesTheNextLineTheVersionPair) {
    ASSERT_EQ(LoadText("\n0.0.0.3,0.0.0.4\n"), S_OK);
    EXPECT_EQ(manifest.m_ProjectName, "");
    EXPECT_EQ(manifest.m_SourceReleaseVersion, 3u);
    EXPECT_EQ(manifest.m_DestinationReleaseVersion, 4u);
}

TEST_F(PatchManifestTest, BadLinesFailWithTheirMessages) {
    const std::string at2 = "\" line 2.", at3 = "\" line 3.";
    struct Case {
        std::string text;
        std::string message;
        HRESULT result;
    };
    const Case cases[] = {
        {"p\n0.0.0.1\n", "Failure while parsing \"" + path + at2, E_FAIL},
        {"p\n1.2.3,0.0.0.2\n", "Invalid src release version while parsing \"" + path + at2, E_FAIL},
        {"p\n0.0.0.1,x\n", "Invalid dest release version while parsing \"" + path + at2, E_FAIL},
        {"p\n0.0.0.1,0.0.0.2\na,0.0.0.1\n", "Failure while parsing \"" + path + at3, E_FAIL},
        {"p\n0.0.0.1,0.0.0.2\na,256.0.0.1,0.0.0.2\n",
         "Invalid src version \"256.0.0.1\" while parsing \"" + path + at3, E_FAIL},
        {"p\n0.0.0.1,0.0.0.2\na,0.0.0.1,new,4\n",
         "Invalid dest version \"new\" while parsing \"" + path + at3, E_FAIL},
        {"../p\n0.0.0.1,0.0.0.2\n", "Invalid project name \"../p\" in \"" + path + "\".", E_FAIL},
        {"a/b\n0.0.0.1,0.0.0.2\n", "Invalid project name \"a/b\" in \"" + path + "\".", E_FAIL},
        {"p\n0.0.0.1,0.0.0.2\nDATA/X,0.0.0.1,0.0.0.2\ndata/x,0.0.0.1,0.0.0.2\n",
         "Duplicate entry for \"data/x\" while parsing \"" + path + "\" line 4.", E_FAIL},
    };
    for (const Case& c : cases) {
        LogCapture log;
        PatchManifest m;
        QuorTest::WriteFile(path, c.text);
        EXPECT_EQ(m.Load(path), c.result) << c.text;
        EXPECT_TRUE(log.HasError(c.message)) << c.text << "\nwanted: " << c.message << "\n" << log.Errors();
    }
}

// A name that could leave the release's folder is refused where it is read, but only that entry:
// the load goes on, so the update patches the other files and fetches the refused ones whole.
TEST_F(PatchManifestTest, EntriesWithInvalidNamesAreRefusedAndTheRestLoads) {
    LogCapture log;
    QuorTest::WriteFile(path,
                        "p\n0.0.0.1,0.0.0.2\n"
                        "a,0.0.0.1,0.0.0.2,5,1\n"
                        ",0.0.0.1,0.0.0.2\n"
                        "../x,0.0.0.1,0.0.0.2\n"
                        "/etc/x,0.0.0.1,0.0.0.2\n"
                        "a\\b,0.0.0.1,0.0.0.2\n"
                        "d/./e,0.0.0.1,0.0.0.2\n"
                        "z,0.0.0.1,0.0.0.2,7,4\n");
    ASSERT_EQ(manifest.Load(path), S_OK) << log.Errors();
    ASSERT_EQ(manifest.m_Entries.size(), 2u);
    EXPECT_EQ(manifest.m_Entries[0].name, "a");
    EXPECT_EQ(manifest.m_Entries[0].flags, 1u);
    EXPECT_EQ(manifest.m_Entries[1].name, "z");
    EXPECT_EQ(manifest.m_Entries[1].size, 7u);
    EXPECT_EQ(manifest.m_ProjectName, "p");
    EXPECT_EQ(manifest.m_DestinationReleaseVersion, 2u);
    const std::pair<const char*, int> refused[] = {{"", 4}, {"../x", 5}, {"/etc/x", 6}, {"a\\b", 7}, {"d/./e", 8}};
    for (const auto& [name, line] : refused) {
        const std::string message = "Invalid name \"" + std::string(name) + "\" while parsing \"" + path +
                                    "\" line " + std::to_string(line) + ".";
        EXPECT_TRUE(log.HasError(message)) << "wanted: " << message << "\n" << log.Errors();
    }
}

TEST_F(PatchManifestTest, SaveThenLoadKeepsEverything) {
    PatchManifest m;
    m.m_ProjectName = "kiv_game";
    m.m_SourceReleaseVersion = 0x01000001;
    m.m_DestinationReleaseVersion = 0x01000002;
    ASSERT_EQ(m.AddEntry("b.bin", 0x01000001, 0x01000002, 4096, 0x05), S_OK);
    ASSERT_EQ(m.AddEntry("A/c.bin", 0x01000000, 0x01000002, 0xFFFFFFFF, 0x08), S_OK);
    EXPECT_EQ(m.AddEntry("B.BIN", 1, 2, 3, 4), E_FAIL);
    ASSERT_EQ(m.Save(path), S_OK);
    EXPECT_EQ(QuorTest::ReadFile(path),
              "kiv_game\n1.0.0.1,1.0.0.2\nA/c.bin,1.0.0.0,1.0.0.2,-1,8\nb.bin,1.0.0.1,1.0.0.2,4096,5\n");

    ASSERT_EQ(manifest.Load(path), S_OK);
    EXPECT_EQ(manifest.m_ProjectName, "kiv_game");
    EXPECT_EQ(manifest.m_SourceReleaseVersion, 0x01000001u);
    EXPECT_EQ(manifest.m_DestinationReleaseVersion, 0x01000002u);
    ASSERT_EQ(manifest.m_Entries.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(manifest.m_Entries[i].name, m.m_Entries[i].name);
        EXPECT_EQ(manifest.m_Entries[i].source, m.m_Entries[i].source);
        EXPECT_EQ(manifest.m_Entries[i].destination, m.m_Entries[i].destination);
        EXPECT_EQ(manifest.m_Entries[i].size, m.m_Entries[i].size);
        EXPECT_EQ(manifest.m_Entries[i].flags, m.m_Entries[i].flags);
    }
}

TEST_F(PatchManifestTest, NewManifestAndMissingFile) {
    EXPECT_EQ(manifest.m_SourceReleaseVersion, 0xFFFFFFFFu);
    EXPECT_EQ(manifest.m_DestinationReleaseVersion, 0xFFFFFFFFu);
    EXPECT_TRUE(manifest.m_ProjectName.empty());
    LogCapture log;
    EXPECT_TRUE(FAILED(manifest.Load(dir / "absent")));
    EXPECT_TRUE(log.HasError("Failed to open \"" + (dir / "absent") + "\"."));
}
