#include "common/FileSysHelper.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "common/BufferMalloc.h"
#include "common/CRT.h"
#include "common/Log.h"
#include "common/RegularFile.h"
#include "common/TreePath.h"
#include "common/UniqueFile.h"
#include "foundation/AnnotatedMutex.h"
#include "foundation/CStd/CStd.h"
#include "foundation/File/FileSysHelper.h"
#include "foundation/FileSystem/FileSystem.h"

namespace Quor::Common {

namespace {

using Log::Internal::LogFError;
using Log::Internal::LogGetLastError;

// A failing open with errno left at 0 reads as success; it must still be a failure.
HRESULT AsFailure(HRESULT hr) { return FAILED(hr) ? hr : E_FAIL; }

FILE* Open(const std::string& path, const char* mode) {
    FILE* stream = nullptr;
    CRT::fopen_s(&stream, path.c_str(), mode);
    return stream;
}

std::string LoweredWithSlashes(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c == '\\') c = '/';
    }
    return out;
}

// Closes both streams of a copy (destination first) and folds their results into hr: a failed
// close counts only when nothing failed before.
void CloseCopy(UniqueFile& source, UniqueFile& destination, HRESULT& hr, const char* tag) {
    if (destination && !destination.Close()) {
        const HRESULT closeResult = LogGetLastError(tag);
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed to close destination file");
        if (SUCCEEDED(hr)) hr = AsFailure(closeResult);
    }
    if (source && !source.Close()) {
        const HRESULT closeResult = LogGetLastError(tag);
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed to close source file");
        if (SUCCEEDED(hr)) hr = AsFailure(closeResult);
    }
}

}  // namespace

void FileSysHelper::Replace(std::string& text, const std::string& find, const std::string& with) {
    if (find.empty()) return;
    const std::string needle = LoweredWithSlashes(find);
    size_t position = 0;
    while (position < text.size()) {
        const size_t found = LoweredWithSlashes(text).find(needle, position);
        if (found == std::string::npos) break;
        text.replace(found, find.size(), with);
        position = found + with.size();
    }
}

std::string FileSysHelper::NormalizeDirectoryPath(const std::string& path) {
    std::string out = path;
    std::replace(out.begin(), out.end(), '\\', '/');
    if (out.empty() || out.back() != '/') out += '/';
    return out;
}

void FileSysHelper::ParseFileSpecification(const std::string& path, std::string& folder, std::string& name,
                                           std::string& extension) {
    // The file layer splits the same way into empty outputs; here the parts go in front.
    std::string folderPart, namePart, extensionPart;
    Vorn::File::FileSysHelper::ParseFileSpecification(path.c_str(), folderPart, namePart, extensionPart);
    folder.insert(0, folderPart);
    name.insert(0, namePart);
    extension.insert(0, extensionPart);
}

void FileSysHelper::RelativeToAbsolutePath(const std::string& relative, const std::string& base, std::string& out) {
    std::string folder, name, extension;
    ParseFileSpecification(relative, folder, name, extension);
    if (folder.find(':') != std::string::npos) {
        out = relative;
        std::replace(out.begin(), out.end(), '\\', '/');
        return;
    }
    std::string baseFolder, baseName, baseExtension;
    ParseFileSpecification(base, baseFolder, baseName, baseExtension);
    std::replace(baseFolder.begin(), baseFolder.end(), '\\', '/');
    // The folders resolve as in the file layer ("./" and "../" applied against the base's folder);
    // only the name differs: one without extension gets no dot.
    Vorn::File::FileSysHelper::RelativeToAbsolutePath(folder.c_str(), baseFolder.c_str(), out);
    if (!name.empty()) out += extension.empty() ? name : name + "." + extension;
}

HRESULT FileSysHelper::CreateDirectoryAndIntermediatePaths(const char* path) {
    if (!path) return E_FAIL;
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    if (TreePath::Contains(native)) return TreePath::OpenFolder(native, true).IsValid() ? S_OK : E_FAIL;
    return Vorn::std_mkdir_tree(native.c_str()) ? S_OK : E_FAIL;
}

