// The download step against the scripted loopback server: placement by flags, the three passes and
// their fall-backs, package bins, cancellation and validation of every pass.
#include "install/DownloadFilesStep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "archive/FolderLock.h"
#include "archive/ManagedFileHelper.h"
#include "archive/Manager.h"
#include "common/ErrorCodes.h"
#include "common/LzmaContainer.h"
#include "common/testing/LogCapture.h"
#include "install/InstallSteps.h"
#include "tests/download/DownloadFixture.h"
#include "tests/kit/content/TreeSnapshot.h"

namespace {

using Quor::User::UpdateAndInstallShared::DownloadFilesStep;
using QuorTest::ReadFile;

// The HTTP server's attempts per failing fetch.
constexpr size_t kAttempts = 3;

class DownloadFilesStepTest : public QuorTest::DownloadFixture {
protected:
    HRESULT Run(Quor::User::IRemoteFileServer& through) {
        const auto files = Files();
        return DownloadFilesStep(files, manifest, through, fileSystem, progress);
    }
    HRESULT Run() { return Run(*server); }

    std::string Expanded(const std::string& path) {
        const std::string out = work / "expanded";
        EXPECT_EQ(S_OK, Quor::Common::ZLibHelper::DecompressFile(path, out));
        return ReadFile(out);
    }
    size_t Requests(const std::string& name) const { return http.RequestCount(FilesUrl() + name); }
    std::string ArchiveFolder() const { return Root() + "/projects/alpha/filearchives/1.0.0.1"; }
    // Entries of the archive folder besides its pairs and the writer's lock file: files of archive
    // writes that never committed.
    std::vector<std::string> ArchiveLeftovers() const {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& item : std::filesystem::directory_iterator(ArchiveFolder(), error)) {
            const std::string name = item.path().filename();
            if (!name.ends_with(".zef") && !name.ends_with(".zef.dat") && name != "archive.lock") names.push_back(name);
        }
        return names;
    }
};

TEST_F(DownloadFilesStepTest, MixedFlagsArePlacedByTheirFlags) {
    Add("bin/run.sh", 0, "#!/bin/sh\necho run\n");
    Add("data/z.txt", 0x04, std::string(3000, 'z'));
    Add("data/l.bin", 0x20, std::string(5000, 'l'));
    const std::string packed = Add("c/packed.bin", 0x14, std::string(4000, 'p')).zlib;
    Add("m/shared.dat", 0x01, "shared");
    Add("a/t1.bin", 0x06, std::string(2000, '1'));
    Add("a/t2.bin", 0x02, "archived two");

    ASSERT_EQ(S_OK, Run());

    // Exactly these files: the archived ones in the pair, without a naked copy.
    Quor::User::ManagedFileHelper::Release();
    using QuorTest::Md5Hex;
    const QuorTest::TreeSnapshot expected{
        {"alpha/releases/1.0.0.1/deploy/bin/run.sh", Md5Hex("#!/bin/sh\necho run\n")},
        {"alpha/releases/1.0.0.1/deploy/data/z.txt", Md5Hex(std::string(3000, 'z'))},
        {"alpha/releases/1.0.0.1/deploy/data/l.bin", Md5Hex(std::string(5000, 'l'))},
        {"alpha/releases/1.0.0.1/deploy/c/packed.bin", Md5Hex(packed)},  // kept in its zlib form
        {"alpha/managedfiles/1.0.0.1/m/shared.dat", Md5Hex("shared")},
        {"alpha/filearchives/1.0.0.1:a/t1.bin", Md5Hex(std::string(2000, '1'))},
        {"alpha/filearchives/1.0.0.1:a/t2.bin", Md5Hex("archived two")},
    };
    const QuorTest::TreeSnapshot actual = QuorTest::TakeSnapshot(Root() + "/projects");
    EXPECT_EQ("", QuorTest::SnapshotDifference(expected, actual));
    EXPECT_TRUE(TemporaryFiles().empty());
    // Compressed forms were fetched, never the plain ones.
    EXPECT_EQ(1u, Requests("data/z.txt.compressed"));
    EXPECT_EQ(0u, Requests("data/z.txt"));
    EXPECT_EQ(1u, Requests("data/l.bin.lzma2"));
}

