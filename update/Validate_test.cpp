// Validation of installed project releases against the in-process content server: releases are
// installed by the real installation, damaged by hand, validated, and then compared with what an
// installation of the same releases leaves; the fetched files come from the server's request log.
#include "update/Validate.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "archive/ManagedFileHelper.h"
#include "common/testing/LogCapture.h"
#include "install/InstalledState.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tests/kit/content/InstalledTree.h"
#include "tests/kit/install/RunInstall.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace Quor::User {
namespace {

using InstallTesting::V;
constexpr DWORD kV1 = V(1, 0, 0, 1);
constexpr DWORD kV2 = V(1, 0, 0, 2);

// Sets the job's cancellation flag once the progress shows `item` (a file name), so that the file
// of that name is the last one checked.
class CancelAtItem : public API::IUpdateProgress, public IProgressClock {
public:
    CancelAtItem(signed char& flag, std::string item) : m_Flag(flag), m_Item(std::move(item)) {}
    void UpdateProgress(const API::Progress& progress) override {
        if (progress.m_CurrentItem == m_Item) m_Flag = 1;
    }
    DWORD NowMs() override { return m_Now += 1000; }  // every tick reaches the sink

private:
    signed char& m_Flag;
    std::string m_Item;
    DWORD m_Now = 0;
};

// Project "alpha": 1.0.0.1 with every kind of entry (plain, zlib-fetched, kept compressed,
// managed, archived); 1.0.0.2 keeping the managed and archived files and adding its own.
class ValidateProjectTest : public InstallTesting::InstallTreeTest {
protected:
    void SetUp() override {
        RegisterInstalledStateServices();
        auto& alpha = description.AddProject("alpha");
        auto& first = alpha.AddRelease(kV1, {"xx"});
        first.AddFile("bin/run.sh", 0, "#!/bin/sh\necho one\n");
        first.AddFile("data/z.txt", 0x04, std::string(7000, 'z'));
        first.AddFile("c/packed.bin", 0x14, std::string(3000, 'c'));
        first.AddFile("m/shared.dat", 0x01, "managed bytes");
        first.AddFile("a/t1.bin", 0x06, std::string(2000, 't'));
        first.AddFile("a/t2.bin", 0x02, "archived bytes");
        auto& second = alpha.AddRelease(kV2, {"xx"});
        for (const auto& file : alpha.FindRelease(kV1)->files)
            if (file.flags & 3) second.files.push_back(file);
        second.AddFile("0/first.txt", 0, "first of the second release");
        second.AddFile("bin/run.sh", 0, "#!/bin/sh\necho two\n");
        std::string error;
        ASSERT_TRUE(Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
    }

    void Install(DWORD version) {
        signed char never = 0;
        AutoUpdateProgress installing(nullptr, &never, 0);
        ASSERT_EQ(S_OK, InstallE2E::RunInstall("alpha", version, server, installing));
        server.ClearRecords();
    }
    HRESULT Validate() { return ValidateProject("alpha", fileSystem, server, progress); }

    // The release files fetched (entry names), request order.
    std::multiset<std::string> Fetched() const {
        std::multiset<std::string> names;
        for (const std::string& line : server.RequestLog()) {
            const size_t files = line.find("/files/");
            if (!line.starts_with("GET ") || files == std::string::npos || line.ends_with("packagemanifest")) continue;
            std::string name = line.substr(files + 7);
            for (const std::string suffix : {".compressed", ".lzma2"})
                if (name.ends_with(suffix)) name.resize(name.size() - suffix.size());
            names.insert(name);
        }
        return names;
    }
    std::string Difference(const std::vector<DWORD>& versions) const {
        QuorTest::TreeSnapshot expected;
        for (DWORD version : versions)
            expected.merge(QuorTest::ExpectedProjectInstall(description, content.path(), "alpha", version));
        return QuorTest::SnapshotDifference(expected, InstallTesting::InstalledSnapshot(root));
    }
    std::string Ok(DWORD version) const { return ReleaseFolder("alpha", version) + "/S_OK"; }
    // Changes the first byte of an archived file of 1.0.0.1 where its pair stores it: the pair
    // stays whole and the file keeps its size.
    void FlipStoredByte(const std::string& name) {
        std::shared_ptr<FileSystem::IManager> manager;
        ASSERT_EQ(S_OK, ManagedFileHelper::GetFileSystemManager("alpha", kV1, manager));
        std::string archive;
        uint32_t offset = 0, size = 0;
        ASSERT_TRUE(manager->Find(name, archive, offset, size));
        std::fstream data(manager->GetRootDirectory() + "/" + archive, std::ios::in | std::ios::out | std::ios::binary);
        data.seekg(offset);
        const char byte = static_cast<char>(data.get() ^ 0x20);
        data.seekp(offset);
        data.write(&byte, 1);
        ASSERT_TRUE(data.good());
        data.close();
        ManagedFileHelper::Release();
    }

    Tools::ContentTree::ContentDescription description;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};
};

TEST_F(ValidateProjectTest, EachDamagedFileIsFetchedAgainAndNothingElse) {
    Install(kV1);
    const std::string deploy = ReleaseFolder("alpha", kV1) + "/deploy/";
    const std::string managed = Managed("alpha", kV1, "m/shared.dat");
    const std::string outside = root + "/scratch/outside.txt";
    QuorTest::WriteFile(outside, "not part of the release");
    struct Case {
        const char* what;
        std::function<void()> damage;
        std::multiset<std::string> fetched;
    };
    const std::vector<Case> cases = {
        {"a corrupt managed and a corrupt deploy file",
         [&] {
             QuorTest::WriteFile(managed, "MANAGED BYTES");
             QuorTest::WriteFile(deploy + "bin/run.sh", "#!/bin/sh\necho 1\n");
         },
         {"bin/run.sh", "m/shared.dat"}},
        {"a missing deploy file and its folder", [&] { std::filesystem::remove_all(deploy + "data"); }, {"data/z.txt"}},
        {"a file kept compressed holding other bytes", [&] { QuorTest::WriteFile(deploy + "c/packed.bin", "x"); },
         {"c/packed.bin"}},
        {"an archived file gone from its archive",
         [&] {
             ASSERT_EQ(S_OK, ManagedFileHelper::RemoveFile("alpha", kV1, "a/t2.bin"));
             ASSERT_EQ(S_OK, ManagedFileHelper::Flush(0));
             ManagedFileHelper::Release();
         },
         {"a/t2.bin"}},
        {"a byte of an archived file stored plain flipped", [&] { FlipStoredByte("a/t2.bin"); }, {"a/t2.bin"}},
        {"a byte of an archived file fetched as zlib flipped", [&] { FlipStoredByte("a/t1.bin"); }, {"a/t1.bin"}},
        {"a pipe in place of a deploy file (never opened)",
         [&] {
             std::filesystem::remove(deploy + "bin/run.sh");
             ASSERT_EQ(0, ::mkfifo((deploy + "bin/run.sh").c_str(), 0644));
         },
         {"bin/run.sh"}},
        {"a link in place of a managed file",
         [&] {
             std::filesystem::remove(managed);
             std::filesystem::create_symlink(outside, managed);
         },
         {"m/shared.dat"}},
        {"nothing", [] {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.damage();
        server.ClearRecords();
        QuorTest::LogCapture log(Log::WARNING);
        EXPECT_EQ(S_OK, Validate()) << log.Errors();
        EXPECT_EQ(c.fetched, Fetched());
        for (const std::string& name : c.fetched)
            if (!name.starts_with("a/")) {
                const std::string path = name == "m/shared.dat" ? managed : deploy + name;
                EXPECT_TRUE(log.Has(Log::WARNING, "File \"" + path + "\" MD5 check FAILED!"));
            }
        EXPECT_EQ("", Difference({kV1}));
        EXPECT_TRUE(std::filesystem::exists(Ok(kV1)));
    }
    EXPECT_EQ("not part of the release", QuorTest::ReadFile(outside));
}

TEST_F(ValidateProjectTest, SoundArchivedEntriesStayInTheirArchive) {
    Install(kV1);
    QuorTest::LogCapture log(Log::VERBOSE);
    EXPECT_EQ(S_OK, Validate());
    const std::string archives = root + "/projects/alpha/filearchives/1.0.0.1/";
    EXPECT_TRUE(log.Has(Log::VERBOSE, "File \"" + archives + "a/t2.bin\" is present in an archive."));
    EXPECT_TRUE(log.Has(Log::VERBOSE, "File \"" + archives + "a/t1.bin\" is present in an archive."));
    EXPECT_FALSE(log.Contains("MD5 check FAILED"));
    EXPECT_EQ(std::multiset<std::string>{}, Fetched());
}

// A release installed beside another reuses its managed and archived copies only after checking
// them: a damaged one is fetched again, and both releases are then whole.
TEST_F(ValidateProjectTest, AnInstallBesideFetchesAgainTheDamagedCopiesItWouldReuse) {
    Install(kV1);
    FlipStoredByte("a/t2.bin");
    QuorTest::WriteFile(Managed("alpha", kV1, "m/shared.dat"), "MANAGED BYTES");
    signed char never = 0;
    AutoUpdateProgress installing(nullptr, &never, 0);
    ASSERT_EQ(S_OK, InstallE2E::RunInstall("alpha", kV2, server, installing));
    EXPECT_EQ((std::multiset<std::string>{"0/first.txt", "a/t2.bin", "bin/run.sh", "m/shared.dat"}), Fetched());
    EXPECT_EQ("", Difference({kV1, kV2}));
}

// A plain copy that an archive step left beside its archive after the flush (stopped before it
// deleted the file it took the copy from) goes with the next operation that finds the archived
// copy good.
TEST_F(ValidateProjectTest, APlainCopyLeftBesideItsArchiveGoesWithTheNextOperationThere) {
    const std::string plainCopy = root + "/projects/alpha/filearchives/1.0.0.1/a/t2.bin";
    signed char never = 0;
    AutoUpdateProgress installing(nullptr, &never, 0);
    struct Case {
        const char* what;
        std::function<HRESULT()> run;
    };
    const Case cases[] = {
        {"an install beside", [&] { return InstallE2E::RunInstall("alpha", kV2, server, installing); }},
        {"a validation", [&] { return Validate(); }},
        {"an install of the release again", [&] { return InstallE2E::RunInstall("alpha", kV1, server, installing); }},
    };
    Install(kV1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuorTest::WriteFile(plainCopy, "archived bytes");
        EXPECT_EQ(S_OK, c.run());
        EXPECT_FALSE(std::filesystem::exists(plainCopy));
    }
    EXPECT_EQ("", Difference({kV1, kV2}));
}

TEST_F(ValidateProjectTest, WithoutACompleteReleaseNothingIsValidated) {
    Install(kV1);
    std::filesystem::remove(Ok(kV1));
    std::filesystem::remove(ReleaseFolder("alpha", kV1) + "/deploy/bin/run.sh");
    QuorTest::LogCapture log(Log::DEBUG);
    EXPECT_EQ(S_OK, Validate());
    EXPECT_TRUE(log.Has(Log::USER, "Found 0 installed releases to verify"));
    EXPECT_TRUE(log.Has(Log::DEBUG, "Verification found no installed releases for project: alpha."));
    EXPECT_EQ(std::vector<std::string>{}, server.RequestLog());
    EXPECT_FALSE(std::filesystem::exists(Ok(kV1)));
    // A project never installed gets its folders and the same answer.
    EXPECT_EQ(S_OK, ValidateProject("gamma", fileSystem, server, progress));
    EXPECT_TRUE(std::filesystem::is_directory(root + "/projects/gamma/releases"));
}

TEST_F(ValidateProjectTest, AnIncompleteReleaseBesideACompleteOneIsCompleted) {
    Install(kV1);
    Install(kV2);
    std::filesystem::remove(Ok(kV2));
    QuorTest::WriteFile(ReleaseFolder("alpha", kV2) + "/deploy/0/first.txt", "damaged");
    QuorTest::LogCapture log(Log::USER);
    EXPECT_EQ(S_OK, Validate());
    EXPECT_TRUE(log.Has(Log::USER, "Found 1 installed releases to verify"));
    EXPECT_EQ(std::multiset<std::string>{"0/first.txt"}, Fetched());
    EXPECT_TRUE(std::filesystem::exists(Ok(kV1)));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV2)));
    EXPECT_EQ("", Difference({kV1, kV2}));
}

