#include "platform/HidParameters.h"

#include <atomic>

namespace Quor::Platform {

namespace {

class HeadlessHidParameters : public IHidParameters {
public:
    bool Open() override { return false; }
    void Close() override {}
    bool Get(const char*, uint32_t&) override { return false; }
    void Set(const char*, uint32_t) override {}
};

HeadlessHidParameters g_system;
std::atomic<IHidParameters*> g_installed{nullptr};

}  // namespace

IHidParameters& HidParameters() {
    IHidParameters* installed = g_installed.load();
    return installed ? *installed : g_system;
}

void SetHidParametersForTests(IHidParameters* parameters) { g_installed.store(parameters); }

}  // namespace Quor::Platform