HRESULT FileSysHelper::GetFileSize(const std::string& path, UINT& size) {
    UniqueFile file(TreePath::Contains(path) ? OpenRegularFileStream(path) : Vorn::std_fopen(path.c_str(), "rb"));
    if (!file) {
        QUOR_LOG(Log::ERROR, "Failed to open \"%s\" to determine file size.", path.c_str());
        return E_FAIL;
    }
    HRESULT hr = S_OK;
    int64_t end = -1;
    if (Vorn::std_fseek(file.get(), 0, SEEK_END) != 0 || (end = Vorn::std_ftell(file.get())) < 0) {
        QUOR_LOG(Log::ERROR, "Reading file size failed on \"%s\"", path.c_str());
        hr = E_FAIL;
    } else if (end > static_cast<int64_t>(UINT32_MAX)) {
        // The size does not fit in 32 bits: a cut size would be a wrong answer.
        QUOR_LOG(Log::ERROR, "The file \"%s\" is too large (%lld bytes).", path.c_str(), static_cast<long long>(end));
        hr = E_FAIL;
    }
    if (!file.Close()) {
        QUOR_LOG(Log::ERROR, "Closing the file \"%s\" failed.", path.c_str());
        return E_FAIL;
    }
    if (SUCCEEDED(hr)) size = static_cast<UINT>(end);
    return hr;
}

HRESULT FileSysHelper::AppendBinaryFile(const std::string& source, const std::string& destination) {
    QUOR_LOG(Log::VERBOSE, "%s, %s", source.c_str(), destination.c_str());
    UniqueFile in(Open(source, "rb"));
    if (!in) {
        const HRESULT hr = LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to open source file \"%s\" for reading.", source.c_str());
        return AsFailure(hr);
    }
    UniqueFile out(Open(destination, "ab"));
    if (!out) {
        const HRESULT hr = LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to open destination file \"%s\" for appending.", destination.c_str());
        return AsFailure(hr);
    }

    // One copy buffer for the process, made on first use; appends take turns with it.
    static Vorn::AnnotatedMutex bufferLock;
    Vorn::AnnotatedLockGuard lock(bufferLock);
    static std::vector<char> buffer(kCopyBufferSize);
    HRESULT hr = S_OK;
    while (!Vorn::std_feof(in.get())) {
        const size_t got = Vorn::std_fread(buffer.data(), 1, buffer.size(), in.get());
        if (got < buffer.size() && !Vorn::std_feof(in.get())) {
            LogFError(__PRETTY_FUNCTION__, in.get());
            hr = E_FAIL;
            break;
        }
        if (got == 0) break;
        if (Vorn::std_fwrite(buffer.data(), 1, got, out.get()) != got) {
            LogFError(__PRETTY_FUNCTION__, out.get());
            QUOR_LOG(Log::ERROR, "Failed to write to the destination file");
            hr = E_FAIL;
            break;
        }
    }
    CloseCopy(in, out, hr, __PRETTY_FUNCTION__);
    return hr;
}

HRESULT FileSysHelper::ExtractPieceOfBinaryFile(const std::string& source, UINT offset, UINT length,
                                                const std::string& destination) {
    QUOR_LOG(Log::VERBOSE, "%s, %d, %d, %s", source.c_str(), offset, length, destination.c_str());
    UniqueFile in(Open(source, "rb"));
    if (!in) {
        const HRESULT hr = LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to open source file \"%s\" for reading.", source.c_str());
        return AsFailure(hr);
    }
    UniqueFile out(Open(destination, "wb"));
    if (!out) {
        const HRESULT hr = LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to open destination file \"%s\" for writing.", destination.c_str());
        return AsFailure(hr);
    }
    HRESULT hr = S_OK;
    if (Vorn::std_fseek(in.get(), offset, SEEK_SET) != 0) {
        LogFError(__PRETTY_FUNCTION__, in.get());
        QUOR_LOG(Log::ERROR, "Failed to seek to offset");
        hr = E_FAIL;
    }
    // Chunks of at most 10 MiB through a buffer no larger than the piece, not zero-filled: cutting
    // thousands of small files out of a package costs no more than their bytes.
    const size_t chunk = std::min<size_t>(length, kCopyBufferSize);
    std::unique_ptr<char[]> buffer(chunk ? new char[chunk] : nullptr);
    for (UINT remaining = length; SUCCEEDED(hr) && remaining;) {
        const size_t want = std::min<size_t>(remaining, chunk);
        if (Vorn::std_fread(buffer.get(), 1, want, in.get()) != want) {
            LogFError(__PRETTY_FUNCTION__, in.get());
            QUOR_LOG(Log::ERROR, "Failure while reading");
            hr = E_FAIL;
        } else if (Vorn::std_fwrite(buffer.get(), 1, want, out.get()) != want) {
            LogFError(__PRETTY_FUNCTION__, out.get());
            QUOR_LOG(Log::ERROR, "Failed to write to the destination file");
            hr = E_FAIL;
        } else {
            remaining -= static_cast<UINT>(want);
        }
    }
    CloseCopy(in, out, hr, __PRETTY_FUNCTION__);
    return hr;
}

