#include "common/ReleaseManifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "common/testing/LogCapture.h"
#include "common/testing/ManifestImage.h"
#include "tests/kit/TempDir.h"

using Quor::Common::ReleaseManifest;
using QuorTest::LogCapture;
using QuorTest::ManifestImage;

namespace {

struct Md5 {
    unsigned char bytes[16];
    explicit Md5(unsigned char fill) { std::memset(bytes, fill, sizeof bytes); }
};

void Append32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void AppendFileRecord(std::string& out, uint32_t name, uint32_t version, unsigned char md5, uint32_t flags,
                      uint32_t size, uint32_t compressedSize) {
    Append32(out, name);
    Append32(out, version);
    out += std::string(16, static_cast<char>(md5));
    Append32(out, flags);
    Append32(out, size);
    Append32(out, compressedSize);
}

class ReleaseManifestTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) { return dir / name; }
    std::string Write(const std::string& bytes) {
        const std::string path = PathOf("releasemanifest");
        QuorTest::WriteFile(path, bytes);
        return path;
    }
    HRESULT LoadBytes(const std::string& bytes, const signed char* cancel = nullptr) {
        return manifest.Load(Write(bytes), cancel);
    }
    std::string SaveBytes(ReleaseManifest& m) {
        const std::string path = PathOf("saved");
        EXPECT_EQ(m.Save(path), S_OK);
        return QuorTest::ReadFile(path);
    }

    QuorTest::TempDir dir;
    ReleaseManifest manifest;
};

// a/x, a/z, b/y in one manifest of project "game", release 1.0.0.2.
ReleaseManifest ThreeFiles() {
    ReleaseManifest m;
    m.m_ProjectName = "game";
    m.m_ReleaseVersion = 0x01000002;
    EXPECT_EQ(m.Add("a/x", 0x01000001, Md5(0x11).bytes, 0x01, 100, 50), S_OK);
    EXPECT_EQ(m.Add("a/z", 0x01000002, Md5(0x22).bytes, 0x06, 200, 80), S_OK);
    EXPECT_EQ(m.Add("b/y", 0x01000000, Md5(0x33).bytes, 0x00, 3, 3), S_OK);
    return m;
}

}  // namespace

TEST_F(ReleaseManifestTest, SaveWritesTheNumberedImageByteForByte) {
    ReleaseManifest m = ThreeFiles();
    std::string expected = "RLSM";
    Append32(expected, 0x10002);
    Append32(expected, 6);           // project name: string 6
    Append32(expected, 0x01000002);  // release version
    Append32(expected, 3);           // directories
    // root: name "", subdirectories 1..2, no files
    for (uint32_t v : {0u, 1u, 2u, 0u, 0u}) Append32(expected, v);
    // record 1 is b (the last child takes the first index): no subdirectories, file 0
    for (uint32_t v : {1u, 3u, 0u, 0u, 1u}) Append32(expected, v);
    // record 2 is a: no subdirectories, files 1..2
    for (uint32_t v : {3u, 3u, 0u, 1u, 2u}) Append32(expected, v);
    Append32(expected, 3);                                           // files
    AppendFileRecord(expected, 2, 0x01000000, 0x33, 0x00, 3, 3);     // y
    AppendFileRecord(expected, 4, 0x01000001, 0x11, 0x01, 100, 50);  // x
    AppendFileRecord(expected, 5, 0x01000002, 0x22, 0x06, 200, 80);  // z
    Append32(expected, 7);                                           // strings: "", b, y, a, x, z, game
    Append32(expected, 16);                                          // their bytes with the zeros
    expected += std::string("\0b\0y\0a\0x\0z\0game\0", 16);

    EXPECT_EQ(SaveBytes(m), expected);
}

