// A cancelled update on a resident kernel: the engine object the kernel keeps across jobs runs a
// project update that the client cancels part-way, then the same update again in the same
// process. The second run must finish clean, as a fresh install of the target would leave the
// tree, whatever the cancelled job had queued in the archives.
#include "kernel/Engine.h"
#include "remote/AutoTemporaryFile.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tests/update/UpdateFixture.h"

namespace InstallE2E {
namespace {

// Raises the job's cancel flag when the progress names the n-th archive index being written. As
// the progress object's clock it steps a second at every reading, so that no tick is held back
// for coming too soon after the last one: every item reaches the sink, however fast the run.
class CancelAtArchiveWrite final : public Quor::API::IUpdateProgress, public Quor::User::IProgressClock {
public:
    DWORD NowMs() override { return m_Now += 1000; }
    CancelAtArchiveWrite(signed char& flag, int n) : m_Flag(flag), m_Left(n) {}
    void UpdateProgress(const Quor::API::Progress& progress) override {
        if (progress.m_CurrentItem == m_Last || !progress.m_CurrentItem.ends_with(".zef")) return;
        m_Last = progress.m_CurrentItem;
        if (--m_Left == 0) m_Flag = 1;
    }

private:
    signed char& m_Flag;
    int m_Left;
    std::string m_Last;
    DWORD m_Now = 0;
};

class CancelledUpdateTest : public UpdateFixture {
protected:
    // 1.0.0.2 keeps every file of 1.0.0.1 and adds archived, managed and plain files, so that a
    // clean finish of any road leaves the same tree as a fresh install of 1.0.0.2.
    void AddReleases() {
        AddFirstRelease();
        ReleaseSpec& first = *description.projects.front().FindRelease(kV1);
        for (int i = 0; i < 6; ++i)
            first.AddFile("arch/f" + std::to_string(i), i % 2 ? 0x02 : 0x06, Bytes(3000, 400 + i));
        const std::vector<FileSpec> kept = first.files;  // AddRelease may move the first release
        ReleaseSpec& second = description.projects.front().AddRelease(kV2, {"VORN"});
        second.files = kept;
        for (int i = 0; i < 9; ++i) {
            const DWORD flags = i % 3 == 0 ? 0x02 : i % 3 == 1 ? 0x06 : i % 3 == 2 && i % 2 ? 0x01 : 0;
            second.AddFile("added/g" + std::to_string(i), flags, Bytes(3000, 600 + i));
        }
    }

    Quor::Orvane::Engine engine;
};

TEST_F(CancelledUpdateTest, TheNextUpdateOnTheSameEngineCompletesClean) {
    AddReleases();
    ServeVorn();
    struct Case {
        std::string what;
        size_t files;      // cancel once this many files of 1.0.0.2 came (0: not by the server)
        int archiveWrite;  // cancel when the n-th archive index is being written (0: never)
    };
    const Case cases[] = {
        {"after the manifest and one file", 2, 0},
        {"after the manifest and five files", 6, 0},
        {"during the first archive write", 0, 1},
        {"after the manifest and every file", 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("cancelled " + c.what);
        Quor::User::ManagedFileHelper::Release();
        std::filesystem::remove_all(root + "/projects/alpha");
        ASSERT_EQ(S_OK, Install(kV1));
        ASSERT_EQ("", Difference({kV1}));

        cancel = 0;
        CancelAtArchiveWrite sink(cancel, c.archiveWrite);
        Quor::User::AutoUpdateProgress stopped{c.archiveWrite ? &sink : nullptr, &cancel, 0, sink};
        Quor::User::ManagedFileHelper::SetAutoUpdateProgress scope(stopped);
        QuorTest::FakeRemoteFileServer stopping(content.path(), kDownloadPath, "VORN");
        if (c.files) stopping.CancelAfterFiles(c.files, &cancel, "/1.0.0.2/");
        DWORD version = 0;
        EXPECT_TRUE(FAILED(engine.UpdateProject(project, fileSystem, stopping, stopped, version)));
        EXPECT_EQ(1, cancel) << "the cancel point was not reached";
        EXPECT_FALSE(std::filesystem::exists(Ok(kV2)));

        cancel = 0;
        Quor::Common::DeleteTemporaryFiles();
        version = 0;
        quiet.Clear();
        Quor::Log::SetLogLevel(Quor::Log::ERROR);
        ASSERT_EQ(S_OK, engine.UpdateProject(project, fileSystem, *http, updateProgress, version)) << quiet.Errors();
        EXPECT_EQ(kV2, version);
        EXPECT_TRUE(std::filesystem::exists(Ok(kV2)));
        EXPECT_EQ("", Difference({kV2}));
    }
}

}  // namespace
}  // namespace InstallE2E
