#pragma once
// Copies a stretch of one open file to the current position of another: in the kernel
// (copy_file_range) where the file system allows it, otherwise through one process-wide 10 MiB
// buffer (made on first use, kept for the life of the process, locked while in use). Works in
// chunks of at most 10 MiB and checks the job's cancel flag before each one.
// Thread-safe; the two descriptors belong to the caller and stay open.
#include <cstdint>

namespace Quor::FileSystem::Impl {

enum class CopyResult {
    kOk,
    kShortSource,  // the source ends before the stretch does
    kReadError,
    kWriteError,
    kCancelled,
};

constexpr uint64_t kCopyChunkSize = 0xA00000;  // 10 MiB

// With startWriteback, the disk writes of each chunk are started at once (without waiting), so
// that a later fsync of the destination finds little left to do.
CopyResult CopyStretch(int source, uint64_t offset, uint64_t length, int destination, const signed char* cancel,
                       bool startWriteback = false);

// A short text for a result, for log lines and exceptions.
const char* CopyResultText(CopyResult result);

}  // namespace Quor::FileSystem::Impl
