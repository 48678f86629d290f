// Managed and archived copies shared between releases, end to end against nginx: a copy that one
// release reuses is kept while any installed release would use it, and an entry flagged managed
// and archived lives in one place for every step (download, holder search, run-me, repair,
// uninstall). Each release marked complete must equal the tree its description implies.
#include <fstream>

#include "install/InstallSolutionRelease.h"
#include "install/Uninstall.h"
#include "tests/update/UpdateFixture.h"
#include "update/RepairDiscover.h"
#include "update/RepairExecute.h"
#include "update/Validate.h"

namespace InstallE2E {
namespace {

class SharedCopies : public UpdateFixture {
protected:
    // Release 1 with a managed and an archived file and a deploy file; release 2 keeps both at
    // their first entry version and only adds a zlib server form to each (flags 0x05 and 0x06).
    void AddFlagChangingReleases() {
        ReleaseSpec& first = description.AddProject("alpha").AddRelease(kV1, {"VORN"});
        first.AddFile("bin/run.sh", 0, "#!/bin/sh\necho run\n");
        first.AddFile("m/keep.dat", 0x01, Bytes(9000, 11));
        first.AddFile("a/keep.bin", 0x02, Bytes(7000, 12));
        ReleaseSpec& second = description.projects.front().AddRelease(kV2, {"VORN"});
        for (FileSpec file : description.projects.front().FindRelease(kV1)->files) {
            if (file.flags & 0x03) file.flags |= 0x04;
            second.files.push_back(file);
        }
        second.AddFile("bin/run.sh", 0, "#!/bin/sh\necho run two\n");
        second.files.erase(second.files.begin());  // the first release's run.sh
    }

    // Release 1 with entries flagged managed and archived: a plain one, one served compressed, one
    // kept compressed, and a run-me-once program.
    void AddManagedAndArchivedRelease() {
        ReleaseSpec& release = description.AddProject("alpha").AddRelease(kV1, {"VORN"});
        release.AddFile("bin/run.sh", 0, "#!/bin/sh\necho run\n");
        release.AddFile("b/plain.dat", 0x03, Bytes(6000, 21));
        release.AddFile("b/zipped.dat", 0x07, Bytes(6500, 22));
        release.AddFile("b/kept.dat", 0x17, Bytes(7000, 23));
        release.AddFile("setup/both.sh", 0x0B, "#!/bin/sh\necho ran >> '" + RunMeMarker() + "'\n");
    }

    HRESULT Uninstall(DWORD version) {
        return Quor::User::UninstallProjectRelease(project, version, fileSystem, progress);
    }
    HRESULT Repair() {
        const Quor::User::Repair::InputParameters input{0, fileSystem, *http, progress};
        Quor::User::Repair::Discover discover(input);
        Quor::User::Repair::Execute execute(discover);
        return execute.m_hr;
    }
    // The run-me marker's lines: one per run of the program.
    int Runs() const {
        std::ifstream in(RunMeMarker());
        int lines = 0;
        for (std::string line; std::getline(in, line);) ++lines;
        return lines;
    }
};

// A copy that both releases use stays when the other one leaves, by uninstall or by an update in
// place, and the release that stays is exactly what its description implies.
TEST_F(SharedCopies, AnUninstallKeepsTheCopiesAnotherReleaseReusesUnderOtherServerForms) {
    AddFlagChangingReleases();
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV1));
    ASSERT_EQ(S_OK, Install(kV2));
    ASSERT_EQ("", Difference({kV1, kV2}));
    ASSERT_EQ(S_OK, Uninstall(kV1));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV2)));
    EXPECT_EQ("", Difference({kV2})) << "after the uninstall of 1.0.0.1";
}

TEST_F(SharedCopies, AnUpdateInPlaceKeepsTheCopiesItsTargetReusesUnderOtherServerForms) {
    AddFlagChangingReleases();
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV1));
    ASSERT_EQ(S_OK, Update(kV2));
    EXPECT_FALSE(std::filesystem::exists(Release(kV1)));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV2)));
    EXPECT_EQ("", Difference({kV2})) << "after the update in place 1.0.0.1 -> 1.0.0.2";
}

