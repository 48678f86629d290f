#pragma once
// The installer's user-visible texts, from {bundle}/Contents/Resources/Localizable.strings
// (lines of the form "KEY" = "text";). A key without a text answers the key itself. The file is
// read once, as a regular file of at most 64 KiB; a missing or unreadable file gives no texts.
// Thread-compatible.
#include <map>
#include <string>

namespace Installer {

class LocalizedStrings {
public:
    explicit LocalizedStrings(const std::string& bundlePath);
    std::string Get(const std::string& key) const;

private:
    std::map<std::string, std::string> m_texts;
};

}  // namespace Installer