TEST_F(DownloadFilesStepTest, MissingCompressedFormsComePlainInTheThirdPassAndMissingFilesAreNamed) {
    QuorTest::LogCapture log(Quor::Log::DEBUG);
    Add("data/z.txt", 0x04, std::string(3000, 'z'), false);
    Add("c/packed.bin", 0x14, std::string(4000, 'p'), false);
    Add("a/t1.bin", 0x06, std::string(2000, '1'), false);
    Add("gone.txt", 0, "nowhere", false);
    http.SetResponse(FilesUrl() + "data/z.txt", {.body = std::string(3000, 'z')});
    http.SetResponse(FilesUrl() + "c/packed.bin", {.body = std::string(4000, 'p')});
    http.SetResponse(FilesUrl() + "a/t1.bin", {.body = std::string(2000, '1')});

    EXPECT_EQ(E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED, Run());

    EXPECT_EQ(std::string(3000, 'z'), ReadFile(Deploy("data/z.txt")));
    // A file kept compressed on disk stays compressed even when its plain form was fetched.
    EXPECT_EQ(std::string(4000, 'p'), Expanded(Deploy("c/packed.bin")));
    // One fetch per pass, each of up to three attempts.
    EXPECT_EQ(2 * kAttempts, Requests("data/z.txt.compressed"));
    EXPECT_EQ(1u, Requests("data/z.txt"));
    EXPECT_EQ(3 * kAttempts, Requests("gone.txt"));
    EXPECT_TRUE(log.HasError(" * " + FilesUrl() + "gone.txt")) << log.Errors();
    EXPECT_TRUE(log.HasError("Could not download or extract all required files, aborting update."));
    EXPECT_FALSE(QuorTest::Exists(Deploy("gone.txt")));
}

TEST_F(DownloadFilesStepTest, EmptyListRequestsNothing) {
    EXPECT_EQ(S_OK, Run());
    EXPECT_TRUE(http.requests().empty());
}

TEST_F(DownloadFilesStepTest, WithoutPackageManifestEveryFileIsFetchedDirectly) {
    QuorTest::LogCapture log(Quor::Log::DEBUG);
    Add("a.txt", 0, "alpha");
    Add("b.txt", 0x04, std::string(500, 'b'));
    ASSERT_EQ(S_OK, Run());
    EXPECT_TRUE(log.Has("Downloading will continue without using a package"));
    EXPECT_EQ(1u, Requests("a.txt"));
    EXPECT_EQ(1u, Requests("b.txt.compressed"));
}

// A bin of 1000 bytes: 750 announced bytes are worth the bin, 749 are not.
struct BinCase {
    size_t first, second, unwanted;
    size_t binRequests;
};

class BinThresholdTest : public DownloadFilesStepTest, public ::testing::WithParamInterface<BinCase> {};

