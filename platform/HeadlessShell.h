#pragma once
// The shell of a run without a window system (see ShellServices.h for its behaviour). The output
// descriptor is standard error unless given; it is not owned. Thread-safe.
#include <atomic>
#include <mutex>

#include "platform/ShellServices.h"

namespace Quor::Platform {

class HeadlessShell : public IShell {
public:
    explicit HeadlessShell(int outputFd = 2) : m_Fd(outputFd) {}

    unsigned MessageBox(const char* text, const char* caption, unsigned style) override;
    void HideMainWindow() override { m_Hidden = true; }
    bool IsMainWindowHidden() const { return m_Hidden; }
    void DockTileProgressBegin() override;
    void DockTileProgressSet(float fraction) override;
    void DockTileProgressEnd() override;
    int PumpEvents(MessageTranslator) override { return 1; }

private:
    void Draw(float fraction);

    const int m_Fd;
    std::atomic<bool> m_Hidden{false};
    std::mutex m_Mutex;
    bool m_Shown = false;
    bool m_Terminal = false;
    int m_LastPercent = -1;  // what was last drawn
};

}  // namespace Quor::Platform
