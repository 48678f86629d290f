// The patch step over a built content tree and the in-process fake server: every kind of target
// rebuilt from an installed release, files that cannot be patched handed to the download step,
// cancellation and the empty list.
#include "install/PatchFilesStep.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "archive/FolderLock.h"
#include "archive/ManagedFileHelper.h"
#include "common/ConvertVersion.h"
#include "common/LocalRootFolder.h"
#include "common/UsableProcessors.h"
#include "common/testing/LogCapture.h"
#include "install/DownloadFilesStep.h"
#include "install/PatchSelection.h"
#include "install/UpdateAndInstallShared.h"
#include "remote/HTTPConnection.h"
#include "remote/ReleaseManifestPaths.h"
#include "remote/RemoteFileServerHTTP.h"
#include "tests/download/DownloadFixture.h"
#include "tests/kit/InstallTreeTest.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace Quor::User::UpdateAndInstallShared {
namespace {

using Common::PatchManifest;
using Common::ReleaseManifest;
using InstallTesting::V;
using namespace Quor::Tools::ContentTree;
namespace fs = std::filesystem;

constexpr DWORD k1 = V(1, 0, 0, 1), k2 = V(1, 0, 0, 2);

// Bytes that compress a little and differ everywhere, like program data.
std::string Bytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>("abcdefgh\n01234567"[random() % 17]);
    return bytes;
}

// The same with a few scattered edits.
std::string Edited(std::string bytes, unsigned seed) {
    std::mt19937 random(seed);
    for (int edit = 0; edit < 5; ++edit) bytes.replace(random() % (bytes.size() - 16), 8, "EDITED!!");
    return bytes;
}

struct Form {
    const char* name;
    DWORD patchForm;  // patch-manifest compression flag
    DWORD binBytes;   // > 0: the patches also come in bins
};
void PrintTo(const Form& form, std::ostream* out) { *out << form.name; }

// Release 1.0.0.1 of "game" installed whole through the download step; release 1.0.0.2 on the
// server with patches from it, made by our jdiff.
class PatchStepTest : public InstallTesting::InstallTreeTest {
protected:
    struct File {
        const char* name;
        DWORD flags;
        size_t size;
        bool changed;
    };
    static constexpr File kFiles[] = {
        {"bin/run.sh", 0x00, 40000, true},         {"bin/lib.so", 0x00, 60000, true},
        {"m/shared.dat", 0x01, 30000, true},
        {"m/packed.dat", 0x31, 30000, true},       {"a/t.bin", 0x02, 50000, true},
        {"a/deep/z.bin", 0x16, 50000, true},       {"c/packed.bin", 0x14, 40000, true},
        {"data/same.txt", 0x00, 20000, false},     {"c/same.bin", 0x14, 20000, false},
    };

    void SetUp() override {
        tree.InstallPatchTools();
        ProductSpec& game = description.AddProject("game");
        game.AddRelease(k1);
        game.AddRelease(k2);
        ReleaseSpec& first = *game.FindRelease(k1);
        ReleaseSpec& second = *game.FindRelease(k2);
        unsigned seed = 1;
        for (const File& file : kFiles) {
            const std::string bytes = Bytes(file.size, ++seed);
            first.AddFile(file.name, file.flags, bytes);
            second.AddFile(file.name, file.flags, file.changed ? Edited(bytes, seed) : bytes);
        }
        second.AddFile("new/n.txt", 0, "a file the new release brings");
    }
    ~PatchStepTest() override { ManagedFileHelper::Release(); }

