#include "platform/Displays.h"

#include <atomic>

namespace Quor::Platform {

namespace {

class HeadlessDisplays : public IDisplays {
public:
    bool ActiveDisplays(uint32_t, std::vector<uint32_t>& ids) override {
        ids.clear();
        return true;
    }
    uint32_t MainDisplayId() override { return 0; }
    bool ProductName(uint32_t, std::string& name) override {
        name.clear();
        return false;
    }
    DisplayMode CurrentMode(uint32_t) override { return {}; }
    std::vector<DisplayMode> AllModes(uint32_t) override { return {}; }
    void PhysicalSize(uint32_t, double& widthMm, double& heightMm) override { widthMm = heightMm = 0; }
    bool SwitchToExactMode(uint32_t, uint32_t, uint32_t, uint32_t) override { return false; }
    void Capture(uint32_t) override {}
    void ReleaseAll() override {}
    std::vector<Screen> Screens() override { return {}; }
    Screen MainScreen() override { return {}; }
};

HeadlessDisplays g_system;
std::atomic<IDisplays*> g_installed{nullptr};

}  // namespace

IDisplays& Displays() {
    IDisplays* installed = g_installed.load();
    return installed ? *installed : g_system;
}

void SetDisplaysForTests(IDisplays* displays) { g_installed.store(displays); }

}  // namespace Quor::Platform
