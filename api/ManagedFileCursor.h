#pragma once
// The position arithmetic shared by the archived and in-memory file objects: their position is a
// counter of their own that may pass the end of the file (then every read fails with "End of
// file") but never wraps around to a position inside it.
#include <cstddef>
#include <string>

#include "api/IFile.h"
#include "foundation/Types.h"

namespace Quor::API::Impl::ManagedFileCursor {

constexpr DWORD kPastLastLine = 0xFFFFFFFF;

// The position a Seek asks for: offset from the start, from position, or back from the end
// (size - offset); any other origin leaves position unchanged.
DWORD SeekTarget(DWORD position, DWORD size, int32_t offset, IFile::SEEK_ORIGIN origin);
// What Read and Tell check first: a file opened in binary mode ("Only supported when file is
// opened for binary access."), then an open file ("File is not open."); E_FAIL after an ERROR line
// under `tag`, else S_OK.
HRESULT CheckBinaryAndOpen(FILE_TYPE type, bool open, const char* tag);
// position + count * elementSize, held at 0xFFFFFFFF instead of wrapping.
DWORD Advance(DWORD position, size_t elementSize, size_t count);
// Whole elements that fit between position and size (0 when elementSize is 0).
size_t ElementsLeft(DWORD position, DWORD size, size_t elementSize, size_t count);
// The text from position up to and including the next "\n" (position moves behind it), or the
// rest of the text without one (position becomes kPastLastLine). "End of file" (E_FAIL) once
// position has reached size. `tag` names the caller in the log.
HRESULT GetLine(const char* text, DWORD size, DWORD& position, std::string& line, const char* tag);

}  // namespace Quor::API::Impl::ManagedFileCursor
