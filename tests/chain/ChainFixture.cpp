#include "tests/chain/ChainFixture.h"

#include <filesystem>
#include <fstream>
#include <map>

#include "foundation/Semaphore.h"
#include "kernel/KernelThread.h"
#include "kernel/testing/TestKernel.h"

namespace ChainTest {

namespace {

namespace fs = std::filesystem;

std::map<std::string, uint32_t> AsMap(const QuorTest::SystemFileList& list) {
    std::map<std::string, uint32_t> map;
    for (const auto& file : list) map[file.path] = file.version;
    return map;
}

bool SameBytes(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::file_size(a, ec) != fs::file_size(b, ec) || ec) return false;
    std::ifstream inA(a, std::ios::binary), inB(b, std::ios::binary);
    std::string bufferA(1 << 20, '\0'), bufferB(1 << 20, '\0');
    while (inA && inB) {
        inA.read(bufferA.data(), static_cast<std::streamsize>(bufferA.size()));
        inB.read(bufferB.data(), static_cast<std::streamsize>(bufferB.size()));
        if (inA.gcount() != inB.gcount() || bufferA.compare(0, inA.gcount(), bufferB, 0, inB.gcount()) != 0)
            return false;
    }
    return true;
}

}  // namespace

void ChainFixture::SetUp() {
    QuorTest::UseOwnInstance();
    ::setenv("ORVANE_PORT", std::to_string(QuorTest::PickLoopbackPort()).c_str(), 1);
}

void ChainFixture::TearDown() { Vorn::Semaphore::Cleanup(Quor::Orvane::KernelThread::kInstanceMutexName); }

void ChainFixture::ServeSample(DWORD last) {
    sample = std::make_unique<SampleContent>(content.path(), last);
    ASSERT_TRUE(sample->built());
    nginx = std::make_unique<QuorTest::NginxServer>(content.path());
    ASSERT_TRUE(nginx->started());
    root = std::make_unique<QuorTest::OrvaneRoot>(nginx->baseUrl(), kDownloadPath, kRegion);
    QuorTest::PublishKernelFolder(content.path(), kDownloadPath, root->system(), root->files());
}

void ChainFixture::WaitForOtherKernels() {
    EXPECT_TRUE(QuorTest::WaitForNoProcess("Orvane")) << "another kernel keeps running on this machine";
}

std::unique_ptr<ProcessChain> ChainFixture::StartUpdateAndRun() const {
    WaitForOtherKernels();
    return std::make_unique<ProcessChain>(root->kernel(), root->system(),
                                          std::vector<std::string>{"updateandrun", kProject, "KivLauncher.app"});
}

void ChainFixture::ExpectFinished(const std::vector<int>& statuses, const ProcessChain& chain, const std::string& quor,
                                  DWORD release, const QuorTest::TreeSnapshot& expected) const {
    const std::string output = chain.Stdout();
    for (int status : statuses) EXPECT_EQ(0, status) << "stderr:\n" << chain.Stderr();
    EXPECT_NE(output.find(LauncherLine(quor, release)), std::string::npos) << output;

    QuorTest::TreeSnapshot tree =
        QuorTest::TakeSnapshot(quor, {"system/", "temp/", "solutions/", "quor_orvane.log", "self_update.log"});
    // An install prepares the folder of every entry, archived ones too: an empty folder is no difference.
    std::erase_if(tree, [](const auto& item) { return item.second == "<empty folder>"; });
    EXPECT_EQ("", QuorTest::SnapshotDifference(expected, tree));

    const std::string served = content.path() + kDownloadPath + "/system/";
    const auto list = AsMap(QuorTest::ReadVersionList(served + "filelist.versioninfo"));
    EXPECT_EQ(list, AsMap(QuorTest::ReadVersionList(quor + "/system/filelist.versioninfo")));
    for (const auto& entry : list)
        EXPECT_TRUE(SameBytes(served + entry.first, quor + "/system/" + entry.first)) << entry.first;
    for (const auto& entry : fs::recursive_directory_iterator(quor + "/system")) {
        const std::string relative = fs::relative(entry.path(), quor + "/system").string();
        if (!entry.is_regular_file() || relative.rfind("temp/", 0) == 0 || relative == "system.cfg" ||
            relative == "filelist.versioninfo")
            continue;
        EXPECT_EQ(1u, list.count(relative)) << "system/" << relative << " is not in the server's list";
    }

    for (const auto& entry : fs::recursive_directory_iterator(quor))
        EXPECT_FALSE(entry.path().filename().string().rfind("TMP", 0) == 0) << "left behind: " << entry.path();
    EXPECT_EQ(0u, QuorTest::KillProcessesBelow(fs::path(quor).parent_path().string()));
}

}  // namespace ChainTest
