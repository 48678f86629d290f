#pragma once
// The displays of the machine: the active display list, names, modes, physical sizes, mode
// switches and captures, and the screens the window system shows on them.
//
// The headless system has no display: its list is empty, every query answers nothing and every
// switch is refused. Tests install their own with SetDisplaysForTests (null restores the
// system's); installing is for the test's own thread, before the code under test runs.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/WindowModel.h"

namespace Quor::Platform {

struct DisplayMode {
    uint32_t width = 0, height = 0;
    double refreshRate = 0;
    std::string pixelEncoding;
};

class IDisplays {
public:
    virtual ~IDisplays() = default;
    // Up to maxCount active display ids, main display first; false when the list cannot be read.
    virtual bool ActiveDisplays(uint32_t maxCount, std::vector<uint32_t>& ids) = 0;
    virtual uint32_t MainDisplayId() = 0;
    // The product name for the user's preferred language; false when the display has none.
    virtual bool ProductName(uint32_t id, std::string& name) = 0;
    virtual DisplayMode CurrentMode(uint32_t id) = 0;
    virtual std::vector<DisplayMode> AllModes(uint32_t id) = 0;
    // Millimetres; 0 where unknown.
    virtual void PhysicalSize(uint32_t id, double& widthMm, double& heightMm) = 0;
    // Switches to the mode that matches exactly (capture, fade and configuration for this
    // application only); false, changing nothing, when no mode matches exactly.
    virtual bool SwitchToExactMode(uint32_t id, uint32_t width, uint32_t height, uint32_t bitsPerPixel) = 0;
    virtual void Capture(uint32_t id) = 0;
    virtual void ReleaseAll() = 0;
    virtual std::vector<Screen> Screens() = 0;
    // The main screen; a zero screen when there is none.
    virtual Screen MainScreen() = 0;
};

IDisplays& Displays();
void SetDisplaysForTests(IDisplays* displays);

}  // namespace Quor::Platform
