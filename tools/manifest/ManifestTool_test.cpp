#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "common/testing/LogCapture.h"
#include "remote/MD5.h"
#include "tests/kit/TempDir.h"
#include "tools/manifest/Description.h"
#include "tools/manifest/FolderScan.h"
#include "tools/manifest/Printers.h"

extern char** environ;

using Quor::Common::ReleaseManifest;

namespace {

bool ReadDescriptionText(const std::string& text, ReleaseManifest& manifest, std::string& error) {
    FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    const bool ok = Quor::Tools::ReadDescription(in, manifest, error);
    fclose(in);
    return ok;
}

// Runs the tool with the arguments; returns its exit status, its standard output in `out`.
int RunTool(std::vector<std::string> args, std::string& out) {
    QuorTest::TempDir dir;
    const std::string outPath = dir / "stdout";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    args.insert(args.begin(), QUOR_MANIFEST_TOOL);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, QUOR_MANIFEST_TOOL, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    out = QuorTest::ReadFile(outPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(ManifestToolDescription, ReadsEntriesAndSortsThem) {
    const std::string text =
        "# a comment\n"
        "\n"
        "data\\textures\\stone wall.dds 1.0.0.3 0x12 4096 1000 00112233445566778899aabbccddeeff\r\n"
        "   Readme.txt\t1.0.0.1 0 12 12 -\n"
        "bin/tool 255.0.0.1 8 4294967295 0 FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n";
    ReleaseManifest m;
    std::string error;
    ASSERT_TRUE(ReadDescriptionText(text, m, error)) << error;
    ASSERT_EQ(m.m_Entries.size(), 3u);
    EXPECT_EQ(m.m_Entries[0].name, "bin/tool");
    EXPECT_EQ(m.m_Entries[0].version, 0xFF000001u);
    EXPECT_EQ(m.m_Entries[0].size, 0xFFFFFFFFu);
    EXPECT_EQ(m.m_Entries[0].md5[15], 0xFF);
    EXPECT_EQ(m.m_Entries[1].name, "data/textures/stone wall.dds");
    EXPECT_EQ(m.m_Entries[1].flags, 0x12u);
    EXPECT_EQ(m.m_Entries[1].compressedSize, 1000u);
    EXPECT_EQ(m.m_Entries[1].md5[1], 0x11);
    EXPECT_EQ(m.m_Entries[2].name, "Readme.txt");
    EXPECT_EQ(m.m_Entries[2].md5[0], 0);

    // Each entry described again reads back to itself.
    std::string again;
    for (const auto& e : m.m_Entries) again += Quor::Tools::DescribeEntry(e) + "\n";
    ReleaseManifest m2;
    ASSERT_TRUE(ReadDescriptionText(again, m2, error)) << error;
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(Quor::Tools::DescribeEntry(m2.m_Entries[i]), Quor::Tools::DescribeEntry(m.m_Entries[i]));
}

TEST(ManifestToolDescription, RefusesBadLinesWithTheirNumber) {
    const struct {
        const char* line;
        const char* error;
    } cases[] = {
        {"1.0.0.1 0 1 1 -", "line 2: expected: name version flags size compressedSize md5"},
        {"a 1.0.0 0 1 1 -", "line 2: invalid version \"1.0.0\""},
        {"a 1.0.0.256 0 1 1 -", "line 2: invalid version \"1.0.0.256\""},
        {"a 1.0.0.1 x 1 1 -", "line 2: invalid flags \"x\""},
        {"a 1.0.0.1 0 -1 1 -", "line 2: invalid size \"-1\""},
        {"a 1.0.0.1 0 1 4294967296 -", "line 2: invalid compressed size \"4294967296\""},
        {"a 1.0.0.1 0 1 1 0011", "line 2: invalid md5 \"0011\""},
        {"../a 1.0.0.1 0 1 1 -", "line 2: invalid name \"../a\""},
        {"/a 1.0.0.1 0 1 1 -", "line 2: invalid name \"/a\""},
        {"a//b 1.0.0.1 0 1 1 -", "line 2: invalid name \"a//b\""},
        {"A/B 1.0.0.1 0 1 1 -", "name the same file"},
    };
    for (const auto& c : cases) {
        ReleaseManifest m;
        std::string error;
        EXPECT_FALSE(ReadDescriptionText("a/b 1.0.0.1 0 1 1 -\n" + std::string(c.line) + "\n", m, error))
            << c.line;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.line << ": " << error;
    }
}

TEST(ManifestToolScan, DescribesEveryRegularFile) {
    QuorTest::TempDir dir;
    QuorTest::WriteFile(dir / "content/top.txt", "hello");
    QuorTest::WriteFile(dir / "content/data/a.bin", std::string(1000, 'x'));
    QuorTest::WriteFile(dir / "content/data/deeper/empty", "");
    ReleaseManifest m;
    std::string error;
    ASSERT_TRUE(Quor::Tools::ScanFolder(dir / "content", 0x01000002, 0x01, m, error)) << error;
    ASSERT_EQ(m.m_Entries.size(), 3u);
    EXPECT_EQ(m.m_Entries[0].name, "data/a.bin");
    EXPECT_EQ(m.m_Entries[0].size, 1000u);
    EXPECT_EQ(m.m_Entries[0].compressedSize, 1000u);
    EXPECT_EQ(m.m_Entries[0].version, 0x01000002u);
    EXPECT_EQ(m.m_Entries[0].flags, 0x01u);
    EXPECT_EQ(m.m_Entries[1].name, "data/deeper/empty");
    EXPECT_EQ(m.m_Entries[2].name, "top.txt");
    // The digests are the MD5 of the files (the well-known digests of "" and "hello").
    std::string digest;
    MD5::ToString(m.m_Entries[1].md5, digest);
    EXPECT_EQ(digest, "d41d8cd98f00b204e9800998ecf8427e");
    MD5::ToString(m.m_Entries[2].md5, digest);
    EXPECT_EQ(digest, "5d41402abc4b2a76b9719d911017c592");

    QuorTest::WriteFile(dir / "content/TOP.txt", "x");
    ReleaseManifest clash;
    EXPECT_FALSE(Quor::Tools::ScanFolder(dir / "content", 1, 0, clash, error));
    EXPECT_NE(error.find("differ only in case"), std::string::npos) << error;
    EXPECT_FALSE(Quor::Tools::ScanFolder(dir / "absent", 1, 0, clash, error));
}

TEST(ManifestToolProgram, WritesPrintsAndWritesBackTheSameFile) {
    QuorTest::TempDir dir;
    QuorTest::WriteFile(dir / "description",
                        "a/x 1.0.0.1 0x01 100 50 11111111111111111111111111111111\n"
                        "a/z 1.0.0.2 0x06 200 80 22222222222222222222222222222222\n"
                        "b/y 1.0.0.0 0 3 3 33333333333333333333333333333333\n");
    std::string out;
    ASSERT_EQ(RunTool({"write", dir / "releasemanifest", "game", "1.0.0.2", dir / "description"}, out), 0);
    ASSERT_EQ(RunTool({"print", dir / "releasemanifest"}, out), 0);
    EXPECT_NE(out.find("# project: game\n# release: 1.0.0.2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("a/z 1.0.0.2 0x06 200 80 22222222222222222222222222222222\n"), std::string::npos)
        << out;

    QuorTest::WriteFile(dir / "printed", out);
    ASSERT_EQ(RunTool({"write", dir / "again", "game", "1.0.0.2", dir / "printed"}, out), 0);
    EXPECT_EQ(QuorTest::ReadFile(dir / "again"), QuorTest::ReadFile(dir / "releasemanifest"));

    EXPECT_EQ(RunTool({"write", dir / "x", "game", "1.0.0"}, out), 2);
    EXPECT_EQ(RunTool({"frobnicate"}, out), 2);
    EXPECT_EQ(RunTool({"print", dir / "absent"}, out), 1);
    QuorTest::WriteFile(dir / "bad", "../x 1.0.0.1 0 1 1 -\n");
    EXPECT_EQ(RunTool({"write", dir / "x", "game", "1.0.0.1", dir / "bad"}, out), 1);
}

TEST(ManifestToolPrinters, PrintEveryKind) {
    QuorTest::TempDir dir;
    QuorTest::LogCapture quiet(Quor::Log::USER);
    const struct {
        const char* name;
        const char* text;
        Quor::Tools::ManifestKind kind;
        const char* expected;
    } cases[] = {
        {"solution",
         "Quor Solution Manifest\n1.0.0.0\nsln\n0.0.0.130\n1\nalpha\n1.0.0.1\n5\n0\n1\nen_US\n7\n1\nalpha\n",
         Quor::Tools::ManifestKind::Solution,
         "solution: sln\nversion: 0.0.0.130\nprojects: 1\n  alpha 1.0.0.1 priority 5 flags 0x0\n"
         "configurations: 1\n  en_US flags 0x7: alpha\n"},
        {"configuration", "quor configuration manifest\n1.0.0.0\nen_US\n2\nb\na\n",
         Quor::Tools::ManifestKind::Configuration, "configuration: en_US\nprojects: 2\n  b\n  a\n"},
        {"package", "PKG1\na.dds,bin0,0,100,0\nb.dds,BIN0,100,50,3\n", Quor::Tools::ManifestKind::Package,
         "files: 2\n  a.dds in bin0 at 0, 100 bytes (value 0)\n  b.dds in BIN0 at 100, 50 bytes (value 3)\n"
         "bins: 1\n  bin0 150 bytes used\n"},
        {"patch", "p\n0.0.0.1,0.0.0.2\ndata/a.bin,0.0.0.1,0.0.0.2,10,13\n", Quor::Tools::ManifestKind::Patch,
         "project: p\nfrom: 0.0.0.1\nto: 0.0.0.2\nentries: 1\n  data/a.bin 0.0.0.1 -> 0.0.0.2 size 10 flags "
         "0xd: "
         "/projects/p/releases/0.0.0.2/files/data/a.bin.compressed.lzma2\n"},
    };
    for (const auto& c : cases) {
        const std::string path = dir / c.name;
        QuorTest::WriteFile(path, c.text);
        Quor::Tools::ManifestKind kind;
        ASSERT_TRUE(Quor::Tools::DetectManifestKind(path, kind));
        EXPECT_EQ(kind, c.kind) << c.name;
        char* buffer = nullptr;
        size_t size = 0;
        FILE* out = open_memstream(&buffer, &size);
        HRESULT hr = E_FAIL;
        switch (kind) {
            case Quor::Tools::ManifestKind::Solution:
                hr = Quor::Tools::PrintSolutionManifest(path, out);
                break;
            case Quor::Tools::ManifestKind::Configuration:
                hr = Quor::Tools::PrintConfigurationManifest(path, out);
                break;
            case Quor::Tools::ManifestKind::Package:
                hr = Quor::Tools::PrintPackageManifest(path, out);
                break;
            case Quor::Tools::ManifestKind::Patch:
                hr = Quor::Tools::PrintPatchManifest(path, out);
                break;
            case Quor::Tools::ManifestKind::Release:
                break;
        }
        fclose(out);
        const std::string printed(buffer, size);
        free(buffer);
        EXPECT_EQ(hr, S_OK) << c.name;
        EXPECT_EQ(printed, c.expected) << c.name;
    }
}

TEST(ManifestToolProgram, NamesAPlainLineWouldLoseRoundTripExactly) {
    QuorTest::TempDir dir;
    ReleaseManifest manifest;
    manifest.m_ProjectName = "game";
    manifest.m_ReleaseVersion = 0x01000002;
    MD5::DIGEST md5 = {};
    for (const char* name : {"#hash", " lead", "trail ", "\"quoted\"", "ctl\x01name", "plain"})
        manifest.AddUnsorted(name, 0x01000001, md5, 0, 1, 1);
    ASSERT_EQ(manifest.SortEntries(nullptr), S_OK);
    ASSERT_EQ(manifest.Save(dir / "releasemanifest"), S_OK);
    std::string out;
    ASSERT_EQ(RunTool({"print", dir / "releasemanifest"}, out), 0);
    EXPECT_NE(out.find("\"#hash\" 1.0.0.1"), std::string::npos) << out;
    EXPECT_NE(out.find("\"ctl\\x01name\" 1.0.0.1"), std::string::npos) << out;
    QuorTest::WriteFile(dir / "printed", out);
    ASSERT_EQ(RunTool({"write", dir / "again", "game", "1.0.0.2", dir / "printed"}, out), 0);
    EXPECT_EQ(QuorTest::ReadFile(dir / "again"), QuorTest::ReadFile(dir / "releasemanifest"));
    // A quoted name that does not end, or escapes that do not decode, are refused.
    for (const char* bad : {"\"open 1.0.0.1 0 1 1 -\n", "\"a\\q\" 1.0.0.1 0 1 1 -\n", "\"a\"1.0.0.1 0 1 1 -\n"}) {
        QuorTest::WriteFile(dir / "bad", bad);
        EXPECT_EQ(RunTool({"write", dir / "x", "game", "1.0.0.1", dir / "bad"}, out), 1) << bad;
    }
}

TEST(ManifestToolProgram, SpecialFilesAndHugeFilesFailWithAMessage) {
    QuorTest::TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    // A 5 GiB sparse file that starts like a release manifest.
    {
        FILE* big = fopen((dir / "big").c_str(), "wb");
        ASSERT_NE(big, nullptr);
        fwrite("RLSM", 1, 4, big);
        ASSERT_EQ(ftruncate(fileno(big), off_t{5} << 30), 0);
        fclose(big);
    }
    std::string out;
    for (const char* command : {"print", "print-release", "print-solution", "print-configuration",
                                       "print-package", "print-patch"})
        for (const std::string& path : {dir / "fifo", std::string("/dev/zero"), dir / "big"})
            EXPECT_EQ(RunTool({command, path}, out), 1) << command << " " << path;
}
