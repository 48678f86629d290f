#pragma once
// The table of the machine's displays and their modes, and display-mode switches.
//
// Process-wide, main thread only. The table is rebuilt by EnumerateDisplays; a failed enumeration
// leaves it empty (count 0). Accessors take indexes below the counts; an index beyond them answers
// nothing (null, 0) instead of reading past the table.
#include <cstdint>
#include <vector>

#include "platform/WindowModel.h"

namespace Quor::Shell {

constexpr uint32_t MAX_DISPLAYS = 32;
constexpr size_t DISPLAY_NAME_SIZE = 1540;

struct DisplayModeRecord {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t refreshRate = 0;
    uint32_t unused[2] = {0, 0};
};

struct DisplayRecord {
    char name[DISPLAY_NAME_SIZE] = {};
    char secondName[DISPLAY_NAME_SIZE] = {};
    std::vector<DisplayModeRecord> modes;
    uint32_t currentMode = 0;
    uint32_t displayId = 0;
    uint8_t isMain = 0;
};

// Bits per pixel of a pixel encoding (compared without regard to case); 8 for any other.
uint32_t BitsPerPixelOfEncoding(const char* encoding);

bool EnumerateDisplays();
uint32_t GetDisplayCount();
const DisplayRecord* GetDisplayRecord(uint32_t i);
uint32_t GetDisplayModeCount(uint32_t i);
const DisplayModeRecord* GetDisplayModeRecord(uint32_t i, uint32_t j);
uint32_t GetDisplayCurrentMode(uint32_t i);
uint32_t GetDisplayId(uint32_t i);
// The first display marked main; 0 when none is.
uint32_t GetMainDisplayIndex();
// The smaller of the display's horizontal and vertical density and 96; 96 where the physical size
// is unknown.
int GetDisplayDpi(uint32_t i);
// The screen ConfigureMainWindow chose; null before.
const Platform::Screen* GetMainWindowScreen();
// Switches display i to the mode that matches exactly and enumerates again; false, changing
// nothing, without an exact match.
bool SetDisplayMode(uint32_t displayIndex, uint32_t width, uint32_t height, uint32_t bitsPerPixel);

}  // namespace Quor::Shell
