#pragma once
// Test helper: writes release manifest files record by record, so that tests can build both the
// images the writer should produce and inconsistent ones it never would.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/ByteOrder.h"

namespace QuorTest {

struct ManifestImage {
    struct FileRecord {
        uint32_t name;
        uint32_t version;
        uint8_t md5Byte;  // all 16 digest bytes hold this value
        uint32_t flags;
        uint32_t size;
        uint32_t compressedSize;
    };
    uint32_t magic = 0x4D534C52;
    uint32_t formatVersion = 0x10002;
    uint32_t projectName = 0;
    uint32_t releaseVersion = 0;
    std::vector<std::array<uint32_t, 5>> directories;  // name, first sub, sub count, first file, file count
    std::vector<FileRecord> files;
    std::vector<std::string> strings;

    std::string Bytes() const {
        std::vector<uint8_t> out;
        Vorn::Bytes::ByteWriter w(out);
        w.U32(magic);
        w.U32(formatVersion);
        w.U32(projectName);
        w.U32(releaseVersion);
        w.U32(static_cast<uint32_t>(directories.size()));
        for (const auto& d : directories)
            for (uint32_t v : d) w.U32(v);
        w.U32(static_cast<uint32_t>(files.size()));
        for (const FileRecord& f : files) {
            w.U32(f.name);
            w.U32(f.version);
            for (int i = 0; i < 16; ++i) w.U8(f.md5Byte);
            w.U32(f.flags);
            w.U32(f.size);
            w.U32(f.compressedSize);
            if (formatVersion == 0x10001) w.U64(0xDEADBEEFDEADBEEFull);  // the 8 dropped bytes
        }
        std::string data;
        for (const std::string& s : strings) data += s + '\0';
        w.U32(static_cast<uint32_t>(strings.size()));
        w.U32(static_cast<uint32_t>(data.size()));
        w.Raw(data.data(), data.size());
        return std::string(out.begin(), out.end());
    }
};

}  // namespace QuorTest
