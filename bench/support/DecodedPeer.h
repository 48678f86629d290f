#pragma once
// The rest of the peer of the install and download-step benchmarks, after `curl -K` fetched the
// files: each compressed one decoded by the bare loops (BareLoops.h) and written to a file of its
// own, then one `md5sum` process over every file as it ends up (decoded or as fetched, with
// Md5sumRun.h), since our side checks each file's MD5. Header-only; reentrant.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/BareLoops.h"
#include "bench/support/Md5sumRun.h"

namespace QuorBench {

// size bytes of data written to a new file at path; false on any failure.
inline bool WriteWhole(const std::string& path, const char* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && written;
}

// The fetched file at path in the form its URI names (".compressed": zlib of size plain bytes,
// ".lzma2": our LZMA2 container, else plain): decoded and written to path + ".plain" when
// compressed. `finals` receives the path of the file as it ends up. False on any failure.
inline bool DecodeAndWrite(const std::string& path, const std::string& uri, size_t size,
                           std::vector<std::string>& finals) {
    std::unique_ptr<char[]> out;
    const bool zlib = uri.ends_with(".compressed");
    if (!zlib && !uri.ends_with(".lzma2")) {
        finals.push_back(path);
        return true;
    }
    if (!(zlib ? BareZlib(path, out, size) : BareLzma(path, out))) return false;
    finals.push_back(path + ".plain");
    return WriteWhole(finals.back(), out.get(), size);
}

}  // namespace QuorBench