HRESULT FileSysHelper::FileAge(const std::string& path, Time::TIME& age) {
    // A file's birth time cannot be set on this platform and copies, moves and patches make new
    // files, so the age counts from the last write; seconds become ticks before anything else.
    uint64_t written = 0;
    if (!Vorn::FileSystem::GetFileModifiedTimeUTC(path.c_str(), written)) return AsFailure(LogGetLastError(__PRETTY_FUNCTION__));
    uint64_t now = 0;
    Vorn::std_sys_utc_time(now);
    age = static_cast<int64_t>(now) > static_cast<int64_t>(written) ? (now - written) * Time::kTicksPerSecond : 0;
    return S_OK;
}

HRESULT FileSysHelper::WriteBufferToFile(const API::IBuffer& buffer, const char* path) {
    UniqueFile out(Open(path ? path : "", "wb"));
    if (!out) {
        const HRESULT hr = LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to open destination file \"%s\" for writing.", path ? path : "");
        return AsFailure(hr);
    }
    HRESULT hr = S_OK;
    const size_t size = buffer.GetBufferSize();
    if (size && Vorn::std_fwrite(buffer.GetBufferPointer(), 1, size, out.get()) != size) {
        LogFError(__PRETTY_FUNCTION__, out.get());
        QUOR_LOG(Log::ERROR, "Failed to write to the destination file");
        hr = E_FAIL;
    }
    if (!out.Close()) {
        const HRESULT closeResult = LogGetLastError(__PRETTY_FUNCTION__);
        if (SUCCEEDED(hr)) hr = AsFailure(closeResult);
    }
    return hr;
}

HRESULT FileSysHelper::ReadFileBlockIntoBuffer(const std::string& path, DWORD offset, DWORD length,
                                               std::shared_ptr<API::IBuffer>& out) {
    QUOR_LOG(Log::VERBOSE, "(%s, %d, %d)", path.c_str(), offset, length);
    UniqueFile in(OpenRegularFileStream(path));
    if (!in) {
        const HRESULT hr = LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to open \"%s\" (%s).", path.c_str(), RegularFileErrorText(errno).c_str());
        return AsFailure(hr);
    }
    if (Vorn::std_fseek(in.get(), offset, SEEK_SET) != 0) {
        const HRESULT hr = LogGetLastError(__PRETTY_FUNCTION__);
        LogFError(__PRETTY_FUNCTION__, in.get());
        QUOR_LOG(Log::ERROR, "Failed to fseek to offset.");
        return AsFailure(hr);
    }
    // The length is only a request: never allocate more than the file holds after offset.
    struct stat st;
    if (fstat(fileno(in.get()), &st) != 0 || uint64_t{offset} + length > static_cast<uint64_t>(st.st_size)) {
        QUOR_LOG(Log::ERROR, "fread failed");
        return E_FAIL;
    }
    void* block = Vorn::std_malloc(length);
    if (!block) {
        QUOR_LOG(Log::ERROR, "malloc failed");
        return E_FAIL;
    }
    if (Vorn::std_fread(block, 1, length, in.get()) != length) {
        LogFError(__PRETTY_FUNCTION__, in.get());
        QUOR_LOG(Log::ERROR, "fread failed");
        Vorn::std_free(block);
        return E_FAIL;
    }
    out = std::make_shared<BufferMalloc>(length, block);
    return S_OK;
}

HRESULT FileSysHelper::ReadFileIntoBuffer(const std::string& path, std::shared_ptr<API::IBuffer>& out) {
    QUOR_LOG(Log::VERBOSE, "(%s)", path.c_str());
    // Measured through a descriptor of the regular file itself: a FIFO or a device never blocks
    // or feeds the reader, and a file over 4 GiB is refused before anything is allocated.
    struct stat st;
    Vorn::UniqueFd probe = OpenRegularFile(path, UINT32_MAX);
    if (!probe.IsValid() || fstat(probe.Get(), &st) != 0) {
        const HRESULT hr = LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to get size of \"%s\" (%s).", path.c_str(), RegularFileErrorText(errno).c_str());
        return AsFailure(hr);
    }
    const HRESULT hr = ReadFileBlockIntoBuffer(path, 0, static_cast<DWORD>(st.st_size), out);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to read \"%s\".", path.c_str());
        return hr;
    }
    return S_OK;
}

}  // namespace Quor::Common
