#include "tests/kit/content/ExpectedInstall.h"

#include <gtest/gtest.h>

#include "common/ConvertVersion.h"
#include "common/ReleaseManifest.h"
#include "tests/kit/TempDir.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace QuorTest {

using Quor::Common::ConvertVersion;
using Quor::Common::ReleaseManifest;

TreeSnapshot ExpectedProjectInstall(const Quor::Tools::ContentTree::ContentDescription& description,
                                    const std::string& serverRoot, const std::string& project, DWORD version) {
    TreeSnapshot expected;
    const Quor::Tools::ContentTree::ReleaseSpec* release = nullptr;
    for (const auto& spec : description.projects)
        if (spec.name == project) release = spec.FindRelease(version);
    if (!release) {
        ADD_FAILURE() << project << " " << ConvertVersion::ToString(version) << " is not described";
        return expected;
    }
    const std::string folder = Quor::Tools::ContentTree::ReleaseFolder(serverRoot, description, project, version);
    const std::string releaseFolder = "projects/" + project + "/releases/" + ConvertVersion::ToString(version) + "/";
    expected[releaseFolder + "S_OK"] = kAnyContent;
    expected[releaseFolder + "releasemanifest"] = Md5Hex(ReadFile(folder + "/releasemanifest"));
    for (const auto& file : release->files) {
        std::string bytes = file.bytes;
        if (file.flags & ReleaseManifest::FLAG_STORED_COMPRESSED) {
            const std::string plain = Quor::Tools::ContentTree::ReleaseFolder(serverRoot, description, project,
                                                                               file.version) +
                                      "/files/" + file.name;
            bytes = ReadFile(plain + ((file.flags & ReleaseManifest::FLAG_ZLIB) ? ".compressed" : ".lzma2"));
        }
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

}  // namespace QuorTest
