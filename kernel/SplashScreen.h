#pragma once
// The kernel's start-up splash window. Without a window system the window is a state record: shown
// or not. One instance for the process lives in a global shared pointer (GetSplashScreen), never
// empty until the kernel resets it; resetting it closes the window. Its operations lock the
// instance, so any thread may call them.
#include <memory>
#include <mutex>

#include "foundation/Types.h"

namespace Quor::Orvane {

struct SplashWindow {
    bool shown = true;
};

// Make and close the window (null: none could be made; closing null fails).
SplashWindow* CreateSplashScreenWindow();
bool CloseSplashScreenWindow(SplashWindow* window);

class SplashScreen {
public:
    SplashScreen() = default;
    ~SplashScreen();
    SplashScreen(const SplashScreen&) = delete;
    SplashScreen& operator=(const SplashScreen&) = delete;

    void StartWindow();     // shows the window unless one is shown; a failure is logged only
    HRESULT CreateSplashWindow();
    void DestroyWindow();   // closes a shown window
    void OnUpdateStart() {}
    void Lock() { std::lock_guard<std::mutex> lock(m_Mutex); }
    bool IsShown() const;

private:
    void CloseLocked(const char* tag);

    mutable std::mutex m_Mutex;
    SplashWindow* m_Window = nullptr;
};

std::shared_ptr<SplashScreen>& GetSplashScreen();

}  // namespace Quor::Orvane
