// Thousands of truncated, bit-flipped and field-overwritten index files (fixed seed): reading
// them never crashes or reads outside the index or the data file; an index that is accepted
// answers every look-up inside its data file.
#include <gtest/gtest.h>

#include <random>

#include "archive/ArchiveFile.h"
#include "archive/ArchiveFileBuilder.h"
#include "archive/FileFormat.h"
#include "archive/testing/ArchiveTesting.h"
#include "tests/kit/TempDir.h"
#include "foundation/ByteOrder.h"

namespace Quor::FileSystem::Impl {
namespace {

using ArchiveTesting::Content;
using QuorTest::ReadFile;
using QuorTest::TempDir;
using QuorTest::WriteFile;

TEST(IndexFuzz, DamagedIndexesAreRefusedOrReadSafely) {
    Log::SetLogLevel(Log::USER);
    TempDir dir;
    // A pair of 40 files of assorted paths (two of them differ only in case) and sizes.
    ArchiveFileBuilder builder(0);
    for (int k = 0; k < 40; ++k) {
        const std::string source = dir / ("src" + std::to_string(k));
        WriteFile(source, Content(k, k % 7 == 0 ? 0 : 50 + k * 13));
        const std::string path = (k % 3 ? "dir" + std::to_string(k % 4) + "/" : "") + "File" + std::to_string(k) +
                                 (k == 39 ? "x" : ".bin");
        ASSERT_EQ(builder.Add(k == 38 ? "dir1/FILE1.bin2" : path, source, 0, 0), S_OK);
    }
    ASSERT_EQ(builder.Write(dir / "good.zef", nullptr), S_OK);
    const std::string sealed = ReadFile(dir / "good.zef");
    const std::string data = ReadFile(dir / "good.zef.dat");
    const std::string unsealed = sealed.substr(0, sealed.size() - FileFormat::Seal_t::skSize);
    WriteFile(dir / "f.zef.dat", data);

    std::mt19937 random(20240611);
    auto below = [&](size_t n) { return n == 0 ? size_t{0} : std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    const uint32_t interesting[] = {0, 1, 8, 19, 20, 24, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF0,
                                    static_cast<uint32_t>(unsealed.size()), static_cast<uint32_t>(data.size())};
    int accepted = 0;
    int acceptedSealed = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string index = (round % 2) ? sealed : unsealed;
        switch (round % 4) {
            case 0:
            case 1: {  // flip one to four bits
                const int flips = 1 + static_cast<int>(below(4));
                for (int i = 0; i < flips; ++i) index[below(index.size())] ^= static_cast<char>(1 << below(8));
                break;
            }
            case 2:  // truncate
                index.resize(below(index.size()));
                break;
            case 3: {  // overwrite one aligned word (header, counts, entries, table) with a chosen value
                const size_t at = 4 * below(index.size() / 4);
                Vorn::Bytes::StoreLE32(index.data() + at,
                                       below(2) ? interesting[below(std::size(interesting))] : static_cast<uint32_t>(random()));
                break;
            }
        }
        WriteFile(dir / "f.zef", index);
        ArchiveFile pair("f.zef", dir.path(), 10);
        bool invalid = false;
        if (!pair.Read(&invalid)) continue;
        ++accepted;
        acceptedSealed += (round % 2) && index != sealed;
        for (uint32_t i = 0; i < pair.GetCount(); ++i) {
            const FileFormat::FileListEntry_t* entry = pair.GetFileListEntry(i);
            ASSERT_LE(uint64_t{entry->dataOffset} + entry->dataSize, data.size()) << "round " << round;
            uint32_t offset = 0, size = 0;
            ASSERT_TRUE(pair.Search(pair.GetPath(i), offset, size)) << "round " << round << " " << pair.GetPath(i);
        }
    }
    // A sealed index refuses every change; an unsealed one has no checksum and reads changes that
    // keep it consistent (the case of a letter, an offset that stays inside the data file).
    EXPECT_EQ(acceptedSealed, 0);
    EXPECT_LT(accepted, 400);
}

}  // namespace
}  // namespace Quor::FileSystem::Impl
