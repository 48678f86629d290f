// Solution update over the fake content server: which road each installed state takes, the
// downgrade over a newer complete release, and the update in place of a release whose projects are
// shared with another release, compared with clean installs.
#include "update/UpdateSolution.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/testing/LogCapture.h"
#include "archive/ManagedFileHelper.h"
#include "install/InstallProjectRelease.h"
#include "install/InstalledState.h"
#include "remote/TelvoLogger.h"
#include "tests/kit/RecordingCollector.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tests/kit/content/InstalledTree.h"
#include "tests/kit/content/SuiteContent.h"
#include "tests/kit/content/UserFiles.h"
#include "tools/contenttree/ContentTreeBuilder.h"
#include "update/UpdateProject.h"
#include "update/Validate.h"

namespace Quor::User::UpdateSolution {
namespace {

using InstallTesting::V;
using Tools::ContentTree::ContentDescription;
using Tools::ContentTree::ReleaseSpec;
constexpr DWORD kV1 = V(1, 0, 0, 1), kV2 = V(1, 0, 0, 2);
constexpr DWORD kSuite1 = V(2, 0, 0, 1), kSuite2 = V(2, 0, 0, 2), kSuite3 = V(2, 0, 0, 3);

class UpdateSolutionTest : public InstallTesting::InstallTreeTest {
protected:
    void SetUp() override { RegisterInstalledStateServices(); }
    void TearDown() override { TelvoLogger::Shutdown(); }

