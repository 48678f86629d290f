// Damaged package and patch manifests: every one either loads into consistent entries or fails
// with an error; none may crash or trip the sanitizers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "common/Log.h"
#include "common/RelativeName.h"
#include "common/testing/LogCapture.h"
#include "common/testing/Mutator.h"
#include "remote/PackageManifest.h"
#include "remote/PatchManifest.h"
#include "tests/kit/TempDir.h"

namespace {

// Loads `iterations` damaged copies of `seed` into fresh objects of type M and hands each loaded
// one to `check`.
template <typename M, typename Check>
void Fuzz(const std::string& seed, uint32_t randomSeed, int iterations, Check check, int& loaded) {
    QuorTest::TempDir dir;
    QuorTest::LogCapture quiet(Quor::Log::USER);
    const std::string path = dir / "input";
    QuorTest::Mutator mutator(randomSeed);
    loaded = 0;
    for (int i = 0; i < iterations; ++i) {
        QuorTest::WriteFile(path, mutator.Mutate(seed));
        M m;
        const HRESULT hr = m.Load(path);
        unlink(path.c_str());
        ASSERT_TRUE(hr == S_OK || hr == E_FAIL) << "iteration " << i << ": 0x" << std::hex << hr;
        if (hr == S_OK) {
            ++loaded;
            check(m, i);
        }
    }
}

}  // namespace

TEST(ManifestTextFuzz, PackageManifests) {
    using Quor::Common::PackageManifest;
    const std::string seed =
        "PKG1\n/projects/p/releases/0.0.0.1/files/a.bin,bin0,0,100,0\nb/c.dds,bin0,100,50,7\n\n"
        "d,BIN1,0,3000000000,1\ne.txt,bin1,5,5,5\n";
    int loaded = 0;
    Fuzz<PackageManifest>(
        seed, 7, 3000,
        [](const PackageManifest& m, int i) {
            ASSERT_TRUE(std::is_sorted(
                m.m_Entries.begin(), m.m_Entries.end(),
                static_cast<bool (*)(const PackageManifest::ENTRY&, const PackageManifest::ENTRY&)>(
                    PackageManifest::PredicateByName)))
                << i;
            for (const auto& e : m.m_Entries) {
                PackageManifest::PACKAGE p;
                ASSERT_EQ(m.FindPackage(e.bin, p), S_OK) << i;
                ASSERT_TRUE(Quor::Common::IsValidRelativeName(e.bin)) << i;
            }
        },
        loaded);
    // Some damage leaves a loadable file, most does not.
    EXPECT_GT(loaded, 0);
    EXPECT_LT(loaded, 3000);
}

TEST(ManifestTextFuzz, PatchManifests) {
    using Quor::Common::PatchManifest;
    const std::string seed =
        "kiv_game\n0.0.0.1,0.0.0.2\na,0.0.0.1,0.0.0.2\nb/c.bin,0.0.0.1,0.0.0.2,300\n"
        "d,0.0.0.1,0.0.0.2,-1,13\ne,1.2.3.4,5.6.7.8,5,8\n";
    int loaded = 0;
    Fuzz<PatchManifest>(
        seed, 11, 3000,
        [](const PatchManifest& m, int i) {
            ASSERT_TRUE(
                std::is_sorted(m.m_Entries.begin(), m.m_Entries.end(), PatchManifest::ENTRY::PredicateByName))
                << i;
            for (const auto& e : m.m_Entries)
                ASSERT_TRUE(Quor::Common::IsValidRelativeName(e.name)) << i << ": " << e.name;
        },
        loaded);
    // Some damage leaves a loadable file, most does not.
    EXPECT_GT(loaded, 0);
    EXPECT_LT(loaded, 3000);
}
