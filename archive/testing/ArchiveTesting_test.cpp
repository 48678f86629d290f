// Helpers of the archive tests (compiled into the test program only).
#include "archive/testing/ArchiveTesting.h"
#include "tests/kit/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace ArchiveTesting {

std::string ReadStretch(const std::string& path, uint64_t offset, uint64_t size) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(size, '\0');
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (!in) {
        ADD_FAILURE() << "cannot read " << size << " bytes at " << offset << " of " << path;
        return {};
    }
    return bytes;
}

}  // namespace ArchiveTesting
