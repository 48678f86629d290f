#include "crashreport/CrashPlan.h"

#include <atomic>

namespace Tamrix {
namespace {
std::atomic<const CrashPlan*> g_current{nullptr};
}

void PublishCrashPlan(std::unique_ptr<CrashPlan> plan) {
    plan->argv.clear();
    plan->argv.push_back(plan->senderPath.data());
    for (std::string& argument : plan->arguments) plan->argv.push_back(argument.data());
    plan->argv.push_back(nullptr);
    CrashPlan* raw = plan.release();
    // Older plans stay reachable through the chain: a handler may still be reading one.
    raw->previous = g_current.load(std::memory_order_acquire);
    while (!g_current.compare_exchange_weak(raw->previous, raw, std::memory_order_acq_rel)) {
    }
}

const CrashPlan* CurrentCrashPlan() {
    return g_current.load(std::memory_order_acquire);
}

}  // namespace Tamrix
