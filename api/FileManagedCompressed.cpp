#include "api/FileManagedCompressed.h"

#include <cstring>

#include "api/ManagedFileCursor.h"
#include "archive/ReaderLock.h"
#include "common/EntryPlacement.h"
#include "common/FileSysHelper.h"
#include "common/LZMA.h"
#include "common/Log.h"
#include "common/ZLibHelper.h"

namespace Quor::API::Impl {

using Quor::Common::ReleaseManifest;
using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
namespace Cursor = ManagedFileCursor;

FileManagedCompressed::FileManagedCompressed(MainServices& main, const ManifestData& data, const FILE_TYPE type,
                                             HRESULT& hr)
    : m_Type(type) {
    const ReleaseManifest& manifest = *data.manifest;
    const ReleaseManifest::ENTRY& entry = *data.entry;
    QUOR_LOG(VERBOSE, "(%s, 0x%08lx, \"%s\", %s)", manifest.m_ProjectName.c_str(),
             static_cast<unsigned long>(manifest.m_ReleaseVersion), entry.name.c_str(), FileTypeName(type));

    std::shared_ptr<Quor::API::IBuffer> stored;
    uint32_t handle = Quor::User::kNoLockHandle;
    if (Quor::Common::PlaceOf(entry) == Quor::Common::EntryPlace::kArchived) {
        QUOR_LOG(VERBOSE, "No connection to kernel detected, file archive will be accessed within process only.");
        std::string path;
        uint32_t offset = 0, size = 0;
        hr = Quor::User::LockFile(manifest.m_ProjectName, manifest.m_ReleaseVersion, entry.name,
                                  main.GetManifestCache(), path, offset, size, handle);
        if (FAILED(hr)) {
            QUOR_LOG(ERROR, "Failed to lock file in archive.");
            return;
        }
        hr = Quor::Common::FileSysHelper::ReadFileBlockIntoBuffer(path, offset, size, stored);
    } else {
        std::string path = entry.name;
        Helper::FindBestPath(main.GetEnvironment(), &manifest, &entry, path);
        hr = Quor::Common::FileSysHelper::ReadFileIntoBuffer(path, stored);
    }
    if (FAILED(hr)) {
        QUOR_LOG(ERROR, "Failed to read file from archive");
    } else {
        QUOR_LOG(VERBOSE, "Successfully loaded \"%s\" into memory", entry.name.c_str());
    }
    if (handle != Quor::User::kNoLockHandle) {
        const HRESULT unlocked = Quor::User::UnlockFile(handle);
        if (FAILED(unlocked)) {
            QUOR_LOG(ERROR, "Failed to unlock file \"%s\"", entry.name.c_str());
            if (SUCCEEDED(hr)) hr = unlocked;
        }
    }
    if (FAILED(hr)) return;

    m_Position = 0;
    if (!(entry.flags & ReleaseManifest::FLAG_STORED_COMPRESSED)) {
        m_Contents = std::move(stored);
        m_Size = m_Contents ? m_Contents->GetBufferSize() : 0;
        return;
    }
    // The manifest's size bounds the stream: more or fewer bytes are a damaged file.
    m_Zlib = (entry.flags & ReleaseManifest::FLAG_ZLIB) != 0;
    m_Stored = std::move(stored);
    m_Size = entry.size;
    if (type == FILE_TYPE_TEXT) hr = Decode();
}

HRESULT FileManagedCompressed::Decode() {
    std::shared_ptr<Quor::API::IBuffer> contents;
    const HRESULT hr = m_Zlib ? Quor::Common::ZLibHelper::DecompressToSize(m_Stored, contents, m_Size)
                              : Quor::Common::LZMA::DecompressToSize(m_Stored, contents, m_Size);
    if (FAILED(hr)) {
        QUOR_LOG(ERROR, "Failed to decompress file after it was loaded");
        Close();
        return hr;
    }
    m_Contents = std::move(contents);
    m_Stored.reset();
    return S_OK;
}

HRESULT FileManagedCompressed::DecodeInto(void* out) {
    const void* stored = m_Stored->GetBufferPointer();
    const uint32_t length = m_Stored->GetBufferSize();
    const HRESULT hr = m_Zlib ? Quor::Common::ZLibHelper::DecompressInto(stored, length, out, m_Size)
                              : Quor::Common::LZMA::DecompressInto(stored, length, out, m_Size);
    if (FAILED(hr)) {
        QUOR_LOG(ERROR, "Failed to decompress file after it was loaded");
        Close();
    }
    return hr;
}

void FileManagedCompressed::Close() {
    m_Stored.reset();
    m_Contents.reset();
    m_Size = 0;
}

HRESULT FileManagedCompressed::Seek(const int32_t offset, const SEEK_ORIGIN origin) {
    QUOR_LOG(VERBOSE, "(%d, %d)", offset, static_cast<int>(origin));
    if (!IsOpen()) {
        QUOR_LOG(ERROR, "File is not open.");
        return E_FAIL;
    }
    m_Position = Cursor::SeekTarget(m_Position, GetSize(), offset, origin);
    if (m_Position > GetSize()) {
        QUOR_LOG(ERROR, "Past end of file");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT FileManagedCompressed::Read(void* const buffer, const size_t elementSize, const size_t count,
                                    size_t& elementsRead) {
    QUOR_LOG(VERBOSE, "(0x%08lx, %d, %d)", reinterpret_cast<unsigned long>(buffer), static_cast<int>(elementSize),
             static_cast<int>(count));
    elementsRead = 0;
    if (FAILED(Cursor::CheckBinaryAndOpen(m_Type, IsOpen(), __PRETTY_FUNCTION__))) return E_FAIL;
    if (m_Position >= m_Size) {
        QUOR_LOG(ERROR, "End of file");
        return E_FAIL;
    }
    const size_t copied = Cursor::ElementsLeft(m_Position, m_Size, elementSize, count);
    const size_t bytes = copied * elementSize;
    if (!m_Contents && m_Position == 0 && bytes == m_Size) {
        // The read takes the whole file: decoded where the caller wants it, without a copy.
        if (FAILED(DecodeInto(buffer))) return E_FAIL;
    } else {
        if (!m_Contents && FAILED(Decode())) return E_FAIL;
        if (bytes != 0) std::memcpy(buffer, Data() + m_Position, bytes);
    }
    // What was copied is reported also when the read comes up short, as for archived files.
    elementsRead = copied;
    m_Position = Cursor::Advance(m_Position, elementSize, count);
    if (copied < count) {
        QUOR_LOG(VERBOSE, "Attempt to read past end of file.");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT FileManagedCompressed::GetString(std::string& line) {
    QUOR_LOG(VERBOSE, "()");
    line.clear();
    if (m_Type != FILE_TYPE_TEXT) {
        QUOR_LOG(ERROR, "Only supported when file is opened for text access.");
        return E_FAIL;
    }
    if (!m_Contents) {
        QUOR_LOG(ERROR, "File is not open.");
        return E_FAIL;
    }
    return Cursor::GetLine(Data(), m_Size, m_Position, line, __PRETTY_FUNCTION__);
}

HRESULT FileManagedCompressed::Tell(int32_t& position) {
    QUOR_LOG(VERBOSE, "()");
    position = -1;
    if (FAILED(Cursor::CheckBinaryAndOpen(m_Type, IsOpen(), __PRETTY_FUNCTION__))) return E_FAIL;
    position = static_cast<int32_t>(m_Position);
    return S_OK;
}

}  // namespace Quor::API::Impl
