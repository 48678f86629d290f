#pragma once
// TODO(dep): stand-in for Quor::Common::ZLibHelper::DecompressFile (zlib helpers, branch
// `compress`); same name and signature. Deleted as soon as the real helper lands.
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/CStd/CStd.h"
#include "foundation/Types.h"
#include "foundation/ZStream.h"

namespace Quor::Common::ZLibHelper {

inline HRESULT DecompressFile(const std::string& sourcePath, const std::string& destinationPath) {
    FILE* in = Vorn::std_fopen(sourcePath.c_str(), "rb");
    if (!in) return E_FAIL;
    FILE* out = Vorn::std_fopen(destinationPath.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return E_FAIL;
    }
    Vorn::ZStream stream;
    int code = stream.InitInflate();
    std::vector<unsigned char> input(16384), output(16384);
    while (code == Vorn::ZStream::kOk) {
        const size_t got = std::fread(input.data(), 1, input.size(), in);
        if (got == 0) {
            code = Vorn::ZStream::kDataError;
            break;
        }
        stream.SetInput(input.data(), static_cast<uint32_t>(got));
        do {
            stream.SetOutput(output.data(), static_cast<uint32_t>(output.size()));
            code = stream.Inflate(Vorn::ZStream::kNoFlush);
            if (code != Vorn::ZStream::kOk && code != Vorn::ZStream::kStreamEnd) break;
            const size_t have = output.size() - stream.AvailOut();
            if (std::fwrite(output.data(), 1, have, out) != have) code = Vorn::ZStream::kErrno;
        } while (code == Vorn::ZStream::kOk && stream.AvailOut() == 0);
    }
    std::fclose(in);
    const bool closed = std::fclose(out) == 0;
    return code == Vorn::ZStream::kStreamEnd && closed ? S_OK : E_FAIL;
}

}  // namespace Quor::Common::ZLibHelper
