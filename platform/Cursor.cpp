#include "platform/Cursor.h"

#include <atomic>

namespace Quor::Platform {

namespace {

ModelCursor g_system;
std::atomic<ICursor*> g_installed{nullptr};

}  // namespace

ICursor& Cursor() {
    ICursor* installed = g_installed.load();
    return installed ? *installed : g_system;
}

void SetCursorForTests(ICursor* cursor) { g_installed.store(cursor); }

}  // namespace Quor::Platform
