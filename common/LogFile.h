#pragma once
// The log's file: opened (with rotation of numbered copies) at construction, closed at destruction.
//
// Opening: a missing file is created; an existing one is rotated (name -> name1 -> name2 ...,
// keeping `count` copies) and opened empty; when the existing file cannot be opened for
// appending, or cannot be reopened after the rotation, the lines go to name + ".secondary"
// instead. Closing: a ".secondary" file is handed back to the main name when the main file can be
// opened again (the main file is rotated first). When nothing could be opened, Stream() is null.
// Every file is opened as a regular file at its own name: a link planted at a log's name is never
// followed (the lines then go to the ".secondary" file, or nowhere), a FIFO or device is refused.
// Not thread-safe: the log guards the object with its own lock.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/UniqueFile.h"
#include "foundation/Types.h"

namespace Quor::Log::_Internal {

extern const char* const SECONDARY_EXTENSION;  // ".secondary"

class LogFile {
public:
    LogFile(const char* name, DWORD count);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Moves name<i> to name<i+1> for i = count-1 .. 1 and name to name1; missing numbers are
    // skipped. E_FAIL when the move of the file itself failed, else S_OK.
    HRESULT RotateLogFiles();

    FILE* Stream() const { return m_stream.get(); }
    const std::string& Name() const { return m_name; }
    DWORD Count() const { return m_count; }
    bool IsSecondary() const { return m_secondary; }
    // Bytes written to Stream() since it was opened (as told by the writer).
    uint64_t Written() const { return m_written; }
    void AddWritten(size_t bytes) { m_written += bytes; }

private:
    DWORD m_count;
    std::string m_name;
    Quor::Common::UniqueFile m_stream;
    bool m_secondary = false;
    uint64_t m_written = 0;
};

}  // namespace Quor::Log::_Internal
