#include "kernel/SplashScreen.h"

#include "common/Log.h"
#include "foundation/CStd/CStdPaths.h"
#include "platform/Displays.h"
#include "platform/ImageSize.h"

namespace Quor::Orvane {

SplashWindow* CreateSplashScreenWindow() {
    char executable[1024], macos[1024], contents[1024];
    std::string image;
    if (Vorn::std_get_module_fullpath(sizeof executable, executable) &&
        Vorn::std_parentpath(executable, macos, sizeof macos) && Vorn::std_parentpath(macos, contents, sizeof contents))
        image = std::string(contents) + "Resources/SplashScreen.png";
    return CreateSplashScreenWindow(image);
}

SplashWindow* CreateSplashScreenWindow(const std::string& imagePath) {
    uint32_t w = 0, h = 0;
    if (imagePath.empty() || !Platform::PngImageSize(imagePath.c_str(), w, h)) w = h = 0;
    // Centred on the main screen's visible area; its x origin is not added.
    const Platform::Rect screen = Platform::Displays().MainScreen().frame;
    auto* window = new SplashWindow();
    window->frame = {screen.width * 0.5 - w * 0.5, (screen.y + screen.height) * 0.5 - h * 0.5, static_cast<double>(w),
                     static_cast<double>(h)};
    window->styleMask = Platform::WINDOW_STYLE_BORDERLESS;
    window->opaque = false;
    window->hidesOnDeactivate = false;
    window->ignoresMouseEvents = false;
    window->acceptsMouseMovedEvents = true;
    window->visible = true;
    return window;
}

bool CloseSplashScreenWindow(SplashWindow* window) {
    if (!window) return false;
    delete window;
    return true;
}

SplashScreen::~SplashScreen() {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    CloseLocked("void Quor::Orvane::SplashScreen::DestroyWindow()");
}

void SplashScreen::StartWindow() {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    if (m_Window) return;
    m_Window = CreateSplashScreenWindow();
    if (!m_Window) QUOR_LOG(Log::ERROR, "SplashScreen window creation failed");
}

HRESULT SplashScreen::CreateSplashWindow() {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    CloseLocked(__PRETTY_FUNCTION__);
    m_Window = CreateSplashScreenWindow();
    return m_Window ? S_OK : E_FAIL;
}

void SplashScreen::DestroyWindow() {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    CloseLocked(__PRETTY_FUNCTION__);
}

bool SplashScreen::IsShown() const {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    return m_Window != nullptr;
}

void SplashScreen::CloseLocked(const char* tag) {
    if (!m_Window) return;
    if (!CloseSplashScreenWindow(m_Window)) Log::Internal::LogGetLastError(tag);
    m_Window = nullptr;
}

Platform::Rect SplashScreen::Frame() const {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    return m_Window ? m_Window->frame : Platform::Rect{};
}

std::shared_ptr<SplashScreen>& GetSplashScreen() {
    static std::shared_ptr<SplashScreen> splash = std::make_shared<SplashScreen>();
    return splash;
}

}  // namespace Quor::Orvane