    void Build() {
        std::string error;
        ASSERT_TRUE(Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
    }
    ReleaseSpec& AddSolutionRelease(DWORD version, std::vector<ReleaseSpec::Project> projects) {
        ReleaseSpec& release = description.solutions.front().AddRelease(version, {"xx"});
        std::vector<std::string> names;
        for (const auto& project : projects) names.push_back(project.name);
        release.projects = std::move(projects);
        release.configurations = {{"en_US", names}};
        return release;
    }
    // A second release of a project: the first's files with some replaced, dropped or added.
    ReleaseSpec& AddProjectRelease(const std::string& project, DWORD version, const std::vector<std::string>& dropped,
                                   const std::vector<std::pair<std::string, std::string>>& changed) {
        auto& product = *std::find_if(description.projects.begin(), description.projects.end(),
                                      [&](const auto& p) { return p.name == project; });
        std::vector<Tools::ContentTree::FileSpec> kept;
        for (const auto& file : product.releases.front().files)
            if (std::find(dropped.begin(), dropped.end(), file.name) == dropped.end() &&
                std::find_if(changed.begin(), changed.end(), [&](const auto& c) { return c.first == file.name; }) ==
                    changed.end())
                kept.push_back(file);
        ReleaseSpec& release = product.AddRelease(version, {"xx"});
        release.files = kept;
        for (const auto& [name, bytes] : changed) release.AddFile(name, 0, bytes);
        return release;
    }
    // Suite 2.0.0.1 of alpha and beta 1.0.0.1 ("en_US" both, "fr_FR" alpha), and 2.0.0.2 of alpha
    // 1.0.0.2 (run.sh changed, new/n.txt added) and beta 1.0.0.1.
    void AddTwoSuiteReleases() {
        InstallTesting::AddSuiteContent(description, kV1, kSuite1);
        AddProjectRelease("alpha", kV2, {}, {{"bin/run.sh", "#!/bin/sh\necho two\n"}, {"new/n.txt", "new"}});
        ReleaseSpec& second = AddSolutionRelease(kSuite2, {{"alpha", kV2, 5, 0}, {"beta", kV1, 9, 0}});
        second.configurations.push_back({"fr_FR", {"alpha"}});
    }

    HRESULT InstallSuite(DWORD version, const std::string& configuration) {
        const InstallSolutionRelease::InputParameters input{"suite", version, configuration, fileSystem, server, progress};
        const InstallSolutionRelease::Discover discover(input);
        return InstallSolutionRelease::Execute(discover).m_hr;
    }
    HRESULT InstallProject(const std::string& project, DWORD version) {
        const InstallProjectRelease::InputParameters input{project, version, fileSystem, server, progress};
        const InstallProjectRelease::Discover discover(input);
        return InstallProjectRelease::Execute(discover).m_hr;
    }

    struct Outcome {
        HRESULT discovered = S_OK, executed = S_OK;
        bool inPlace = false, install = false, newUser = false;
        DWORD version = 0;
    };
    // Discover then Execute, as the kernel's handler runs them.
    Outcome Update(DWORD version, const std::string& configuration, IRemoteFileServer& from) {
        const InputParameters input{"suite", configuration, version, fileSystem, from, progress};
        const Discover discover(input);
        Outcome outcome;
        outcome.discovered = discover.m_hr;
        outcome.inPlace = discover.m_UpdateInPlaceDiscover != nullptr;
        outcome.install = discover.m_InstallDiscover != nullptr;
        outcome.newUser = discover.m_NewUser;
        outcome.version = 0x12345678;
        outcome.executed = Execute(discover, &outcome.version).m_hr;
        return outcome;
    }
    Outcome Update(DWORD version, const std::string& configuration = "en_US") {
        return Update(version, configuration, server);
    }

    // Empties projects/ and solutions/, for the next row of a table.
    void ClearTree() {
        ManagedFileHelper::Release();
        for (const char* top : {"/projects", "/solutions"})
            for (const auto& entry : std::filesystem::directory_iterator(root + top)) std::filesystem::remove_all(entry);
    }
    std::string Release(DWORD version) const {
        return root + "/solutions/suite/releases/" + Common::ConvertVersion::ToString(version);
    }
    QuorTest::TreeSnapshot Actual() const { return InstallTesting::InstalledSnapshot(root); }
    QuorTest::TreeSnapshot ExpectedSuite(DWORD version, const std::string& configuration = "en_US") const {
        return QuorTest::ExpectedSolutionInstall(description, content.path(), "suite", version, configuration);
    }
    // "configurationmanifest" is written after every deploy file and "S_OK" after it.
    void ExpectMarkersWrittenLast(DWORD version) const {
        namespace fs = std::filesystem;
        const std::string folder = Release(version);
        const auto configuration = fs::last_write_time(folder + "/configurationmanifest");
        for (const auto& entry : fs::recursive_directory_iterator(folder + "/deploy"))
            if (entry.is_regular_file()) {
                EXPECT_LE(entry.last_write_time(), configuration) << entry.path();
            }
        EXPECT_LE(configuration, fs::last_write_time(folder + "/S_OK"));
    }

    ContentDescription description;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};
    QuorTest::RecordingCollector collector;
};

const char* const kSeparate = "Update in place will NOT be used.  Separate installation will be created and old deleted.";

TEST_F(UpdateSolutionTest, EachInstalledStateTakesItsRoad) {
    struct Row {
        const char* name;
        std::function<void()> setUp;
        DWORD version;  // asked
        const char* configuration;
        bool succeeds;
        bool inPlace, install, newUser;
        std::vector<std::string> lines;
        std::function<void()> check;
    };
    const std::string fail = "/quor/projects/beta/releases/1.0.0.1/files/beta/only.txt";
    const std::vector<Row> rows = {
        {"nothing installed", [] {}, INVALID_RELEASE_VERSION, "en_US", true, false, true, true,
         {kSeparate},
         [&] { EXPECT_EQ(QuorTest::SnapshotDifference(ExpectedSuite(kSuite2), Actual()), ""); }},
        {"target complete in the same configuration spelt otherwise",
         [&] { ASSERT_EQ(InstallSuite(kSuite2, "en_US"), S_OK); }, kSuite2, "EN_us", true, false, false, false,
         {"Target version 33554434 with configuration EN_us is already installed", "No work required"}, [] {}},
        {"target complete in another configuration", [&] { ASSERT_EQ(InstallSuite(kSuite2, "fr_FR"), S_OK); },
         kSuite2, "en_US", true, false, false, false,
         {"Target version 33554434 is installed, but configuration is fr_FR and desired configuration is en_US",
          "No work required"},
         [&] {
             QuorTest::TreeSnapshot expected = ExpectedSuite(kSuite2);
             EXPECT_EQ(QuorTest::SnapshotDifference(expected, Actual()), "");
         }},
        {"target complete in another configuration, reinstall failing",
         [&] {
             ASSERT_EQ(InstallSuite(kSuite2, "fr_FR"), S_OK);
             server.FailFile(fail);
         },
         kSuite2, "en_US", false, false, false, false, {"Failed to install latest version.", "Discover failed"},
         [&] { EXPECT_FALSE(QuorTest::Exists(Release(kSuite2) + "/S_OK")); }},
        {"only an incomplete folder of the target",
         [&] {
             ASSERT_EQ(InstallSuite(kSuite2, "en_US"), S_OK);
             std::filesystem::remove(Release(kSuite2) + "/S_OK");
         },
         kSuite2, "en_US", true, false, true, false, {kSeparate},
         [&] { EXPECT_EQ(QuorTest::SnapshotDifference(ExpectedSuite(kSuite2), Actual()), ""); }},
        {"older complete release, incomplete folder above the target",
         [&] {
             ASSERT_EQ(InstallSuite(kSuite1, "en_US"), S_OK);
             QuorTest::WriteFile(Release(kSuite3) + "/deploy/left.txt", "left");
         },
         kSuite2, "en_US", true, true, false, false,
         {"Update in place will be used with '33554433' as source version"},
         [&] {
             EXPECT_FALSE(QuorTest::Exists(Release(kSuite1)));
             EXPECT_TRUE(QuorTest::Exists(Release(kSuite2) + "/S_OK"));
             EXPECT_TRUE(QuorTest::Exists(Release(kSuite3) + "/deploy/left.txt"));
         }},
        {"only incomplete folders below the target",
         [&] {
             ASSERT_EQ(InstallSuite(kSuite1, "en_US"), S_OK);
             std::filesystem::remove(Release(kSuite1) + "/S_OK");
         },
         kSuite2, "en_US", true, false, true, true, {kSeparate},
         [&] {
             EXPECT_FALSE(QuorTest::Exists(Release(kSuite1)));  // renamed to the target
             QuorTest::TreeSnapshot expected = ExpectedSuite(kSuite2);
             expected.merge(QuorTest::ExpectedProjectInstall(description, content.path(), "alpha", kV1));
             EXPECT_EQ(QuorTest::SnapshotDifference(expected, Actual()), "");
         }},
        {"discovery failing after the target is chosen",
         [&] { server.FailPath("/quor/solutions/suite/releases/2.0.0.2/solutionmanifest"); }, INVALID_RELEASE_VERSION,
         "en_US", false, false, true, true,
         {"InstallSolutionRelease discovery failed", "Discover failed"}, [] {}},
    };
    AddTwoSuiteReleases();
    Build();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const char* top : {"/projects", "/solutions"})
            for (const auto& entry : std::filesystem::directory_iterator(root + top)) std::filesystem::remove_all(entry);
        server.ClearFaults();
        {
            QuorTest::LogCapture quiet(Log::USER);
            row.setUp();
        }
        Outcome outcome;
        std::string errors;
        {
            QuorTest::LogCapture log;
            outcome = Update(row.version, row.configuration);
            for (const std::string& line : row.lines) EXPECT_TRUE(log.Has(line)) << line;
            errors = log.Errors();
        }
        if (row.succeeds) {
            EXPECT_EQ(outcome.discovered, S_OK);
            EXPECT_EQ(outcome.executed, S_OK) << errors;
        } else {
            EXPECT_TRUE(FAILED(outcome.discovered));
            EXPECT_EQ(outcome.executed, outcome.discovered);  // Execute hands the discovery's failure on
        }
        EXPECT_EQ(outcome.inPlace, row.inPlace);
        EXPECT_EQ(outcome.install, row.install);
        EXPECT_EQ(outcome.newUser, row.newUser);
        EXPECT_EQ(outcome.version, kSuite2);
        if (row.succeeds) {
            EXPECT_TRUE(QuorTest::Exists(Release(kSuite2) + "/S_OK"));
        }
        row.check();
    }
}

