#pragma once
// Byte readers and writers that connect the LZMA2 container loops to stdio streams and memory.
//
// None of them owns a stream or the memory it reads; HeapWriter owns the block it grows until
// Release hands it over (the destructor frees a block that was not released). A heap block never
// exceeds 0xFFFFFFFF bytes (the size of a buffer is 32-bit): a write past that is refused and
// reported as 0 bytes written. Each object belongs to one thread.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/LzmaContainer.h"

namespace Quor::Common::LzmaContainer {

// Reads a stdio stream; a short read is a failure only when the stream's error indicator is set.
class FileReader final : public IByteReader {
public:
    explicit FileReader(FILE* file) : m_file(file) {}
    int Read(void* data, size_t& size) override;

private:
    FILE* m_file;
};

// Writes a stdio stream and reports the count written.
class FileWriter final : public IByteWriter {
public:
    explicit FileWriter(FILE* file) : m_file(file) {}
    size_t Write(const void* data, size_t size) override;

private:
    FILE* m_file;
};

// Reads bytes held in memory; an empty or absent input reads as 0 bytes.
class MemoryReader final : public IByteReader {
public:
    MemoryReader(const void* data, size_t size) : m_data(static_cast<const uint8_t*>(data)), m_size(data ? size : 0) {}
    int Read(void* data, size_t& size) override;

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

// A growing malloc block: the first block has exactly the first write's size, then the capacity
// doubles until the data fit. A failed allocation reports 0 bytes written.
class HeapWriter final : public IByteWriter {
public:
    static constexpr size_t kMaxSize = 0xFFFFFFFFu;

    HeapWriter() = default;
    ~HeapWriter();
    HeapWriter(const HeapWriter&) = delete;
    HeapWriter& operator=(const HeapWriter&) = delete;

    size_t Write(const void* data, size_t size) override;
    // Allocates a first block of exactly `capacity` bytes (before anything was written), so that
    // output of a known size never grows the block; false when there is no memory for it.
    bool Reserve(size_t capacity);
    size_t Size() const { return m_size; }
    size_t Capacity() const { return m_capacity; }
    // Hands the block (from malloc; null when nothing was written) to the caller.
    void* Release();

private:
    uint8_t* m_data = nullptr;
    size_t m_capacity = 0;
    size_t m_size = 0;
};

}  // namespace Quor::Common::LzmaContainer
