// A solution update killed with SIGKILL at random points, on each of its roads (in place from an
// older complete release; a separate installation over the renamed folder of a newer complete
// release): no release of the solution or of its projects carries "S_OK" unless every file its
// manifests list is in place, and a rerun (after the start-up sweep of temp/) ends with the target
// complete, its listed files those of a clean install and its deploy folder holding nothing else.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "install/InstallSolutionRelease.h"
#include "tests/kit/RunCommand.h"
#include "tests/kit/content/InstalledTree.h"
#include "tests/kit/install/InstallFixture.h"

namespace InstallE2E {
namespace {

using Quor::Tools::ContentTree::ProductSpec;
constexpr DWORD kSuite1 = 0x02000001, kSuite2 = 0x02000002;

class SolutionUpdateCrashTest : public InstallFixture {
protected:
    // Suite 2.0.0.1 of alpha and beta 1.0.0.1, and 2.0.0.2 of their 1.0.0.2 releases, which change
    // half of the many small files, drop one and add a large one.
    void AddContent() {
        ReleaseSpec& alpha1 = description.AddProject("alpha").AddRelease(kV1, {"xx"});
        ReleaseSpec& beta1 = description.AddProject("beta").AddRelease(kV1, {"xx"});
        for (int i = 0; i < 30; ++i) {
            const std::string name = "small/f" + std::to_string(i);
            alpha1.AddFile("a/" + name, i % 3 == 0 ? 0x04 : 0, Bytes(3000, 100 + i));
            beta1.AddFile("b/" + name, i % 4 == 0 ? 0x02 : 0, Bytes(2000, 200 + i));
        }
        alpha1.AddFile("m/shared.dat", 0x01, Bytes(4000, 1));
        alpha1.AddFile("data/gone.txt", 0, "dropped by the second release");
        beta1.AddFile("data/gone.txt", 0, "beta's, hidden by alpha's");
        for (ProductSpec* product : {&description.projects[0], &description.projects[1]}) {
            const ReleaseSpec first = product->releases.front();
            ReleaseSpec& second = product->AddRelease(kV2, {"xx"});
            for (size_t i = 0; i < first.files.size(); ++i) {
                const auto& file = first.files[i];
                if (file.name == "data/gone.txt" && product->name == "alpha") continue;
                if (i % 2) second.AddFile(file.name, file.flags, Bytes(file.bytes.size(), 300 + i));
                else second.files.push_back(file);
            }
        }
        description.projects[0].releases.back().AddFile("big/one.bin", 0x04, Bytes(1 << 20, 9));
        ProductSpec& suite = description.AddSolution("suite");
        for (const DWORD version : {kSuite1, kSuite2}) {
            ReleaseSpec& release = suite.AddRelease(version, {"xx"});
            const DWORD projects = version == kSuite1 ? kV1 : kV2;
            release.projects = {{"alpha", projects, 9, 0}, {"beta", projects, 5, 0}};
            release.configurations = {{"en_US", {"alpha", "beta"}}};
        }
    }
    HRESULT InstallSuite(DWORD version) {
        const Quor::User::InstallSolutionRelease::InputParameters input{"suite", version, "en_US", fileSystem, *http,
                                                                         progress};
        const Quor::User::InstallSolutionRelease::Discover discover(input);
        return Quor::User::InstallSolutionRelease::Execute(discover).m_hr;
    }

    static pid_t StartChild(DWORD version) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", version);
        const pid_t pid = QuorTest::StartQuiet(QUOR_UPDATE_CHILD, {"solution", "suite", "en_US", hex});
        EXPECT_GT(pid, 0);
        return pid;
    }
    static int Reap(pid_t pid) { return QuorTest::WaitForChild(pid); }