TEST_F(ReleaseManifestTest, EmptyManifestSavesRootAndProjectName) {
    ReleaseManifest m;
    m.m_ProjectName = "p";
    std::string expected = "RLSM";
    for (uint32_t v : {0x10002u, 1u, 0xFFFFFFFFu, 1u, 0u, 1u, 0u, 0u, 0u, 0u, 2u, 3u}) Append32(expected, v);
    expected += std::string("\0p\0", 3);
    EXPECT_EQ(SaveBytes(m), expected);

    ReleaseManifest unnamed;  // an empty project name is the root's string 0
    std::string bytes = SaveBytes(unnamed);
    ASSERT_EQ(bytes.size(), 8u + 8 + 4 + 20 + 4 + 8 + 1);
    EXPECT_EQ(bytes.substr(8, 4), std::string(4, '\0'));
    EXPECT_EQ(bytes.substr(44, 9), std::string("\1\0\0\0\1\0\0\0\0", 9));
}

TEST_F(ReleaseManifestTest, SaveThenLoadKeepsEveryEntryAndField) {
    ReleaseManifest m;
    m.m_ProjectName = "kiv_game";
    m.m_ReleaseVersion = 0x00000105;
    m.AddUnsorted("top.txt", 7, Md5(0xA1).bytes, 0x00, 1, 1);
    m.AddUnsorted("DATA\\tex\\a.dds", 8, Md5(0xA2).bytes, 0x12, 4096, 1000);  // backslashes are separators
    m.AddUnsorted("data/g", 9, Md5(0xA3).bytes, 0x22, 0xFFFFFFFF, 0x80000000);
    m.AddUnsorted("DATA/f", 10, Md5(0xA4).bytes, 0x01, 0, 0);
    m.AddUnsorted("deep/a/b/c/d/e.bin", 11, Md5(0xA5).bytes, 0x08, 5, 5);
    ASSERT_EQ(m.SortEntries(nullptr), S_OK);

    const std::string bytes = SaveBytes(m);
    ASSERT_EQ(LoadBytes(bytes), S_OK);
    EXPECT_EQ(manifest.m_ProjectName, "kiv_game");
    EXPECT_EQ(manifest.m_ReleaseVersion, 0x00000105u);

    // DATA and data are one directory spelled as first seen; backslashes read back as "/".
    const std::vector<std::string> names = {"DATA/f", "DATA/g", "DATA/tex/a.dds", "deep/a/b/c/d/e.bin",
                                            "top.txt"};
    ASSERT_EQ(manifest.m_Entries.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const ReleaseManifest::ENTRY& e = manifest.m_Entries[i];
        EXPECT_EQ(e.name, names[i]);
        auto same = [&](const ReleaseManifest::ENTRY& o) {
            std::string n = o.name;
            std::replace(n.begin(), n.end(), '\\', '/');
            return strcasecmp(n.c_str(), e.name.c_str()) == 0;
        };
        auto original = std::find_if(m.m_Entries.begin(), m.m_Entries.end(), same);
        ASSERT_NE(original, m.m_Entries.end()) << e.name;
        EXPECT_EQ(e.version, original->version) << e.name;
        EXPECT_EQ(0, std::memcmp(e.md5, original->md5, 16)) << e.name;
        EXPECT_EQ(e.flags, original->flags) << e.name;
        EXPECT_EQ(e.size, original->size) << e.name;
        EXPECT_EQ(e.compressedSize, original->compressedSize) << e.name;
    }
}

