#pragma once
// A settings file of "key = value" lines (".cfg"), loaded at construction into a map whose keys
// compare without regard to ASCII case.
//
// A file given by name is looked up as "quor/system/" + name under the working folder, then as
// {root}/system/ + name. A missing file is no error (the map stays empty; an ERROR line is
// logged). Lines beginning with ":", ";", "/" or "#" are comments; a line without "=" is skipped
// with an ERROR line; a later duplicate key (in any case) replaces the value and keeps the first
// spelling. Save writes the entries sorted by key, comments and order are not kept.
// One object is used by one thread; nothing is locked.
#include <map>
#include <string>

#include "common/StringHelper.h"
#include "foundation/Types.h"

namespace Quor::Common::SettingsFile {

class SettingsFile {
public:
    SettingsFile(const std::string& name, HRESULT& result);
    // isPath: the text is the file's path (no look-up); else its name.
    SettingsFile(const std::string& nameOrPath, HRESULT& result, bool isPath);
    // `second` is kept and not used.
    SettingsFile(const std::string& name, const std::string& second, HRESULT& result);

    // Finds the file (when no path is known yet) and adds its entries to the map.
    HRESULT Load();
    // The value of key, or the empty text.
    std::string Get(const std::string& key) const;
    void Set(const std::string& key, const std::string& value);
    // Writes every entry to the path, replacing the file.
    HRESULT Save();

    const std::string& GetPath() const { return m_path; }

private:
    std::map<std::string, std::string, StringHelper::CaseInsensitiveCompare> m_map;
    std::string m_fileName;
    std::string m_secondName;
    std::string m_path;
};

}  // namespace Quor::Common::SettingsFile
