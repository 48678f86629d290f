#pragma once
// TODO(dep): temporary stand-ins for types being written on other branches (string table and name
// rules: `manifests`; whole-file reads: `fileutil`; progress accounting: `compress`). Each has the
// name and signature of the real one; this header is deleted as soon as they land.
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/BufferMalloc.h"
#include "foundation/ByteOrder.h"
#include "foundation/CStd/CStd.h"
#include "foundation/Types.h"
#include "foundation/api/IBuffer.h"
#include "foundation/api/Progress.h"

namespace Quor::Common {

// TODO(dep): common/StringTable.h
class StringTable {
public:
    class Builder {
    public:
        unsigned Add(const std::string& text) {
            auto [it, inserted] = m_Index.try_emplace(text, static_cast<unsigned>(m_Strings.size()));
            if (inserted) m_Strings.push_back(text);
            return it->second;
        }
        std::shared_ptr<API::IBuffer> Build() const {
            uint64_t total = 8 + 8 * static_cast<uint64_t>(m_Strings.size());
            for (const std::string& s : m_Strings) total += s.size() + 1;
            if (total > 0xFFFFFFFFull) throw std::length_error("string table image exceeds 4 GiB");
            auto buffer = std::make_shared<BufferMalloc>(static_cast<uint32_t>(total), nullptr);
            auto* image = static_cast<uint8_t*>(buffer->GetBufferPointer());
            if (!image) throw std::bad_alloc();
            Vorn::Bytes::StoreLE32(image, static_cast<uint32_t>(total));
            Vorn::Bytes::StoreLE32(image + 4, static_cast<uint32_t>(m_Strings.size()));
            size_t offset = 8 + 8 * m_Strings.size();
            uint8_t* entry = image + 8;
            for (const std::string& s : m_Strings) {
                Vorn::Bytes::StoreLE32(entry, static_cast<uint32_t>(offset));
                Vorn::Bytes::StoreLE32(entry + 4, static_cast<uint32_t>(s.size() + 1));
                std::memcpy(image + offset, s.c_str(), s.size() + 1);
                entry += 8;
                offset += s.size() + 1;
            }
            return buffer;
        }

    private:
        std::vector<std::string> m_Strings;
        std::unordered_map<std::string, unsigned> m_Index;
    };

    static const char* GetString(const void* image, unsigned int index) {
        if (!image) return nullptr;
        const auto* bytes = static_cast<const uint8_t*>(image);
        if (index >= Vorn::Bytes::LoadLE32(bytes + 4)) return nullptr;
        return reinterpret_cast<const char*>(bytes + Vorn::Bytes::LoadLE32(bytes + 8 + 8 * size_t{index}));
    }

    static bool IsValidImage(const void* image, size_t bytes) {
        if (!image || bytes < 8) return false;
        const auto* data = static_cast<const uint8_t*>(image);
        if (Vorn::Bytes::LoadLE32(data) != bytes) return false;
        const uint32_t count = Vorn::Bytes::LoadLE32(data + 4);
        if (count > (bytes - 8) / 8) return false;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t offset = Vorn::Bytes::LoadLE32(data + 8 + 8 * size_t{i});
            const uint32_t length = Vorn::Bytes::LoadLE32(data + 12 + 8 * size_t{i});
            if (length == 0 || offset > bytes || length > bytes - offset) return false;
            if (data[offset + length - 1] != 0) return false;
        }
        return true;
    }
};

// TODO(dep): common/RelativeName.h
inline bool IsValidRelativeName(std::string_view name) {
    if (name.empty()) return false;
    size_t start = 0;
    while (true) {
        size_t end = name.find('/', start);
        std::string_view segment =
            name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (segment.empty() || segment == "." || segment == "..") return false;
        for (char c : segment)
            if (c == '\\' || c == '\0') return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

// TODO(dep): common/ProjectName.h
inline bool IsValidProjectName(std::string_view name) {
    return IsValidRelativeName(name) && name.find('/') == std::string_view::npos;
}

// TODO(dep): Quor::Common::FileSysHelper (whole-file reads)
class FileSysHelper {
public:
    static HRESULT GetFileSize(const std::string& path, uint32_t& size) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || st.st_size > 0xFFFFFFFFll) return E_FAIL;
        size = static_cast<uint32_t>(st.st_size);
        return S_OK;
    }
    static HRESULT ReadFileIntoBuffer(const std::string& path, std::shared_ptr<API::IBuffer>& out) {
        uint32_t size = 0;
        if (FAILED(GetFileSize(path, size))) return E_FAIL;
        FILE* file = Vorn::std_fopen(path.c_str(), "rb");
        if (!file) return E_FAIL;
        auto buffer = std::make_shared<BufferMalloc>(size, nullptr);
        bool ok = buffer->GetBufferPointer() && std::fread(buffer->GetBufferPointer(), 1, size, file) == size;
        std::fclose(file);
        if (!ok) return E_FAIL;
        out = buffer;
        return S_OK;
    }
};

}  // namespace Quor::Common

namespace Quor::User {

// TODO(dep): common/AutoUpdateProgress.h
class AutoUpdateProgress {
public:
    enum WORK_TYPE : int32_t { WORK_TYPE_DOWNLOAD = 0, WORK_TYPE_DISK_ACCESS = 1, WORK_TYPE_UNCLASSIFIED = 2 };

    AutoUpdateProgress(API::IUpdateProgress* sink, signed char* cancel, unsigned long period)
        : m_Sink(sink), m_Cancel(cancel), m_Period(period) {}

    AutoUpdateProgress& DeltaBytesTotal(WORK_TYPE type, int64_t delta) {
        if (type >= 0 && type < 3) m_Total[type] += delta;
        return *this;
    }
    void Tick(unsigned long) {}
    const signed char* GetCancelFlag() const { return m_Cancel; }
    int64_t GetTotal(WORK_TYPE type) const { return m_Total[type]; }
    int64_t GetCompleted(WORK_TYPE type) const { return m_Completed[type]; }
    std::string m_StringData;

    class AutoTimer {
    public:
        AutoTimer(AutoUpdateProgress& progress, WORK_TYPE type) : m_AutoUpdateProgress(progress), m_Type(type) {}
        void DeltaBytesCompleted(int64_t delta) { m_AutoUpdateProgress.m_Completed[m_Type] += delta; }
        AutoUpdateProgress& m_AutoUpdateProgress;

    private:
        WORK_TYPE m_Type;
    };

private:
    API::IUpdateProgress* m_Sink;
    signed char* m_Cancel;
    unsigned long m_Period;
    int64_t m_Total[3] = {};
    int64_t m_Completed[3] = {};
};

namespace AutoUpdateProgressHelper {
inline void SetStringDataToFilenameFromPath(AutoUpdateProgress& progress, const std::string& path) {
    const size_t slash = path.rfind('/');
    progress.m_StringData = slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace AutoUpdateProgressHelper

}  // namespace Quor::User
