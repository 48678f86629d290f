#include "remote/PackageManifest.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "tests/kit/ManifestFileTest.h"
#include "tests/kit/TempDir.h"

using Quor::Common::PackageManifest;
using QuorTest::LogCapture;

namespace {
class PackageManifestTest : public QuorTest::ManifestFileTest<PackageManifest> {
protected:
    PackageManifestTest() : ManifestFileTest("packagemanifest") {}
};
}  // namespace

TEST_F(PackageManifestTest, FirstLineIsSkippedWhateverItHolds) {
    for (const char* first : {"PKG1", "something else", ""}) {
        PackageManifest m;
        QuorTest::WriteFile(path, std::string(first) + "\na.dds,bin0,0,100,0\n\nb.dds,bin0,100,50,3\n");
        ASSERT_EQ(m.Load(path), S_OK) << first;
        ASSERT_EQ(m.m_Entries.size(), 2u) << first;
        PackageManifest::ENTRY e;
        ASSERT_EQ(m.FindEntry("B.DDS", e), S_OK);
        EXPECT_EQ(e.bin, "bin0");
        EXPECT_EQ(e.offset, 100u);
        EXPECT_EQ(e.length, 50u);
        EXPECT_EQ(e.value, 3u);
    }
    EXPECT_EQ(LoadText(""), S_OK);
    EXPECT_TRUE(manifest.m_Entries.empty());
}

TEST_F(PackageManifestTest, DuplicateNameWithoutCaseFailsAndKeepsTheFirst) {
    LogCapture log;
    EXPECT_EQ(LoadText("PKG1\na.dds,bin0,0,100,0\nA.DDS,bin1,100,50,0\nc.dds,bin0,0,1,0\n"), E_FAIL);
    EXPECT_TRUE(log.HasError("Failed to add a file."));
    PackageManifest::ENTRY e;
    ASSERT_EQ(manifest.FindEntry("A.dds", e), S_OK);
    EXPECT_EQ(e.bin, "bin0");
    EXPECT_EQ(manifest.FindEntry("c.dds", e), E_FAIL) << "the load stopped at the bad line";
}

TEST_F(PackageManifestTest, PackageRecordsSumTheirFilesWithoutCase) {
    ASSERT_EQ(LoadText("PKG1\na,bin0,0,100,0\nb,BIN0,100,50,0\nc,bin1,0,7,0\n"), S_OK);
    PackageManifest::PACKAGE p;
    ASSERT_EQ(manifest.FindPackage("Bin0", p), S_OK);
    EXPECT_EQ(p.bin, "bin0");
    EXPECT_EQ(p.total, 150u);
    EXPECT_EQ(p.reserved, 0u);
    ASSERT_EQ(manifest.FindPackage("bin1", p), S_OK);
    EXPECT_EQ(p.total, 7u);
    PackageManifest::PACKAGE untouched{"keep", 1, 2};
    EXPECT_EQ(manifest.FindPackage("bin2", untouched), E_FAIL);
    EXPECT_EQ(untouched.bin, "keep");
}

TEST_F(PackageManifestTest, BadLinesFailWithTheirLineNumber) {
    struct Case {
        const char* text;
        const char* message;  // after the path
    } cases[] = {
        {"PKG1\na,bin0,0,100\n", " line 2."},    {"PKG1\n\na,b,1,2,3\nno commas\n", " line 4."},
        {"PKG1\n../x,bin0,0,1,0\n", " line 2."}, {"PKG1\na/./b,bin0,0,1,0\n", " line 2."},
        {"PKG1\na,../bin0,0,1,0\n", " line 2."}, {"PKG1\n,bin0,0,1,0\n", " line 2."},
        {"PKG1\na,,0,1,0\n", " line 2."},
    };
    for (const Case& c : cases) {
        LogCapture log;
        PackageManifest m;
        QuorTest::WriteFile(path, c.text);
        EXPECT_EQ(m.Load(path), E_FAIL) << c.text;
        EXPECT_TRUE(log.HasError("Failure while parsing \"" + path + "\"" + c.message))
            << c.text << log.Errors();
    }
}

TEST_F(PackageManifestTest, NumbersReadAsTheFormatWritesThem) {
    ASSERT_EQ(
        LoadText("PKG1\nx,b,10,20,7,extra\n/projects/p/releases/0.0.0.1/files/big,b, 3000000000,-1,abc\n"),
        S_OK);
    PackageManifest::ENTRY e;
    ASSERT_EQ(manifest.FindEntry("x", e), S_OK);
    EXPECT_EQ(e.value, 7u) << "the number stops at the comma";
    ASSERT_EQ(manifest.FindEntry("/projects/p/releases/0.0.0.1/files/big", e), S_OK);
    EXPECT_EQ(e.offset, 3000000000u) << "offsets past 2 GiB keep their value";
    EXPECT_EQ(e.length, 0xFFFFFFFFu);
    EXPECT_EQ(e.value, 0u) << "a field without digits is 0";
}

TEST_F(PackageManifestTest, SaveThenLoadKeepsEveryField) {
    PackageManifest m;
    ASSERT_EQ(m.AddEntry("b.dds", "bin1", 0, 10, 1), S_OK);
    ASSERT_EQ(m.AddEntry("a.dds", "bin0", 3000000000u, 100, 0xFFFFFFFF), S_OK);
    ASSERT_EQ(m.AddEntry("c/d.dds", "BIN1", 10, 5, 0), S_OK);
    EXPECT_EQ(m.AddEntry("B.DDS", "bin1", 0, 10, 1), E_FAIL);
    ASSERT_EQ(m.Save(path), S_OK);
    EXPECT_EQ(QuorTest::ReadFile(path),
              "PKG1\na.dds,bin0,-1294967296,100,-1\nb.dds,bin1,0,10,1\nc/d.dds,BIN1,10,5,0\n");

    ASSERT_EQ(manifest.Load(path), S_OK);
    ASSERT_EQ(manifest.m_Entries.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(manifest.m_Entries[i].name, m.m_Entries[i].name);
        EXPECT_EQ(manifest.m_Entries[i].bin, m.m_Entries[i].bin);
        EXPECT_EQ(manifest.m_Entries[i].offset, m.m_Entries[i].offset);
        EXPECT_EQ(manifest.m_Entries[i].length, m.m_Entries[i].length);
        EXPECT_EQ(manifest.m_Entries[i].value, m.m_Entries[i].value);
    }
    PackageManifest::PACKAGE p;
    ASSERT_EQ(manifest.FindPackage("bin1", p), S_OK);
    EXPECT_EQ(p.total, 15u);
}

TEST_F(PackageManifestTest, MissingFileFailsToOpen) {
    LogCapture log;
    EXPECT_TRUE(FAILED(manifest.Load(dir / "absent")));
    EXPECT_TRUE(log.HasError("Failed to open \"" + (dir / "absent") + "\"."));
}