    // The folders of the installed releases that carry "S_OK", relative to {root}.
    std::vector<std::pair<std::string, DWORD>> CompleteReleases(const std::string& top, const std::string& name) const {
        std::vector<std::pair<std::string, DWORD>> complete;
        std::error_code none;
        for (const auto& entry : std::filesystem::directory_iterator(root + "/" + top + "/" + name + "/releases", none)) {
            DWORD version = 0;
            if (QuorTest::Exists(entry.path().string() + "/S_OK") &&
                SUCCEEDED(Quor::Common::ConvertVersion::ToNumber(entry.path().filename().string(), version)))
                complete.push_back({name, version});
        }
        return complete;
    }
    // Lines for every expected path that the tree lacks or holds with other content.
    static std::string Missing(const QuorTest::TreeSnapshot& expected, const QuorTest::TreeSnapshot& actual) {
        std::string lines;
        for (const auto& [path, md5] : expected) {
            const auto found = actual.find(path);
            if (found == actual.end()) lines += "- " + path + "\n";
            else if (md5 != QuorTest::kAnyContent && md5 != found->second) lines += "~ " + path + "\n";
        }
        return lines;
    }
    // Every release marked complete holds every file its manifests list.
    void ExpectCompleteReleasesWhole() const {
        const QuorTest::TreeSnapshot actual = InstallTesting::InstalledSnapshot(root);
        for (const auto& [solution, version] : CompleteReleases("solutions", "suite"))
            EXPECT_EQ(Missing(QuorTest::ExpectedSolutionInstall(description, content.path(), solution, version, "en_US"),
                              actual),
                      "")
                << "solution release " << std::hex << version;
        for (const char* name : {"alpha", "beta"})
            for (const auto& [released, version] : CompleteReleases("projects", name))
                EXPECT_EQ(Missing(QuorTest::ExpectedProjectInstall(description, content.path(), released, version),
                                  actual),
                          "")
                    << released << " " << std::hex << version;
    }
    // The target is complete, with the listed files of a clean install and nothing else deployed.
    void ExpectTargetAsCleanInstall(DWORD version) const {
        const std::string folder = "solutions/suite/releases/" + Quor::Common::ConvertVersion::ToString(version) + "/";
        EXPECT_TRUE(QuorTest::Exists(root + "/" + folder + "S_OK"));
        const QuorTest::TreeSnapshot expected =
            QuorTest::ExpectedSolutionInstall(description, content.path(), "suite", version, "en_US");
        QuorTest::TreeSnapshot actual = InstallTesting::InstalledSnapshot(root);
        EXPECT_EQ(Missing(expected, actual), "");
        for (const auto& [path, md5] : actual)
            if (path.starts_with(folder + "deploy/")) {
                EXPECT_TRUE(expected.count(path)) << "left over: " << path;
            }
    }

    // Kills the update at 50 random points of a span as long as a whole run, each from the saved tree.
    void KillAtRandomPoints(DWORD target) {
        const auto restore = [&] {
            Quor::User::ManagedFileHelper::Release();
            for (const char* top : {"projects", "solutions"}) {
                std::filesystem::remove_all(root + "/" + top);
                std::filesystem::copy(saved.path() + "/" + top, root + "/" + top, std::filesystem::copy_options::recursive);
            }
        };
        restore();
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(0, WEXITSTATUS(Reap(StartChild(target))));
        const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
        ExpectTargetAsCleanInstall(target);

        const unsigned seed = std::random_device{}();
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        std::uniform_int_distribution<long> point(0, span.count());
        for (int round = 0; round < 50 && !HasFailure(); ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            restore();
            const pid_t child = StartChild(target);
            std::this_thread::sleep_for(std::chrono::microseconds(point(random)));  // the kill point, not an order
            kill(child, SIGKILL);
            Reap(child);
            ExpectCompleteReleasesWhole();
            ASSERT_EQ(0, WEXITSTATUS(Reap(StartChild(target))));
            ExpectTargetAsCleanInstall(target);
        }
    }
    // Keeps the installed projects and solutions for KillAtRandomPoints.
    void Save() {
        Quor::User::ManagedFileHelper::Release();
        for (const char* top : {"projects", "solutions"})
            std::filesystem::copy(root + "/" + top, saved.path() + "/" + top, std::filesystem::copy_options::recursive);
    }

    QuorTest::TempDir saved{"quorsaved"};
};

TEST_F(SolutionUpdateCrashTest, InPlaceFromAnOlderRelease) {
    AddContent();
    Serve();
    ASSERT_EQ(InstallSuite(kSuite1), S_OK);
    Save();
    KillAtRandomPoints(kSuite2);
}

TEST_F(SolutionUpdateCrashTest, SeparateInstallationOverANewerRelease) {
    AddContent();
    Serve();
    ASSERT_EQ(InstallSuite(kSuite2), S_OK);
    Save();
    KillAtRandomPoints(kSuite1);
}

}  // namespace
}  // namespace InstallE2E
