#include "shell/Displays.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "common/Log.h"
#include "platform/Displays.h"
#include "shell/ShellState.h"

namespace Quor::Shell {

namespace {

std::vector<DisplayRecord>& Table() {
    static std::vector<DisplayRecord> table;
    return table;
}

}  // namespace

uint32_t BitsPerPixelOfEncoding(const char* encoding) {
    struct Entry {
        const char* encoding;
        uint32_t bits;
    };
    static const Entry entries[] = {
        {"-32FR32FG32FB32", 128},
        {"-16R16G16B16", 64},
        {"-16FR16FG16FB16", 64},
        {"--------RRRRRRRRGGGGGGGGBBBBBBBB", 32},
        {"--RRRRRRRRRRGGGGGGGGGGBBBBBBBBBB", 32},
        {"-RRRRRGGGGGBBBBB", 16},
    };
    for (const Entry& e : entries)
        if (encoding && strcasecmp(encoding, e.encoding) == 0) return e.bits;
    return 8;
}

bool EnumerateDisplays() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    std::vector<DisplayRecord>& table = Table();
    table.clear();
    Platform::IDisplays& displays = Platform::Displays();
    std::vector<uint32_t> ids;
    if (!displays.ActiveDisplays(MAX_DISPLAYS, ids)) {
        QUOR_LOG(Log::ERROR, "The list of active displays could not be read");
        return false;
    }
    if (ids.size() > MAX_DISPLAYS) ids.resize(MAX_DISPLAYS);
    const uint32_t mainId = displays.MainDisplayId();
    table.resize(ids.size());
    for (size_t n = 0; n < ids.size(); ++n) {
        DisplayRecord& record = table[n];
        record.displayId = ids[n];
        record.isMain = ids[n] == mainId ? 1 : 0;
        std::string name;
        if (displays.ProductName(ids[n], name)) {
            size_t length = std::min(name.size(), DISPLAY_NAME_SIZE - 1);
            memcpy(record.name, name.data(), length);
        }
        const Platform::DisplayMode current = displays.CurrentMode(ids[n]);
        const std::vector<Platform::DisplayMode> modes = displays.AllModes(ids[n]);
        record.modes.resize(modes.size());
        for (size_t m = 0; m < modes.size(); ++m) {
            DisplayModeRecord& mode = record.modes[m];
            mode.width = modes[m].width;
            mode.height = modes[m].height;
            mode.refreshRate = static_cast<uint32_t>(modes[m].refreshRate);
            mode.bitsPerPixel = BitsPerPixelOfEncoding(modes[m].pixelEncoding.c_str());
            if (modes[m].width == current.width && modes[m].height == current.height &&
                mode.refreshRate == static_cast<uint32_t>(current.refreshRate) &&
                strcasecmp(modes[m].pixelEncoding.c_str(), current.pixelEncoding.c_str()) == 0)
                record.currentMode = static_cast<uint32_t>(m);
        }
    }
    return true;
}

uint32_t GetDisplayCount() { return static_cast<uint32_t>(Table().size()); }

const DisplayRecord* GetDisplayRecord(uint32_t i) { return i < Table().size() ? &Table()[i] : nullptr; }

uint32_t GetDisplayModeCount(uint32_t i) {
    const DisplayRecord* record = GetDisplayRecord(i);
    return record ? static_cast<uint32_t>(record->modes.size()) : 0;
}

const DisplayModeRecord* GetDisplayModeRecord(uint32_t i, uint32_t j) {
    const DisplayRecord* record = GetDisplayRecord(i);
    return record && j < record->modes.size() ? &record->modes[j] : nullptr;
}

uint32_t GetDisplayCurrentMode(uint32_t i) {
    const DisplayRecord* record = GetDisplayRecord(i);
    return record ? record->currentMode : 0;
}

uint32_t GetDisplayId(uint32_t i) {
    const DisplayRecord* record = GetDisplayRecord(i);
    return record ? record->displayId : 0;
}

uint32_t GetMainDisplayIndex() {
    for (uint32_t i = 0; i < Table().size(); ++i)
        if (Table()[i].isMain) return i;
    return 0;
}

int GetDisplayDpi(uint32_t i) {
    int dpi = 96;
    const DisplayModeRecord* mode = GetDisplayModeRecord(i, GetDisplayCurrentMode(i));
    if (!mode) return dpi;
    double widthMm = 0, heightMm = 0;
    Platform::Displays().PhysicalSize(GetDisplayId(i), widthMm, heightMm);
    // A size the display does not report (0) says nothing about its density.
    if (widthMm > 0) dpi = std::min(dpi, static_cast<int>(mode->width * 25.4 / widthMm));
    if (heightMm > 0) dpi = std::min(dpi, static_cast<int>(mode->height * 25.4 / heightMm));
    return dpi;
}

const Platform::Screen* GetMainWindowScreen() { return Shell().screen ? &*Shell().screen : nullptr; }

bool SetDisplayMode(uint32_t displayIndex, uint32_t width, uint32_t height, uint32_t bitsPerPixel) {
    QUOR_LOG(Log::VERBOSE, "%u, %u, %u, %u", displayIndex, width, height, bitsPerPixel);
    if (!Platform::Displays().SwitchToExactMode(GetDisplayId(displayIndex), width, height, bitsPerPixel)) {
        QUOR_LOG(Log::ERROR, "Display %u has no mode of %u x %u at %u bits", displayIndex, width, height,
                 bitsPerPixel);
        return false;
    }
    EnumerateDisplays();
    return true;
}

}  // namespace Quor::Shell
