#pragma once
// MD5 of whole files, byte ranges of files and memory buffers, and checks against an expected
// digest.
//
// Every function is thread-safe (the only state is one read buffer per thread). File failures
// (open, a read error, a range past the end, a path that is not a regular file) are logged and
// give E_FAIL with the digest output untouched; a read error is never taken for the end of the
// file, and a FIFO or a device is refused instead of blocking. Files are read in large blocks;
// the digest does not depend on the block size.
#include <memory>
#include <string>

#include "foundation/Types.h"
#include "foundation/api/IBuffer.h"
#include "remote/MD5.h"

namespace Quor::Common {

class MD5Helper {
public:
    static HRESULT ComputeMD5(const std::string& path, MD5::DIGEST& digest);
    // For hashing ahead on another thread: the same result as ComputeMD5, without any log line.
    // LogComputeMD5 writes the line ComputeMD5 writes on entry, so that handing out a digest
    // hashed ahead leaves the log as hashing it then would have.
    static HRESULT ComputeMD5Quietly(const std::string& path, MD5::DIGEST& digest);
    static void LogComputeMD5(const std::string& path);
    static HRESULT ComputeMD5(const std::string& path, const UINT offset, const UINT length, MD5::DIGEST& digest);
    static void ComputeBufferMD5(const std::shared_ptr<API::IBuffer>& buffer, MD5::DIGEST& digest);
    // matches is false first, then true when the buffer's digest equals expected.
    static void VerifyBufferMD5(const std::shared_ptr<API::IBuffer>& buffer, const MD5::DIGEST& expected, bool& matches);
    // matches is false first, then true when the file could be hashed and equals expected;
    // returns ComputeMD5's result.
    static HRESULT VerifyFileMD5(const std::string& path, const MD5::DIGEST& expected, bool& matches);
};

}  // namespace Quor::Common
