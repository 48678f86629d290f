#pragma once
// Heap buffers behind Quor::API::IBuffer.
//
// BufferMalloc owns a malloc'd block (its own, or one handed over at construction) and frees it.
// BufferMallocEx owns an aligned block and shows `dataSize` bytes starting `dataOffset` bytes into
// it (for block-aligned reads). A failed allocation - or a data range that does not fit inside the
// block - leaves a null pointer with the requested size: callers test the pointer.
// Not thread-safe; move-less and copy-less (held through shared pointers).
#include "foundation/Types.h"
#include "foundation/api/IBuffer.h"

namespace Quor::Common {

class BufferMalloc final : public Quor::API::IBuffer {
public:
    // data null: allocates size bytes (contents undefined); else takes over data (from malloc).
    BufferMalloc(uint32_t size, void* data);
    ~BufferMalloc() override;
    BufferMalloc(const BufferMalloc&) = delete;
    BufferMalloc& operator=(const BufferMalloc&) = delete;

    void* GetBufferPointer() override { return m_data; }
    const void* GetBufferPointer() const override { return m_data; }
    uint32_t GetBufferSize() const override { return m_size; }

private:
    void* m_data;
    uint32_t m_size;
};

class BufferMallocEx final : public Quor::API::IBuffer {
public:
    // alignment: a power of two.
    BufferMallocEx(uint32_t blockSize, uint32_t dataSize, uint32_t dataOffset, uint32_t alignment);
    ~BufferMallocEx() override;
    BufferMallocEx(const BufferMallocEx&) = delete;
    BufferMallocEx& operator=(const BufferMallocEx&) = delete;

    void* GetBufferPointer() override {
        return m_block ? static_cast<char*>(m_block) + m_dataOffset : nullptr;
    }
    const void* GetBufferPointer() const override {
        return m_block ? static_cast<const char*>(m_block) + m_dataOffset : nullptr;
    }
    uint32_t GetBufferSize() const override { return m_dataSize; }

private:
    void* m_block;
    uint32_t m_dataSize;
    uint32_t m_dataOffset;
};

}  // namespace Quor::Common
