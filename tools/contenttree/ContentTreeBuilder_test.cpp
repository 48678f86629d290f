// The content tree builder and its command: what a release, its patches and bins look like on the
// server, read back through the system's own readers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ConvertVersion.h"
#include "common/LZMA.h"
#include "common/ReleaseManifest.h"
#include "common/SolutionManifest.h"
#include "common/ZLibHelper.h"
#include "remote/PackageManifest.h"
#include "remote/PatchManifest.h"
#include "remote/patch/BinaryPatch.h"
#include "tests/kit/RunCommand.h"
#include "tests/kit/TempDir.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

using namespace Quor::Tools::ContentTree;
using Quor::Common::ConvertVersion;
using Quor::Common::ReleaseManifest;

DWORD V(const char* text) {
    DWORD version = 0;
    EXPECT_EQ(S_OK, ConvertVersion::ToNumber(text, version));
    return version;
}

std::string Decompressed(const std::string& path, bool lzma) {
    const std::string out = path + ".out";
    EXPECT_EQ(S_OK, lzma ? Quor::Common::LZMA::DecompressFile(path, out)
                         : Quor::Common::ZLibHelper::DecompressFile(path, out));
    return QuorTest::ReadFile(out);
}

struct ToolRun {
    int status;
    std::string output;
};

// Runs quor-content with its standard error kept for the checks.
ToolRun RunContentTool(const std::vector<std::string>& arguments, const std::string& errors) {
    std::string line = QuorTest::ShellQuote(QUOR_CONTENT_TOOL);
    for (const std::string& argument : arguments) line += " " + QuorTest::ShellQuote(argument);
    const int status = QuorTest::RunCommand(line + " 2>" + QuorTest::ShellQuote(errors));
    return {status, QuorTest::ReadFile(errors)};
}

class ContentTreeBuilderTest : public ::testing::Test {
protected:
    void SetUp() override { tree.InstallPatchTools(); }
    std::string Releases() const { return server.path() + "/quor/projects/alpha/releases/"; }

    QuorTest::QuorTree tree;
    QuorTest::TempDir server{"quorserver"};
};

TEST_F(ContentTreeBuilderTest, ReleaseFormsListingsMarkersAndBins) {
    ContentDescription description;
    ProductSpec& alpha = description.AddProject("alpha");
    alpha.regionListings = {"US"};
    ReleaseSpec& r1 = alpha.AddRelease(V("1.0.0.1"), {"EU"});
    r1.AddFile("bin/run.sh", 0, "#!/bin/sh\n");
    r1.AddFile("data/z.txt", 0x04, std::string(5000, 'z'));
    r1.AddFile("data/l.bin", 0x20, std::string(3000, 'l'));
    r1.binBytes = 1 << 20;
    ReleaseSpec& r2 = alpha.AddRelease(V("1.0.0.2"), {"EU", "US"});
    r2.AddFile("bin/run.sh", 0, "#!/bin/sh\necho 2\n");
    r2.AddFile("data/z.txt", 0x04, std::string(5000, 'z')).version = V("1.0.0.1");
    alpha.AddRelease(V("1.0.0.3")).listed = false;
    std::string error;
    ASSERT_TRUE(BuildContentTree(description, server.path(), error)) << error;

    EXPECT_EQ("1.0.0.2\n1.0.0.1\n", QuorTest::ReadFile(Releases() + "releaselisting"));
    EXPECT_EQ("1.0.0.2\n", QuorTest::ReadFile(Releases() + "releaselisting_US"));
    EXPECT_TRUE(QuorTest::Exists(Releases() + "1.0.0.1/EU_OK"));
    EXPECT_FALSE(QuorTest::Exists(Releases() + "1.0.0.1/US_OK"));

    ReleaseManifest manifest;
    ASSERT_EQ(S_OK, manifest.Load(Releases() + "1.0.0.2/releasemanifest", nullptr));
    ASSERT_EQ(2u, manifest.m_Entries.size());
    const ReleaseManifest::ENTRY& z = manifest.m_Entries[1];
    EXPECT_EQ("data/z.txt", z.name);
    EXPECT_EQ(V("1.0.0.1"), z.version);
    EXPECT_EQ(5000u, z.size);
    // Whole files live at their entry version, in every form the flags name.
    const std::string zPath = Releases() + "1.0.0.1/files/data/z.txt";
    EXPECT_EQ(std::string(5000, 'z'), Decompressed(zPath + ".compressed", false));
    EXPECT_EQ(QuorTest::ReadFile(zPath + ".compressed").size(), z.compressedSize);
    EXPECT_EQ(std::string(3000, 'l'), Decompressed(Releases() + "1.0.0.1/files/data/l.bin.lzma2", true));
    EXPECT_FALSE(QuorTest::Exists(Releases() + "1.0.0.2/files/data/z.txt"));

    // The bin holds the compressed forms under their server paths.
    Quor::Common::PackageManifest packages;
    ASSERT_EQ(S_OK, packages.Load(Releases() + "1.0.0.1/packages/files/packagemanifest"));
    Quor::Common::PackageManifest::ENTRY entry;
    ASSERT_EQ(S_OK, packages.FindEntry("/projects/alpha/releases/1.0.0.1/files/data/z.txt.compressed", entry));
    const std::string bin = QuorTest::ReadFile(Releases() + "1.0.0.1/packages/files/" + entry.bin);
    EXPECT_EQ(QuorTest::ReadFile(zPath + ".compressed"), bin.substr(entry.offset, entry.length));
}