    // Writes the server tree with patches of the given form and installs release 1.0.0.1.
    void Build(const Form& form = {"plain", 0, 0}) {
        description.projects[0].releases[1].patches.push_back({k1, form.patchForm, form.binBytes});
        std::string error;
        ASSERT_TRUE(BuildContentTree(description, server.path(), error)) << error;
        Load(k1, installed);
        Load(k2, target);
        std::vector<FileToDownload> whole;
        for (const ReleaseManifest::ENTRY& entry : installed.m_Entries) whole.push_back({&entry, LocalPath(k1, entry)});
        ASSERT_EQ(S_OK, DownloadFilesStep(whole, installed, fake, fileSystem, progress));
        ASSERT_EQ(S_OK, ManagedFileHelper::Flush(0));
        QuorTest::WriteFile(ReleaseFolder("game", k1) + "/S_OK", "");
        QuorTest::WriteFile(ReleaseFolder("game", k1) + "/releasemanifest",
                            QuorTest::ReadFile(ServerRelease(k1) + "/releasemanifest"));
        PatchManifest* patchManifest = nullptr;
        ReleaseManifest* sourceManifest = nullptr;
        ASSERT_EQ(S_OK, FindBestPatchForRelease("game", k2, fileSystem, fake, patchManifest, sourceManifest, progress));
        patches.reset(patchManifest);
        source.reset(sourceManifest);
        ASSERT_TRUE(patches && source);
        fake.ClearRecords();
    }

    std::string ServerRelease(DWORD version) const {
        return Quor::Tools::ContentTree::ReleaseFolder(server.path(), description, "game", version);
    }
    void Load(DWORD version, ReleaseManifest& manifest) {
        ASSERT_EQ(S_OK, manifest.Load(ServerRelease(version) + "/releasemanifest", nullptr));
    }
    // Where entry goes in release `version`, with its folder made as discovery makes it.
    std::string LocalPath(DWORD version, const ReleaseManifest::ENTRY& entry) const {
        std::string path;
        Common::GetLocalFilePath(path, "game", version, entry);
        path = root + path;
        fs::create_directories(fs::path(path).parent_path());
        return path;
    }

    // The work list discovery makes for 1.0.0.2 from the patch manifest: every entry of the target.
    std::vector<FileToPatch> WorkList(DWORD kind = 0) {
        std::vector<FileToPatch> files;
        for (const ReleaseManifest::ENTRY& entry : target.m_Entries) {
            const PatchManifest::ENTRY* patch = FindEntryByName(entry.name, entry.version, *patches);
            EXPECT_NE(nullptr, patch) << entry.name;
            if (!patch) continue;
            FileToPatch file{patch, FindManifestEntry(*source, entry.name), &entry, LocalPath(k2, entry), kind};
            if (patch->flags & PatchManifest::FLAG_WHOLE_FILE) file.m_Kind |= FileToPatch::KIND_NEW_FILE;
            files.push_back(file);
        }
        return files;
    }
    HRESULT Run(const std::vector<FileToPatch>& files, IRemoteFileServer& through) {
        return PatchFilesStep(files, downloads, "game", *patches, through, fileSystem, progress);
    }
    HRESULT Run(const std::vector<FileToPatch>& files) { return Run(files, fake); }