// A release that keeps a managed or archived file at its entry version but in another stored form
// replaces the one copy both would use: the release it is taken from stops being complete, and an
// update in place does not delete the replaced copy as its source's.
class StoredFormChange : public SharedCopies {
protected:
    void SetUp() override {
        SharedCopies::SetUp();
        ReleaseSpec& first = description.AddProject("alpha").AddRelease(kV1, {"VORN"});
        first.AddFile("bin/run.sh", 0, "#!/bin/sh\necho run\n");
        first.AddFile("m/keep.dat", 0x01, Bytes(9000, 11));
        first.AddFile("a/keep.bin", 0x02, Bytes(7000, 12));
        ReleaseSpec& second = description.projects.front().AddRelease(kV2, {"VORN"});
        second.AddFile("bin/run.sh", 0, "#!/bin/sh\necho run two\n");
        second.AddFile("m/keep.dat", 0x15, Bytes(9000, 11)).version = kV1;
        second.AddFile("a/keep.bin", 0x16, Bytes(7000, 12)).version = kV1;
        ServeVorn();
        ASSERT_EQ(S_OK, Install(kV1));
    }
};

TEST_F(StoredFormChange, AnUpdateInPlaceKeepsTheCopyItsTargetReplaced) {
    ASSERT_EQ(S_OK, Update(kV2));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV2)));
    EXPECT_EQ("", Difference({kV2})) << "after the update in place 1.0.0.1 -> 1.0.0.2";
}

TEST_F(StoredFormChange, AReleaseInstalledBesideWithdrawsTheMarkOfTheReleaseWhoseCopyItReplaced) {
    ASSERT_EQ(S_OK, Install(kV2));
    EXPECT_FALSE(std::filesystem::exists(Ok(kV1))) << "1.0.0.1 stays complete over copies in another form";
    QuorTest::TreeSnapshot actual = Actual();
    for (const auto& [key, digest] : Expected({kV2})) {
        const auto found = actual.find(key);
        EXPECT_TRUE(found != actual.end() && (digest == QuorTest::kAnyContent || found->second == digest)) << key;
    }
}

// A solution release stands over its project releases: when the one it lists loses its mark to a
// release that replaced their shared copies, the solution release loses its own.
TEST_F(StoredFormChange, ASolutionOverTheReleaseWhoseCopyIsReplacedLosesItsMarkToo) {
    ReleaseSpec& suite = description.AddSolution("suite").AddRelease(0x02000001, {"VORN"});
    suite.projects = {{"alpha", kV2, 5, 0}};
    suite.configurations = {{"en_US", {"alpha"}}};
    std::string error;
    ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
    const Quor::User::InstallSolutionRelease::InputParameters input{"suite", 0x02000001, "en_US",
                                                                     fileSystem, *http, progress};
    {
        const Quor::User::InstallSolutionRelease::Discover discover(input);
        const Quor::User::InstallSolutionRelease::Execute execute(discover);
        ASSERT_EQ(S_OK, execute.m_hr);
    }
    const std::string suiteOk = root + "/solutions/suite/releases/2.0.0.1/S_OK";
    ASSERT_TRUE(std::filesystem::exists(suiteOk));
    ASSERT_EQ(S_OK, Install(kV1));
    EXPECT_FALSE(std::filesystem::exists(Ok(kV2)));
    EXPECT_FALSE(std::filesystem::exists(suiteOk)) << "the solution stays complete over an incomplete project release";

    // A validation leaves 1.0.0.2 incomplete (its copies are the complete 1.0.0.1's): a mark left
    // on the solution release over it goes.
    std::ofstream(suiteOk).close();
    ASSERT_EQ(S_OK, Quor::User::ValidateSolution("suite", fileSystem, *http, progress));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV1)));
    EXPECT_FALSE(std::filesystem::exists(Ok(kV2)));
    EXPECT_FALSE(std::filesystem::exists(suiteOk)) << "validated complete over an incomplete project release";
}

