#pragma once
// A recording shell for tests: every call is recorded in order as a short text ("MessageBox:<text>",
// "Hide", "Begin", "Set:<fraction>", "End", "Pump"); message boxes answer with the answer policy.
// Install it with SetShellForTests. Calls may come from any thread.
#include <mutex>
#include <string>
#include <vector>

#include "platform/AnswerPolicy.h"
#include "platform/ShellServices.h"

namespace Quor::Platform {

class FakeShell : public IShell {
public:
    unsigned MessageBox(const char* text, const char*, unsigned) override {
        Record(std::string("MessageBox:") + (text ? text : ""));
        return NextAnswer();
    }
    void HideMainWindow() override { Record("Hide"); }
    void DockTileProgressBegin() override { Record("Begin"); }
    void DockTileProgressSet(float fraction) override {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Calls.push_back("Set:" + std::to_string(fraction));
        m_Fractions.push_back(fraction);
    }
    void DockTileProgressEnd() override { Record("End"); }
    int PumpEvents(MessageTranslator) override {
        Record("Pump");
        return 1;
    }

    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Calls;
    }
    std::vector<float> Fractions() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Fractions;
    }

private:
    void Record(const std::string& call) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Calls.push_back(call);
    }

    mutable std::mutex m_Mutex;
    std::vector<std::string> m_Calls;
    std::vector<float> m_Fractions;
};

}  // namespace Quor::Platform