    // Downloads what the patch step handed back and marks 1.0.0.2 complete.
    void Finish() {
        if (!downloads.empty()) {
            ASSERT_EQ(S_OK, DownloadFilesStep(downloads, target, fake, fileSystem, progress));
        }
        QuorTest::WriteFile(ReleaseFolder("game", k2) + "/S_OK", "");
        QuorTest::WriteFile(ReleaseFolder("game", k2) + "/releasemanifest",
                            QuorTest::ReadFile(ServerRelease(k2) + "/releasemanifest"));
        ManagedFileHelper::Release();
    }
    // What differs between release 1.0.0.2 on disk and what its installation must leave.
    std::string Difference() const {
        QuorTest::TreeSnapshot expected, actual;
        for (const auto& [path, md5] : QuorTest::ExpectedProjectInstall(description, server.path(), "game", k2))
            if (path.find("/1.0.0.2") != std::string::npos) expected[path] = md5;
        // Folders made for plain copies of archived files may stay behind, empty.
        for (const auto& [path, md5] : QuorTest::TakeSnapshot(root, {"temp/", "system/", "scratch/"}))
            if (path.find("/1.0.0.2") != std::string::npos && md5 != "<empty folder>") actual[path] = md5;
        return QuorTest::SnapshotDifference(expected, actual);
    }
    // Regular files below filearchives/ that are not archive pairs.
    std::vector<std::string> StrayArchiveFiles() const {
        std::vector<std::string> stray;
        for (const auto& item : fs::recursive_directory_iterator(root + "/projects/game/filearchives")) {
            const std::string name = item.path().filename().string();
            if (item.is_regular_file() && !name.ends_with(".zef") && !name.ends_with(".zef.dat") &&
                name != FileSystem::Impl::FolderLock::kFileName)
                stray.push_back(item.path().string());
        }
        return stray;
    }
    bool TempEmpty() const { return fs::is_empty(root + "/temp"); }
    std::vector<std::string> DownloadedNames() const {
        std::vector<std::string> names;
        for (const FileToDownload& file : downloads) names.push_back(file.m_Entry->name);
        return names;
    }
    // The server path of a file's patch.
    std::string PatchPath(const std::string& name) const {
        return "/quor" + Common::GetRemoteFilePath("game", *FindEntryByName(name, k2, *patches));
    }

    QuorTest::TempDir server{"quorserver"};
    ContentDescription description;
    QuorTest::FakeRemoteFileServer fake{server.path()};
    ReleaseManifest installed, target;
    std::unique_ptr<PatchManifest> patches;
    std::unique_ptr<ReleaseManifest> source;
    std::vector<FileToDownload> downloads;
};

class PatchFormTest : public PatchStepTest, public ::testing::WithParamInterface<Form> {};

TEST_P(PatchFormTest, EveryKindOfTargetIsRebuiltFromItsPatch) {
    Build(GetParam());
    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, Run(WorkList())) << log.Errors();
    EXPECT_TRUE(downloads.empty()) << ::testing::PrintToString(DownloadedNames()) << log.Errors();
    EXPECT_TRUE(TempEmpty());
    // Patches only: no whole file but the new one, nothing for the files without differences.
    const size_t wholeFiles = GetParam().binBytes ? 0 : 1;  // else the new file comes in a bin
    EXPECT_EQ(wholeFiles, fake.CountContaining("/1.0.0.2/files/"));
    EXPECT_EQ(wholeFiles, fake.CountContaining("/1.0.0.2/files/new/n.txt"));
    EXPECT_EQ(0u, fake.CountContaining("data/same.txt"));
    if (GetParam().binBytes) {
        EXPECT_EQ(0u, fake.CountContaining("/1.0.0.2/patches/")) << "every patch is cut from a bin";
    }
    Finish();
    EXPECT_EQ("", Difference());
    EXPECT_TRUE(StrayArchiveFiles().empty()) << ::testing::PrintToString(StrayArchiveFiles());
}

INSTANTIATE_TEST_SUITE_P(Forms, PatchFormTest,
                         ::testing::Values(Form{"Plain", 0, 0}, Form{"Zlib", PatchManifest::FLAG_ZLIB, 64 * 1024},
                                           Form{"Lzma", PatchManifest::FLAG_LZMA, 0}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(PatchStepTest, InPlaceTheOldFileIsReplacedOnlyByACheckedCopy) {
    Build();
    // An update in place: the installed release's folder now carries the new release's name.
    fs::remove(ReleaseFolder("game", k1) + "/S_OK");
    fs::rename(ReleaseFolder("game", k1), ReleaseFolder("game", k2));
    const std::string run = Deploy("game", k2, "bin/run.sh");
    const std::string old = QuorTest::ReadFile(run);
    fake.CorruptBody(PatchPath("bin/run.sh"));
    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, Run(WorkList(FileToPatch::KIND_IN_PLACE)));
    EXPECT_EQ(std::vector<std::string>{"bin/run.sh"}, DownloadedNames()) << log.Errors();
    EXPECT_EQ(old, QuorTest::ReadFile(run)) << "a bad patch never costs the old file";
    EXPECT_TRUE(TempEmpty());
    EXPECT_TRUE(log.Has(Log::DEBUG, "No action required.  Patching a deploy folder file, in place, with no differences."));
    EXPECT_TRUE(log.Has(Log::DEBUG, "Succesfully applied patch to deploy file"));
    Finish();
    EXPECT_EQ("", Difference());
}

// Ways a patch can fail; each sends bin/run.sh to the download step, which then places it.
struct Failure {
    const char* name;
    std::function<void(PatchStepTest&)> inject;
};
void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }

class PatchFailureTest : public PatchStepTest, public ::testing::WithParamInterface<Failure> {
public:
    using PatchStepTest::Deploy;
    using PatchStepTest::PatchPath;
    using PatchStepTest::fake;
    using PatchStepTest::tree;
};

TEST_P(PatchFailureTest, TheFileIsDownloadedInstead) {
    Build();
    GetParam().inject(*this);
    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, Run(WorkList()));
    const std::vector<std::string> names = DownloadedNames();
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "bin/run.sh"));
    EXPECT_TRUE(log.Has(Log::DEBUG, "Failed to patch \"" + Deploy("game", k2, "bin/run.sh") +
                                        "\" so will attempt to download it"));
    EXPECT_TRUE(TempEmpty());
    Finish();
    EXPECT_EQ("", Difference());
    EXPECT_TRUE(StrayArchiveFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, PatchFailureTest,
    ::testing::Values(
        Failure{"WrongPatch", [](PatchStepTest& fixture) {
                    auto& self = static_cast<PatchFailureTest&>(fixture);
                    self.fake.CorruptBody(self.PatchPath("bin/run.sh"));
                }},
        Failure{"PatchForAnotherOriginal", [](PatchStepTest& fixture) {
                    auto& self = static_cast<PatchFailureTest&>(fixture);
                    QuorTest::WriteFile(self.Deploy("game", k1, "bin/run.sh"), Bytes(40000, 99));
                }},
        Failure{"PatchToolExits6", [](PatchStepTest& fixture) {
                    static_cast<PatchFailureTest&>(fixture).tree.InstallStubTool("jpatch", 6);
                }},
        Failure{"NoPatchTool", [](PatchStepTest& fixture) {
                    fs::remove(static_cast<PatchFailureTest&>(fixture).tree.system() + "/jpatch");
                }}),
    [](const auto& test) { return std::string(test.param.name); });