// Only one of two releases that keep one copy in two stored forms can be complete: after a
// validation (which leaves the incomplete one as it is) or a repair, every release marked complete
// finds its own form there.
TEST_F(StoredFormChange, AfterAValidationOrARepairNoReleaseIsCompleteOverACopyInAnotherForm) {
    const auto completeOverTheirForms = [this](const char* after) {
        SCOPED_TRACE(after);
        std::vector<DWORD> complete;
        for (const DWORD version : {kV1, kV2})
            if (std::filesystem::exists(Ok(version))) complete.push_back(version);
        EXPECT_EQ(1u, complete.size()) << "releases marked complete: " << complete.size();
        QuorTest::TreeSnapshot actual = Actual();
        for (const auto& [key, digest] : Expected(complete)) {
            const auto found = actual.find(key);
            EXPECT_TRUE(found != actual.end() && (digest == QuorTest::kAnyContent || found->second == digest)) << key;
        }
    };
    // 1.0.0.2 replaces the copies in its form, then 1.0.0.1 puts its own back.
    ASSERT_EQ(S_OK, Install(kV2));
    ASSERT_EQ(S_OK, Install(kV1));
    ASSERT_FALSE(std::filesystem::exists(Ok(kV2)));
    ASSERT_EQ(S_OK, Quor::User::ValidateProject(project, fileSystem, *http, progress));
    completeOverTheirForms("the validation");
    EXPECT_TRUE(std::filesystem::exists(Ok(kV1))) << "the validation withdrew the sound release to complete another";

    // A mark left over the other form (as the validation left it before) is withdrawn by a repair.
    ASSERT_EQ(S_OK, Install(kV1));
    std::ofstream(Ok(kV2)).close();
    ASSERT_EQ(S_OK, Repair());
    completeOverTheirForms("the repair");
    EXPECT_TRUE(std::filesystem::exists(Ok(kV1))) << "the repair withdrew the release whose form is stored";
}

// Entries flagged managed and archived: placed under managedfiles/ by a fresh install, found
// there by the run-me step, the repair and the validation, and removed from there by the uninstall.
TEST_F(SharedCopies, AnEntryFlaggedManagedAndArchivedLivesUnderManagedFilesForEveryStep) {
    AddManagedAndArchivedRelease();
    ServeVorn();
    QuorTest::LogCapture errors(Quor::Log::ERROR);
    ASSERT_EQ(S_OK, Install(kV1));
    EXPECT_FALSE(errors.HasError("CreateProcess failed.")) << "the run-me program was looked for elsewhere";
    EXPECT_EQ(1, Runs()) << "the run-me program flagged managed and archived did not run";
    EXPECT_EQ("", Difference({kV1})) << "after the fresh install";

    ASSERT_EQ(S_OK, Repair());
    EXPECT_TRUE(std::filesystem::exists(Ok(kV1))) << "the repair withdrew the mark of an untouched release";
    EXPECT_EQ("", Difference({kV1})) << "after the repair";

    const size_t before = nginx->accessLog().size();
    ASSERT_EQ(S_OK, Quor::User::ValidateProject(project, fileSystem, *http, progress));
    EXPECT_EQ(Names(FileGets(before)), std::multiset<std::string>{}) << "the validation fetched good copies again";
    EXPECT_EQ("", Difference({kV1})) << "after the validation";

    ASSERT_EQ(S_OK, Uninstall(kV1));
    EXPECT_EQ("", QuorTest::SnapshotDifference({}, Actual())) << "after the uninstall";
}

// A second release sharing the entries flagged managed and archived reuses the first's copies and
// fetches none of them again.
TEST_F(SharedCopies, ASecondReleaseReusesTheCopiesOfEntriesFlaggedManagedAndArchived) {
    AddManagedAndArchivedRelease();
    ReleaseSpec& second = description.projects.front().AddRelease(kV2, {"VORN"});
    for (const FileSpec& file : description.projects.front().FindRelease(kV1)->files)
        if (file.name != "bin/run.sh") second.files.push_back(file);
    second.AddFile("bin/run.sh", 0, "#!/bin/sh\necho run two\n");
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV1));
    const size_t before = nginx->accessLog().size();
    ASSERT_EQ(S_OK, Install(kV2));
    EXPECT_EQ(Names(FileGets(before)), std::multiset<std::string>{"bin/run.sh"});
    EXPECT_EQ("", Difference({kV1, kV2}));
}

}  // namespace
}  // namespace InstallE2E
