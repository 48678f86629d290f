#pragma once
// A model cursor that records its warps (top-left coordinates). Install it with
// SetCursorForTests; not thread-safe.
#include <utility>
#include <vector>

#include "platform/Cursor.h"

namespace Quor::Platform {

class FakeCursor : public ModelCursor {
public:
    std::vector<std::pair<double, double>> warps;
    void Warp(double toX, double yFromTop, double screenHeight) override {
        warps.emplace_back(toX, yFromTop);
        ModelCursor::Warp(toX, yFromTop, screenHeight);
    }
};

}  // namespace Quor::Platform