TEST_F(ContentTreeBuilderTest, PatchesRebuildTheNewFilesAtTheirServerPaths) {
    ContentDescription description;
    ProductSpec& alpha = description.AddProject("alpha");
    ReleaseSpec& r1 = alpha.AddRelease(V("1.0.0.1"));
    const std::string oldBytes(20000, 'a');
    r1.AddFile("a.bin", 0, oldBytes);
    r1.AddFile("same.txt", 0, "same");
    ReleaseSpec& r2 = alpha.AddRelease(V("1.0.0.2"));
    std::string newBytes = oldBytes;
    newBytes[100] = 'b';
    r2.AddFile("a.bin", 0, newBytes);
    r2.AddFile("same.txt", 0, "same").version = V("1.0.0.1");
    r2.AddFile("new.txt", 0, "new file");
    r2.patches.push_back({V("1.0.0.1"), Quor::Common::PatchManifest::FLAG_ZLIB, 0});
    std::string error;
    ASSERT_TRUE(BuildContentTree(description, server.path(), error)) << error;

    Quor::Common::PatchManifest patches;
    ASSERT_EQ(S_OK, patches.Load(Releases() + "1.0.0.2/patchmanifests/1.0.0.1.patchmanifest"));
    ASSERT_EQ(3u, patches.m_Entries.size());
    EXPECT_EQ(0x01u, patches.m_Entries[0].flags);  // a.bin: a zlib patch
    EXPECT_EQ(0x09u, patches.m_Entries[1].flags);  // new.txt: the whole file
    EXPECT_EQ(0x02u, patches.m_Entries[2].flags);  // same.txt: no differences

    const std::string patch = server.path() + "/quor" + Quor::Common::GetRemoteFilePath("alpha", patches.m_Entries[0]);
    EXPECT_EQ(QuorTest::ReadFile(patch).size(), patches.m_Entries[0].size);
    QuorTest::WriteFile(tree.temp() + "/patch", Decompressed(patch, false));
    ASSERT_EQ(S_OK, Quor::Common::BinaryPatch::Apply(Releases() + "1.0.0.1/files/a.bin", tree.temp() + "/patch",
                                                     tree.temp() + "/out"));
    EXPECT_TRUE(QuorTest::ReadFile(tree.temp() + "/out") == newBytes);
    EXPECT_EQ("new file", Decompressed(server.path() + "/quor" +
                                           Quor::Common::GetRemoteFilePath("alpha", patches.m_Entries[1]),
                                       false));
}

