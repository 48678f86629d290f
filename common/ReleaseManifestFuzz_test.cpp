// Damaged release manifests: every one either loads into entries with valid names or fails with
// an error; none may crash or trip the sanitizers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "common/Log.h"
#include "common/RelativeName.h"
#include "common/ReleaseManifest.h"
#include "common/testing/LogCapture.h"
#include "common/testing/Mutator.h"
#include "tests/kit/TempDir.h"

using Quor::Common::ReleaseManifest;

namespace {

std::string ValidImage(const QuorTest::TempDir& dir) {
    ReleaseManifest m;
    m.m_ProjectName = "game";
    m.m_ReleaseVersion = 0x01000002;
    const unsigned char md5[16] = {1, 2, 3};
    for (const char* name : {"a/x", "a/z", "b/y", "top", "a/deep/er/file.bin", "b/c/d", "B/e", "c\\f", "z"})
        m.Add(name, 0x01000001, md5, 0x12, 100, 50);
    EXPECT_EQ(m.Save(dir / "valid"), S_OK);
    return QuorTest::ReadFile(dir / "valid");
}

// The same image with 44-byte file records (format version 0x10001).
std::string AsVersion10001(const std::string& image) {
    std::string out = image;
    out[4] = 1;  // version 0x10001
    const uint32_t dirs = static_cast<uint8_t>(out[16]);
    size_t at = 20 + 20 * dirs;
    const uint32_t files = static_cast<uint8_t>(out[at]);
    at += 4;
    for (uint32_t i = 0; i < files; ++i, at += 44) out.insert(at + 36, std::string(8, '\x5A'));
    return out;
}

}  // namespace

TEST(ReleaseManifestFuzz, DamagedFilesLoadOrFailCleanly) {
    QuorTest::TempDir dir;
    QuorTest::LogCapture quiet(Quor::Log::USER);
    const std::string seeds[] = {ValidImage(dir), AsVersion10001(ValidImage(dir))};
    {
        ReleaseManifest check;
        ASSERT_EQ(check.Load(dir / "valid", nullptr), S_OK);
        QuorTest::WriteFile(dir / "v1", seeds[1]);
        ReleaseManifest checkV1;
        ASSERT_EQ(checkV1.Load(dir / "v1", nullptr), S_OK);
        ASSERT_EQ(checkV1.m_Entries.size(), check.m_Entries.size());
        ReleaseManifest parsed;  // what Load reads from the file, Parse reads from memory
        ASSERT_EQ(parsed.Parse(reinterpret_cast<const uint8_t*>(seeds[0].data()), seeds[0].size(), nullptr), S_OK);
        ASSERT_EQ(parsed.m_Entries.size(), check.m_Entries.size());
        for (size_t i = 0; i < parsed.m_Entries.size(); ++i)
            EXPECT_EQ(parsed.m_Entries[i].name, check.m_Entries[i].name);
        EXPECT_EQ(parsed.m_ProjectName, "game");
    }

    QuorTest::Mutator mutator(20240501);
    int loaded = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::string input = mutator.Mutate(seeds[i % 2]);
        ReleaseManifest m;
        const HRESULT hr = m.Parse(reinterpret_cast<const uint8_t*>(input.data()), input.size(), nullptr);
        ASSERT_TRUE(hr == S_OK || hr == E_FAIL) << "iteration " << i << ": 0x" << std::hex << hr;
        if (hr != S_OK) continue;
        ++loaded;
        ASSERT_LE(m.m_Entries.size(), input.size() / 36) << "iteration " << i;
        for (const auto& e : m.m_Entries)
            ASSERT_TRUE(Quor::Common::IsValidRelativeName(e.name) &&
                        e.name.size() <= ReleaseManifest::MAX_ENTRY_NAME_LENGTH)
                << "iteration " << i << ": " << e.name;
        ASSERT_TRUE(
            std::is_sorted(m.m_Entries.begin(), m.m_Entries.end(), ReleaseManifest::ENTRY::PredicateByName));
    }
    // Some damage (a flipped digest bit, a changed size) leaves a loadable file; most does not.
    EXPECT_GT(loaded, 0);
    EXPECT_LT(loaded, 4000);
}
