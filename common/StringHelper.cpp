#include "common/StringHelper.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <cctype>
#include <vector>

#include "common/Log.h"
#include "foundation/CStd/CStd.h"
#include "foundation/Unicode.h"

namespace Quor::Common::StringHelper {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Names of the ISO 8859-1 character references for the code points 161..254 (171 is left out).
const char* const LATIN1_NAMES[] = {
    "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    nullptr,  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",
    "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34",
    "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave",
    "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve",
    "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",
    "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",
    "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave", "uacute",
    "ucirc",  "uuml",   "yacute", "thorn",
};
static_assert(sizeof LATIN1_NAMES / sizeof LATIN1_NAMES[0] == 254 - 161 + 1);

}  // namespace

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
    if (text.empty() || from.empty() || from == to) return text;
    size_t position = text.find(from);
    if (position == std::string::npos) return text;
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    while (position != std::string::npos) {
        result.append(text, start, position - start);
        result += to;
        start = position + from.size();
        position = text.find(from, start);
    }
    result.append(text, start, std::string::npos);
    return result;
}

std::string FixPathString(const std::string& path) {
    std::string result;
    FixPathString(path, result);
    return result;
}

void FixPathString(const std::string& path, std::string& result) {
    std::string fixed;
    fixed.reserve(path.size());
    for (char c : path) {
        if (c == '\\') c = '/';
        if (c == '/' && !fixed.empty() && fixed.back() == '/') continue;
        fixed += c;
    }
    result.swap(fixed);
}

void ToLower(std::string& text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

void Trim(const std::string& text, std::string& result, const std::string& characters) {
    result = boost::algorithm::trim_copy_if(text, boost::algorithm::is_any_of(characters));
}

bool ConvertToWide(const std::string& text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int written = Vorn::Unicode::UTF8ToUTF16(text.data(), length, buffer.data(), length + 1);
    if (written <= 0) {
        QUOR_LOG_TAG(Log::ERROR,
                     "bool Quor::Common::StringHelper::ConvertToWide(const std::string &, std::wstring &)",
                     "Failed to convert to wide string: %s", text.c_str());
        return false;
    }
    wide.append(buffer.data(), std::char_traits<wchar_t>::length(buffer.data()));
    return true;
}

bool ConvertToMultiByte(const std::wstring& wide, std::string& text) {
    static const char* const TAG =
        "bool Quor::Common::StringHelper::ConvertToMultiByte(const std::wstring &, std::string &)";
    text.clear();
    if (wide.empty()) return true;
    const int length = static_cast<int>(wide.size());
    const int needed = Vorn::Unicode::UTF16ToUTF8(wide.data(), length, nullptr, 0);
    if (needed <= 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to get size to convert to mb string: %ls", wide.c_str());
        return false;
    }
    std::vector<char> buffer(static_cast<size_t>(needed) + 1, '\0');
    const int written = Vorn::Unicode::UTF16ToUTF8(wide.data(), length, buffer.data(), needed + 1);
    if (written <= 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to convert to mb string[%d]: %ls", needed + 1, wide.c_str());
        return false;
    }
    text.append(buffer.data());
    return true;
}

bool ParseUnicodeValues(const std::string& text, std::string& result) {
    result.clear();
    result.reserve(text.size());
    bool ok = true;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'u' && i + 6 <= text.size()) {
            unsigned value = 0;
            bool hex = true;
            for (size_t k = i + 2; k < i + 6; ++k) {
                int digit = HexValue(text[k]);
                if (digit < 0) hex = false;
                value = value * 16 + static_cast<unsigned>(digit < 0 ? 0 : digit);
            }
            std::string bytes;
            if (hex && ConvertToMultiByte(std::wstring(1, static_cast<wchar_t>(value)), bytes)) {
                result += bytes;
            } else {
                result.append(text, i, 6);
                QUOR_LOG_TAG(Log::WARNING,
                             "bool Quor::Common::StringHelper::ParseUnicodeValues(const std::string &, "
                             "std::string &)",
                             "Failed to parse unicode value from %s", text.c_str());
                ok = false;
            }
            i += 6;
            continue;
        }
        result += text[i++];
    }
    return ok;
}

const std::map<std::string, std::string>& GetEscapeNameToCodeMap() {
    static const std::map<std::string, std::string> names = [] {
        std::map<std::string, std::string> map;
        for (int code = 161; code <= 254; ++code)
            if (const char* name = LATIN1_NAMES[code - 161]) map.emplace(name, "#" + std::to_string(code));
        return map;
    }();
    return names;
}

void ConvertHTMLEcsapeNameToCode(const std::string& text, std::string& result) {
    const std::map<std::string, std::string>& names = GetEscapeNameToCodeMap();
    std::string out;
    out.reserve(text.size());
    size_t ampersand = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '&') {
            ampersand = i;
        } else if (c == ';' && ampersand != std::string::npos) {
            const size_t length = i - ampersand - 1;
            if (length > 0) {
                auto found = names.find(text.substr(ampersand + 1, length));
                if (found != names.end()) {
                    out.resize(out.size() - length);
                    out += found->second;
                }
            }
            ampersand = std::string::npos;
        }
        out += c;
    }
    result.swap(out);
}

bool CaseInsensitiveCompare::operator()(const std::string& a, const std::string& b) const {
    return Vorn::std_stricmp(a.c_str(), b.c_str()) < 0;
}

}  // namespace Quor::Common::StringHelper
