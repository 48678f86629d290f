// The planning step's choices: which installed release a copy comes from (lowest for an install,
// highest for an update in place, nothing for a file that came with the moved folder), the one
// reuse rule for shared copies, 64-bit work totals, and what a cancellation between entries answers.
#include "install/ReleasePlan.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "remote/MD5Helper.h"
#include "tests/kit/InstallTreeTest.h"

namespace Quor::User {
namespace {

using InstallTesting::V;
constexpr DWORD kV1 = V(1, 0, 0, 1);
constexpr DWORD kV2 = V(1, 0, 0, 2);
constexpr DWORD kV3 = V(1, 0, 0, 3);

class ReleasePlanTest : public InstallTesting::InstallTreeTest {
protected:
    static Common::ReleaseManifest Manifest(DWORD release, const std::vector<std::pair<std::string, DWORD>>& files,
                                            DWORD entryVersion = kV1, DWORD size = 4) {
        Common::ReleaseManifest manifest;
        manifest.m_ProjectName = "alpha";
        manifest.m_ReleaseVersion = release;
        const unsigned char md5[16] = {};
        for (const auto& [name, flags] : files)
            EXPECT_EQ(S_OK, manifest.Add(name, entryVersion, md5, flags, size, size));
        return manifest;
    }

    struct Planned {
        HRESULT hr = S_OK;
        std::vector<FileToDownload> toDownload;
        std::vector<FileToPatch> toPatch;
        std::vector<FileToCopy> toCopy;
        std::vector<FileToArchive> toArchive;
        std::vector<FileToDeleteFromArchive> toDeleteFromArchive;
        std::vector<DWORD> displaced;
    };
    Planned Plan(const Common::ReleaseManifest& target, const std::vector<const Common::ReleaseManifest*>& installed,
                 const ReleasePlan::Choices& choices, AutoUpdateProgress& watched) {
        Planned planned;
        planned.hr = ReleasePlan::Calculate("alpha", target.m_ReleaseVersion, target, {installed}, choices,
                                            {planned.toDownload, planned.toPatch, planned.toCopy, planned.toArchive,
                                             planned.toDeleteFromArchive, planned.displaced},
                                            fileSystem, watched);
        return planned;
    }
    Planned Plan(const Common::ReleaseManifest& target, const std::vector<const Common::ReleaseManifest*>& installed,
                 const ReleasePlan::Choices& choices) {
        return Plan(target, installed, choices, progress);
    }
};

// Installed 1.0.0.1 and 1.0.0.2 both hold the deploy file d/f.bin of entry version 1.0.0.1.
TEST_F(ReleasePlanTest, ADeployFileComesFromTheHolderEachOperationChooses) {
    const Common::ReleaseManifest first = Manifest(kV1, {{"d/f.bin", 0}}), second = Manifest(kV2, {{"d/f.bin", 0}});
    const Common::ReleaseManifest target = Manifest(kV3, {{"d/f.bin", 0}});
    QuorTest::WriteFile(Deploy("alpha", kV3, "d/f.bin"), "moved");  // the moved folder holds it

    struct Case {
        const char* operation;
        ReleasePlan::Choices choices;
        DWORD copiedFrom;  // 0: nothing to copy
    };
    for (const Case& c : {Case{"install", ReleasePlan::kInstall, kV1},  // at its path, but not valid
                          Case{"update from 1.0.0.2", ReleasePlan::ForUpdateInPlace(kV2, 0), 0},
                          Case{"update from 1.0.0.1", ReleasePlan::ForUpdateInPlace(kV1, 0), kV2}}) {
        SCOPED_TRACE(c.operation);
        const Planned planned = Plan(target, {&first, &second}, c.choices);
        ASSERT_EQ(S_OK, planned.hr);
        EXPECT_TRUE(planned.toDownload.empty());
        if (c.copiedFrom == 0) {
            EXPECT_TRUE(planned.toCopy.empty()) << "the file came with the moved folder";
        } else {
            ASSERT_EQ(1u, planned.toCopy.size());
            EXPECT_EQ(c.copiedFrom, planned.toCopy[0].m_Source->m_ReleaseVersion);
        }
    }
}

// One rule decides whether an installed release's managed copy serves the target's entry.
TEST_F(ReleasePlanTest, AManagedCopyIsReusedUnderOtherServerFormsAndReplacedInAnotherStoredForm) {
    Common::ReleaseManifest installed = Manifest(kV1, {{"m/s.dat", 0x01}});
    QuorTest::WriteFile(Managed("alpha", kV1, "m/s.dat"), "data");
    // The copy is checked before it is reused: the entries describe its bytes.
    MD5::DIGEST digest;
    ASSERT_EQ(S_OK, Common::MD5Helper::ComputeMD5(Managed("alpha", kV1, "m/s.dat"), digest));
    std::copy(digest, digest + 16, installed.m_Entries[0].md5);
    struct Case {
        DWORD flags;
        bool reused;
    };
    for (const Case& c : {Case{0x01, true}, Case{0x05, true}, Case{0x21, true}, Case{0x09, true}, Case{0x15, false}}) {
        SCOPED_TRACE(c.flags);
        Common::ReleaseManifest target = Manifest(kV2, {{"m/s.dat", c.flags}});
        std::copy(digest, digest + 16, target.m_Entries[0].md5);
        const Planned planned = Plan(target, {&installed}, ReleasePlan::kInstall);
        ASSERT_EQ(S_OK, planned.hr);
        EXPECT_EQ(c.reused, planned.toDownload.empty());
        // A copy replaced in another form leaves the release that used it incomplete.
        EXPECT_EQ(c.reused ? std::vector<DWORD>{} : std::vector<DWORD>{kV1}, planned.displaced);
    }
}

TEST_F(ReleasePlanTest, ACopyOfMoreThanTwoGibibytesAnnouncesItsDiskWorkWithoutWrapping) {
    constexpr DWORD kSize = 0x90000000;  // 2.25 GiB
    const Common::ReleaseManifest installed = Manifest(kV1, {{"big.bin", 0}}, kV1, kSize);
    const Common::ReleaseManifest target = Manifest(kV2, {{"big.bin", 0}}, kV1, kSize);
    for (const ReleasePlan::Choices& choices : {ReleasePlan::kInstall, ReleasePlan::ForUpdateInPlace(kV3, 0)}) {
        AutoUpdateProgress fresh{nullptr, &cancel, 0};
        const Planned planned = Plan(target, {&installed}, choices, fresh);
        ASSERT_EQ(S_OK, planned.hr);
        ASSERT_EQ(1u, planned.toCopy.size());
        EXPECT_EQ(2 * static_cast<int64_t>(kSize), fresh.BytesTotal(WORK_TYPE_DISK_ACCESS));
    }
}

// Sets the cancellation flag when the progress shows `item`.
class CancelAtItem final : public API::IUpdateProgress, public IProgressClock {
public:
    CancelAtItem(signed char& flag, std::string item) : m_Flag(flag), m_Item(std::move(item)) {}
    void UpdateProgress(const API::Progress& record) override {
        if (record.m_CurrentItem == m_Item) m_Flag = 1;
    }
    DWORD NowMs() override { return m_Now += 1000; }  // every tick reaches the sink

private:
    signed char& m_Flag;
    std::string m_Item;
    DWORD m_Now = 0;
};

TEST_F(ReleasePlanTest, ACancellationBetweenEntriesAnswersWhatEachOperationReports) {
    const Common::ReleaseManifest target = Manifest(kV2, {{"a.bin", 0}, {"b.bin", 0}});
    struct Case {
        const char* operation;
        ReleasePlan::Choices choices;
        HRESULT result;
        const char* logged;
    };
    for (const Case& c : {Case{"install", ReleasePlan::kInstall, E_FAIL, "Cancellation detected, aborting"},
                          Case{"update", ReleasePlan::ForUpdateInPlace(kV1, 0), E_ABORT,
                               "Cancellation request detected, aborting"},
                          Case{"validation", ReleasePlan::kValidate, E_ABORT,
                               "Cancellation request detected, aborting"}}) {
        SCOPED_TRACE(c.operation);
        cancel = 0;
        CancelAtItem sink(cancel, "b.bin");
        AutoUpdateProgress watched(&sink, &cancel, 0, sink);
        QuorTest::LogCapture log(Log::ERROR);
        const Planned planned = Plan(target, {}, c.choices, watched);
        EXPECT_EQ(c.result, planned.hr);
        EXPECT_TRUE(log.HasError(c.logged));
        EXPECT_EQ(1u, planned.toDownload.size()) << "a.bin is planned, b.bin is not";
    }
}

}  // namespace
}  // namespace Quor::User
