#pragma once
// Formatting of one log line, "(%s)[%02d:%02d:%02d.%03d] %s: %s\n", into a fixed buffer.
//
// The line always fits its buffer and always ends with a line feed: an over-long tag or text is
// cut (never inside a UTF-8 sequence), never written past the buffer. Reentrant.
#include <cstddef>

#include "common/Log.h"

namespace Quor::Log::_Internal {

constexpr size_t LINE_BUFFER_SIZE = 4096;

// Writes the line with the current local time into buffer (size > 2); returns its length.
size_t FormatLine(char* buffer, size_t size, TYPE type, const char* function, const char* text);

// The same with a given time of day (for tests).
size_t FormatLineAt(char* buffer, size_t size, TYPE type, const char* function, const char* text, int hour,
                    int minute, int second, int millisecond);

}  // namespace Quor::Log::_Internal
