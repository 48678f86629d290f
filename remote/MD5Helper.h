#pragma once
// MD5 of whole files, byte ranges of files and memory buffers, and checks against an expected digest.
//
// Every function is reentrant and thread-safe (no shared state besides one read buffer per
// thread). File failures (open, seek, read, a range past the end) give E_FAIL after an ERROR line
// and leave the digest output untouched.
#include <string>

#include "foundation/Types.h"
#include "remote/MD5.h"

namespace Quor::Common {

class MD5Helper {
public:
    static HRESULT ComputeMD5(const std::string& path, MD5::DIGEST& digest);
    static HRESULT ComputeMD5(const std::string& path, const UINT offset, const UINT length, MD5::DIGEST& digest);
    static HRESULT VerifyFileMD5(const std::string& path, const MD5::DIGEST& expected, bool& matches);
};

}  // namespace Quor::Common