TEST_F(ReleaseManifestTest, Version10001RecordsLoadLikeVersion10002) {
    ManifestImage image;
    image.projectName = 5;
    image.releaseVersion = 0x01000002;
    image.directories = {{0, 1, 1, 0, 1}, {3, 2, 0, 1, 1}};
    image.files = {{1, 0x01000001, 0x11, 0x01, 100, 50}, {4, 0x01000002, 0x22, 0x06, 200, 80}};
    image.strings = {"", "readme", "unused", "bin", "tool", "game"};
    ASSERT_EQ(LoadBytes(image.Bytes()), S_OK) << "version 0x10002";
    const std::vector<ReleaseManifest::ENTRY> current = manifest.m_Entries;

    image.formatVersion = 0x10001;
    ReleaseManifest old;
    ASSERT_EQ(old.Load(Write(image.Bytes()), nullptr), S_OK) << "version 0x10001";
    ASSERT_EQ(old.m_Entries.size(), 2u);
    ASSERT_EQ(current.size(), 2u);
    EXPECT_EQ(old.m_ProjectName, "game");
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(old.m_Entries[i].name, current[i].name);
        EXPECT_EQ(old.m_Entries[i].version, current[i].version);
        EXPECT_EQ(0, std::memcmp(old.m_Entries[i].md5, current[i].md5, 16));
        EXPECT_EQ(old.m_Entries[i].flags, current[i].flags);
        EXPECT_EQ(old.m_Entries[i].size, current[i].size);
        EXPECT_EQ(old.m_Entries[i].compressedSize, current[i].compressedSize);
    }
    EXPECT_EQ(old.m_Entries[0].name, "bin/tool");
    EXPECT_EQ(old.m_Entries[1].name, "readme");
}

// Each case changes one thing of a small valid image; the load must fail with the message shown.
TEST_F(ReleaseManifestTest, InconsistentFilesFailWithTheirMessage) {
    auto valid = [] {
        ManifestImage image;
        image.projectName = 4;
        image.directories = {{0, 1, 1, 0, 1}, {2, 2, 0, 1, 1}};
        image.files = {{1, 1, 0x11, 0, 1, 1}, {3, 1, 0x22, 0, 2, 2}};
        image.strings = {"", "readme", "data", "f", "game"};
        return image;
    };
    ASSERT_EQ(LoadBytes(valid().Bytes()), S_OK);

    struct Case {
        const char* what;
        void (*change)(ManifestImage&);
        const char* message;
    };
    const Case cases[] = {
        {"wrong magic", [](ManifestImage& i) { i.magic = 0x4D534C53; }, "Failed to find magic value"},
        {"unknown version", [](ManifestImage& i) { i.formatVersion = 0x10003; },
         "Invalid version.  Current version is 0x00010002, found 0x00010003"},
        {"project name index equal to the string count", [](ManifestImage& i) { i.projectName = 5; },
         "Project name is invalid"},
        {"subdirectory not after its parent",
         [](ManifestImage& i) {
             i.directories[1] = {2, 1, 1, 1, 1};
         },
         "Directory record 1 is listed more than once"},
        {"entry ../x",
         [](ManifestImage& i) {
             i.strings[2] = "..";
             i.strings[3] = "x";
         },
         "Invalid entry name \"../x\""},
        {"absolute entry", [](ManifestImage& i) { i.strings[1] = "/etc/passwd"; },
         "Invalid entry name \"/etc/passwd\""},
        {"dot segment", [](ManifestImage& i) { i.strings[2] = "."; }, "Invalid entry name \"./f\""},
        {"backslash in a name", [](ManifestImage& i) { i.strings[3] = "a\\b"; },
         "Invalid entry name \"data/a\\b\""},
        {"empty file name", [](ManifestImage& i) { i.strings[3] = ""; }, "Invalid entry name \"data/\""},
        {"subdirectory range outside the table", [](ManifestImage& i) { i.directories[0][2] = 2; },
         "Directory record 0 lists records outside the tables"},
        {"file range outside the table", [](ManifestImage& i) { i.directories[1][4] = 2; },
         "Directory record 1 lists records outside the tables"},
        {"file record used twice", [](ManifestImage& i) { i.directories[1][3] = 0; },
         "File record 0 is listed by more than one directory"},
        {"directory name index outside the strings", [](ManifestImage& i) { i.directories[1][0] = 9; },
         "Directory record 1 has an invalid name index"},
        {"no directories", [](ManifestImage& i) { i.directories.clear(); },
         "The directory table has no root directory"},
    };
    for (const Case& c : cases) {
        ManifestImage image = valid();
        c.change(image);
        LogCapture log;
        ReleaseManifest m;
        EXPECT_EQ(m.Load(Write(image.Bytes()), nullptr), E_FAIL) << c.what;
        EXPECT_TRUE(log.HasError(c.message)) << c.what << "; logged:\n" << log.Errors();
    }
}