// A newer complete release renamed down to an older target no longer counts as complete: the
// target is installed over it and ends with the older release's files.
TEST_F(UpdateSolutionTest, ADowngradeReplacesTheNewerReleaseFiles) {
    AddTwoSuiteReleases();
    Build();
    ASSERT_EQ(InstallSuite(kSuite2, "en_US"), S_OK);

    // The server now offers the older release only.
    ContentDescription older = description;
    older.solutions.front().releases.pop_back();
    QuorTest::TempDir olderContent{"quorolder"};
    std::string error;
    ASSERT_TRUE(Tools::ContentTree::BuildContentTree(older, olderContent.path(), error)) << error;
    QuorTest::FakeRemoteFileServer olderServer{olderContent.path(), "/quor", "xx"};
    QuorTest::LogCapture log(Log::USER);
    {
        // Stopped right after its discovery (the rename): no release claims to be complete.
        const InputParameters input{"suite", "en_US", INVALID_RELEASE_VERSION, fileSystem, olderServer, progress};
        const Discover discover(input);
        ASSERT_EQ(discover.m_hr, S_OK);
        EXPECT_TRUE(discover.m_NewUser);
        ASSERT_NE(discover.m_InstallDiscover, nullptr);
        EXPECT_FALSE(discover.m_InstallDiscover->m_AlreadyInstalled);
        EXPECT_FALSE(QuorTest::Exists(Release(kSuite2)));
        EXPECT_FALSE(QuorTest::Exists(Release(kSuite1) + "/S_OK"));
    }
    // A rerun installs over the renamed folder.
    const Outcome outcome = Update(INVALID_RELEASE_VERSION, "en_US", olderServer);
    EXPECT_EQ(outcome.executed, S_OK) << log.Errors();
    EXPECT_EQ(outcome.version, kSuite1);
    QuorTest::TreeSnapshot expected = ExpectedSuite(kSuite1);
    expected.merge(QuorTest::ExpectedProjectInstall(description, content.path(), "alpha", kV2));
    EXPECT_EQ(QuorTest::SnapshotDifference(expected, Actual()), "");
    ExpectMarkersWrittenLast(kSuite1);
}

