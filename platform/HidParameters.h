#pragma once
// The pointer device parameters of the window system (such as "HIDMouseAcceleration", a 32-bit
// fixed-point value), reached through an event status that must be opened first.
//
// The headless system has no event status: Open fails, so nothing is read or changed. Tests
// install their own with SetHidParametersForTests (null restores the system's); installing is
// for the test's own thread, before the code under test runs.
#include <cstdint>

namespace Quor::Platform {

class IHidParameters {
public:
    virtual ~IHidParameters() = default;
    virtual bool Open() = 0;
    virtual void Close() = 0;
    // Only between Open and Close; Get answers false when the parameter cannot be read.
    virtual bool Get(const char* name, uint32_t& value) = 0;
    virtual void Set(const char* name, uint32_t value) = 0;
};

IHidParameters& HidParameters();
void SetHidParametersForTests(IHidParameters* parameters);

}  // namespace Quor::Platform
