#pragma once
// Displays a test describes; records mode switches and captures. Install it with
// SetDisplaysForTests; not thread-safe.
#include <map>
#include <string>
#include <vector>

#include "platform/Displays.h"

namespace Quor::Platform {

class FakeDisplays : public IDisplays {
public:
    struct Display {
        uint32_t id = 0;
        std::string name;  // empty: no product name
        DisplayMode current;
        std::vector<DisplayMode> modes;
        double widthMm = 0, heightMm = 0;
        Screen screen;
    };
    std::vector<Display> displays;
    uint32_t mainId = 0;
    bool listFails = false;
    struct Switch {
        uint32_t id, width, height, bitsPerPixel;
    };
    std::vector<Switch> switches;
    std::vector<uint32_t> captured;
    int releases = 0;

    bool ActiveDisplays(uint32_t maxCount, std::vector<uint32_t>& ids) override {
        ids.clear();
        if (listFails) return false;
        for (const Display& d : displays)
            if (ids.size() < maxCount) ids.push_back(d.id);
        return true;
    }
    uint32_t MainDisplayId() override { return mainId; }
    bool ProductName(uint32_t id, std::string& name) override {
        name = Find(id).name;
        return !name.empty();
    }
    DisplayMode CurrentMode(uint32_t id) override { return Find(id).current; }
    std::vector<DisplayMode> AllModes(uint32_t id) override { return Find(id).modes; }
    void PhysicalSize(uint32_t id, double& widthMm, double& heightMm) override {
        widthMm = Find(id).widthMm;
        heightMm = Find(id).heightMm;
    }
    bool SwitchToExactMode(uint32_t id, uint32_t width, uint32_t height, uint32_t bitsPerPixel) override {
        Display& d = Find(id);
        for (const DisplayMode& m : d.modes) {
            if (m.width == width && m.height == height) {
                d.current = m;
                switches.push_back({id, width, height, bitsPerPixel});
                return true;
            }
        }
        return false;
    }
    void Capture(uint32_t id) override { captured.push_back(id); }
    void ReleaseAll() override {
        ++releases;
        captured.clear();
    }
    std::vector<Screen> Screens() override {
        std::vector<Screen> out;
        for (const Display& d : displays) out.push_back(d.screen);
        return out;
    }
    Screen MainScreen() override { return displays.empty() ? Screen{} : Find(mainId).screen; }

private:
    Display& Find(uint32_t id) {
        for (Display& d : displays)
            if (d.id == id) return d;
        static Display none;
        none = Display{};
        return none;
    }
};

}  // namespace Quor::Platform