// Suite 2.0.0.3 updated in place from 2.0.0.2, while 2.0.0.1 shares beta 1.0.0.1 with the source
// and delta 1.0.0.2 is installed on its own already.
TEST_F(UpdateSolutionTest, InPlaceUpdatesUnsharedProjectsAndReconcilesTheDeployFolder) {
    auto& alpha = description.AddProject("alpha").AddRelease(kV1, {"xx"});
    alpha.AddFile("bin/run.sh", 0, "#!/bin/sh\necho one\n");
    alpha.AddFile("data/a.txt", 0x04, std::string(6000, 'a'));
    alpha.AddFile("m/shared.dat", 0x01, "managed");
    alpha.AddFile("a/t1.bin", 0x06, std::string(2000, 't'));
    alpha.AddFile("shared/x.txt", 0, "alpha's x");
    alpha.AddFile("old/only.txt", 0, "old");
    description.AddProject("beta").AddRelease(kV1, {"xx"}).AddFile("beta/b.txt", 0, "b1");
    auto& gamma = description.AddProject("gamma").AddRelease(kV1, {"xx"});
    gamma.AddFile("g/g.txt", 0, "gamma");
    gamma.AddFile("shared/x.txt", 0, "gamma's x");
    description.AddProject("delta").AddRelease(kV1, {"xx"}).AddFile("d/d.txt", 0, "d1");
    AddProjectRelease("alpha", kV2, {"shared/x.txt", "old/only.txt"},
                      {{"bin/run.sh", "#!/bin/sh\necho two\n"}, {"new/n.txt", std::string(9000, 'n')}});
    AddProjectRelease("beta", kV2, {}, {{"beta/b.txt", "b2"}});
    AddProjectRelease("delta", kV2, {}, {{"d/d.txt", "d2"}});
    description.AddSolution("suite");
    AddSolutionRelease(kSuite1, {{"beta", kV1, 5, 0}});
    AddSolutionRelease(kSuite2, {{"alpha", kV1, 9, 0}, {"beta", kV1, 5, 0}, {"gamma", kV1, 3, 0}, {"delta", kV1, 4, 0}});
    AddSolutionRelease(kSuite3, {{"alpha", kV2, 9, 0}, {"beta", kV2, 5, 0}, {"gamma", kV1, 3, 0}, {"delta", kV2, 4, 0}});
    Build();
    QuorTest::WriteFile(tree.system() + "/system.cfg",
                        "Region = VORN\nTelvoTestCollector = " + collector.baseUrl() + "\n");
    {
        QuorTest::LogCapture quiet(Log::USER);
        ASSERT_EQ(InstallSuite(kSuite1, "en_US"), S_OK);
        ASSERT_EQ(InstallSuite(kSuite2, "en_US"), S_OK);
        ASSERT_EQ(InstallProject("delta", kV2), S_OK);
    }
    // A file the same project release provides before and after is not copied again.
    QuorTest::WriteFile(Release(kSuite2) + "/deploy/g/g.txt", "left alone");

    QuorTest::LogCapture log;
    const Outcome outcome = Update(INVALID_RELEASE_VERSION);
    ASSERT_EQ(outcome.executed, S_OK) << log.Errors();
    EXPECT_TRUE(outcome.inPlace);
    EXPECT_FALSE(outcome.newUser);
    EXPECT_EQ(outcome.version, kSuite3);
    for (const char* line : {"Found valid source for project alpha, will update from 16777217 to 16777218",
                             "Source solution has a version of beta, but other solution(s) are using it, doing install",
                             "Target version 16777217 of gamma is already installed",
                             "Target version 16777218 of delta is already installed"})
        EXPECT_TRUE(log.Has(line)) << line;

    const std::string deploy = Release(kSuite3) + "/deploy/";
    EXPECT_EQ(QuorTest::ReadFile(deploy + "g/g.txt"), "left alone");
    EXPECT_EQ(QuorTest::ReadFile(deploy + "shared/x.txt"), "gamma's x");  // moved to another project: copied
    EXPECT_FALSE(QuorTest::Exists(deploy + "old/only.txt"));
    ExpectMarkersWrittenLast(kSuite3);
    QuorTest::WriteFile(deploy + "g/g.txt", "gamma");

    QuorTest::TreeSnapshot expected = ExpectedSuite(kSuite3);
    expected.merge(ExpectedSuite(kSuite1));  // beta 1.0.0.1 among them, untouched
    expected.merge(QuorTest::ExpectedProjectInstall(description, content.path(), "delta", kV1));
    EXPECT_EQ(QuorTest::SnapshotDifference(expected, Actual()), "");

    TelvoLogger::Shutdown();
    std::vector<std::string> bodies;
    for (const auto& message : collector.messages()) bodies.push_back(message.body);
    EXPECT_TRUE(std::any_of(bodies.begin(), bodies.end(),
                            [](const std::string& b) { return b.find("\"quor_patch_suite_size\"") != std::string::npos; }))
        << ::testing::PrintToString(bodies);
    EXPECT_TRUE(std::any_of(bodies.begin(), bodies.end(),
                            [](const std::string& b) { return b.find("new\\/n.txt") != std::string::npos; }))
        << ::testing::PrintToString(bodies);
}

