#pragma once
// A volume whose case sensitivity a test chooses; records the folders it was asked about.
// Install it with a ScopedOsContext (foundation/OsContext.h); not thread-safe.
#include <string>
#include <vector>

#include "platform/VolumeProperties.h"

namespace Quor::Platform {

class FakeVolumeProperties : public IVolumeProperties {
public:
    explicit FakeVolumeProperties(bool caseSensitive) : m_caseSensitive(caseSensitive) {}
    bool SupportsCaseSensitiveNames(const char* folder) override {
        asked.push_back(folder ? folder : "");
        return m_caseSensitive;
    }
    std::vector<std::string> asked;

private:
    bool m_caseSensitive;
};

}  // namespace Quor::Platform