// jpatch wrapped by a script that leaves marks in a folder of its own, for the tests of the
// workers: "running.<pid>" while a run lasts, "overlap.<pid>" for a run that saw another one
// running beside it (each run looks for up to 2 s), then the real jpatch. With `holdFirst` the
// first run waits for the mark "go" (up to 10 s) before it patches and leaves "held" when the
// mark came, "alone" when it did not.
class WrappedPatchTool {
public:
    WrappedPatchTool(const QuorTest::QuorTree& tree, bool holdFirst) {
        const std::string tool = tree.system() + "/jpatch";
        fs::rename(tool, tool + ".real");
        const std::string& d = marks.path();
        std::string script = "#!/bin/sh\nd='" + d + "'\n: > \"$d/running.$$\"\n";
        if (holdFirst)
            script += "if mkdir \"$d/first\" 2>/dev/null; then\n"
                      "  n=0; while [ ! -e \"$d/go\" ] && [ $n -lt 200 ]; do sleep 0.05; n=$((n+1)); done\n"
                      "  if [ -e \"$d/go\" ]; then : > \"$d/held\"; else : > \"$d/alone\"; fi\nfi\n";
        script += "n=0\nwhile [ $n -lt 40 ]; do\n"
                  "  if [ $(ls \"$d\" | grep -c '^running') -ge 2 ]; then : > \"$d/overlap.$$\"; break; fi\n"
                  "  sleep 0.05; n=$((n+1))\ndone\n"
                  "\"" + tool + ".real\" \"$@\"; code=$?\nrm -f \"$d/running.$$\"\nexit $code\n";
        QuorTest::WriteFile(tool, script);
        fs::permissions(tool, fs::perms::owner_all);
    }
    bool Has(const std::string& mark) const { return fs::exists(marks.path() + "/" + mark); }
    size_t Count(const std::string& prefix) const {
        size_t count = 0;
        for (const auto& item : fs::directory_iterator(marks.path()))
            if (item.path().filename().string().starts_with(prefix)) ++count;
        return count;
    }
    void Release() const { QuorTest::WriteFile(marks.path() + "/go", ""); }
    // Waits (up to 10 s) for the first run to be holding.
    bool AwaitFirst() const {
        for (int i = 0; i < 200 && !Has("first"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return Has("first");
    }

private:
    QuorTest::TempDir marks{"quorpatchmarks"};
};

// A server over `inner` that raises the cancellation flag as the patch of index `nth` (from 0) is
// requested, once the first patch run holds, and then lets that run go on.
QuorTest::HookedServer CancelAtPatch(IRemoteFileServer& inner, const WrappedPatchTool& tool,
                                     signed char& cancel, unsigned nth) {
    return QuorTest::HookedServer(
        inner, [&tool, &cancel, nth, asked = 0u](unsigned, const std::string& remotePath) mutable {
            if (remotePath.find("packagemanifest") != std::string::npos || asked++ != nth) return;
            EXPECT_TRUE(tool.AwaitFirst()) << "the first patch run never started";
            std::atomic_ref<signed char>(cancel).store(1);  // the fetches run on a thread of their own
            tool.Release();
        });
}

TEST_F(PatchStepTest, ACancelAfterTheFirstFileHandsTheRestToTheDownloadList) {
    Build();
    std::vector<FileToPatch> files = WorkList();
    std::rotate(files.begin(), std::find_if(files.begin(), files.end(), [](const FileToPatch& f) {
                    return f.m_TargetEntry->name == "a/t.bin";
                }), files.end());
    // The flag is raised as the second file's patch is requested, once the first file is being
    // patched (the patches are fetched ahead of the patching).
    WrappedPatchTool tool(tree, true);
    QuorTest::HookedServer hooked = CancelAtPatch(fake, tool, cancel, 1);
    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, Run(files, hooked));
    ASSERT_EQ(files.size() - 1, downloads.size());
    for (size_t i = 0; i < downloads.size(); ++i) EXPECT_EQ(files[i + 1].m_TargetEntry, downloads[i].m_Entry);
    EXPECT_TRUE(log.HasError("Cancellation request detected, aborting"));
    // The first file went into its archive: the flush ran.
    ManagedFileHelper::Release();
    EXPECT_TRUE(ManagedFileHelper::DoesFileOrDirectoryExist("game", k2, "a/t.bin"));
    EXPECT_TRUE(StrayArchiveFiles().empty());
    EXPECT_TRUE(TempEmpty());
}

TEST_F(PatchStepTest, PatchesRunSideBySideAndTheOneThatFailsAmongThemIsDownloaded) {
    if (Common::UsableProcessors() < 2) GTEST_SKIP() << "one processor: the patches run one after the other";
    Build();
    WrappedPatchTool tool(tree, false);
    fake.CorruptBody(PatchPath("bin/lib.so"));
    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, Run(WorkList()));
    EXPECT_EQ(std::vector<std::string>{"bin/lib.so"}, DownloadedNames()) << log.Errors();
    EXPECT_GE(tool.Count("overlap"), 2u) << "no two patch runs overlapped";
    EXPECT_EQ(0u, tool.Count("running")) << "a patch run outlived the step";
    EXPECT_TRUE(TempEmpty());
    Finish();
    EXPECT_EQ("", Difference());
    EXPECT_TRUE(StrayArchiveFiles().empty()) << ::testing::PrintToString(StrayArchiveFiles());
}

