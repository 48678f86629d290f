#include "kernel/SplashScreen.h"

#include "common/Log.h"

namespace Quor::Orvane {

SplashWindow* CreateSplashScreenWindow() { return new SplashWindow(); }

bool CloseSplashScreenWindow(SplashWindow* window) {
    if (!window) return false;
    delete window;
    return true;
}

SplashScreen::~SplashScreen() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    CloseLocked("void Quor::Orvane::SplashScreen::DestroyWindow()");
}

void SplashScreen::StartWindow() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Window) return;
    m_Window = CreateSplashScreenWindow();
    if (!m_Window) QUOR_LOG(Log::ERROR, "SplashScreen window creation failed");
}

HRESULT SplashScreen::CreateSplashWindow() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    CloseLocked(__PRETTY_FUNCTION__);
    m_Window = CreateSplashScreenWindow();
    return m_Window ? S_OK : E_FAIL;
}

void SplashScreen::DestroyWindow() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    CloseLocked(__PRETTY_FUNCTION__);
}

bool SplashScreen::IsShown() const {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Window != nullptr;
}

void SplashScreen::CloseLocked(const char* tag) {
    if (!m_Window) return;
    if (!CloseSplashScreenWindow(m_Window)) Log::Internal::LogGetLastError(tag);
    m_Window = nullptr;
}

std::shared_ptr<SplashScreen>& GetSplashScreen() {
    static std::shared_ptr<SplashScreen> splash = std::make_shared<SplashScreen>();
    return splash;
}

}  // namespace Quor::Orvane
