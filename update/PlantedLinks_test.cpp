// Symbolic links planted where the tree holds a folder, a manifest or a file: update, validation
// and uninstall of projects and solutions never write, overwrite or delete through them. Each
// case installs a release by the real installation, replaces one place of the tree by a link to
// a canary outside {root}, runs one operation against the in-process content server, and then
// checks that the canary holds the same names and bytes and that the link is no longer in the
// tree.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/ManagedFileHelper.h"
#include "common/testing/LogCapture.h"
#include "install/InstalledState.h"
#include "install/Uninstall.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tests/kit/content/InstalledTree.h"
#include "tests/kit/content/TreeSnapshot.h"
#include "tests/kit/install/RunInstall.h"
#include "tools/contenttree/ContentTreeBuilder.h"
#include "install/InstallSolutionRelease.h"
#include "tests/kit/content/SuiteContent.h"
#include "update/UpdateProject.h"
#include "update/UpdateSolution.h"
#include "update/Validate.h"

namespace Quor::User {
namespace {

using InstallTesting::V;
constexpr DWORD kV1 = V(1, 0, 0, 1);
constexpr DWORD kV2 = V(1, 0, 0, 2);

enum class Operation { Update, Validate, Uninstall };

// Where the link is planted, relative to {root}; what the canary at its target holds; and whether
// the operation reaches that place (a place it never looks at may keep the link).
struct Place {
    const char* what;
    std::string (*relative)();
    bool canaryIsFolder;
};

std::string Temp() { return "temp"; }
std::string DeployFolder() { return "projects/alpha/releases/1.0.0.1/deploy"; }
std::string DeployData() { return "projects/alpha/releases/1.0.0.1/deploy/data"; }
std::string Manifest() { return "projects/alpha/releases/1.0.0.1/releasemanifest"; }
std::string ManagedData() { return "projects/alpha/managedfiles/1.0.0.1/data"; }

const Place kPlaces[] = {
    {"temp", Temp, true},
    {"deploy", DeployFolder, true},
    {"deploy/data", DeployData, true},
    {"releasemanifest", Manifest, false},
    {"managedfiles/data", ManagedData, true},
};

struct Case {
    Operation operation;
    size_t place;  // index into kPlaces
    bool reached;  // the operation works at that place, so the link must be gone afterwards
    // The operation's result: a removed manifest leaves the release as a lost manifest does.
    HRESULT result = S_OK;
};

std::string CaseName(const Case& c) {
    static const char* const operations[] = {"Update", "Validate", "Uninstall"};
    std::string place = kPlaces[c.place].what;
    for (char& letter : place)
        if (!isalnum(static_cast<unsigned char>(letter))) letter = '_';
    return std::string(operations[static_cast<int>(c.operation)]) + "_" + place;
}
// The canary's names and bytes, and the modification time of each of its folders: a file made
// and removed again through the link still shows.
std::string CanaryState(const std::string& folder) {
    std::string state;
    for (const auto& [path, held] : QuorTest::TakeSnapshot(folder)) state += path + " " + held + "\n";
    std::vector<std::string> folders{folder};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_directory() && !entry.is_symlink()) folders.push_back(entry.path().string());
    for (const std::string& each : folders) {
        struct stat status {};
        ::lstat(each.c_str(), &status);
        state += each.substr(folder.size()) + "/ written at " + std::to_string(status.st_mtim.tv_sec) + "." +
                 std::to_string(status.st_mtim.tv_nsec) + "\n";
    }
    return state;
}

// Fills the canary with what the planted place holds (other bytes), so that a write, an
// overwrite or a delete through the link shows; then replaces the place by the link.
void PlantLink(const std::string& at, bool canaryIsFolder, const std::string& canary) {
    const std::string target = canary + "/target";
    if (!canaryIsFolder) {
        QuorTest::WriteFile(target, QuorTest::ReadFile(at));  // a loadable manifest
    } else if (std::filesystem::is_directory(at)) {
        std::filesystem::copy(at, target, std::filesystem::copy_options::recursive);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(target))
            if (entry.is_regular_file()) QuorTest::WriteFile(entry.path().string(), "canary bytes");
    }
    if (canaryIsFolder) QuorTest::WriteFile(target + "/TMPcanary", "canary");
    std::filesystem::remove_all(at);
    ASSERT_EQ(0, ::symlink(target.c_str(), at.c_str())) << at;
}

std::string Name(const ::testing::TestParamInfo<Case>& info) { return CaseName(info.param); }
void PrintTo(const Case& c, std::ostream* out) { *out << CaseName(c); }