TEST_F(ReleaseManifestTest, ParentOrderingIsChecked) {
    // The root lists record 2, which lists record 1: a subdirectory before its parent.
    ManifestImage image;
    image.projectName = 0;
    image.directories = {{0, 2, 1, 0, 0}, {1, 0, 0, 0, 0}, {1, 1, 1, 0, 0}};
    image.strings = {"", "d"};
    LogCapture log;
    EXPECT_EQ(LoadBytes(image.Bytes()), E_FAIL);
    EXPECT_TRUE(log.HasError("Parent directory ordering failure")) << log.Errors();
}

TEST_F(ReleaseManifestTest, TruncatedFilesFailWithTheMessageOfTheMissingPart) {
    ManifestImage image;
    image.projectName = 2;
    image.directories = {{0, 1, 0, 0, 1}};
    image.files = {{1, 1, 0x11, 0, 1, 1}};
    image.strings = {"", "f", "game"};
    const std::string bytes = image.Bytes();  // 8 + 8 + 4 + 20 + 4 + 36 + 8 + 8 = 96 bytes
    ASSERT_EQ(bytes.size(), 96u);
    struct Case {
        size_t length;
        const char* message;
    } cases[] = {
        {0, "Failure while reading header"},
        {7, "Failure while reading header"},
        {12, "Failure while reading project info"},
        {18, "Failure while reading directory table header"},
        {39, "Failed to read in directory table entries"},
        {42, "Failure while reading file table header"},
        {79, "Failed to read in file table entries"},
        {84, "Failure while reading string table header"},
        {95, "Failed to read in string table"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_EQ(LoadBytes(bytes.substr(0, c.length)), E_FAIL) << c.length;
        EXPECT_TRUE(log.HasError(c.message)) << c.length << ": " << log.Errors();
    }
    image.formatVersion = 0x10001;
    LogCapture log;
    EXPECT_EQ(LoadBytes(image.Bytes().substr(0, 80)), E_FAIL);
    EXPECT_TRUE(log.HasError("Failed to read in file table entries (v0)")) << log.Errors();
}

TEST_F(ReleaseManifestTest, HugeCountsFailWithoutAllocatingForThem) {
    ManifestImage image;
    image.directories = {{0, 1, 0, 0, 0}};
    image.strings = {""};
    std::string bytes = image.Bytes();
    std::string hugeDirectories = bytes;
    hugeDirectories.replace(16, 4, "\xFF\xFF\xFF\xFF", 4);
    EXPECT_EQ(LoadBytes(hugeDirectories), E_FAIL);
    std::string hugeFiles = bytes;
    hugeFiles.replace(40, 4, "\xFF\xFF\xFF\x7F", 4);
    EXPECT_EQ(LoadBytes(hugeFiles), E_FAIL);
    std::string hugeStrings = bytes;
    hugeStrings.replace(48, 4, "\xFF\xFF\xFF\xFF", 4);
    EXPECT_EQ(LoadBytes(hugeStrings), E_FAIL);
}

TEST_F(ReleaseManifestTest, FileRecordWithUnknownNameIsLeftOut) {
    ManifestImage image;
    image.projectName = 1;
    image.directories = {{0, 1, 0, 0, 2}};
    image.files = {{7, 1, 0x11, 0, 1, 1}, {2, 1, 0x22, 0, 2, 2}};
    image.strings = {"", "game", "kept"};
    ASSERT_EQ(LoadBytes(image.Bytes()), S_OK);
    ASSERT_EQ(manifest.m_Entries.size(), 1u);
    EXPECT_EQ(manifest.m_Entries[0].name, "kept");
}

TEST_F(ReleaseManifestTest, CancellationBeforeLoadAbortsWithoutReadingTheHeader) {
    const signed char cancel = 1;
    LogCapture log;
    EXPECT_EQ(LoadBytes("not a manifest", &cancel), E_ABORT);
    EXPECT_TRUE(log.HasError("Cancellation request detected, aborting"));
    EXPECT_FALSE(log.HasError("Failed to find magic value"));
}

TEST_F(ReleaseManifestTest, MissingFileFailsToOpen) {
    LogCapture log;
    const std::string path = PathOf("absent");
    EXPECT_EQ(manifest.Load(path, nullptr), E_FAIL);
    EXPECT_TRUE(log.HasError("Failed to open \"" + path + "\"."));
}

TEST(ReleaseManifestEntries, AddKeepsOrderAndRefusesNamesEqualWithoutCase) {
    ReleaseManifest m;
    const Md5 md5(0);
    EXPECT_EQ(m.Add("b", 1, md5.bytes, 0, 0, 0), S_OK);
    EXPECT_EQ(m.Add("C", 1, md5.bytes, 0, 0, 0), S_OK);
    EXPECT_EQ(m.Add("a", 1, md5.bytes, 0, 0, 0), S_OK);
    EXPECT_EQ(m.Add("B", 2, md5.bytes, 0, 0, 0), E_FAIL);
    ASSERT_EQ(m.m_Entries.size(), 3u);
    EXPECT_EQ(m.m_Entries[0].name, "a");
    EXPECT_EQ(m.m_Entries[1].name, "b");
    EXPECT_EQ(m.m_Entries[1].version, 1u);
    EXPECT_EQ(m.m_Entries[2].name, "C");
}

TEST(ReleaseManifestEntries, CancelledSortKeepsEveryEntry) {
    ReleaseManifest m;
    const Md5 md5(0);
    std::vector<std::string> names;
    for (int i = 0; i < 500; ++i) names.push_back("file" + std::to_string((i * 7919) % 500));
    for (const std::string& n : names) m.AddUnsorted(n, 1, md5.bytes, 0, 0, 0);

    const signed char cancel = 1;
    LogCapture log;
    EXPECT_EQ(m.SortEntries(&cancel), E_ABORT);
    EXPECT_TRUE(log.HasError("Cancel detected, aborting by throwing an exception"));
    std::vector<std::string> after;
    for (const auto& e : m.m_Entries) after.push_back(e.name);
    std::sort(names.begin(), names.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, names);

    EXPECT_EQ(m.SortEntries(nullptr), S_OK);
    EXPECT_TRUE(
        std::is_sorted(m.m_Entries.begin(), m.m_Entries.end(), ReleaseManifest::ENTRY::PredicateByName));
}

TEST(ReleaseManifestEntries, PredicatesOrderByNameThenVersionThenFlags) {
    auto entry = [](const char* name, DWORD version, DWORD flags) {
        ReleaseManifest::ENTRY e;
        e.name = name;
        e.version = version;
        e.flags = flags;
        return e;
    };
    using E = ReleaseManifest::ENTRY;
    EXPECT_TRUE(E::PredicateByName(entry("A", 9, 9), entry("b", 0, 0)));
    EXPECT_FALSE(E::PredicateByName(entry("a", 0, 0), entry("A", 9, 9)));
    EXPECT_TRUE(E::PredicateByNameThenFlags(entry("a", 9, 1), entry("A", 0, 2)));
    EXPECT_FALSE(E::PredicateByNameThenFlags(entry("a", 0, 2), entry("A", 9, 1)));
    EXPECT_TRUE(E::PredicateByNameThenVersionThenFlags(entry("a", 1, 9), entry("A", 2, 0)));
    EXPECT_TRUE(E::PredicateByNameThenVersionThenFlags(entry("a", 2, 0x7FFFFFFF), entry("A", 2, 0x80000000)));
    EXPECT_FALSE(E::PredicateByNameThenVersionThenFlags(entry("b", 0, 0), entry("A", 9, 9)));
}
