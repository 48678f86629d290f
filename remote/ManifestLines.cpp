#include "remote/ManifestLines.h"

#include "common/Log.h"
#include "common/TextFileHelper.h"

namespace Quor::Common::ManifestLines {

namespace {
constexpr SIZE_T MAX_LINE = 1024;
}

HRESULT ForEachLine(const char* tag, FILE* stream, const char* where,
                    const std::function<HRESULT(int, const std::string&)>& onLine) {
    for (int n = 1;; n = NextLineNumber(n)) {
        std::string line;
        HRESULT hr = TextFileHelper::ReadString(stream, line, MAX_LINE);
        if (hr == TextFileHelper::E_END_OF_FILE) return S_OK;
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::ERROR, tag, "Failure while reading from \"%s\" line %d.", where, n);
            return hr;
        }
        if (FAILED(hr = onLine(n, line))) return hr;
    }
}

size_t FindCommas(const std::string& line, size_t (&commas)[4]) {
    size_t found = 0;
    for (size_t at = line.find(','); at != std::string::npos && found < 4; at = line.find(',', at + 1))
        commas[found++] = at;
    return found;
}

}  // namespace Quor::Common::ManifestLines