// Project alpha: 1.0.0.1 with plain, zlib-fetched and managed files, the deploy and managed ones
// below "data/"; 1.0.0.2 changes some, keeps one, drops one and adds one.
class PlantedLinksTest : public InstallTesting::InstallTreeTest, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        RegisterInstalledStateServices();
        auto& alpha = description.AddProject("alpha");
        auto& first = alpha.AddRelease(kV1, {"xx"});
        first.AddFile("bin/run.sh", 0, "#!/bin/sh\necho one\n");
        first.AddFile("data/z.txt", 0x04, std::string(7000, 'z'));
        first.AddFile("data/keep.txt", 0, "kept by both releases");
        first.AddFile("data/gone.txt", 0, "only in the first release");
        first.AddFile("data/m.dat", 0x01, "managed bytes of one");
        auto& second = alpha.AddRelease(kV2, {"xx"});
        for (const auto& file : alpha.FindRelease(kV1)->files)
            if (file.name == "data/keep.txt") second.files.push_back(file);
        second.AddFile("bin/run.sh", 0, "#!/bin/sh\necho two\n");
        second.AddFile("data/z.txt", 0x04, std::string(7100, 'y'));
        second.AddFile("data/new.txt", 0, "new in the second release");
        second.AddFile("data/m.dat", 0x01, "managed bytes of two");
        std::string error;
        ASSERT_TRUE(Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
        signed char never = 0;
        AutoUpdateProgress installing(nullptr, &never, 0);
        ASSERT_EQ(S_OK, InstallE2E::RunInstall("alpha", kV1, server, installing));
        ManagedFileHelper::Release();
        server.ClearRecords();
    }

    void Plant(const Place& place) { PlantLink(root + "/" + place.relative(), place.canaryIsFolder, canary.path()); }

    HRESULT Run(Operation operation) {
        switch (operation) {
            case Operation::Update: {
                const UpdateProject::InputParameters input{"alpha", INVALID_RELEASE_VERSION, kV2,
                                                           fileSystem, server, progress};
                UpdateProject::Discover discover(input);
                UpdateProject::Execute execute(discover, nullptr, nullptr);
                return execute.m_hr;
            }
            case Operation::Validate:
                // One damaged file, so that the validation fetches (through the temporary folder);
                // with the deploy folder planted its files are missing anyway.
                if (!std::filesystem::is_symlink(root + "/" + DeployFolder()))
                    QuorTest::WriteFile(root + "/" + DeployFolder() + "/bin/run.sh", "damaged");
                return ValidateProject("alpha", fileSystem, server, progress);
            case Operation::Uninstall:
                return UninstallProjectRelease("alpha", kV1, fileSystem, progress);
        }
        return E_FAIL;
    }

    // What the operation leaves, compared with what installing the releases it should leave gives.
    std::string Difference(Operation operation) const {
        QuorTest::TreeSnapshot expected;
        if (operation != Operation::Uninstall)
            expected = QuorTest::ExpectedProjectInstall(description, content.path(), "alpha",
                                                        operation == Operation::Update ? kV2 : kV1);
        QuorTest::TreeSnapshot actual = InstallTesting::InstalledSnapshot(root);
        std::erase_if(actual, [](const auto& item) { return item.second == "<empty folder>"; });
        return QuorTest::SnapshotDifference(expected, actual);
    }

    Tools::ContentTree::ContentDescription description;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::TempDir canary{"quorcanary"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};
};

