#include "common/ConvertVersion.h"

#include <cctype>
#include <cstdio>

namespace Quor::Common {

namespace {

// One "%d" conversion: white space, an optional sign, at least one digit. Values beyond the
// range of a part saturate (they fail the range check anyway), so no overflow can occur.
bool ScanNumber(const char*& p, long long& value) {
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    value = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        if (value < 1000000) value = value * 10 + (*p - '0');
        ++p;
    }
    if (negative) value = -value;
    return true;
}

}  // namespace

HRESULT ConvertVersion::ToNumber(const std::string& text, DWORD& version) {
    const char* p = text.c_str();
    long long parts[4];
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *p++ != '.') return E_FAIL;
        if (!ScanNumber(p, parts[i])) return E_FAIL;
    }
    DWORD result = 0;
    for (long long part : parts) {
        if (part < 0 || part > 255) return E_FAIL;
        result = (result << 8) | static_cast<DWORD>(part);
    }
    version = result;
    return S_OK;
}

std::string ConvertVersion::ToString(DWORD version) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%u.%u.%u.%u", version >> 24, (version >> 16) & 255,
                  (version >> 8) & 255, version & 255);
    return buffer;
}

std::string ConvertVersion::ToString2(DWORD version) {
    return ToString(version);
}

std::string& ConvertVersion::ToString(DWORD version, std::string& text) {
    text = ToString(version);
    return text;
}

}  // namespace Quor::Common
