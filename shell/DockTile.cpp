#include "shell/DockTile.h"

#include <memory>
#include <mutex>

#include "platform/HeadlessShell.h"
#include "platform/WindowModel.h"
#include "shell/Application.h"

namespace Quor::Shell {

namespace {

struct DockTileState {
    std::mutex mutex;
    std::unique_ptr<Platform::Window> window;  // the tile's window; null while no bar is shown
    double value = 0;
    int savedPolicy = ACTIVATION_POLICY_REGULAR;
    Platform::HeadlessShell bar;  // draws on standard error
};

DockTileState& Tile() {
    static DockTileState state;
    return state;
}

void SetLocked(DockTileState& tile, float fraction) {
    tile.value = fraction;
    tile.bar.DockTileProgressSet(fraction);
}

}  // namespace

void DockTileProgressBegin() {
    DockTileState& tile = Tile();
    std::lock_guard<std::mutex> lock(tile.mutex);
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
    std::lock_guard<std::mutex> lock(tile.mutex);
    if (tile.window) SetLocked(tile, fraction);
}

void DockTileProgressEnd() {
    DockTileState& tile = Tile();
    std::lock_guard<std::mutex> lock(tile.mutex);
    if (!tile.window) return;
    App().SetActivationPolicy(tile.savedPolicy);
    tile.window.reset();
    tile.value = 0;
    tile.bar.DockTileProgressEnd();
}

bool IsDockTileProgressShown() {
    std::lock_guard<std::mutex> lock(Tile().mutex);
    return Tile().window != nullptr;
}

double DockTileProgressValue() {
    std::lock_guard<std::mutex> lock(Tile().mutex);
    return Tile().value;
}

}  // namespace Quor::Shell
