#include "remote/ProjectVersionListing.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "common/ConvertVersion.h"
#include "common/testing/LogCapture.h"
#include "foundation/OsContext.h"
#include "foundation/testing/FaultInjectingFileSystem.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::Common::ConvertVersion;
using Quor::Common::ProjectVersionListing;

DWORD V(const char* text) {
    DWORD version = 0;
    EXPECT_EQ(S_OK, ConvertVersion::ToNumber(text, version)) << text;
    return version;
}

class ProjectVersionListingTest : public ::testing::Test {
protected:
    ProjectVersionListing LoadText(const std::string& text) {
        QuorTest::WriteFile(path, text);
        ProjectVersionListing listing;
        EXPECT_EQ(S_OK, listing.Load(path));
        return listing;
    }
    std::string ProjectOf(const ProjectVersionListing& listing, const char* version) {
        std::string project = "<none>";
        listing.GetProjectVersion(V(version), project);
        return project;
    }
    DWORD QuorOf(const ProjectVersionListing& listing, const std::string& project) {
        DWORD version = 0xDEADBEEF;
        listing.GetQuorVersion(project, version);
        return version;
    }

    QuorTest::TempDir dir;
    std::string path = dir / "projectversionlisting";
};

TEST_F(ProjectVersionListingTest, HighestReleaseWinsForAProjectVersion) {
    QuorTest::LogCapture log;
    ProjectVersionListing listing = LoadText("1.0 0.0.0.5 0.0.0.7\n1.0 0.0.0.6\n2.0\t0.0.0.8\n");
    EXPECT_EQ(V("0.0.0.7"), QuorOf(listing, "1.0"));
    EXPECT_EQ(V("0.0.0.8"), QuorOf(listing, "2.0"));
    EXPECT_EQ("1.0", ProjectOf(listing, "0.0.0.6"));
    EXPECT_TRUE(log.Contains("QUOR version is older than the existing version. ProjectVersion: 1.0, QUORVersion: 0.0.0.6"));
    // Matched exactly and case-sensitively.
    DWORD version = 0;
    std::string project;
    EXPECT_EQ(E_FAIL, listing.GetQuorVersion("1.00", version));
    EXPECT_EQ(E_FAIL, listing.GetProjectVersion(V("0.0.0.9"), project));
}

TEST_F(ProjectVersionListingTest, LenientLinesAreLoggedAndSkipped) {
    QuorTest::LogCapture log;
    ProjectVersionListing listing = LoadText(
        "1.0 0.0.0.5\n"
        "1.1 0.0.0.5\n"          // duplicate release: first mapping stays
        "lonely\n"               // no release
        "1.2 0.0.0.6 bad 0.0.0.7\r\n"  // a bad token and the empty token of the trailing CR
        "\n"
        "1.3 0.0.0.9");          // last line without a line end
    EXPECT_EQ("1.0", ProjectOf(listing, "0.0.0.5"));
    EXPECT_TRUE(log.Has("Quor version already exists in QUOR to Project version map: 0.0.0.5"));
    EXPECT_TRUE(log.Has("No QUOR version for project version lonely"));
    EXPECT_TRUE(log.Has("Failed to convert QUOR version: bad"));
    EXPECT_TRUE(log.Has("Failed to convert QUOR version: "));
    EXPECT_EQ("1.2", ProjectOf(listing, "0.0.0.6"));
    EXPECT_EQ("1.2", ProjectOf(listing, "0.0.0.7"));
    EXPECT_EQ("1.3", ProjectOf(listing, "0.0.0.9"));
}

TEST_F(ProjectVersionListingTest, ProjectVersionsThatCannotBePlainNamesAreRefused) {
    ProjectVersionListing listing = LoadText("..\t0.0.0.1\na/b 0.0.0.2\nc\\d 0.0.0.3\nok 0.0.0.4\n");
    for (const char* version : {"0.0.0.1", "0.0.0.2", "0.0.0.3"}) EXPECT_EQ("<none>", ProjectOf(listing, version));
    EXPECT_EQ("ok", ProjectOf(listing, "0.0.0.4"));
}

TEST_F(ProjectVersionListingTest, AddRefusesEmptyProjectVersion) {
    ProjectVersionListing listing;
    EXPECT_EQ(E_FAIL, listing.Add(V("0.0.0.1"), ""));
    EXPECT_EQ(S_OK, listing.Add(V("0.0.0.1"), "x"));
    EXPECT_EQ(E_FAIL, listing.Add(V("0.0.0.1"), "y"));
}

TEST_F(ProjectVersionListingTest, SaveThenLoadReproducesBothMaps) {
    ProjectVersionListing original;
    original.Add(V("0.0.0.26"), "1.0.0.152");
    original.Add(V("0.0.0.25"), "1.0.0.152");
    original.Add(V("1.0.0.0"), "2.0");
    ASSERT_EQ(S_OK, original.Save(path));
    EXPECT_EQ("1.0.0.152 0.0.0.25 0.0.0.26\n2.0 1.0.0.0\n", QuorTest::ReadFile(path));
    ProjectVersionListing copy;
    ASSERT_EQ(S_OK, copy.Load(path));
    EXPECT_EQ(V("0.0.0.26"), QuorOf(copy, "1.0.0.152"));
    EXPECT_EQ("1.0.0.152", ProjectOf(copy, "0.0.0.25"));
    EXPECT_EQ("2.0", ProjectOf(copy, "1.0.0.0"));
}

TEST_F(ProjectVersionListingTest, MissingFileOrUnwritablePathFails) {
    ProjectVersionListing listing;
    EXPECT_EQ(E_FAIL, listing.Load(dir / "missing"));
    QuorTest::FaultInjectingFileSystem faults;
    const size_t refused = faults.Fail(QuorTest::FileCall::OpenForWrite, QuorTest::PathMatch::EndingWith("/listing"), ENOSPC);
    Vorn::ScopedOsContext os({.files = &faults});
    EXPECT_TRUE(FAILED(listing.Save(dir / "listing")));
    EXPECT_EQ(faults.Failed(refused), 1u);
    EXPECT_FALSE(QuorTest::Exists(dir / "listing"));
}

}  // namespace
