#pragma once
// String helpers on byte strings (UTF-8 by convention) and wide strings (wchar_t, one UTF-16 unit
// per element): replacing, path normalisation, lower-casing, trimming, UTF-8 <-> wide conversion,
// backslash-u escapes and named HTML character references.
//
// All functions are reentrant and thread-safe. Failures are logged at ERROR (WARNING where said)
// and reported through the result.
#include <map>
#include <string>

namespace Quor::Common::StringHelper {

// Every non-overlapping occurrence of from, left to right, replaced by to.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to);

// Backslashes become slashes, then every run of slashes becomes one.
std::string FixPathString(const std::string& path);
void FixPathString(const std::string& path, std::string& result);

// ASCII letters lowered in place (the C library's tolower in the default locale).
void ToLower(std::string& text);

// result = text without the leading and trailing characters that occur in `characters`.
void Trim(const std::string& text, std::string& result, const std::string& characters);

// UTF-8 to wide (UTF-16 units) and back; false (and an empty output) when the conversion fails.
bool ConvertToWide(const std::string& text, std::wstring& wide);
bool ConvertToMultiByte(const std::wstring& wide, std::string& text);

// Each "\uXXXX" (four hexadecimal digits) becomes the UTF-8 bytes of that unit. An escape that
// cannot be converted (also one whose digits are not hexadecimal) is copied unchanged, a WARNING
// is logged and the result is false.
bool ParseUnicodeValues(const std::string& text, std::string& result);

// Named references of the ISO 8859-1 set ("&eacute;") become numeric ones ("&#233;"); laquo,
// nbsp, yuml and the markup names (amp, lt, gt, quot) are left as they are.
void ConvertHTMLEcsapeNameToCode(const std::string& text, std::string& result);

// The names known to ConvertHTMLEcsapeNameToCode and their "#<decimal code>" texts.
const std::map<std::string, std::string>& GetEscapeNameToCodeMap();

// Strict weak order of texts ignoring ASCII case.
struct CaseInsensitiveCompare {
    bool operator()(const std::string& a, const std::string& b) const;
};

}  // namespace Quor::Common::StringHelper
