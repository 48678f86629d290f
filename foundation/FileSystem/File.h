#pragma once
// Vorn::FileSystem::File: an open file with reads and writes shaped for overlapped I/O.
//
// Files are made only by File::Create and shared through FilePtr_t; the stream is closed when the
// last pointer goes. The asynchronous operations complete inside the call: when they return a
// record, its event is already set. A stream error gives an empty record pointer and leaves the
// event untouched (callers check the pointer before they wait). A file has no lock: one thread at
// a time uses it (the position is shared state).
#include <cstdint>
#include <cstdio>
#include <memory>

#include "foundation/Types.h"

namespace Vorn {

class EventMultiWaitable;

namespace FileSystem {

// Only the access flags have an effect on this platform.
enum EFileAccessFlags : DWORD { eFileAccessRead = 1, eFileAccessWrite = 2 };
enum EFileShareFlags : DWORD { eFileShareNone = 0, eFileShareRead = 1, eFileShareWrite = 2 };
enum EFileOpenFlags : DWORD { eFileOpenDefault = 0 };
enum EFileFlags : DWORD { eFileFlagsNone = 0 };

enum ESeekOrigin : DWORD { eSeekBegin = 0, eSeekCurrent = 1, eSeekEnd = 2 };

class File;
typedef std::shared_ptr<File> FilePtr_t;

class File {
public:
    // The outcome of one asynchronous read or write; keeps the caller's event alive.
    struct AsyncResult {
        std::shared_ptr<EventMultiWaitable> event;
        DWORD completed = 0;  // always 1 in a record handed out
        DWORD transferred = 0;
    };
    typedef std::shared_ptr<AsyncResult> AsyncResultPtr_t;

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Read access opens an existing file for reading (the read bit wins when both are set);
    // write access alone creates or empties the file for writing; neither opens nothing. Empty
    // when nothing was opened (errno tells why). share, open and flags have no effect.
    static FilePtr_t Create(const char* path, DWORD access, DWORD share, DWORD open, DWORD flags);
    // A file over a stream the caller opened, which the file then owns; empty for a null stream.
    static FilePtr_t FromStream(FILE* stream);

    // False when the position could not be moved (e.g. before the start).
    bool SetOffset(uint64_t offset, ESeekOrigin origin);
    // False when the position cannot be read; offset is then unchanged.
    bool GetOffset(uint64_t& offset);
    // Reads size bytes; count is what was read; true only when all size bytes were read.
    bool Read(void* buffer, DWORD size, DWORD& count);

    // Reads up to size bytes at the current position; a short read at the end of the file is no
    // error and reports the bytes read.
    AsyncResultPtr_t ReadAsync(void* buffer, DWORD size, const std::shared_ptr<EventMultiWaitable>& event);
    // Writes size bytes at offset from the start.
    AsyncResultPtr_t WriteAsync(const void* buffer, DWORD size, uint64_t offset,
                                const std::shared_ptr<EventMultiWaitable>& event);
    // Nothing is ever pending: true.
    bool CancelAsync();
    // Stores the record's byte count and answers true (false for an empty record); the operation
    // has always ended, so pending is false and wait does not matter.
    bool GetAsyncResult(const AsyncResultPtr_t& result, bool wait, bool& pending, DWORD& transferred);

private:
    explicit File(FILE* stream) : m_stream(stream) {}
    AsyncResultPtr_t Complete(DWORD transferred, const std::shared_ptr<EventMultiWaitable>& event);

    FILE* m_stream = nullptr;
};

}  // namespace FileSystem
}  // namespace Vorn
