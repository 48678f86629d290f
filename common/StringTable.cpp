#include "common/StringTable.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "common/BufferMalloc.h"
#include "foundation/ByteOrder.h"
#include "foundation/api/IBuffer.h"

namespace Quor::Common {

namespace {
constexpr size_t HEADER_SIZE = 8;
constexpr size_t ENTRY_SIZE = 8;
}  // namespace

unsigned StringTable::Builder::Add(const std::string& text) {
    // The index map answers what a search from the first string on would find: the first
    // position of an equal string.
    auto [it, inserted] = m_Index.try_emplace(text, static_cast<unsigned>(m_Strings.size()));
    if (inserted) m_Strings.push_back(text);
    return it->second;
}

std::shared_ptr<API::IBuffer> StringTable::Builder::Build() const {
    uint64_t total = HEADER_SIZE + ENTRY_SIZE * static_cast<uint64_t>(m_Strings.size());
    for (const std::string& s : m_Strings) total += s.size() + 1;
    if (total > 0xFFFFFFFFull) throw std::length_error("string table image exceeds 4 GiB");

    auto buffer = std::make_shared<BufferMalloc>(static_cast<unsigned>(total), nullptr);
    auto* image = static_cast<uint8_t*>(buffer->GetBufferPointer());
    if (!image) throw std::bad_alloc();

    using Vorn::Bytes::StoreLE32;
    StoreLE32(image, static_cast<uint32_t>(total));
    StoreLE32(image + 4, static_cast<uint32_t>(m_Strings.size()));
    size_t offset = HEADER_SIZE + ENTRY_SIZE * m_Strings.size();
    uint8_t* entry = image + HEADER_SIZE;
    for (const std::string& s : m_Strings) {
        const size_t length = s.size() + 1;
        StoreLE32(entry, static_cast<uint32_t>(offset));
        StoreLE32(entry + 4, static_cast<uint32_t>(length));
        std::memcpy(image + offset, s.c_str(), length);  // the string and its zero
        entry += ENTRY_SIZE;
        offset += length;
    }
    return buffer;
}

const char* StringTable::GetString(const void* image, unsigned int index) {
    if (!image) return nullptr;
    const auto* bytes = static_cast<const uint8_t*>(image);
    if (index >= Vorn::Bytes::LoadLE32(bytes + 4)) return nullptr;
    const uint32_t offset =
        Vorn::Bytes::LoadLE32(bytes + HEADER_SIZE + ENTRY_SIZE * static_cast<size_t>(index));
    return reinterpret_cast<const char*>(bytes + offset);
}

bool StringTable::IsValidImage(const void* image, size_t bytes) {
    if (!image || bytes < HEADER_SIZE) return false;
    Vorn::Bytes::ByteReader reader(image, bytes);
    uint32_t total = 0, count = 0;
    reader.U32(total);
    reader.U32(count);
    if (total != bytes) return false;
    if (count > (bytes - HEADER_SIZE) / ENTRY_SIZE) return false;
    const auto* data = static_cast<const uint8_t*>(image);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t offset = 0, length = 0;
        if (!reader.U32(offset) || !reader.U32(length)) return false;
        if (length == 0 || offset > bytes || length > bytes - offset) return false;
        if (data[offset + length - 1] != 0) return false;
    }
    return true;
}

}  // namespace Quor::Common
