#include "api/ManagedFileCursor.h"

#include <algorithm>
#include <cstring>

#include "common/Log.h"

namespace Quor::API::Impl::ManagedFileCursor {

DWORD SeekTarget(const DWORD position, const DWORD size, const int32_t offset, const IFile::SEEK_ORIGIN origin) {
    switch (origin) {
        case IFile::SEEK_ORIGIN_SET:
            return static_cast<DWORD>(offset);
        case IFile::SEEK_ORIGIN_CUR:
            return position + static_cast<DWORD>(offset);
        case IFile::SEEK_ORIGIN_END:
            return size - static_cast<DWORD>(offset);
    }
    return position;
}

HRESULT CheckBinaryAndOpen(const FILE_TYPE type, const bool open, const char* tag) {
    if (type == FILE_TYPE_TEXT) {
        QUOR_LOG_TAG(Quor::Log::ERROR, tag, "Only supported when file is opened for binary access.");
        return E_FAIL;
    }
    if (!open) {
        QUOR_LOG_TAG(Quor::Log::ERROR, tag, "File is not open.");
        return E_FAIL;
    }
    return S_OK;
}

DWORD Advance(const DWORD position, const size_t elementSize, const size_t count) {
    const uint64_t limit = 0xFFFFFFFFull;
    if (elementSize != 0 && count > limit / elementSize) return kPastLastLine;
    return static_cast<DWORD>(std::min<uint64_t>(limit, position + static_cast<uint64_t>(elementSize) * count));
}

size_t ElementsLeft(const DWORD position, const DWORD size, const size_t elementSize, const size_t count) {
    if (elementSize == 0 || position >= size) return 0;
    return std::min<size_t>(count, (size - position) / elementSize);
}

HRESULT GetLine(const char* text, const DWORD size, DWORD& position, std::string& line, const char* tag) {
    line.clear();
    if (position >= size) {
        QUOR_LOG_TAG(Quor::Log::ERROR, tag, "End of file");
        return E_FAIL;
    }
    const char* start = text + position;
    const void* feed = std::memchr(start, '\n', size - position);
    if (feed == nullptr) {
        line.assign(start, size - position);
        position = kPastLastLine;
        return S_OK;
    }
    const size_t length = static_cast<const char*>(feed) - start + 1;
    line.assign(start, length);
    position += static_cast<DWORD>(length);
    return S_OK;
}

}  // namespace Quor::API::Impl::ManagedFileCursor
