#include "platform/HeadlessShell.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/AnswerPolicy.h"

namespace Quor::Platform {

namespace {

constexpr int kBarWidth = 40;

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return;
        done += static_cast<size_t>(wrote);
    }
}

const char* ButtonsOf(unsigned style) {
    switch (style & ~0x10000000u) {
        case 0: return "[0] Ok";
        case 1: return "[0] Cancel";
        case 2: return "[0] Yes";
        case 3: return "[0] Ok  [1] Cancel";
        case 4: return "[0] Retry  [1] Cancel";
        case 5: return "[0] Abort  [1] Ignore  [2] Retry";
        default: return "";
    }
}

}  // namespace

unsigned HeadlessShell::MessageBox(const char* text, const char*, unsigned style) {
    const unsigned answer = NextAnswer();
    WriteAll(m_Fd, std::string("Message: ") + (text ? text : "") + "\n  " + ButtonsOf(style) +
                       " -> answered " + std::to_string(answer) + "\n");
    return answer;
}

void HeadlessShell::DockTileProgressBegin() {
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Shown) return;
        m_Shown = true;
        m_Terminal = isatty(m_Fd) == 1;
        m_LastPercent = -1;
    }
    DockTileProgressSet(0.0f);
}

void HeadlessShell::DockTileProgressSet(float fraction) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_Shown) return;
    if (!(fraction >= 0.0f)) fraction = 0.0f;  // also NaN
    if (fraction > 1.0f) fraction = 1.0f;
    Draw(fraction);
}

void HeadlessShell::Draw(float fraction) {
    const int percent = static_cast<int>(std::floor(fraction * 100.0f));
    if (m_Terminal) {
        if (percent == m_LastPercent) return;
        const int filled = percent * kBarWidth / 100;
        WriteAll(m_Fd, "\r[" + std::string(static_cast<size_t>(filled), '#') +
                           std::string(static_cast<size_t>(kBarWidth - filled), ' ') + "] " +
                           std::to_string(percent) + "%");
    } else {
        const int step = percent / 10 * 10;
        if (step == m_LastPercent) return;
        WriteAll(m_Fd, "Progress: " + std::to_string(step) + "%\n");
        m_LastPercent = step;
        return;
    }
    m_LastPercent = percent;
}

void HeadlessShell::DockTileProgressEnd() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_Shown) return;
    m_Shown = false;
    if (m_Terminal) WriteAll(m_Fd, "\n");
}

}  // namespace Quor::Platform
