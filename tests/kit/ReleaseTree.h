#pragma once
// Test helper: installed releases in a fresh QUOR tree (QuorTest::QuorTree) for the client's file
// access. A project release gets its release manifest, its deploy and managed files on disk and
// its archived files stored in pairs (through the archive layer, compressed first when the entry
// says so); a solution release gets its solution and configuration manifests. Enter() moves the
// working folder into a release and restores it when the guard dies. Test code only.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/ManagedFileHelper.h"
#include "common/ConfigurationManifest.h"
#include "common/ConvertVersion.h"
#include "common/LZMA.h"
#include "common/LocalRootFolder.h"
#include "common/ReleaseManifest.h"
#include "common/SolutionManifest.h"
#include "common/ZLibHelper.h"
#include "tests/kit/TempDir.h"

namespace QuorTest {

struct TreeFile {
    std::string name;      // path in the release
    DWORD flags = 0;       // release-manifest entry flags
    std::string content;   // the file's bytes (before compression)
    DWORD version = 0;     // entry version; 0: the release's
    // Damaged releases: the size the manifest states (default: the content's), and the bytes
    // stored as given (default: the content, compressed first when the flags say so).
    std::optional<DWORD> statedSize = std::nullopt;
    std::optional<std::string> stored = std::nullopt;
};

class ReleaseTree {
public:
    ReleaseTree() : m_Root(Quor::Common::LocalRootFolder::Get()) {}
    ~ReleaseTree() { Quor::User::ManagedFileHelper::Release(); }

    const std::string& Root() const { return m_Root; }
    std::string ProjectRelease(const std::string& project, DWORD version) const {
        return m_Root + "/projects/" + project + "/releases/" + Quor::Common::ConvertVersion::ToString(version);
    }
    std::string SolutionRelease(const std::string& solution, DWORD version) const {
        return m_Root + "/solutions/" + solution + "/releases/" + Quor::Common::ConvertVersion::ToString(version);
    }

    void AddProject(const std::string& project, DWORD release, const std::vector<TreeFile>& files) {
        using Quor::Common::ReleaseManifest;
        ReleaseManifest manifest;
        manifest.m_ProjectName = project;
        manifest.m_ReleaseVersion = release;
        const unsigned char md5[16] = {};
        bool archived = false;
        for (const TreeFile& file : files) {
            const DWORD version = file.version ? file.version : release;
            std::string stored = file.content;
            if (file.stored)
                stored = *file.stored;
            else if (file.flags & ReleaseManifest::FLAG_STORED_COMPRESSED)
                stored = Compress(file.content, file.flags);
            const DWORD size = file.statedSize ? *file.statedSize : static_cast<DWORD>(file.content.size());
            ASSERT_EQ(manifest.Add(file.name, version, md5, file.flags, size, static_cast<DWORD>(stored.size())),
                      S_OK);
            const std::string versionText = Quor::Common::ConvertVersion::ToString(version);
            if (file.flags & ReleaseManifest::FLAG_MANAGED) {
                WriteFile(m_Root + "/projects/" + project + "/managedfiles/" + versionText + "/" + file.name, stored);
            } else if (file.flags & ReleaseManifest::FLAG_ARCHIVED) {
                const std::string source = m_Scratch / std::to_string(++m_Sources);
                WriteFile(source, stored);
                ASSERT_EQ(Quor::User::ManagedFileHelper::AddFile(project, version, file.name, source), S_OK);
                archived = true;
            } else {
                WriteFile(ProjectRelease(project, release) + "/deploy/" + file.name, stored);
            }
        }
        MakeDirs(ProjectRelease(project, release) + "/deploy");
        ASSERT_EQ(manifest.Save(ProjectRelease(project, release) + "/releasemanifest"), S_OK);
        if (archived) {
            ASSERT_EQ(Quor::User::ManagedFileHelper::Flush(0), S_OK);
        }
    }

    struct Project {
        std::string name;
        DWORD version;
        DWORD priority;
    };
    void AddSolution(const std::string& solution, DWORD release, const std::vector<Project>& projects) {
        Quor::Common::SolutionManifest manifest;
        manifest.m_Name = solution;
        manifest.m_Version = release;
        Quor::Common::ConfigurationManifest configuration;
        configuration.m_Name = "default";
        std::vector<std::string> names;
        for (const Project& project : projects) {
            ASSERT_EQ(manifest.AddProject(project.name, project.version, project.priority, 0), S_OK);
            ASSERT_EQ(configuration.AddProject(project.name), S_OK);
            names.push_back(project.name);
        }
        ASSERT_EQ(manifest.AddConfiguration("default", names, 0), S_OK);
        const std::string folder = SolutionRelease(solution, release);
        MakeDirs(folder + "/deploy");
        ASSERT_EQ(manifest.Save(folder + "/solutionmanifest"), S_OK);
        ASSERT_EQ(configuration.Save(folder + "/configurationmanifest"), S_OK);
    }

    // Bytes as the release stores them: zlib with flag 4, LZMA otherwise.
    std::string Compress(const std::string& content, DWORD flags) {
        const std::string plain = m_Scratch / ("plain" + std::to_string(++m_Sources));
        const std::string packed = plain + ".packed";
        WriteFile(plain, content);
        const HRESULT hr = (flags & Quor::Common::ReleaseManifest::FLAG_ZLIB)
                               ? Quor::Common::ZLibHelper::CompressFile(plain, packed, 0)
                               : Quor::Common::LZMA::CompressFile(plain, packed, 0);
        EXPECT_EQ(hr, S_OK);
        return ReadFile(packed);
    }

    // Working folder in `folder` (made when missing) until the guard dies.
    std::unique_ptr<ScopedCwd> Enter(const std::string& folder) {
        MakeDirs(folder);
        return std::make_unique<ScopedCwd>(folder);
    }

private:
    QuorTree m_Tree;
    std::string m_Root;
    TempDir m_Scratch{"quorsrc"};
    int m_Sources = 0;
};

}  // namespace QuorTest
