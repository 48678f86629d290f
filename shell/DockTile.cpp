#include "shell/DockTile.h"

#include <memory>

#include "foundation/AnnotatedMutex.h"
#include "platform/HeadlessShell.h"
#include "platform/WindowModel.h"
#include "shell/Application.h"

namespace Quor::Shell {

namespace {

struct DockTileState {
    Vorn::AnnotatedMutex mutex;
    std::unique_ptr<Platform::Window> window GUARDED_BY(mutex);  // the tile's window; null while no bar is shown
    double value GUARDED_BY(mutex) = 0;
    int savedPolicy GUARDED_BY(mutex) = ACTIVATION_POLICY_REGULAR;
    Platform::HeadlessShell bar GUARDED_BY(mutex);  // draws on standard error
};

DockTileState& Tile() {
    static DockTileState state;
    return state;
}

void SetLocked(DockTileState& tile, float fraction) REQUIRES(tile.mutex) {
    tile.value = fraction;
    tile.bar.DockTileProgressSet(fraction);
}

}  // namespace

void DockTileProgressBegin() {
    DockTileState& tile = Tile();
    Vorn::AnnotatedLockGuard lock(tile.mutex);
    if (tile.window) return;
    tile.savedPolicy = App().ActivationPolicy();
    App().SetActivationPolicy(ACTIVATION_POLICY_REGULAR);
    tile.window = std::make_unique<Platform::Window>();
    tile.window->frame = {0, 0, DOCK_TILE_WIDTH, DOCK_TILE_BAR_HEIGHT};
    tile.window->visible = true;
    tile.bar.DockTileProgressBegin();
    SetLocked(tile, 0.0f);
}

void DockTileProgressSet(float fraction) {
    DockTileState& tile = Tile();
    Vorn::AnnotatedLockGuard lock(tile.mutex);
    if (tile.window) SetLocked(tile, fraction);
}

void DockTileProgressEnd() {
    DockTileState& tile = Tile();
    Vorn::AnnotatedLockGuard lock(tile.mutex);
    if (!tile.window) return;
    App().SetActivationPolicy(tile.savedPolicy);
    tile.window.reset();
    tile.value = 0;
    tile.bar.DockTileProgressEnd();
}

bool IsDockTileProgressShown() {
    DockTileState& tile = Tile();
    Vorn::AnnotatedLockGuard lock(tile.mutex);
    return tile.window != nullptr;
}

double DockTileProgressValue() {
    DockTileState& tile = Tile();
    Vorn::AnnotatedLockGuard lock(tile.mutex);
    return tile.value;
}

}  // namespace Quor::Shell
