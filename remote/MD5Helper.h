#pragma once
// MD5 of whole files, byte ranges of files and memory buffers, and checks against an expected
// digest.
//
// Every function is thread-safe (the only state is one read buffer per thread). File failures
// (open, seek, a read error, a range past the end) are logged and give E_FAIL with the digest
// output untouched; a read error is never taken for the end of the file. Files are read in large
// blocks; the digest does not depend on the block size.
#include <memory>
#include <string>

#include "foundation/Types.h"
#include "foundation/api/IBuffer.h"
#include "remote/MD5.h"

namespace Quor::Common {

class MD5Helper {
public:
    static HRESULT ComputeMD5(const std::string& path, MD5::DIGEST& digest);
    static HRESULT ComputeMD5(const std::string& path, const UINT offset, const UINT length, MD5::DIGEST& digest);
    static void ComputeBufferMD5(const std::shared_ptr<API::IBuffer>& buffer, MD5::DIGEST& digest);
    // matches is false first, then true when the buffer's digest equals expected.
    static void VerifyBufferMD5(const std::shared_ptr<API::IBuffer>& buffer, const MD5::DIGEST& expected, bool& matches);
    // matches is false first, then true when the file could be hashed and equals expected;
    // returns ComputeMD5's result.
    static HRESULT VerifyFileMD5(const std::string& path, const MD5::DIGEST& expected, bool& matches);
};

}  // namespace Quor::Common