TEST_F(ValidateProjectTest, ACancelInsideAnIncompleteReleaseLeavesItIncomplete) {
    Install(kV1);
    Install(kV2);
    std::filesystem::remove(Ok(kV2));
    QuorTest::WriteFile(ReleaseFolder("alpha", kV2) + "/deploy/bin/run.sh", "damaged");
    CancelAtItem cancelAt(cancel, "first.txt");  // the first file of 1.0.0.2
    AutoUpdateProgress watched(&cancelAt, &cancel, 0, cancelAt);
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_EQ(static_cast<HRESULT>(0x80004004), ValidateProject("alpha", fileSystem, server, watched));
    EXPECT_TRUE(log.HasError("Cancellation request detected, aborting"));
    EXPECT_TRUE(log.HasError("DoValidation failed"));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV1)));  // validated before the cancel
    EXPECT_FALSE(std::filesystem::exists(Ok(kV2)));
    EXPECT_EQ(std::multiset<std::string>{}, Fetched());
}

// A folder left between an in-place update's move and the fetch of its own manifest holds the
// source's manifest: it must not be marked complete as the release it is named after.
TEST_F(ValidateProjectTest, AReleaseFolderHoldingAnotherReleasesManifestIsNotMarkedComplete) {
    Install(kV1);
    std::filesystem::copy(ReleaseFolder("alpha", kV1), ReleaseFolder("alpha", kV2),
                          std::filesystem::copy_options::recursive);
    std::filesystem::remove(Ok(kV2));
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_EQ(S_OK, Validate()) << log.Errors();
    EXPECT_TRUE(log.HasError("The release manifest of alpha 1.0.0.2 describes alpha 1.0.0.1."));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV1)));
    EXPECT_FALSE(std::filesystem::exists(Ok(kV2)));
    EXPECT_EQ(std::multiset<std::string>{}, Fetched());

    // Marked complete all the same, it fails the validation instead of being completed wrongly.
    QuorTest::WriteFile(Ok(kV2), "");
    EXPECT_EQ(E_FAIL, Validate());
    EXPECT_TRUE(log.HasError("Setup step failed"));
}

TEST_F(ValidateProjectTest, AFailedFetchFailsTheValidationAndLeavesNoMarkOnAnIncompleteRelease) {
    Install(kV1);
    std::filesystem::remove(ReleaseFolder("alpha", kV1) + "/deploy/bin/run.sh");
    Install(kV2);
    std::filesystem::remove(Ok(kV2));
    std::filesystem::remove(ReleaseFolder("alpha", kV2) + "/deploy/bin/run.sh");
    server.FailFile("/quor/projects/alpha/releases/1.0.0.2/files/bin/run.sh");
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_TRUE(FAILED(Validate()));
    EXPECT_TRUE(log.HasError("Download files step failed"));
    EXPECT_TRUE(std::filesystem::exists(ReleaseFolder("alpha", kV1) + "/deploy/bin/run.sh"));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV1)));
    EXPECT_FALSE(std::filesystem::exists(Ok(kV2)));
}

}  // namespace
}  // namespace Quor::User
