#pragma once
// Fixture of the project update end-to-end tests: the installation fixture's tree and nginx, with
// every release offered in region "VORN" (the one sampled telemetry region) and the telemetry sent
// to the test kit's recording collector; the S2 releases (an update with patches); and the update
// phases run as the kernel's handler runs them. Each test case runs in its own process.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "remote/TelvoLogger.h"
#include "tests/kit/install/InstallFixture.h"
#include "tests/kit/RecordingCollector.h"
#include "update/UpdateProject.h"

namespace InstallE2E {

using Quor::User::TelvoLogger;
namespace UpdateProject = Quor::User::UpdateProject;

inline constexpr DWORD kV5 = 0x01000005;
inline constexpr DWORD kV7 = 0x01000007;
inline constexpr DWORD kV2000 = 0x02000000;

inline std::multiset<std::string> Names(const std::vector<std::string>& uris) {
    std::multiset<std::string> names;
    for (const std::string& uri : uris) names.insert(NameOf(uri));
    return names;
}

class UpdateFixture : public InstallFixture {
protected:
    void TearDown() override { TelvoLogger::Shutdown(); }

    // Serves the description with every release offered in region "VORN" and points the telemetry
    // at the collector.
    void ServeVorn() {
        for (auto& release : description.projects.front().releases) release.regions = {"VORN"};
        std::string error;
        ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
        nginx = std::make_unique<QuorTest::NginxServer>(content.path());
        ASSERT_TRUE(nginx->started());
        tree.WriteSystemConfig(nginx->baseUrl(), kDownloadPath, "VORN");
        std::ofstream(tree.system() + "/system.cfg", std::ios::app)
            << "TelvoTestCollector = " << collector.baseUrl() << "\n";
        HRESULT created = E_FAIL;
        http = std::make_unique<Quor::User::RemoteFileServerHTTP>(created, Quor::Common::GetDownloadURL());
        ASSERT_EQ(S_OK, created);
    }

    // S2: the second release changes run.sh and the archived a/t2.bin, drops data/l.bin, adds
    // new/n.txt and keeps the rest at their first-release versions; patches from the first.
    void AddS2Releases() {
        tree.InstallPatchTools();  // the builder makes the patches with our jdiff
        AddFirstRelease();
        ReleaseSpec& second = description.projects.front().AddRelease(kV2, {"VORN"});
        for (const FileSpec& file : description.projects.front().FindRelease(kV1)->files)
            if (file.name != "bin/run.sh" && file.name != "data/l.bin" && file.name != "a/t2.bin")
                second.files.push_back(file);
        second.AddFile("bin/run.sh", 0, "#!/bin/sh\necho run two\n");
        second.AddFile("a/t2.bin", 0x02, Bytes(8100, 60));
        second.AddFile("new/n.txt", 0x04, Bytes(5000, 7));
        second.patches.push_back({kV1, 0, 0});
    }

    // Discover then Execute, as the kernel's handler runs them, with a progress of their own (the
    // statistics read its totals); the Execute's result.
    HRESULT Update(DWORD target = Quor::INVALID_RELEASE_VERSION, DWORD source = Quor::INVALID_RELEASE_VERSION,
                   const std::function<void()>& afterDiscover = {}) {
        const UpdateProject::InputParameters input{project, source, target, fileSystem, *http, updateProgress};
        UpdateProject::Discover discover(input);
        if (afterDiscover) afterDiscover();
        DWORD chosenSource = 0, chosenTarget = 0;
        UpdateProject::Execute execute(discover, &chosenSource, &chosenTarget);
        if (SUCCEEDED(execute.m_hr)) {
            EXPECT_EQ(discover.m_TargetVersion, chosenTarget);
        }
        return execute.m_hr;
    }

    // The keys of every telemetry record sent, after sending what is pending.
    std::vector<std::string> RecordKeys() {
        TelvoLogger::Shutdown();
        std::vector<std::string> keys;
        for (const auto& message : collector.messages()) {
            const size_t open = message.body.find('"');
            keys.push_back(message.body.substr(open + 1, message.body.find('"', open + 1) - open - 1));
        }
        return keys;
    }
    std::string Release(DWORD version) const {
        return root + "/projects/alpha/releases/" + Quor::Common::ConvertVersion::ToString(version);
    }
    void MakePartial(DWORD version) { std::filesystem::remove(Ok(version)); }

    QuorTest::RecordingCollector collector;
    Quor::User::AutoUpdateProgress updateProgress{nullptr, &cancel, 0};
};

}  // namespace InstallE2E
