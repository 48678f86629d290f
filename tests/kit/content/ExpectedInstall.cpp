#include "tests/kit/content/ExpectedInstall.h"

#include <gtest/gtest.h>

#include <strings.h>

#include <algorithm>
#include <set>

#include "common/ConfigurationManifest.h"
#include "common/ConvertVersion.h"
#include "common/ReleaseManifest.h"
#include "tests/kit/TempDir.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace QuorTest {

using Quor::Common::ConvertVersion;
using Quor::Common::ReleaseManifest;
using namespace Quor::Tools::ContentTree;

namespace {

const ReleaseSpec* FindRelease(const std::vector<ProductSpec>& products, const std::string& name, DWORD version) {
    for (const auto& product : products)
        if (product.name == name) return product.FindRelease(version);
    return nullptr;
}

// The bytes an installation leaves for a file: the server's compressed form when it is kept
// compressed, else the plain content.
std::string InstalledBytes(const ContentDescription& description, const std::string& serverRoot,
                           const std::string& project, const FileSpec& file) {
    if (!(file.flags & ReleaseManifest::FLAG_STORED_COMPRESSED)) return file.bytes;
    const std::string plain = ReleaseFolder(serverRoot, description, project, file.version) + "/files/" + file.name;
    return ReadFile(plain + ((file.flags & ReleaseManifest::FLAG_ZLIB) ? ".compressed" : ".lzma2"));
}

}  // namespace

TreeSnapshot ExpectedProjectInstall(const Quor::Tools::ContentTree::ContentDescription& description,
                                    const std::string& serverRoot, const std::string& project, DWORD version) {
    TreeSnapshot expected;
    const ReleaseSpec* release = FindRelease(description.projects, project, version);
    if (!release) {
        ADD_FAILURE() << project << " " << ConvertVersion::ToString(version) << " is not described";
        return expected;
    }
    const std::string folder = ReleaseFolder(serverRoot, description, project, version);
    const std::string releaseFolder = "projects/" + project + "/releases/" + ConvertVersion::ToString(version) + "/";
    expected[releaseFolder + "S_OK"] = kAnyContent;
    expected[releaseFolder + "releasemanifest"] = Md5Hex(ReadFile(folder + "/releasemanifest"));
    for (const auto& file : release->files) {
        const std::string bytes = InstalledBytes(description, serverRoot, project, file);
        const std::string entryVersion = ConvertVersion::ToString(file.version);
        if (file.flags & ReleaseManifest::FLAG_MANAGED)
            expected["projects/" + project + "/managedfiles/" + entryVersion + "/" + file.name] = Md5Hex(bytes);
        else if (file.flags & ReleaseManifest::FLAG_ARCHIVED)
            expected["projects/" + project + "/filearchives/" + entryVersion + ":" + file.name] = Md5Hex(bytes);
        else
            expected[releaseFolder + "deploy/" + file.name] = Md5Hex(bytes);
    }
    return expected;
}

TreeSnapshot ExpectedSolutionInstall(const ContentDescription& description, const std::string& serverRoot,
                                     const std::string& solution, DWORD version, const std::string& configuration) {
    TreeSnapshot expected;
    const ReleaseSpec* release = FindRelease(description.solutions, solution, version);
    const std::vector<std::string>* names = nullptr;
    if (release)
        for (const auto& spec : release->configurations)
            if (strcasecmp(spec.first.c_str(), configuration.c_str()) == 0) names = &spec.second;
    if (!names) {
        ADD_FAILURE() << solution << " " << ConvertVersion::ToString(version) << " has no configuration "
                      << configuration;
        return expected;
    }
    std::vector<ReleaseSpec::Project> projects;
    for (const auto& project : release->projects)
        if (std::find(names->begin(), names->end(), project.name) != names->end()) projects.push_back(project);
    std::stable_sort(projects.begin(), projects.end(),
                     [](const auto& a, const auto& b) { return a.priority > b.priority; });

    const std::string folder = "solutions/" + solution + "/releases/" + ConvertVersion::ToString(version) + "/";
    expected[folder + "S_OK"] = kAnyContent;
    expected[folder + "solutionmanifest"] =
        Md5Hex(ReadFile(ReleaseFolder(serverRoot, description, solution, version, true) + "/solutionmanifest"));
    Quor::Common::ConfigurationManifest written;
    written.m_Name = configuration;
    std::set<std::string, bool (*)(const std::string&, const std::string&)> provided(
        [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    for (const auto& project : projects) {
        EXPECT_EQ(S_OK, written.AddProject(project.name));
        for (const auto& entry : ExpectedProjectInstall(description, serverRoot, project.name, project.version))
            expected.insert(entry);
        const ReleaseSpec* projectRelease = FindRelease(description.projects, project.name, project.version);
        for (const FileSpec& file : projectRelease ? projectRelease->files : std::vector<FileSpec>())
            if ((file.flags & 0x03) == 0 && provided.insert(file.name).second)
                expected[folder + "deploy/" + file.name] =
                    Md5Hex(InstalledBytes(description, serverRoot, project.name, file));
    }
    TempDir scratch("quorexpected");
    EXPECT_EQ(S_OK, written.Save(scratch / "configurationmanifest"));
    expected[folder + "configurationmanifest"] = Md5Hex(ReadFile(scratch / "configurationmanifest"));
    return expected;
}

}  // namespace QuorTest