TEST_F(ContentTreeBuilderTest, RefusesNamesThatLeaveTheTreeAndContentsThatDisagree) {
    const struct {
        const char* project;
        const char* file;
        const char* region;
        const char* why;
    } cases[] = {
        {"..", "a", "EU", "invalid name"},
        {"alpha", "../a", "EU", "invalid file name"},
        {"alpha", "a", "../EU", "invalid region"},
    };
    for (const auto& c : cases) {
        ContentDescription description;
        description.AddProject(c.project).AddRelease(V("1.0.0.1"), {c.region}).AddFile(c.file, 0, "x");
        std::string error;
        EXPECT_FALSE(BuildContentTree(description, server.path(), error)) << c.why;
        EXPECT_NE(std::string::npos, error.find(c.why)) << error;
    }
    ContentDescription twice;
    ProductSpec& alpha = twice.AddProject("alpha");
    alpha.AddRelease(V("1.0.0.1")).AddFile("a", 0, "one");
    alpha.AddRelease(V("1.0.0.2")).AddFile("a", 0, "two").version = V("1.0.0.1");
    std::string error;
    EXPECT_FALSE(BuildContentTree(twice, server.path(), error));
    EXPECT_NE(std::string::npos, error.find("two different contents")) << error;
}

TEST_F(ContentTreeBuilderTest, CommandBuildsSolutionsAndPatchesFromADescription) {
    QuorTest::WriteFile(tree.temp() + "/content.txt",
                        "# sample\n"
                        "project alpha\n"
                        "  release 1.0.0.1 EU\n"
                        "    file bin/run me.sh - 0 text:#!/bin/sh\\necho\\s1\\n\n"
                        "    file data/z.txt - 0x04 random:4096:7\n"
                        "  release 1.0.0.2 EU\n"
                        "    file bin/run me.sh - 0 text:#!/bin/sh\\necho\\s2\\n\n"
                        "    file data/z.txt 1.0.0.1 0x04 same\n"
                        "    patch 1.0.0.1 lzma packages 1000000\n"
                        "solution suite\n"
                        "  release 2.0.0.1 EU\n"
                        "    member alpha 1.0.0.2 5\n"
                        "    configuration en_US alpha\n");
    QuorTest::TempDir out{"quorcontent"};
    const ToolRun run = RunContentTool({"build", tree.temp() + "/content.txt", out.path(), "--jdiff",
                                    QuorTest::JDiffPath()},
                                   tree.temp() + "/errors");
    ASSERT_EQ(0, run.status) << run.output;

    ReleaseManifest manifest;
    const std::string releases = out.path() + "/quor/projects/alpha/releases/";
    ASSERT_EQ(S_OK, manifest.Load(releases + "1.0.0.2/releasemanifest", nullptr));
    EXPECT_EQ("bin/run me.sh", manifest.m_Entries[0].name);
    EXPECT_EQ("#!/bin/sh\necho 2\n", QuorTest::ReadFile(releases + "1.0.0.2/files/bin/run me.sh"));
    Quor::Common::PackageManifest bins;
    EXPECT_EQ(S_OK, bins.Load(releases + "1.0.0.2/packages/patches/1.0.0.1/packagemanifest"));
    EXPECT_TRUE(QuorTest::Exists(releases + "1.0.0.2/patches/1.0.0.1/bin/run me.sh.lzma2"));

    Quor::Common::SolutionManifest solution;
    ASSERT_EQ(S_OK, solution.Load(out.path() + "/quor/solutions/suite/releases/2.0.0.1/solutionmanifest"));
    ASSERT_EQ(1u, solution.m_Projects.size());
    EXPECT_EQ(V("1.0.0.2"), solution.m_Projects[0].version);

    QuorTest::WriteFile(out.path() + "/bad.txt", "project alpha\n  release 1.0.0.1\n    file x - 0 nothing:1\n");
    const ToolRun bad = RunContentTool({"build", out.path() + "/bad.txt", out.path()}, tree.temp() + "/errors");
    EXPECT_EQ(1, bad.status);
    EXPECT_NE(std::string::npos, bad.output.find("bad.txt:3: unknown content")) << bad.output;
}

}  // namespace
