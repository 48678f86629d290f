#pragma once
// A block of bytes held through a shared pointer (std::shared_ptr<Quor::API::IBuffer>).
//
// GetBufferPointer gives the first byte (null when the allocation failed), GetBufferSize the
// number of bytes. The implementation owns the bytes and frees them when it dies. A buffer has no
// lock: one thread writes it at a time.
#include <cstdint>

namespace Quor::API {

class IBuffer {
public:
    virtual void* GetBufferPointer() = 0;
    virtual const void* GetBufferPointer() const = 0;
    virtual uint32_t GetBufferSize() const = 0;
    virtual ~IBuffer() = default;
};

}  // namespace Quor::API