// Solution "other" 3.0.0.1 lists alpha 1.0.0.1 too: neither the solution update in place of suite
// nor a plain update of alpha may move that release away; alpha 1.0.0.2 is installed beside it.
TEST_F(UpdateSolutionTest, AProjectReleaseAnotherSolutionListsIsInstalledBesideNeverMoved) {
    constexpr DWORD kOther = V(3, 0, 0, 1);
    AddTwoSuiteReleases();
    ReleaseSpec& other = description.AddSolution("other").AddRelease(kOther, {"xx"});
    other.projects = {{"alpha", kV1, 1, 0}};
    other.configurations = {{"en_US", {"alpha"}}};
    Build();
    const auto installOther = [&] {
        const InstallSolutionRelease::InputParameters input{"other", kOther, "en_US", fileSystem, server, progress};
        const InstallSolutionRelease::Discover discover(input);
        return InstallSolutionRelease::Execute(discover).m_hr;
    };
    struct Row {
        const char* name;
        std::function<HRESULT()> update;
        const char* line;
        std::function<QuorTest::TreeSnapshot()> updated;  // what the update itself should leave
    };
    const std::vector<Row> rows = {
        {"solution update in place",
         [&] { return Update(kSuite2).executed; },
         "Source solution has a version of alpha, but other solution(s) are using it, doing install",
         [&] { return ExpectedSuite(kSuite2); }},
        {"plain project update",
         [&] {
             const UpdateProject::InputParameters input{"alpha", INVALID_RELEASE_VERSION, kV2, fileSystem, server,
                                                        progress};
             const UpdateProject::Discover discover(input);
             return UpdateProject::Execute(discover, nullptr, nullptr).m_hr;
         },
         "Source release 16777217 of alpha is used by an installed solution, doing install",
         [&] {
             QuorTest::TreeSnapshot expected = ExpectedSuite(kSuite1);
             expected.merge(QuorTest::ExpectedProjectInstall(description, content.path(), "alpha", kV2));
             return expected;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClearTree();
        {
            QuorTest::LogCapture quiet(Log::USER);
            ASSERT_EQ(InstallSuite(kSuite1, "en_US"), S_OK);
            ASSERT_EQ(installOther(), S_OK);
        }
        QuorTest::LogCapture log;
        ASSERT_EQ(row.update(), S_OK) << log.Errors();
        EXPECT_TRUE(log.Has(row.line)) << row.line;
        QuorTest::TreeSnapshot expected = row.updated();
        expected.merge(QuorTest::ExpectedSolutionInstall(description, content.path(), "other", kOther, "en_US"));
        EXPECT_EQ(QuorTest::SnapshotDifference(expected, Actual()), "");
    }
}

// The deploy folder is reconciled where the fetched manifest points: one naming another release
// than the target is refused before the source release or any project is touched.
TEST_F(UpdateSolutionTest, AnInPlaceUpdateRefusesATargetManifestOfAnotherRelease) {
    AddTwoSuiteReleases();
    Build();
    ASSERT_EQ(InstallSuite(kSuite1, "en_US"), S_OK);
    const std::string served = content.path() + "/quor/solutions/suite/releases/";
    std::filesystem::copy_file(served + "2.0.0.1/solutionmanifest", served + "2.0.0.2/solutionmanifest",
                               std::filesystem::copy_options::overwrite_existing);
    QuorTest::LogCapture log;
    const Outcome outcome = Update(kSuite2);
    EXPECT_TRUE(FAILED(outcome.executed));
    EXPECT_TRUE(outcome.inPlace);
    EXPECT_TRUE(log.HasError("Failure to load dest manifest."));
    EXPECT_TRUE(QuorTest::Exists(Release(kSuite1) + "/S_OK"));
    EXPECT_FALSE(QuorTest::Exists(Release(kSuite2)));
    EXPECT_TRUE(QuorTest::Exists(root + "/projects/alpha/releases/1.0.0.1/S_OK"));
    ManagedFileHelper::Release();
    EXPECT_EQ(QuorTest::SnapshotDifference(ExpectedSuite(kSuite1), Actual()), "");
}

// A reader holds a/t2.bin of alpha 1.0.0.1, whose pair the project update in place to 1.0.0.2
// must rewrite (the target drops that entry): the solution update in place fails before it gives
// the solution release up, which stays complete with its files; unlocked, the update goes through.
TEST_F(UpdateSolutionTest, AReadersLockStopsTheInPlaceUpdateBeforeTheSolutionReleaseIsGivenUp) {
    InstallTesting::AddSuiteContent(description, kV1, kSuite1);
    AddProjectRelease("alpha", kV2, {"a/t2.bin"}, {{"bin/run.sh", "#!/bin/sh\necho two\n"}});
    AddSolutionRelease(kSuite2, {{"alpha", kV2, 5, 0}, {"beta", kV1, 9, 0}});
    Build();
    {
        QuorTest::LogCapture quiet(Log::USER);
        ASSERT_EQ(InstallSuite(kSuite1, "en_US"), S_OK);
    }
    ManagedFileHelper::Release();
    std::string archivePath;
    uint32_t offset = 0, size = 0, handle = 0;
    ASSERT_EQ(ManagedFileHelper::LockFile("alpha", kV1, "a/t2.bin", archivePath, offset, size, handle), S_OK);
    {
        QuorTest::LogCapture log;
        const Outcome outcome = Update(kSuite2);
        EXPECT_TRUE(outcome.inPlace);
        EXPECT_TRUE(FAILED(outcome.executed));
        EXPECT_TRUE(
            log.HasError("Archived files of alpha 1.0.0.1 are locked by a reader: the update cannot rewrite them."))
            << log.Errors();
    }
    EXPECT_TRUE(QuorTest::Exists(Release(kSuite1) + "/S_OK"));
    EXPECT_FALSE(QuorTest::Exists(Release(kSuite2)));
    ASSERT_EQ(ManagedFileHelper::UnlockFile(handle), S_OK);
    ManagedFileHelper::Release();
    EXPECT_EQ(QuorTest::SnapshotDifference(ExpectedSuite(kSuite1), Actual()), "");

    QuorTest::LogCapture log;
    const Outcome outcome = Update(kSuite2);
    ASSERT_EQ(outcome.executed, S_OK) << log.Errors();
    EXPECT_TRUE(outcome.inPlace);
    ManagedFileHelper::Release();
    EXPECT_EQ(QuorTest::SnapshotDifference(ExpectedSuite(kSuite2), Actual()), "");
}

// Release 2 of alpha spells data/f1.dat as data/F1.dat: whichever road completes suite 2.0.0.2,
// its deploy folder holds the new spelling only (the names compare without regard to case, the
// files on disk carry the manifest's spelling).
class CaseRenameTest : public UpdateSolutionTest {
protected:
    enum class Road {
        kInPlace,   // an update in place from 2.0.0.1
        kRetry,     // a first attempt fails after the source release was given up; asked again
        kValidate,  // 2.0.0.2 installed, its file under the old spelling (as a moved folder holds it)
    };
    void CompleteOverACaseRename(Road road) {
        auto& alpha = description.AddProject("alpha").AddRelease(kV1, {"xx"});
        alpha.AddFile("data/f1.dat", 0, "one");
        alpha.AddFile("bin/run.sh", 0, "#!/bin/sh\necho one\n");
        auto& second = description.projects.front().AddRelease(kV2, {"xx"});
        second.AddFile("data/F1.dat", 0, "one");
        second.AddFile("bin/run.sh", 0, "#!/bin/sh\necho two\n");
        description.AddSolution("suite");
        AddSolutionRelease(kSuite1, {{"alpha", kV1, 5, 0}});
        AddSolutionRelease(kSuite2, {{"alpha", kV2, 5, 0}});
        Build();
        const std::string deploy = Release(kSuite2) + "/deploy";
        {
            QuorTest::LogCapture quiet;
            if (road == Road::kValidate) {
                ASSERT_EQ(InstallSuite(kSuite2, "en_US"), S_OK) << quiet.Errors();
                std::filesystem::rename(deploy + "/data/F1.dat", deploy + "/data/f1.dat");
            } else {
                ASSERT_EQ(InstallSuite(kSuite1, "en_US"), S_OK) << quiet.Errors();
            }
            if (road == Road::kRetry) {
                server.FailFile("/quor/projects/alpha/releases/1.0.0.2/files/bin/run.sh");
                ASSERT_NE(Update(kSuite2).executed, S_OK);
                ASSERT_FALSE(QuorTest::Exists(Release(kSuite1) + "/S_OK"));
                server.ClearFaults();
            }
        }
        QuorTest::LogCapture log;
        if (road == Road::kValidate) {
            ASSERT_EQ(User::ValidateSolution("suite", fileSystem, server, progress), S_OK) << log.Errors();
        } else {
            const Outcome outcome = Update(kSuite2);
            ASSERT_EQ(outcome.executed, S_OK) << log.Errors();
            EXPECT_EQ(outcome.inPlace, road == Road::kInPlace);
        }

        std::vector<std::string> deployed;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(deploy))
            if (!entry.is_directory()) deployed.push_back(std::filesystem::relative(entry.path(), deploy).string());
        std::sort(deployed.begin(), deployed.end());
        EXPECT_EQ(deployed, (std::vector<std::string>{"bin/run.sh", "data/F1.dat"}));
        EXPECT_EQ(QuorTest::SnapshotDifference(ExpectedSuite(kSuite2), Actual()), "");
    }
};

// What the programs and their user keep in the solution's deploy folder survives every road that
// rewrites it; a provided file's copy under an old spelling goes, and so does data/l.bin, which
// suite 2.0.0.2 (through alpha 1.0.0.2) drops, also when the update is run again after a failure.
// Installed again in another configuration, the folder keeps the files of the projects the old
// one named (beta's).
TEST_F(UpdateSolutionTest, UserFilesSurviveAnotherConfigurationValidationAndUpdates) {
    InstallTesting::AddSuiteContent(description, kV1, kSuite1);
    AddProjectRelease("alpha", kV2, {"data/l.bin"}, {{"bin/run.sh", "#!/bin/sh\necho two\n"}, {"new/n.txt", "new"}});
    AddSolutionRelease(kSuite2, {{"alpha", kV2, 5, 0}, {"beta", kV1, 9, 0}});
    Build();
    struct Road {
        const char* name;
        std::function<HRESULT()> run;
        DWORD ends;
        const char* configuration;
    };
    const std::vector<Road> roads = {
        {"installed again in another configuration", [&] { return InstallSuite(kSuite1, "fr_FR"); }, kSuite1, "fr_FR"},
        {"validation", [&] { return ValidateSolution("suite", fileSystem, server, progress); }, kSuite1, "en_US"},
        {"update in place",
         [&] {
             const Outcome outcome = Update(kSuite2);
             EXPECT_TRUE(outcome.inPlace);
             return outcome.executed;
         },
         kSuite2, "en_US"},
        {"update failed in a project's download, run again",
         [&] {
             server.FailFile("/quor/projects/alpha/releases/1.0.0.2/files/new/n.txt");
             EXPECT_NE(Update(kSuite2).executed, S_OK);
             server.ClearFaults();
             ManagedFileHelper::Release();  // the rerun comes as a new process
             return Update(kSuite2).executed;
         },
         kSuite2, "en_US"},
    };
    const auto solutionPart = [](const QuorTest::TreeSnapshot& snapshot) {
        QuorTest::TreeSnapshot part;
        for (const auto& [path, value] : snapshot)
            if (path.starts_with("solutions/")) part.emplace(path, value);
        return part;
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        ClearTree();
        {
            QuorTest::LogCapture quiet(Log::USER);
            ASSERT_EQ(InstallSuite(kSuite1, "en_US"), S_OK);
        }
        const std::string outside = Scratch("outside.txt", "not the tree's");
        QuorTest::UserFiles::Plant(Release(kSuite1) + "/deploy", outside);
        QuorTest::WriteFile(Release(kSuite1) + "/deploy/Bin/run.sh", "an old spelling");
        QuorTest::LogCapture log;
        ASSERT_EQ(road.run(), S_OK) << log.Errors();
        QuorTest::TreeSnapshot expected = solutionPart(ExpectedSuite(road.ends, road.configuration));
        const std::string deploy = "solutions/suite/releases/" + Common::ConvertVersion::ToString(road.ends) + "/deploy/";
        QuorTest::UserFiles::AddTo(expected, deploy);
        if (std::string(road.configuration) == "fr_FR") expected[deploy + "beta/only.txt"] = QuorTest::kAnyContent;
        EXPECT_EQ(QuorTest::SnapshotDifference(expected, solutionPart(Actual())), "");
        EXPECT_TRUE(QuorTest::UserFiles::StillThere(Release(road.ends) + "/deploy", outside));
        EXPECT_EQ(QuorTest::ReadFile(outside), "not the tree's");
        EXPECT_FALSE(QuorTest::Exists(Release(road.ends) + "/deployfiles.previous"));
    }
}

TEST_F(CaseRenameTest, InPlaceUpdateLeavesTheNewSpellingOnly) { CompleteOverACaseRename(Road::kInPlace); }

TEST_F(CaseRenameTest, RetryAfterAFailedAttemptLeavesTheNewSpellingOnly) { CompleteOverACaseRename(Road::kRetry); }

TEST_F(CaseRenameTest, ValidationLeavesTheNewSpellingOnly) { CompleteOverACaseRename(Road::kValidate); }

}  // namespace
}  // namespace Quor::User::UpdateSolution
