#pragma once
// The pointer of the window system: its location, warps, coupling to the mouse, the suppression
// interval of local events after a warp, its visibility and whether this application is active.
// Locations have a bottom-left origin (as the desktop's); Warp takes a top-left one.
//
// The headless cursor is a point that warps move and that nothing else moves; the application
// counts as active. Tests install their own with SetCursorForTests (null restores the system's);
// installing is for the test's own thread, before the code under test runs. Main thread only.
namespace Quor::Platform {

class ICursor {
public:
    virtual ~ICursor() = default;
    // Bottom-left origin; the screen height converts a top-left warp.
    virtual void Location(double& x, double& y) = 0;
    virtual void Warp(double x, double yFromTop, double screenHeight) = 0;
    virtual void AssociateWithMouse(bool associated) = 0;
    virtual void SetSuppressionInterval(double seconds) = 0;
    virtual void Hide() = 0;
    virtual void Unhide() = 0;
    virtual bool ApplicationIsActive() = 0;
};

// A cursor that only keeps its state; the headless system's, and the base of the test fake.
class ModelCursor : public ICursor {
public:
    double x = 0, y = 0;
    bool associated = true;
    double suppressionInterval = 0.25;
    bool hidden = false;
    bool active = true;

    void Location(double& outX, double& outY) override {
        outX = x;
        outY = y;
    }
    void Warp(double toX, double yFromTop, double screenHeight) override {
        x = toX;
        y = screenHeight - yFromTop;
    }
    void AssociateWithMouse(bool on) override { associated = on; }
    void SetSuppressionInterval(double seconds) override { suppressionInterval = seconds; }
    void Hide() override { hidden = true; }
    void Unhide() override { hidden = false; }
    bool ApplicationIsActive() override { return active; }
};

ICursor& Cursor();
void SetCursorForTests(ICursor* cursor);

}  // namespace Quor::Platform
