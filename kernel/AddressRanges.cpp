#include "kernel/AddressRanges.h"

#include <cerrno>
#include <cstdio>

#include "common/Log.h"
#include "common/ReadLine.h"
#include "common/RegularFile.h"
#include "common/UniqueFile.h"

namespace Quor::Orvane {

namespace {
// The file is a short administrator's list; anything larger is not one.
constexpr uint64_t kMaxFileSize = 16u << 20;
constexpr size_t kMaxLine = 1024;
}  // namespace

HRESULT ParseAddressRanges(const std::string& fileName, std::vector<std::pair<UINT, UINT>>& ranges) {
    QUOR_LOG(Log::DEBUG, "(%s)", fileName.c_str());
    Common::UniqueFile file(Common::OpenRegularFileStream(fileName, kMaxFileSize));
    if (!file.get()) {
        HRESULT hr = Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
        if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to open file \"%s\".", fileName.c_str());
        return hr;
    }
    HRESULT hr = S_OK;
    std::string line;
    int lineNumber = 1;
    for (; SUCCEEDED(hr) && Common::ReadLine(file.get(), line); ++lineNumber) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineNumber == 1 || line.empty()) continue;
        unsigned first = 0, low = 0, high = 0;
        char text[128] = {};
        if (line.size() > kMaxLine ||
            std::sscanf(line.c_str(), "%u,%u,%u,%127s", &first, &low, &high, text) != 4) {
            QUOR_LOG(Log::ERROR, "Failed to parse line %d", lineNumber);
            hr = E_FAIL;
            break;
        }
        ranges.emplace_back(static_cast<UINT>(low), static_cast<UINT>(high));
    }
    if (SUCCEEDED(hr) && std::ferror(file.get())) {
        QUOR_LOG(Log::ERROR, "Failure while reading line %d", lineNumber);
        hr = E_FAIL;
    }
    return hr;
}

HRESULT IsHostAddressBlocked(const std::string& fileName, bool& blocked) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    blocked = false;
    if (fileName.empty()) return S_OK;
    std::vector<std::pair<UINT, UINT>> ranges;
    HRESULT hr = ParseAddressRanges(fileName, ranges);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to parse address range");
        return hr;
    }
    return S_OK;
}

}  // namespace Quor::Orvane
