#pragma once
// Builds zip archives in memory for tests: stored or deflated members, with sizes, extra fields
// and comments that can be set wrong on purpose, with or without the end record.
// Header-only; the deflate goes through the foundation's zlib adapter.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "foundation/ByteOrder.h"
#include "foundation/ZStream.h"

namespace QuorTest {

struct ZipMember {
    ZipMember(std::string n, std::string d, int m = 8) : name(std::move(n)), data(std::move(d)), method(m) {}
    std::string name;
    std::string data;
    int method = 8;                        // 0 stored, 8 deflated
    int64_t recordedSize = -1;             // uncompressed size written in the headers; -1: the real one
    std::string localExtra, centralExtra;  // extra fields of the local and central headers
    std::string comment;
};

struct ZipOptions {
    ZipOptions(bool end = true, std::string comment = "", uint16_t disk = 0)
        : endRecord(end), archiveComment(std::move(comment)), endDiskNumber(disk) {}
    bool endRecord = true;
    std::string archiveComment;
    uint16_t endDiskNumber = 0;
};

inline std::string RawDeflate(const std::string& data) {
    Vorn::ZStream z;
    z.InitDeflate(Vorn::ZStream::kDefaultLevel, Vorn::ZStream::kRawDeflate);
    std::string out(Vorn::ZStream::DeflateBound(data.size()) + 64, '\0');
    z.SetInput(data.data(), static_cast<uint32_t>(data.size()));
    z.SetOutput(out.data(), static_cast<uint32_t>(out.size()));
    z.Deflate(Vorn::ZStream::kFinish);
    out.resize(z.TotalOut());
    return out;
}

inline std::string BuildZip(const std::vector<ZipMember>& members, const ZipOptions& options = {}) {
    std::vector<uint8_t> zip, central;
    Vorn::Bytes::ByteWriter w(zip), c(central);
    for (const ZipMember& m : members) {
        const std::string packed = m.method == 8 ? RawDeflate(m.data) : m.data;
        const uint32_t size = m.recordedSize >= 0 ? static_cast<uint32_t>(m.recordedSize)
                                                  : static_cast<uint32_t>(m.data.size());
        const uint32_t offset = static_cast<uint32_t>(zip.size());
        w.U32(0x04034B50);
        w.U16(20);
        w.U16(0);
        w.U16(static_cast<uint16_t>(m.method));
        w.U16(0);
        w.U16(0);
        w.U32(0);  // CRC: not checked by the reader
        w.U32(static_cast<uint32_t>(packed.size()));
        w.U32(size);
        w.U16(static_cast<uint16_t>(m.name.size()));
        w.U16(static_cast<uint16_t>(m.localExtra.size()));
        w.Raw(m.name.data(), m.name.size());
        w.Raw(m.localExtra.data(), m.localExtra.size());
        w.Raw(packed.data(), packed.size());

        c.U32(0x02014B50);
        c.U16(20);
        c.U16(20);
        c.U16(0);
        c.U16(static_cast<uint16_t>(m.method));
        c.U16(0);
        c.U16(0);
        c.U32(0);
        c.U32(static_cast<uint32_t>(packed.size()));
        c.U32(size);
        c.U16(static_cast<uint16_t>(m.name.size()));
        c.U16(static_cast<uint16_t>(m.centralExtra.size()));
        c.U16(static_cast<uint16_t>(m.comment.size()));
        c.U16(0);
        c.U16(0);
        c.U32(0);
        c.U32(offset);
        c.Raw(m.name.data(), m.name.size());
        c.Raw(m.centralExtra.data(), m.centralExtra.size());
        c.Raw(m.comment.data(), m.comment.size());
    }
    const uint32_t centralOffset = static_cast<uint32_t>(zip.size());
    w.Raw(central.data(), central.size());
    if (options.endRecord) {
        w.U32(0x06054B50);
        w.U16(options.endDiskNumber);
        w.U16(0);
        w.U16(static_cast<uint16_t>(members.size()));
        w.U16(static_cast<uint16_t>(members.size()));
        w.U32(static_cast<uint32_t>(central.size()));
        w.U32(centralOffset);
        w.U16(static_cast<uint16_t>(options.archiveComment.size()));
        w.Raw(options.archiveComment.data(), options.archiveComment.size());
    }
    return std::string(zip.begin(), zip.end());
}

}  // namespace QuorTest
