#pragma once
// Test helpers that write installed releases straight into the tree of an InstallTreeTest, without
// the installer: a project release with its releasemanifest, deploy files and "S_OK", and a
// solution release with its solutionmanifest, configurationmanifest and "S_OK"; and the snapshot
// of an installed tree that tests compare. Test code only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/ManagedFileHelper.h"
#include "common/ConfigurationManifest.h"
#include "common/ConvertVersion.h"
#include "common/ReleaseManifest.h"
#include "common/SolutionManifest.h"
#include "tests/kit/InstallTreeTest.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/TreeSnapshot.h"

namespace InstallTesting {

struct PlainFile {
    std::string name;
    std::string bytes;
    DWORD flags = 0;  // managed and archived entries get no file
};

// projects/{project}/releases/{v}: releasemanifest, deploy files for plain entries, "S_OK".
inline void WriteInstalledProject(const std::string& root, const std::string& project, DWORD version,
                                  const std::vector<PlainFile>& files) {
    const std::string folder = root + "/projects/" + project + "/releases/" + Quor::Common::ConvertVersion::ToString(version);
    ReleaseManifest manifest;
    manifest.m_ProjectName = project;
    manifest.m_ReleaseVersion = version;
    for (const PlainFile& file : files) {
        const ReleaseManifest::ENTRY entry = Entry(file.name, version, file.flags, file.bytes, root + "/scratch");
        ASSERT_EQ(manifest.Add(entry.name, entry.version, entry.md5, entry.flags, entry.size, entry.compressedSize), S_OK);
        if (!(file.flags & 3)) QuorTest::WriteFile(folder + "/deploy/" + file.name, file.bytes);
    }
    QuorTest::WriteFile(folder + "/S_OK", "");
    ASSERT_EQ(manifest.Save(folder + "/releasemanifest"), S_OK);
}

struct SolutionProject {
    std::string name;
    DWORD version = 0;
    DWORD priority = 0;
};

// solutions/{solution}/releases/{v}: a solutionmanifest with the projects and one configuration
// naming all of them, its configurationmanifest (unless `withConfiguration` is false) and "S_OK".
inline void WriteInstalledSolution(const std::string& root, const std::string& solution, DWORD version,
                                   const std::string& configuration, const std::vector<SolutionProject>& projects,
                                   bool withConfiguration = true) {
    const std::string folder = root + "/solutions/" + solution + "/releases/" + Quor::Common::ConvertVersion::ToString(version);
    Quor::Common::SolutionManifest manifest;
    manifest.m_Name = solution;
    manifest.m_Version = version;
    Quor::Common::ConfigurationManifest installed;
    installed.m_Name = configuration;
    std::vector<std::string> names;
    for (const SolutionProject& project : projects) {
        ASSERT_EQ(manifest.AddProject(project.name, project.version, project.priority, 0), S_OK);
        ASSERT_EQ(installed.AddProject(project.name), S_OK);
        names.push_back(project.name);
    }
    ASSERT_EQ(manifest.AddConfiguration(configuration, names, 0), S_OK);
    QuorTest::WriteFile(folder + "/S_OK", "");
    ASSERT_EQ(manifest.Save(folder + "/solutionmanifest"), S_OK);
    if (withConfiguration) {
        ASSERT_EQ(installed.Save(folder + "/configurationmanifest"), S_OK);
    }
}

// The tree below root without temp/, system/ and scratch/ and without empty folders (discovery
// prepares folders that may stay empty). Releases the archive managers first: the snapshot opens
// the archive pairs itself.
inline QuorTest::TreeSnapshot InstalledSnapshot(const std::string& root) {
    Quor::User::ManagedFileHelper::Release();
    QuorTest::TreeSnapshot snapshot = QuorTest::TakeSnapshot(root, {"temp/", "system/", "scratch/"});
    std::erase_if(snapshot, [](const auto& item) { return item.second == "<empty folder>"; });
    return snapshot;
}

}  // namespace InstallTesting