TEST_F(PatchStepTest, ACancelWhileWorkersPatchFinishesTheFilesInHandAndHandsTheRestOnInOrder) {
    if (Common::UsableProcessors() < 2) GTEST_SKIP() << "one processor: no worker patches beside the fetches";
    Build();
    WrappedPatchTool tool(tree, true);
    const std::vector<FileToPatch> files = WorkList();
    // The flag is raised as the third patch is requested, while the first one is being applied.
    size_t third = 0;
    for (size_t i = 0, fetched = 0; i < files.size(); ++i)
        if (!(files[i].m_PatchEntry->flags & PatchManifest::FLAG_NO_DIFF) && ++fetched == 3) third = i;
    ASSERT_GT(third, 0u);
    QuorTest::HookedServer hooked = CancelAtPatch(fake, tool, cancel, 2);
    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, Run(files, hooked));
    EXPECT_TRUE(tool.Has("held")) << "the cancel came when no patch was being applied";
    ASSERT_EQ(files.size() - third, downloads.size()) << ::testing::PrintToString(DownloadedNames());
    for (size_t i = 0; i < downloads.size(); ++i) EXPECT_EQ(files[third + i].m_TargetEntry, downloads[i].m_Entry);
    EXPECT_TRUE(log.HasError("Cancellation request detected, aborting"));
    EXPECT_EQ(0u, tool.Count("running")) << "a patch run outlived the step";
    EXPECT_TRUE(TempEmpty());
    // The files in hand were finished and placed: downloading the rest completes the release.
    cancel = 0;
    Finish();
    EXPECT_EQ("", Difference());
    EXPECT_TRUE(StrayArchiveFiles().empty());
}

// The patches come several at once over HTTP connections of their own: the one whose transfer
// fails among those in flight (its first attempt after a pause, in which the others pass it) is
// downloaded whole and every other file is patched. Plain patches, and patches in the LZMA form.
class PatchesInFlightTest : public PatchStepTest, public ::testing::WithParamInterface<Form> {
protected:
    static constexpr unsigned kInFlight = 4;

    // Serves every file of the built server tree at its path below the server root.
    void ServeTree() {
        for (const auto& item : fs::recursive_directory_iterator(server.path()))
            if (item.is_regular_file())
                http.SetResponse("/" + fs::relative(item.path(), server.path()).string(),
                                 {.body = QuorTest::ReadFile(item.path().string())});
    }
    // The patches other than `path` that were first requested after the second request for it.
    std::set<std::string> PatchesAfterSecondTry(const std::string& path) const {
        std::set<std::string> before, after;
        size_t tries = 0;
        for (const QuorTest::RecordedRequest& request : http.requests()) {
            if (request.path == path) ++tries;
            else if (request.path.find("/1.0.0.2/patches/") != std::string::npos)
                (tries >= 2 && !before.count(request.path) ? after : before).insert(request.path);
        }
        return after;
    }

    // The server in front of the scripted one, with kInFlight downloads in flight.
    std::unique_ptr<RemoteFileServerHTTP> InFlight() {
        HRESULT made = E_FAIL;
        auto connection = std::make_shared<Common::HTTPConnection>(made, http.baseUrl(), 80, 60, false, nullptr);
        EXPECT_EQ(S_OK, made);
        return std::make_unique<RemoteFileServerHTTP>(connection, kInFlight);
    }

    QuorTest::ScriptedHttpServer http;
};

