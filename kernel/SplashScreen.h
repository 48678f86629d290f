#pragma once
// The kernel's start-up splash window: a borderless window of the size of the bundle's
// "SplashScreen.png" (0 x 0 without it) in the middle of the main screen; without a window system
// it is a window record. One instance for the process lives in a global shared pointer (GetSplashScreen), never
// empty until the kernel resets it; resetting it closes the window. Its operations lock the
// instance, so any thread may call them.
#include <memory>
#include <string>

#include "foundation/AnnotatedMutex.h"
#include "foundation/Types.h"
#include "platform/WindowModel.h"

namespace Quor::Orvane {

using SplashWindow = Platform::Window;

// Make and close the window (null: none could be made; closing null fails). The image is
// Contents/Resources/SplashScreen.png of this program's bundle unless one is named.
SplashWindow* CreateSplashScreenWindow();
SplashWindow* CreateSplashScreenWindow(const std::string& imagePath);
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
    void Lock() { Vorn::AnnotatedLockGuard lock(m_Mutex); }
    bool IsShown() const;
    // The shown window's frame; a zero rectangle without one.
    Platform::Rect Frame() const;

private:
    void CloseLocked(const char* tag) REQUIRES(m_Mutex);

    mutable Vorn::AnnotatedMutex m_Mutex;
    SplashWindow* m_Window GUARDED_BY(m_Mutex) = nullptr;
};

std::shared_ptr<SplashScreen>& GetSplashScreen();

}  // namespace Quor::Orvane
