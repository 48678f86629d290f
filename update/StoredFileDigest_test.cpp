#include "update/StoredFileDigest.h"

#include <gtest/gtest.h>

#include "remote/MD5Helper.h"
#include "tests/kit/InstallTreeTest.h"

namespace Quor::User {
namespace {

// A stored copy kept compressed is hashed after decoding to the entry's size: a stream that
// decodes to more or fewer bytes is damage, whatever its first bytes hash to.
class StoredFileDigestTest : public InstallTesting::InstallTreeTest {};

TEST_F(StoredFileDigestTest, AKeptCompressedCopyDecodesToExactlyTheEntrySize) {
    const std::string plain(64 * 1024, 'q');
    struct Case {
        const char* name;
        DWORD codec;
        size_t entrySize;
        bool ok;
    } cases[] = {
        {"zlib exact", 0x04, plain.size(), true},        {"zlib longer", 0x04, plain.size() - 1, false},
        {"zlib shorter", 0x04, plain.size() + 1, false}, {"lzma exact", 0x20, plain.size(), true},
        {"lzma longer", 0x20, plain.size() - 1, false},  {"lzma shorter", 0x20, plain.size() + 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string packed = InstallTesting::Compressed(plain, c.codec, root + "/scratch");
        const std::string path = Scratch(std::string("stored-") + std::to_string(c.codec), packed);
        MD5::DIGEST digest{}, expected{};
        const HRESULT hr = ComputeStoredFileMD5("test", path, 0, static_cast<DWORD>(packed.size()),
                                                0x10 | 0x02 | c.codec, static_cast<DWORD>(c.entrySize), digest);
        EXPECT_EQ(SUCCEEDED(hr), c.ok) << "result 0x" << std::hex << hr;
        if (c.ok) {
            ASSERT_EQ(Common::MD5Helper::ComputeMD5(Scratch("plain", plain), 0, static_cast<DWORD>(plain.size()), expected),
                      S_OK);
            EXPECT_EQ(0, memcmp(digest, expected, sizeof digest));
        }
    }
}

}  // namespace
}  // namespace Quor::User
