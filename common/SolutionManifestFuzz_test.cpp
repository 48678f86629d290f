// Damaged solution and configuration manifests: every one either loads into consistent records or
// fails with an error; none may crash or trip the sanitizers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "common/ConfigurationManifest.h"
#include "common/Log.h"
#include "common/ProjectName.h"
#include "common/SolutionManifest.h"
#include "common/testing/LogCapture.h"
#include "common/testing/Mutator.h"
#include "tests/kit/TempDir.h"

namespace {

template <typename M, typename Check>
void Fuzz(const std::string& seed, uint32_t randomSeed, int iterations, Check check, int& loaded) {
    QuorTest::TempDir dir;
    QuorTest::LogCapture quiet(Quor::Log::USER);
    const std::string path = dir / "input";
    QuorTest::Mutator mutator(randomSeed);
    loaded = 0;
    for (int i = 0; i < iterations; ++i) {
        const std::string input = mutator.Mutate(seed);
        QuorTest::WriteFile(path, input);
        M m;
        const HRESULT hr = m.Load(path);
        unlink(path.c_str());
        ASSERT_TRUE(hr == S_OK || FAILED(hr)) << "iteration " << i << ": 0x" << std::hex << hr;
        if (hr == S_OK) {
            ++loaded;
            check(m, input, i);
        }
    }
}

}  // namespace

TEST(SolutionManifestFuzz, SolutionManifests) {
    using Quor::Common::SolutionManifest;
    const std::string seed =
        "Quor Solution Manifest\n1.0.0.0\nkiv_game_client_sln\n0.0.0.130\n3\n"
        "alpha\n1.0.0.1\n5\n0\nBeta\n1.0.0.2\n10\n4294967295\ngamma\n0.0.0.1\n0x10\n010\n"
        "2\nde_DE\n0\n1\nalpha\nen_US\n7\n3\nBeta\nalpha\ngamma\n";
    int loaded = 0;
    Fuzz<SolutionManifest>(
        seed, 3, 3000,
        [](const SolutionManifest& m, const std::string&, int i) {
            ASSERT_TRUE(std::is_sorted(m.m_Projects.begin(), m.m_Projects.end(),
                                       SolutionManifest::PROJECT::PredicateByName));
            for (const auto& p : m.m_Projects) ASSERT_TRUE(Quor::Common::IsValidProjectName(p.name)) << i;
            for (const auto& c : m.m_Configurations)
                for (const auto& name : c.projects) {
                    SolutionManifest::PROJECT key;
                    key.name = name;
                    ASSERT_TRUE(std::binary_search(m.m_Projects.begin(), m.m_Projects.end(), key,
                                                   SolutionManifest::PROJECT::PredicateByName))
                        << i << ": " << name;
                }
        },
        loaded);
    // Some damage leaves a loadable file, most does not.
    EXPECT_GT(loaded, 0);
    EXPECT_LT(loaded, 3000);
}

TEST(SolutionManifestFuzz, ConfigurationManifests) {
    using Quor::Common::ConfigurationManifest;
    const std::string seed = "Quor Configuration Manifest\n1.0.0.0\nen_US\n3\nalpha\nBeta\ngamma\n";
    int loaded = 0;
    Fuzz<ConfigurationManifest>(
        seed, 5, 3000,
        [](const ConfigurationManifest& m, const std::string& input, int i) {
            // Every name loaded is a line of the file: nothing was repeated to make up the count.
            ASSERT_LE(m.m_Projects.size(),
                      static_cast<size_t>(std::count(input.begin(), input.end(), '\n')) + 1)
                << i;
            for (const auto& p : m.m_Projects) ASSERT_TRUE(Quor::Common::IsValidProjectName(p)) << i;
        },
        loaded);
    EXPECT_GT(loaded, 0);
    EXPECT_LT(loaded, 3000);
}
