#include "platform/VolumeProperties.h"

#include <atomic>

namespace Quor::Platform {

namespace {

class LinuxVolumeProperties : public IVolumeProperties {
public:
    bool SupportsCaseSensitiveNames(const char*) override { return false; }
};

LinuxVolumeProperties g_system;
std::atomic<IVolumeProperties*> g_installed{nullptr};

}  // namespace

IVolumeProperties& VolumeProperties() {
    IVolumeProperties* installed = g_installed.load();
    return installed ? *installed : g_system;
}

void SetVolumePropertiesForTests(IVolumeProperties* properties) { g_installed.store(properties); }

}  // namespace Quor::Platform