TEST_P(BinThresholdTest, BinIsFetchedOnceWhenThreeQuartersOfItAreWanted) {
    const BinCase c = GetParam();
    Add("p/one.bin", 0, std::string(c.first, '1'));
    Add("p/two.bin", 0, std::string(c.second, '2'));
    Add("p/three.bin", 0, std::string(c.unwanted, '3'));
    ServeBins({{"bin0", {"p/one.bin", "p/two.bin", "p/three.bin"}}});
    std::erase_if(manifest.m_Entries, [](const ENTRY& entry) { return entry.name == "p/three.bin"; });

    ASSERT_EQ(S_OK, Run());

    EXPECT_EQ(c.binRequests, http.RequestCount(PackagesUrl() + "bin0"));
    EXPECT_EQ(1 - c.binRequests, Requests("p/one.bin"));
    EXPECT_EQ(1 - c.binRequests, Requests("p/two.bin"));
    EXPECT_EQ(std::string(c.first, '1'), ReadFile(Deploy("p/one.bin")));
    EXPECT_EQ(std::string(c.second, '2'), ReadFile(Deploy("p/two.bin")));
    EXPECT_TRUE(TemporaryFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(Threshold, BinThresholdTest,
                         ::testing::Values(BinCase{500, 250, 250, 1}, BinCase{499, 250, 251, 0}),
                         [](const auto& test) { return "Wanted" + std::to_string(test.param.first + test.param.second); });

TEST_F(DownloadFilesStepTest, FailedBinIsBypassedForGood) {
    QuorTest::LogCapture log(Quor::Log::VERBOSE);
    Add("p/one.bin", 0, std::string(600, '1'));
    Add("p/two.bin", 0, std::string(400, '2'));
    ServeBins({{"bin0", {"p/one.bin", "p/two.bin"}}});
    http.SetResponse(PackagesUrl() + "bin0", {.status = 404});

    ASSERT_EQ(S_OK, Run());

    // One fetch of the bin, never a second one.
    EXPECT_EQ(kAttempts, http.RequestCount(PackagesUrl() + "bin0"));
    EXPECT_EQ(1u, log.Count("Failed to download bin"));
    EXPECT_EQ(1u, log.Count("A previous error occurred on the bin, so we have to bypass"));
    EXPECT_EQ(std::string(600, '1'), ReadFile(Deploy("p/one.bin")));
    EXPECT_EQ(std::string(400, '2'), ReadFile(Deploy("p/two.bin")));
    EXPECT_EQ(1u, Requests("p/two.bin"));
}

// The download bar (bytes downloaded over bytes to download) never passes its end, whatever the
// passes, the bins and the HTTP attempts went through; where every fetched byte was announced,
// it ends exactly there.
TEST_F(DownloadFilesStepTest, DownloadedBytesNeverPassTheTotal) {
    const std::string one(600, '1'), two(400, '2');
    struct Case {
        const char* name;
        bool bins;
        std::function<void(QuorTest::ScriptedHttpServer&)> script;
        bool exact;  // every byte fetched was announced
    } cases[] = {
        {"files fetched directly", false, [](auto&) {}, true},
        {"through a bin", true, [](auto&) {}, true},
        {"bin cut, files fetched directly", true,
         [](auto& to) { to.SetResponse(PackagesUrl() + "bin0", {.body = std::string(1000, 'b'), .cutBodyAfter = 700}); },
         true},
        {"bin refused, files fetched directly", true,
         [](auto& to) { to.SetResponse(PackagesUrl() + "bin0", {.status = 404, .body = std::string(900, 'e')}); },
         true},
        {"file cut in every attempt of the first pass", false,
         [&](auto& to) {
             to.SetResponses(FilesUrl() + "p/one.bin", {{.body = one, .cutBodyAfter = 500},
                                                        {.body = one, .cutBodyAfter = 500},
                                                        {.body = one, .cutBodyAfter = 500},
                                                        {.body = one}});
         },
         false},
        // Cut at its announced size: a failed fetch like a cut one, fetched again in the second pass.
        {"file longer than announced in the first pass", false,
         [&](auto& to) { to.SetResponses(FilesUrl() + "p/one.bin", {{.body = one + std::string(300, 'x')}, {.body = one}}); },
         false},
        {"bin longer than announced", true,
         [&](auto& to) { to.SetResponse(PackagesUrl() + "bin0", {.body = one + two + std::string(300, 'x')}); },
         true},
        {"file corrupt in the first pass", false,
         [&](auto& to) {
             to.SetResponses(FilesUrl() + "p/one.bin", {{.body = one, .corruptBodyBytes = {3}}, {.body = one}});
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(Root() + "/projects/alpha/releases/1.0.0.1/deploy");
        manifest.m_Entries.clear();
        served.clear();
        Add("p/one.bin", 0, one);
        Add("p/two.bin", 0, two);
        if (c.bins) {
            ServeBins({{"bin0", {"p/one.bin", "p/two.bin"}}});
        } else {
            http.SetResponse(PackagesUrl() + "packagemanifest", {.status = 404, .body = std::string(800, 'e')});
        }
        c.script(http);
        Quor::User::AutoUpdateProgress counted(nullptr, &cancel, 100);
        for (const ENTRY& entry : manifest.m_Entries)
            Quor::User::UpdateAndInstallShared::AddDownloadBytesToTotal(counted, entry);
        const auto files = Files();
        ASSERT_EQ(S_OK, DownloadFilesStep(files, manifest, *server, fileSystem, counted));
        EXPECT_EQ(one, ReadFile(Deploy("p/one.bin")));
        Quor::API::Progress record;
        counted.GetProgress(record);
        EXPECT_LE(record.m_BytesDownloaded, record.m_BytesToDownload);
        if (c.exact) {
            EXPECT_EQ(record.m_BytesDownloaded, record.m_BytesToDownload);
        }
        EXPECT_GT(record.m_BytesDownloaded, 0u);
    }
}

TEST_F(DownloadFilesStepTest, CancellationAfterThreeOfTenFilesEndsTheStep) {
    for (int i = 0; i < 10; ++i) Add("f/" + std::to_string(i) + ".txt", 0, "file " + std::to_string(i));
    unsigned files = 0;
    QuorTest::HookedServer hooked(*server, [&](unsigned, const std::string& path) {
        if (path.find("/packages/") == std::string::npos && ++files == 4) cancel = 1;
    });

    EXPECT_EQ(E_ABORT, Run(hooked));

    // The worker has ended: nothing after the cancelled file was or will be requested.
    EXPECT_EQ(4u, files);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(QuorTest::Exists(Deploy("f/" + std::to_string(i) + ".txt"))) << i;
    for (int i = 4; i < 10; ++i) EXPECT_EQ(0u, Requests("f/" + std::to_string(i) + ".txt")) << i;
    EXPECT_TRUE(TemporaryFiles().empty());
}

// Records the largest file {root}/temp holds while it runs, from its own thread, until stopped.
class TemporaryFolderWatch {
public:
    explicit TemporaryFolderWatch(std::string folder)
        : m_Folder(std::move(folder)), m_Thread([this] { Watch(); }) {}
    ~TemporaryFolderWatch() { Stop(); }
    uint64_t Stop() {
        m_Stop = true;
        if (m_Thread.joinable()) m_Thread.join();
        return m_Largest;
    }

private:
    void Watch() {
        while (!m_Stop.load()) {
            std::error_code error;
            for (const auto& item : std::filesystem::directory_iterator(m_Folder, error)) {
                std::error_code sizeError;
                const uintmax_t size = std::filesystem::file_size(item.path(), sizeError);
                if (!sizeError) m_Largest = std::max<uint64_t>(m_Largest, size);
            }
            // A sampling pace, not an ordering: the stop flag ends the loop.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::string m_Folder;
    std::atomic<bool> m_Stop{false};
    uint64_t m_Largest = 0;
    std::thread m_Thread;
};

// Each form of a small file answered with 64 MiB (with or without a Content-Length): every
// transfer is cut at the size the manifest gives for the form fetched, {root}/temp never holds
// more than that, and the files fail after their three passes.
TEST_F(DownloadFilesStepTest, EndlessBodiesAreCutAtTheManifestsSizeForTheFormFetched) {
    constexpr uint64_t kServed = 64u << 20;
    const Served plain = Add("plain.txt", 0, std::string(41, 'p'), false);
    const Served zlib = Add("z.txt", 0x04, std::string(3000, 'z'), false);
    const Served lzma = Add("l.bin", 0x20, std::string(5000, 'l'), false);
    const struct {
        std::string path;
        const std::string& body;
        bool contentLength;
    } answers[] = {
        {"plain.txt", plain.plain, false}, {"z.txt.compressed", zlib.zlib, true}, {"z.txt", zlib.plain, false},
        {"l.bin.lzma2", lzma.lzma, false}, {"l.bin", lzma.plain, true},
    };
    uint64_t expected = 0;  // the largest size a served form may have
    for (const auto& answer : answers) {
        http.SetResponse(FilesUrl() + answer.path,
                         {.body = answer.body, .contentLength = answer.contentLength, .padBodyTo = kServed});
        expected = std::max<uint64_t>(expected, answer.body.size());
    }
    expected += Quor::Common::LzmaContainer::kHeaderSize;  // the LZMA form's allowance

    QuorTest::LogCapture log;
    TemporaryFolderWatch watch(Root() + "/temp");
    EXPECT_EQ(E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED, Run());
    const uint64_t largest = watch.Stop();

    EXPECT_LE(largest, expected) << "{root}/temp held " << largest << " bytes of a file of at most " << expected;
    // One request per pass: a cut transfer is not attempted again.
    EXPECT_EQ(3u, Requests("plain.txt"));
    EXPECT_EQ(2u, Requests("z.txt.compressed"));
    EXPECT_EQ(1u, Requests("z.txt"));
    EXPECT_EQ(2u, Requests("l.bin.lzma2"));
    EXPECT_EQ(1u, Requests("l.bin"));
    EXPECT_LT(http.largestBodySent(), kServed);
    EXPECT_TRUE(log.Contains("bytes expected, aborted")) << log.All();
    EXPECT_FALSE(QuorTest::Exists(Deploy("plain.txt")));
    EXPECT_TRUE(TemporaryFiles().empty());
}

// A worker that cannot make its temporary files fails the pass: the untried files are never
// reported as placed.
TEST_F(DownloadFilesStepTest, NoTemporaryFileFailsTheStep) {
    Add("a.txt", 0, "alpha");
    Add("b.txt", 0, "beta");
    const auto files = Files();
    QuorTest::RemoveTree(Root() + "/temp");
    QuorTest::WriteFile(Root() + "/temp", "a file where the temporary folder belongs");

    const HRESULT result = DownloadFilesStep(files, manifest, *server, fileSystem, progress);

    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    EXPECT_NE(E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED, result);
    EXPECT_FALSE(QuorTest::Exists(Deploy("a.txt")));
    EXPECT_EQ(0u, Requests("a.txt"));
}

TEST_F(DownloadFilesStepTest, BodyCorruptedInTheSecondPassIsRejected) {
    Add("plain.bin", 0, std::string(1000, 'x'), false);
    QuorTest::ScriptedResponse good{.body = std::string(1000, 'x')};
    QuorTest::ScriptedResponse corrupt{.body = std::string(1000, 'x'), .corruptBodyBytes = {10}};
    const QuorTest::ScriptedResponse missing{.status = 404};
    http.SetResponses(FilesUrl() + "plain.bin", {missing, missing, missing, corrupt, good});
    QuorTest::LogCapture log(Quor::Log::DEBUG);

    ASSERT_EQ(S_OK, Run());

    EXPECT_EQ(kAttempts + 2, Requests("plain.bin"));
    EXPECT_TRUE(log.Contains("Failed to validate file after download"));
    EXPECT_EQ(std::string(1000, 'x'), ReadFile(Deploy("plain.bin")));
}

TEST_F(DownloadFilesStepTest, BodyCorruptedInEveryPassIsNeverPlaced) {
    QuorTest::LogCapture log(Quor::Log::DEBUG);
    Add("plain.bin", 0, std::string(1000, 'x'), false);
    Add("z.txt", 0x04, std::string(1000, 'z'), false);
    http.SetResponse(FilesUrl() + "plain.bin", {.body = std::string(1000, 'x'), .corruptBodyBytes = {10}});
    std::string zlib = served.back().zlib;
    http.SetResponse(FilesUrl() + "z.txt.compressed", {.body = zlib, .corruptBodyBytes = {zlib.size() / 2}});
    http.SetResponse(FilesUrl() + "z.txt", {.body = std::string(1000, 'z'), .corruptBodyBytes = {0}});

    EXPECT_EQ(E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED, Run());

    EXPECT_FALSE(QuorTest::Exists(Deploy("plain.bin")));
    EXPECT_FALSE(QuorTest::Exists(Deploy("z.txt")));
    EXPECT_TRUE(log.HasError(" * " + FilesUrl() + "plain.bin"));
    EXPECT_TRUE(log.HasError(" * " + FilesUrl() + "z.txt"));
    EXPECT_TRUE(TemporaryFiles().empty());
}

// One entry's flags, with a name for the test.
struct FlagsCase {
    const char* name;
    DWORD flags;
};
std::string FlagsCaseName(const ::testing::TestParamInfo<FlagsCase>& info) { return info.param.name; }
void PrintTo(const FlagsCase& c, std::ostream* out) { *out << c.name; }

class WrongBytesTest : public DownloadFilesStepTest, public ::testing::WithParamInterface<FlagsCase> {};

// A download whose bytes decode well but are not the file the manifest names is refused in every
// form and wherever it was to go (deploy folder, archive pair; expanded, or kept compressed): it
// is never placed, every pass fetches it again, and no temporary file stays. The good file beside
// it ends up right.
TEST_P(WrongBytesTest, AreRefusedInEveryPass) {
    const DWORD flags = GetParam().flags;
    const std::string good(3000, 'g');
    Add("good.bin", flags, good);
    Add("bad.bin", flags, std::string(3000, 'b'), false);
    // Every form the server holds decodes to bytes of the right size, one of them changed.
    std::string wrong(3000, 'b');
    wrong[1234] = 'x';
    const std::string zlib = Compress(wrong, false), lzma = Compress(wrong, true);
    http.SetResponse(FilesUrl() + "bad.bin", {.body = wrong});
    http.SetResponse(FilesUrl() + "bad.bin.compressed", {.body = zlib});
    http.SetResponse(FilesUrl() + "bad.bin.lzma2", {.body = lzma});
    for (ENTRY& entry : manifest.m_Entries)  // the transfers are not cut short
        if (entry.name == "bad.bin" && entry.compressedSize != 0)
            entry.compressedSize = static_cast<DWORD>(std::max(zlib.size(), lzma.size()));
    QuorTest::LogCapture log(Quor::Log::DEBUG);

    EXPECT_EQ(E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED, Run());

    Quor::User::ManagedFileHelper::Release();
    const bool archived = flags & Quor::Common::ReleaseManifest::FLAG_ARCHIVED;
    const bool kept = flags & Quor::Common::ReleaseManifest::FLAG_STORED_COMPRESSED;
    const QuorTest::TreeSnapshot expected{
        {archived ? "alpha/filearchives/1.0.0.1:good.bin" : "alpha/releases/1.0.0.1/deploy/good.bin",
         QuorTest::Md5Hex(kept ? ServedForm("good.bin") : good)}};
    EXPECT_EQ("", QuorTest::SnapshotDifference(expected, QuorTest::TakeSnapshot(Root() + "/projects")));
    EXPECT_TRUE(log.Contains("Failed to validate file after download")) << log.All();
    // Fetched again by every pass: compressed twice and plain once, or plain three times.
    const std::string form = Suffix("bad.bin");
    EXPECT_EQ(form.empty() ? 3u : 2u, http.RequestCount(FilesUrl() + "bad.bin" + form));
    if (!form.empty()) {
        EXPECT_EQ(1u, Requests("bad.bin"));
    }
    EXPECT_TRUE(log.HasError(" * " + FilesUrl() + "bad.bin")) << log.Errors();
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_TRUE(ArchiveLeftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(Forms, WrongBytesTest,
                         ::testing::Values(FlagsCase{"DeployZlib", 0x04}, FlagsCase{"DeployLzma", 0x20},
                                           FlagsCase{"DeployPlain", 0}, FlagsCase{"DeployKeptZlib", 0x14},
                                           FlagsCase{"ArchivedZlib", 0x06}, FlagsCase{"ArchivedLzma", 0x22},
                                           FlagsCase{"ArchivedPlain", 0x02}, FlagsCase{"ArchivedKeptLzma", 0x32}),
                         FlagsCaseName);

class OversizedFormTest : public DownloadFilesStepTest, public ::testing::WithParamInterface<FlagsCase> {};

// A compressed form that decodes to far more than the manifest's size is cut off there: neither
// the file's place nor {root}/temp ever holds more than its size (besides the download itself).
TEST_P(OversizedFormTest, IsNeverWrittenPastTheManifestsSize) {
    constexpr size_t kSize = 1000;
    const DWORD flags = GetParam().flags;
    const bool lzma = flags & Quor::Common::ReleaseManifest::FLAG_LZMA;
    const std::string packed = Compress(std::string(64u << 20, 'z'), lzma);
    Add("big.bin", flags, std::string(kSize, 'z'), false);
    manifest.m_Entries.back().compressedSize = static_cast<DWORD>(packed.size());
    http.SetResponse(FilesUrl() + "big.bin" + (lzma ? ".lzma2" : ".compressed"), {.body = packed});
    const auto files = Files();
    QuorTest::MakeDirs(Root() + "/projects/alpha/releases/1.0.0.1/deploy");
    TemporaryFolderWatch temp(Root() + "/temp");
    TemporaryFolderWatch deploy(Root() + "/projects/alpha/releases/1.0.0.1/deploy");
    TemporaryFolderWatch archive(ArchiveFolder());

    EXPECT_EQ(E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED, DownloadFilesStep(files, manifest, *server, fileSystem, progress));

    EXPECT_LE(deploy.Stop(), kSize);
    EXPECT_LE(temp.Stop(), std::max(kSize, packed.size()));
    EXPECT_LE(archive.Stop(), kSize);
    EXPECT_FALSE(QuorTest::Exists(Deploy("big.bin")));
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_TRUE(ArchiveLeftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(Forms, OversizedFormTest,
                         ::testing::Values(FlagsCase{"DeployZlib", 0x04}, FlagsCase{"DeployLzma", 0x20},
                                           FlagsCase{"ArchivedZlib", 0x06}, FlagsCase{"ArchivedLzma", 0x22}),
                         FlagsCaseName);

class ArchivedOnceTest : public DownloadFilesStepTest, public ::testing::WithParamInterface<FlagsCase> {};

// An archived file fetched compressed is decoded straight into its archive pair: {root}/temp
// never holds more than the download itself (no decoded copy to be copied into the pair at the
// flush), the pair reads back the file's bytes, and nothing is left behind.
TEST_P(ArchivedOnceTest, IsDecodedStraightIntoItsArchive) {
    std::string plain;
    for (int line = 0; plain.size() < (8u << 20); ++line) plain += "line " + std::to_string(line) + " of the file\n";
    Add("big.bin", GetParam().flags, plain);
    Add("small.bin", GetParam().flags, std::string(3000, 's'));
    uint64_t largestForm = 0;
    for (const char* name : {"big.bin", "small.bin"})
        largestForm = std::max<uint64_t>(largestForm, ServedForm(name).size());
    ASSERT_LT(largestForm, plain.size() / 8);
    TemporaryFolderWatch temp(Root() + "/temp");

    ASSERT_EQ(S_OK, Run());

    EXPECT_LE(temp.Stop(), largestForm);
    Quor::User::ManagedFileHelper::Release();
    const QuorTest::TreeSnapshot expected{
        {"alpha/filearchives/1.0.0.1:big.bin", QuorTest::Md5Hex(plain)},
        {"alpha/filearchives/1.0.0.1:small.bin", QuorTest::Md5Hex(std::string(3000, 's'))}};
    EXPECT_EQ("", QuorTest::SnapshotDifference(expected, QuorTest::TakeSnapshot(Root() + "/projects")));
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_TRUE(ArchiveLeftovers().empty());
}

// How many log lines hold `part`.
size_t CountLines(const QuorTest::LogCapture& log, const std::string& part) {
    size_t n = 0;
    for (const std::string& entry : log.Entries()) n += entry.find(part) != std::string::npos;
    return n;
}

// A file the archive refuses (its name is stored there already) is asked for before anything is
// decoded: it is decoded once, on the road of a decoded copy, and the refusal is told once, as on
// that road alone.
TEST_P(ArchivedOnceTest, ARefusedFileIsDecodedOnceAndItsRefusalToldOnce) {
    Add("dup.bin", GetParam().flags, std::string(3000, 'd'));
    const std::string stored = work / "stored";
    QuorTest::WriteFile(stored, "stored before");
    ASSERT_EQ(S_OK, Quor::User::ManagedFileHelper::AddFile("alpha", kRelease, "dup.bin", stored));
    ASSERT_EQ(S_OK, Quor::User::ManagedFileHelper::Flush(0));
    QuorTest::LogCapture log(Quor::Log::DEBUG);

    EXPECT_NE(S_OK, Run());

    EXPECT_EQ(1u, CountLines(log, "Got a compressed file to unzip from the queue")) << log.All();
    EXPECT_EQ(1u, CountLines(log, "Filed already in archive")) << log.Errors();
    EXPECT_EQ(1u, CountLines(log, "Failed to add \"dup.bin\".")) << log.Errors();
    EXPECT_EQ(1u, CountLines(log, "into an archive")) << log.Errors();
    Quor::User::ManagedFileHelper::Release();
    const QuorTest::TreeSnapshot expected{
        {"alpha/filearchives/1.0.0.1:dup.bin", QuorTest::Md5Hex("stored before")}};
    EXPECT_EQ("", QuorTest::SnapshotDifference(expected, QuorTest::TakeSnapshot(Root() + "/projects")));
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_TRUE(ArchiveLeftovers().empty());
}

// A decoded file that is not the manifest's is named, as it is refused, by the file it was decoded
// into: a file in the archive folder, or the download itself when it came plain.
TEST_P(ArchivedOnceTest, ARefusedDecodeIsNamedByTheFileItWasDecodedInto) {
    Add("bad.bin", GetParam().flags, std::string(3000, 'b'), false);
    std::string wrong(3000, 'b');
    wrong[1234] = 'x';
    const std::string zlib = Compress(wrong, false), lzma = Compress(wrong, true);
    http.SetResponse(FilesUrl() + "bad.bin", {.body = wrong});
    http.SetResponse(FilesUrl() + "bad.bin.compressed", {.body = zlib});
    http.SetResponse(FilesUrl() + "bad.bin.lzma2", {.body = lzma});
    for (ENTRY& entry : manifest.m_Entries)
        if (entry.name == "bad.bin") entry.compressedSize = static_cast<DWORD>(std::max(zlib.size(), lzma.size()));
    QuorTest::LogCapture log(Quor::Log::DEBUG);

    EXPECT_EQ(E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED, Run());

    const std::string text = "Failed to validate file after download: ";
    size_t named = 0;
    for (const std::string& entry : log.Entries()) {
        const size_t at = entry.find(text);
        if (at == std::string::npos) continue;
        ++named;
        const std::string file = entry.substr(at + text.size());
        EXPECT_TRUE(file.starts_with(ArchiveFolder() + "/TMP") || file.starts_with(Root() + "/temp/TMP")) << file;
    }
    EXPECT_EQ(3u, named) << log.All();
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_TRUE(ArchiveLeftovers().empty());
}

// While another writer holds the archive folder, each archived file is refused as on the road of a
// decoded copy alone: one wait for the folder (each ends in the line saying it is in use), one
// failure to add the file and one to move it; nothing is stored and nothing left behind.
TEST_P(ArchivedOnceTest, AFolderHeldByAnotherWriterIsWaitedForAndToldOncePerFile) {
    using Quor::FileSystem::Impl::FolderLock;
    using Quor::FileSystem::Impl::Manager;
    Add("one.bin", GetParam().flags, std::string(3000, '1'));
    Add("two.bin", GetParam().flags, std::string(2000, '2'));
    QuorTest::MakeDirs(ArchiveFolder());
    FolderLock other;
    ASSERT_EQ(FolderLock::Result::kLocked, other.Acquire(ArchiveFolder(), std::chrono::milliseconds(0)));
    struct ShortLockWait {
        ShortLockWait() { Manager::SetLockWait(std::chrono::milliseconds(0)); }
        ~ShortLockWait() { Manager::SetLockWait(wait); }
        std::chrono::milliseconds wait = Manager::GetLockWait();
    } shortWait;
    QuorTest::LogCapture log(Quor::Log::DEBUG);

    EXPECT_NE(S_OK, Run());

    EXPECT_EQ(2u, CountLines(log, "is in use by another writer")) << log.Errors();
    EXPECT_EQ(1u, CountLines(log, "Failed to add \"one.bin\".")) << log.Errors();
    EXPECT_EQ(1u, CountLines(log, "Failed to add \"two.bin\".")) << log.Errors();
    EXPECT_EQ(2u, CountLines(log, "into an archive")) << log.Errors();
    other.Release();
    Quor::User::ManagedFileHelper::Release();
    EXPECT_EQ("", QuorTest::SnapshotDifference({}, QuorTest::TakeSnapshot(Root() + "/projects")));
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_TRUE(ArchiveLeftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(Forms, ArchivedOnceTest,
                         ::testing::Values(FlagsCase{"ArchivedZlib", 0x06}, FlagsCase{"ArchivedLzma", 0x22}),
                         FlagsCaseName);

}  // namespace
