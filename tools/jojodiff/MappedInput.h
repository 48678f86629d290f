#pragma once
// A regular file mapped read-only into memory for the life of the object.
//
// Owns its descriptor and mapping and releases both when it dies. An empty file has no mapping
// (data() is null, size() 0). The bytes are those of the file at the moment of reading: a file
// that shrinks while mapped raises SIGBUS on access, which the fault guard (FaultGuard.h) turns
// into an orderly exit. Not thread-safe.
#include <cstddef>
#include <cstdint>

namespace JojoDiff {

class MappedInput {
public:
    enum class Status { Ok, OpenFailed, MapFailed };

    MappedInput() = default;
    ~MappedInput();
    MappedInput(const MappedInput&) = delete;
    MappedInput& operator=(const MappedInput&) = delete;

    // OpenFailed: the file cannot be opened, is not a regular file or cannot be examined.
    // MapFailed: it opened but could not be mapped. A FIFO or device is refused without waiting
    // for a writer or reading from it.
    Status Open(const char* path);

    // Why the last Open failed, for a message ("" after success).
    const char* failure() const { return m_failure; }

    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    int m_fd = -1;
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
    const char* m_failure = "";
};

}  // namespace JojoDiff
