#include "common/LogLine.h"

#include <cstdio>

#include "foundation/CStd/CStd.h"

namespace Quor::Log::_Internal {

namespace {

// Local time of day (the runtime reports the milliseconds as 0).
void LocalTimeOfDay(int& hour, int& minute, int& second, int& millisecond) {
    uint32_t year, month, day, h, m, s, ms;
    Vorn::std_sys_local_time(year, month, day, h, m, s, ms);
    hour = static_cast<int>(h);
    minute = static_cast<int>(m);
    second = static_cast<int>(s);
    millisecond = static_cast<int>(ms);
}

}  // namespace

size_t FormatLineAt(char* buffer, size_t size, TYPE type, const char* function, const char* text, int hour,
                    int minute, int second, int millisecond) {
    if (!function) function = "";
    if (!text) text = "(null)";
    int n = std::snprintf(buffer, size, "(%s)[%02d:%02d:%02d.%03d] %s: %s\n", ToString(type), hour, minute,
                          second, millisecond, function, text);
    if (n < 0) {
        // Formatting failed (it cannot for %s and %d, but never hand back undefined bytes).
        n = std::snprintf(buffer, size, "(%s)\n", ToString(type));
        if (n < 0) {
            buffer[0] = '\n';
            buffer[1] = '\0';
            return 1;
        }
    }
    if (static_cast<size_t>(n) < size) return static_cast<size_t>(n);

    // Cut: keep room for the line feed and the terminator, and do not split a UTF-8 sequence.
    size_t length = size - 2;
    while (length > 0 && (static_cast<unsigned char>(buffer[length]) & 0xC0) == 0x80) --length;
    buffer[length] = '\n';
    buffer[length + 1] = '\0';
    return length + 1;
}

size_t FormatLine(char* buffer, size_t size, TYPE type, const char* function, const char* text) {
    int hour, minute, second, millisecond;
    LocalTimeOfDay(hour, minute, second, millisecond);
    return FormatLineAt(buffer, size, type, function, text, hour, minute, second, millisecond);
}

}  // namespace Quor::Log::_Internal