TEST_P(PlantedLinksTest, TheCanaryOutsideTheTreeIsUntouchedAndTheLinkIsGone) {
    const Case c = GetParam();
    const Place& place = kPlaces[c.place];
    Plant(place);
    if (HasFatalFailure()) return;
    const std::string before = CanaryState(canary.path());
    QuorTest::LogCapture log(Log::WARNING);
    const HRESULT hr = Run(c.operation);
    ManagedFileHelper::Release();
    EXPECT_EQ(c.result, hr) << log.Errors();

    EXPECT_EQ(before, CanaryState(canary.path()))
        << "the canary behind " << place.what << " changed (operation result 0x" << std::hex << hr << ")";
    const std::string at = root + "/" + place.relative();
    struct stat status {};
    const bool isLink = ::lstat(at.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
    if (c.reached) {
        EXPECT_FALSE(isLink) << "the link at " << at << " is still in the tree";
        // Found where the operation met it (an update meets it in the folder it moved the release to);
        // an uninstall deletes links like anything else of the release.
        EXPECT_TRUE(log.Contains("A symbolic link stood where the tree holds \"") ||
                    c.operation == Operation::Uninstall)
            << log.All();
        // Nor is any other link left below the projects.
        for (const auto& [path, held] : QuorTest::TakeSnapshot(root + "/projects")) EXPECT_NE("<link>", held) << path;
    }
    // Real tree content stands where the link stood: the release the operation leaves is whole.
    if (c.reached && SUCCEEDED(c.result)) {
        EXPECT_EQ("", Difference(c.operation));
    }
}

INSTANTIATE_TEST_SUITE_P(Places, PlantedLinksTest,
                         ::testing::Values(Case{Operation::Update, 0, true}, Case{Operation::Update, 1, true},
                                           Case{Operation::Update, 2, true}, Case{Operation::Update, 3, true, E_FAIL},
                                           Case{Operation::Update, 4, true}, Case{Operation::Validate, 0, true},
                                           Case{Operation::Validate, 1, true}, Case{Operation::Validate, 2, true},
                                           Case{Operation::Validate, 3, true, E_FAIL}, Case{Operation::Validate, 4, true},
                                           Case{Operation::Uninstall, 0, false},
                                           Case{Operation::Uninstall, 1, true},
                                           Case{Operation::Uninstall, 2, true},
                                           Case{Operation::Uninstall, 3, true, E_FAIL},
                                           Case{Operation::Uninstall, 4, true}),
                         Name);

// The same for a solution release: its deploy folder, or the folder "data" in it, is a link to a
// canary while the solution is updated in place, validated or uninstalled.
struct SolutionCase {
    Operation operation;
    const char* place;  // below the release folder of suite 2.0.0.1
    // The operation works in the deploy folder (an update in place to a release of the same project
    // releases copies nothing into it, yet must not mark a deploy folder that is a link complete).
    bool reached = true;
};

void PrintTo(const SolutionCase& c, std::ostream* out) {
    static const char* const operations[] = {"Update", "Validate", "Uninstall"};
    *out << operations[static_cast<int>(c.operation)] << " with " << c.place;
}

std::string SolutionName(const ::testing::TestParamInfo<SolutionCase>& info) {
    static const char* const operations[] = {"Update", "Validate", "Uninstall"};
    return std::string(operations[static_cast<int>(info.param.operation)]) + "_" +
           (std::string(info.param.place) == "deploy" ? "deploy" : "deploy_data");
}

class PlantedSolutionLinksTest : public InstallTesting::InstallTreeTest,
                                 public ::testing::WithParamInterface<SolutionCase> {
protected:
    void SetUp() override {
        RegisterInstalledStateServices();
        InstallTesting::AddSuiteContent(description, kV1, kSuite);
        InstallTesting::AddSuiteReleaseLike(description, kSuite, kSuite2);
        std::string error;
        ASSERT_TRUE(Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
        signed char never = 0;
        AutoUpdateProgress installing(nullptr, &never, 0);
        const InstallSolutionRelease::InputParameters input{"suite", kSuite, "en_US", fileSystem, server, installing};
        const InstallSolutionRelease::Discover discover(input);
        const InstallSolutionRelease::Execute execute(discover);
        ASSERT_EQ(S_OK, execute.m_hr);
        ManagedFileHelper::Release();
        server.ClearRecords();
    }

    HRESULT Run(Operation operation) {
        const std::string solution = "suite", configuration = "en_US";
        switch (operation) {
            case Operation::Update: {
                const UpdateSolution::InputParameters input{solution, configuration, kSuite2,
                                                            fileSystem, server, progress};
                UpdateSolution::Discover discover(input);
                UpdateSolution::Execute execute(discover, nullptr);
                return execute.m_hr;
            }
            case Operation::Validate:
                return ValidateSolution(solution, fileSystem, server, progress);
            case Operation::Uninstall:
                return UninstallSolutionRelease(solution, kSuite, fileSystem, progress);
        }
        return E_FAIL;
    }
    std::string Difference(Operation operation) const {
        QuorTest::TreeSnapshot expected;
        if (operation != Operation::Uninstall)
            expected = QuorTest::ExpectedSolutionInstall(description, content.path(), "suite",
                                                         operation == Operation::Update ? kSuite2 : kSuite, "en_US");
        QuorTest::TreeSnapshot actual = InstallTesting::InstalledSnapshot(root);
        std::erase_if(actual, [](const auto& item) { return item.second == "<empty folder>"; });
        return QuorTest::SnapshotDifference(expected, actual);
    }

    static constexpr DWORD kSuite = V(2, 0, 0, 1);
    static constexpr DWORD kSuite2 = V(2, 0, 0, 2);
    Tools::ContentTree::ContentDescription description;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::TempDir canary{"quorcanary"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};
};

TEST_P(PlantedSolutionLinksTest, TheCanaryOutsideTheTreeIsUntouchedAndTheLinkIsGone) {
    const SolutionCase c = GetParam();
    const std::string at = root + "/solutions/suite/releases/2.0.0.1/" + c.place;
    PlantLink(at, true, canary.path());
    if (HasFatalFailure()) return;
    const std::string before = CanaryState(canary.path());
    QuorTest::LogCapture log(Log::WARNING);
    const HRESULT hr = Run(c.operation);
    ManagedFileHelper::Release();
    EXPECT_EQ(S_OK, hr) << log.Errors();
    EXPECT_EQ(before, CanaryState(canary.path())) << "the canary behind " << c.place << " changed";
    if (!c.reached) return;
    for (const auto& [path, held] : QuorTest::TakeSnapshot(root + "/solutions")) EXPECT_NE("<link>", held) << path;
    EXPECT_EQ("", Difference(c.operation));
}

INSTANTIATE_TEST_SUITE_P(Places, PlantedSolutionLinksTest,
                         ::testing::Values(SolutionCase{Operation::Update, "deploy"},
                                           SolutionCase{Operation::Update, "deploy/data"},
                                           SolutionCase{Operation::Validate, "deploy"},
                                           SolutionCase{Operation::Validate, "deploy/data"},
                                           SolutionCase{Operation::Uninstall, "deploy"},
                                           SolutionCase{Operation::Uninstall, "deploy/data"}),
                         SolutionName);

}  // namespace
}  // namespace Quor::User
