#pragma once
// Quor::API::IFile: one read-only data file of the program, opened by IMain::OpenFile.
//
// Failures are HRESULTs (E_FAIL or the system's error code) with an ERROR log line, never
// exceptions: "not open", end of file and a mode that does not allow the operation all fail.
// A file object is used by one thread at a time and is released before its main object.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/Types.h"
#include "foundation/api/IMain.h"

namespace Quor::API {

class IFile {
public:
    // The C library's SEEK_SET, SEEK_CUR and SEEK_END.
    enum SEEK_ORIGIN : int32_t { SEEK_ORIGIN_SET = 0, SEEK_ORIGIN_CUR = 1, SEEK_ORIGIN_END = 2 };

    virtual HRESULT Seek(const int32_t offset, const SEEK_ORIGIN origin) = 0;
    virtual HRESULT Read(void* const buffer, const size_t elementSize, const size_t count, size_t& elementsRead) = 0;
    virtual HRESULT GetString(std::string& line) = 0;
    virtual HRESULT Tell(int32_t& position) = 0;
    virtual FILE_TYPE GetFileType() const = 0;
    virtual DWORD GetSize() const = 0;
    virtual bool IsEndOfFile() = 0;
    virtual ~IFile() = default;
};

inline const char* FileTypeName(const FILE_TYPE type) { return type == FILE_TYPE_BINARY ? "BINARY" : "TEXT"; }

}  // namespace Quor::API
