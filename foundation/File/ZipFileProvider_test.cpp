#include "foundation/File/ZipFileProvider.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/kit/TempDir.h"
#include "tests/kit/ZipBuilder.h"

namespace {

using QuorTest::BuildZip;
using QuorTest::ZipMember;
using QuorTest::ZipOptions;
using Vorn::File::IFile;
using Vorn::File::ZipFileProvider;
using Vorn::File::ZipFileProviderSingleton;

std::string Contents(IFile* file) {
    std::unique_ptr<IFile> owned(file);
    if (!file) return "<null>";
    return std::string(file->GetUnpackedData(), file->GetSize());
}

std::vector<std::string> Listing(const ZipFileProvider& provider, const std::string& folder) {
    std::vector<std::string> names;
    const auto* list = provider.GetFilesFromPath(folder);
    if (!list) return {"<unknown folder>"};
    for (const auto& e : *list) names.push_back(e.name + (e.isDirectory ? "/" : ""));
    return names;
}

class ZipFileProviderTest : public ::testing::Test {
protected:
    std::string Write(const std::string& bytes, const std::string& name) {
        QuorTest::WriteFile(m_dir / name, bytes);
        return m_dir / name;
    }
    QuorTest::TempDir m_dir{"zipprovider"};
};

// Members are found by their name in either separator and any case, whichever directory the
// archive was read through; a member that cannot be unpacked opens as null but still exists.
TEST_F(ZipFileProviderTest, OpensMembersOfArchivesWithAndWithoutEndRecord) {
    ZipMember wrongSize{"Game/bad.bin", std::string(500, 'b'), 8};
    wrongSize.recordedSize = 400;
    const std::string withEnd = Write(BuildZip({{"Game/Data/Level1.txt", "level one", 8},
                                                {"Game/readme", "stored", 0},
                                                wrongSize,
                                                {"Game/empty.txt", "", 0}}),
                                      "with-end.zip");
    const std::string withoutEnd =
        Write(BuildZip({{"other/x.cfg", "x = 1", 8}, {"other/y.cfg", "y = 2", 0}}, ZipOptions(false)),
              "without-end.zip");

    auto& provider = ZipFileProviderSingleton::Instance();
    EXPECT_EQ(&provider, &ZipFileProviderSingleton::Instance());
    EXPECT_EQ(provider.CheckAccess("Game/readme", 0), -1);  // nothing added yet
    ASSERT_TRUE(provider.AddZip(withEnd.c_str()));
    ASSERT_TRUE(provider.AddZip(withoutEnd.c_str()));
    EXPECT_FALSE(provider.AddZip((m_dir / "missing.zip").c_str()));
    EXPECT_EQ(provider.ZipCount(), 2);

    EXPECT_EQ(Contents(provider.Open("Game/Data/Level1.txt", "rb")), "level one");
    EXPECT_EQ(Contents(provider.Open("game\\data\\LEVEL1.TXT", "rb")), "level one");
    EXPECT_EQ(Contents(provider.Open("Game//Data/Level1.txt  ", "rb")), "level one");
    EXPECT_EQ(Contents(provider.Open("Game/readme", "rb")), "stored");
    EXPECT_EQ(Contents(provider.Open("other/x.cfg", "rb")), "x = 1");
    EXPECT_EQ(Contents(provider.Open("OTHER/Y.CFG", "rb")), "y = 2");
    EXPECT_EQ(Contents(provider.Open("Game/bad.bin", "rb")), "<null>");
    EXPECT_EQ(Contents(provider.Open("Game/empty.txt", "rb")), "<null>");
    EXPECT_EQ(Contents(provider.Open("Game/none.txt", "rb")), "<null>");
    EXPECT_EQ(Contents(provider.Open(nullptr, "rb")), "<null>");

    EXPECT_EQ(provider.CheckAccess("Game/bad.bin", 0), 0);
    EXPECT_EQ(provider.CheckAccess("Game/readme", 4), 0);
    EXPECT_EQ(provider.CheckAccess("Game/readme", 2), -1);
    EXPECT_EQ(provider.CheckAccess("Game/none.txt", 0), -1);
    EXPECT_EQ(provider.CheckAccess(("Game/" + std::string(2000, 'x')).c_str(), 0), -1);

    unsigned packed = 0;
    ASSERT_TRUE(provider.SearchInZips("other/y.cfg", &packed));
    EXPECT_EQ(packed, (1u << 16) | 1u);
    EXPECT_FALSE(provider.SearchInZipsHelper("Game/Data/Level1.txt", &packed));  // stored with "\"
    EXPECT_TRUE(provider.SearchInZipsHelper("Game\\Data\\Level1.txt", &packed));
    EXPECT_EQ(packed, 0u);
}

// Every folder lists its files (a name without extension gets a trailing dot, a folder member
// lists "."), and each subfolder once under its parent; the top folder is not listed anywhere.
TEST_F(ZipFileProviderTest, FolderMapListsFilesAndSubfolders) {
    ZipFileProvider provider;
    ASSERT_TRUE(provider.AddZip(Write(BuildZip({{"A/B/one.txt", "1", 0},
                                                {"A/B/Two", "2", 0},
                                                {"A/C/", "", 0},
                                                {"A/B/C/three.dat", "3", 0},
                                                {"top.txt", "t", 0}}),
                                      "tree.zip")
                                    .c_str()));
    EXPECT_EQ(Listing(provider, "a/b/"), (std::vector<std::string>{"one.txt", "Two.", "C/"}));
    EXPECT_EQ(Listing(provider, "A\\B\\"), Listing(provider, "a/b/"));
    EXPECT_EQ(Listing(provider, "a/"), (std::vector<std::string>{"B/", "C/"}));
    EXPECT_EQ(Listing(provider, "a/c/"), (std::vector<std::string>{"."}));
    EXPECT_EQ(Listing(provider, "a/b/c/"), (std::vector<std::string>{"three.dat"}));
    EXPECT_EQ(Listing(provider, ""), (std::vector<std::string>{"top.txt"}));
    EXPECT_EQ(Listing(provider, "nowhere/"), (std::vector<std::string>{"<unknown folder>"}));
}

// The provider holds at most 40 archives; the 41st is refused and the first 40 keep working.
TEST_F(ZipFileProviderTest, FortyFirstArchiveIsRefused) {
    ZipFileProvider provider;
    const std::string path = Write(BuildZip({{"f.txt", "f", 0}}), "one.zip");
    for (int i = 0; i < ZipFileProvider::kMaxZips; ++i) ASSERT_TRUE(provider.AddZip(path.c_str())) << i;
    EXPECT_FALSE(provider.AddZip(path.c_str()));
    EXPECT_EQ(provider.ZipCount(), 40);
    unsigned packed = 0;
    ASSERT_TRUE(provider.SearchInZips("f.txt", &packed));
    EXPECT_EQ(packed >> 16, 39u);  // the last archive added holds the name
    EXPECT_EQ(Contents(provider.Open("f.txt", "rb")), "f");
}

TEST(ZipFileProviderNames, NormalizeName) {
    EXPECT_EQ(ZipFileProvider::NormalizeName("a/b//c\\\\d  "), "a\\b\\c\\d");
    EXPECT_EQ(ZipFileProvider::NormalizeName(""), "");
}

}  // namespace
