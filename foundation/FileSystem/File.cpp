#include "foundation/FileSystem/File.h"

#include <sys/types.h>

#include "foundation/CStd/CStdFiles.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/OsContext.h"

namespace Vorn::FileSystem {

File::~File() {
    if (m_stream) fclose(m_stream);
}

FilePtr_t File::Create(const char* path, DWORD access, DWORD /*share*/, DWORD /*open*/, DWORD /*flags*/) {
    const char* mode = (access & eFileAccessRead) ? "rb" : (access & eFileAccessWrite) ? "wb" : nullptr;
    if (!mode) return {};
    FILE* stream = path ? std_fopen(path, mode) : nullptr;
    if (!stream) return {};
    return FilePtr_t(new File(stream));
}

FilePtr_t File::FromStream(FILE* stream) {
    if (!stream) return {};
    return FilePtr_t(new File(stream));
}

bool File::SetOffset(uint64_t offset, ESeekOrigin origin) {
    int whence;
    switch (origin) {
        case eSeekBegin: whence = SEEK_SET; break;
        case eSeekCurrent: whence = SEEK_CUR; break;
        case eSeekEnd: whence = SEEK_END; break;
        default: return false;
    }
    // The offset's bits are taken as a signed distance, so that a move back can be asked for.
    return fseeko(m_stream, static_cast<off_t>(offset), whence) == 0;
}

bool File::GetOffset(uint64_t& offset) {
    const off_t position = ftello(m_stream);
    if (position < 0) return false;
    offset = static_cast<uint64_t>(position);
    return true;
}

bool File::Read(void* buffer, DWORD size, DWORD& count) {
    count = static_cast<DWORD>(fread(buffer, 1, size, m_stream));
    return count == size;
}

File::AsyncResultPtr_t File::Complete(DWORD transferred, const std::shared_ptr<EventMultiWaitable>& event) {
    auto result = std::make_shared<AsyncResult>();
    result->event = event;
    result->completed = 1;
    result->transferred = transferred;
    if (event) event->Set();
    return result;
}

File::AsyncResultPtr_t File::ReadAsync(void* buffer, DWORD size, const std::shared_ptr<EventMultiWaitable>& event) {
    clearerr(m_stream);  // judge this read alone, not an earlier one
    const size_t n = fread(buffer, 1, size, m_stream);
    if (ferror(m_stream)) return {};
    return Complete(static_cast<DWORD>(n), event);
}

File::AsyncResultPtr_t File::WriteAsync(const void* buffer, DWORD size, uint64_t offset,
                                        const std::shared_ptr<EventMultiWaitable>& event) {
    clearerr(m_stream);
    if (fseeko(m_stream, static_cast<off_t>(offset), SEEK_SET) != 0) return {};
    const size_t n = Os().files.FWrite(buffer, 1, size, m_stream);
    if (n != size || ferror(m_stream)) return {};
    return Complete(static_cast<DWORD>(n), event);
}

bool File::CancelAsync() { return true; }

bool File::GetAsyncResult(const AsyncResultPtr_t& result, bool /*wait*/, bool& pending, DWORD& transferred) {
    pending = false;
    if (!result) return false;
    transferred = result->transferred;
    return true;
}

}  // namespace Vorn::FileSystem