TEST_P(PatchesInFlightTest, AFailedPatchTransferSendsItsFileToTheDownloadAndTheOthersArePatched) {
    ASSERT_TRUE(http.started());
    tree.WriteSystemConfig(http.baseUrl(), "/quor", "xx");
    Build(GetParam());
    ServeTree();
    const std::string failing = PatchPath("bin/lib.so");
    http.SetResponses(failing, {{.body = "not the patch", .cutBodyAfter = 4,
                                 .stallBeforeHeaders = std::chrono::seconds(2)},
                                {.body = "not the patch", .cutBodyAfter = 4}});
    const std::unique_ptr<RemoteFileServerHTTP> remote = InFlight();

    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, Run(WorkList(), *remote));
    EXPECT_EQ(std::vector<std::string>{"bin/lib.so"}, DownloadedNames()) << log.Errors();
    EXPECT_TRUE(log.HasError("Failed to download patch file: " + failing)) << log.Errors();
    EXPECT_EQ(3u, http.RequestCount(failing)) << "the failing transfer made all its attempts";
    EXPECT_EQ(std::set<std::string>{}, PatchesAfterSecondTry(failing)) << "the patches came one after another";
    EXPECT_TRUE(TempEmpty());
    Finish();
    EXPECT_EQ("", Difference());
    EXPECT_TRUE(StrayArchiveFiles().empty()) << ::testing::PrintToString(StrayArchiveFiles());
}

INSTANTIATE_TEST_SUITE_P(Forms, PatchesInFlightTest,
                         ::testing::Values(Form{"Plain", 0, 0}, Form{"Lzma", PatchManifest::FLAG_LZMA, 0}),
                         [](const auto& test) { return std::string(test.param.name); });

// Patches in bins, with downloads in flight: each bin comes once and every patch is cut from it.
using PatchBinsInFlightTest = PatchesInFlightTest;
TEST_F(PatchBinsInFlightTest, EveryBinComesOnceAndEveryFileIsPatched) {
    ASSERT_TRUE(http.started());
    tree.WriteSystemConfig(http.baseUrl(), "/quor", "xx");
    Build({"ZlibInBins", PatchManifest::FLAG_ZLIB, 64 * 1024});
    ServeTree();
    const std::unique_ptr<RemoteFileServerHTTP> remote = InFlight();

    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, Run(WorkList(), *remote));
    EXPECT_TRUE(downloads.empty()) << ::testing::PrintToString(DownloadedNames()) << log.Errors();
    std::map<std::string, size_t> bins;
    size_t direct = 0;
    for (const QuorTest::RecordedRequest& request : http.requests()) {
        if (request.path.find("/1.0.0.2/patches/") != std::string::npos) ++direct;
        if (request.path.find("/packages/patches/") != std::string::npos &&
            request.path.find("packagemanifest") == std::string::npos)
            ++bins[request.path];
    }
    EXPECT_EQ(0u, direct) << "every patch is cut from a bin";
    ASSERT_FALSE(bins.empty());
    for (const auto& [bin, requests] : bins) EXPECT_EQ(1u, requests) << bin;
    EXPECT_TRUE(TempEmpty());
    Finish();
    EXPECT_EQ("", Difference());
}

