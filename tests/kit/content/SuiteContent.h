#pragma once
// The content the solution tests install: project alpha 1.0.0.1 with every kind of entry but a
// run-me program, project beta 1.0.0.1 also carrying data/z.txt (other bytes), and solution suite
// 2.0.0.1 of both (alpha priority 5, beta priority 9) in "en_US", alpha alone in "fr_FR". Test
// code only.
#include <string>

#include "foundation/Types.h"
#include "tools/contenttree/ContentDescription.h"

namespace InstallTesting {

struct SuiteReleases {
    Quor::Tools::ContentTree::ReleaseSpec* alpha;
    Quor::Tools::ContentTree::ReleaseSpec* beta;
};

// Adds the three products; the project releases it returns stay valid until the next product is added.
inline SuiteReleases AddSuiteContent(Quor::Tools::ContentTree::ContentDescription& description, DWORD project,
                                     DWORD suiteVersion) {
    auto& alpha = description.AddProject("alpha").AddRelease(project, {"xx"});
    alpha.AddFile("bin/run.sh", 0, "#!/bin/sh\n");
    alpha.AddFile("data/z.txt", 0x04, std::string(5000, 'a'));
    alpha.AddFile("data/l.bin", 0x20, std::string(4000, 'l'));
    alpha.AddFile("c/packed.bin", 0x14, std::string(3000, 'c'));
    alpha.AddFile("m/shared.dat", 0x01, "managed");
    alpha.AddFile("a/t1.bin", 0x06, std::string(2000, 't'));
    alpha.AddFile("a/t2.bin", 0x02, "archived");
    auto& beta = description.AddProject("beta").AddRelease(project, {"xx"});
    beta.AddFile("data/z.txt", 0, "beta's z");
    beta.AddFile("beta/only.txt", 0, "beta only");
    beta.AddFile("b/arch.bin", 0x02, "beta archived");
    auto& suite = description.AddSolution("suite").AddRelease(suiteVersion, {"xx"});
    suite.projects = {{"alpha", project, 5, 0}, {"beta", project, 9, 0}};
    suite.configurations = {{"en_US", {"alpha", "beta"}}, {"fr_FR", {"alpha"}}};
    return {description.projects[0].FindRelease(project), description.projects[1].FindRelease(project)};
}

// Adds suite release `version` listing the same project releases and configurations as `from`
// (AddSuiteContent's release, or one added since).
inline void AddSuiteReleaseLike(Quor::Tools::ContentTree::ContentDescription& description, DWORD from,
                                DWORD version) {
    auto& suite = description.solutions.front();
    auto& added = suite.AddRelease(version, {"xx"});
    const auto* source = suite.FindRelease(from);
    added.projects = source->projects;
    added.configurations = source->configurations;
}

}  // namespace InstallTesting
