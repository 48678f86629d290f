#include "platform/QuitRequest.h"

namespace Quor::Platform {

namespace {

std::atomic<bool>& Flag() {
    static std::atomic<bool> raised{false};
    return raised;
}

}  // namespace

const std::atomic<bool>& QuitRequestFlag() { return Flag(); }
void RaiseQuitRequest() { Flag().store(true); }
bool QuitRequested() { return Flag().load(); }

}  // namespace Quor::Platform