// Managed and archived copies lie under their entry's version, which may be older than the release
// patched from.
TEST(PatchStepSources, SharedCopiesAreFoundUnderTheirOwnEntryVersion) {
    QuorTest::QuorTree tree;
    tree.InstallPatchTools();
    const std::string root = Common::LocalRootFolder::Get();
    constexpr DWORD k3 = V(1, 0, 0, 3);
    QuorTest::TempDir server{"quorserver"};
    ContentDescription description;
    ProductSpec& game = description.AddProject("game");
    for (DWORD version : {k1, k2, k3}) game.AddRelease(version);
    const std::string managed = Bytes(30000, 7), archived = Bytes(30000, 8);
    for (DWORD version : {k1, k2}) {
        game.FindRelease(version)->AddFile("m/old.dat", 0x01, managed).version = k1;
        game.FindRelease(version)->AddFile("a/old.bin", 0x02, archived).version = k1;
    }
    game.FindRelease(k3)->AddFile("m/old.dat", 0x01, Edited(managed, 1));
    game.FindRelease(k3)->AddFile("a/old.bin", 0x02, Edited(archived, 2));
    game.FindRelease(k3)->patches.push_back({k2, 0, 0});
    std::string error;
    ASSERT_TRUE(BuildContentTree(description, server.path(), error)) << error;

    QuorTest::FakeRemoteFileServer fake{server.path()};
    Common::LocalFileSystem fileSystem;
    signed char cancel = 0;
    AutoUpdateProgress progress{nullptr, &cancel, 0};
    const auto serverRelease = [&](DWORD version) {
        return Quor::Tools::ContentTree::ReleaseFolder(server.path(), description, "game", version);
    };
    // 1.0.0.1 placed its files; 1.0.0.2 shares them.
    ReleaseManifest first, target;
    ASSERT_EQ(S_OK, first.Load(serverRelease(k1) + "/releasemanifest", nullptr));
    ASSERT_EQ(S_OK, target.Load(serverRelease(k3) + "/releasemanifest", nullptr));
    std::vector<FileToDownload> whole;
    for (const ReleaseManifest::ENTRY& entry : first.m_Entries) {
        std::string path;
        Common::GetLocalFilePath(path, "game", k1, entry);
        fs::create_directories(fs::path(root + path).parent_path());
        whole.push_back({&entry, root + path});
    }
    ASSERT_EQ(S_OK, DownloadFilesStep(whole, first, fake, fileSystem, progress));
    for (DWORD version : {k1, k2}) {
        const std::string folder = root + "/projects/game/releases/" + Common::ConvertVersion::ToString(version);
        QuorTest::WriteFile(folder + "/releasemanifest", QuorTest::ReadFile(serverRelease(version) + "/releasemanifest"));
        QuorTest::WriteFile(folder + "/S_OK", "");
    }
    PatchManifest* patchManifest = nullptr;
    ReleaseManifest* sourceManifest = nullptr;
    ASSERT_EQ(S_OK, FindBestPatchForRelease("game", k3, fileSystem, fake, patchManifest, sourceManifest, progress));
    std::unique_ptr<PatchManifest> patches(patchManifest);
    std::unique_ptr<ReleaseManifest> source(sourceManifest);
    ASSERT_TRUE(patches && source);
    ASSERT_EQ(k2, source->m_ReleaseVersion);

    std::vector<FileToPatch> files;
    for (const ReleaseManifest::ENTRY& entry : target.m_Entries) {
        std::string path;
        Common::GetLocalFilePath(path, "game", k3, entry);
        fs::create_directories(fs::path(root + path).parent_path());
        files.push_back({FindEntryByName(entry.name, k3, *patches), FindManifestEntry(*source, entry.name), &entry,
                         root + path, 0});
        ASSERT_TRUE(files.back().m_PatchEntry && files.back().m_SourceEntry) << entry.name;
    }
    std::vector<FileToDownload> downloads;
    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, PatchFilesStep(files, downloads, "game", *patches, fake, fileSystem, progress));
    EXPECT_TRUE(downloads.empty()) << log.Errors();
    EXPECT_EQ(Edited(managed, 1), QuorTest::ReadFile(root + "/projects/game/managedfiles/1.0.0.3/m/old.dat"));
    const std::string extracted = root + "/scratch/old.bin";
    fs::create_directories(root + "/scratch");
    ASSERT_EQ(S_OK, ManagedFileHelper::ExtractFile("game", k3, "a/old.bin", 0, extracted));
    EXPECT_EQ(Edited(archived, 2), QuorTest::ReadFile(extracted));
    ManagedFileHelper::Release();
}

TEST_F(PatchStepTest, AnEmptyListAsksNothingAndACancelledStepDoesNothing) {
    Build();
    EXPECT_EQ(S_OK, Run({}));
    EXPECT_TRUE(fake.RequestLog().empty());
    cancel = 1;
    EXPECT_EQ(E_ABORT, Run(WorkList()));
    EXPECT_TRUE(fake.RequestLog().empty());
    EXPECT_TRUE(downloads.empty());
}

}  // namespace
}  // namespace Quor::User::UpdateAndInstallShared
