#pragma once
// Properties of the volume that holds a folder.
//
// Linux volumes carry no property that says whether names differ by case alone, so the system's
// answer is false (the answer where the property cannot be read). Tests install an answer with
// SetVolumePropertiesForTests (null restores the system's). The system's answer keeps no state;
// installing is for a test's own thread, before the code under test runs.
namespace Quor::Platform {

class IVolumeProperties {
public:
    virtual ~IVolumeProperties() = default;
    virtual bool SupportsCaseSensitiveNames(const char* folder) = 0;
};

IVolumeProperties& VolumeProperties();
void SetVolumePropertiesForTests(IVolumeProperties* properties);

}  // namespace Quor::Platform
