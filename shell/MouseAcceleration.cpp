#include "shell/MouseAcceleration.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/Log.h"
#include "common/RegularFile.h"
#include "foundation/UniqueFd.h"
#include "platform/HidParameters.h"

namespace Quor::Shell {

namespace {

constexpr const char* ACCELERATION = "HIDMouseAcceleration";

bool SavedValuePath(std::string& path) {
    const char* home = getenv("HOME");
    if (!home || !*home) return false;
    path = std::string(home) + "/.kivrecordedvals";
    return true;
}

// The 4 saved bytes; false when the file cannot be opened or holds fewer.
bool ReadSavedValue(const std::string& path, uint32_t& value) {
    Vorn::UniqueFd fd = Common::OpenRegularFile(path);
    if (!fd.IsValid()) return false;
    unsigned char bytes[sizeof value];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = read(fd.Get(), bytes + got, sizeof bytes - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    if (got != sizeof bytes) return false;
    memcpy(&value, bytes, sizeof value);
    return true;
}

void WriteSavedValue(const std::string& path, uint32_t value) {
    Vorn::UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.IsValid() || write(fd.Get(), &value, sizeof value) != static_cast<ssize_t>(sizeof value)) {
        QUOR_LOG(Log::ERROR, "The acceleration could not be saved in %s: %s", path.c_str(), strerror(errno));
        if (fd.IsValid()) unlink(path.c_str());
    }
}

void RestoreAtExit() { RestoreMouseAcceleration(); }

}  // namespace

void RestoreMouseAcceleration() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    std::string path;
    if (!SavedValuePath(path)) return;
    Platform::IHidParameters& hid = Platform::HidParameters();
    if (!hid.Open()) return;
    uint32_t current = 0;
    if (hid.Get(ACCELERATION, current) && current == DISABLED_MOUSE_ACCELERATION) {
        uint32_t saved = 0;
        if (ReadSavedValue(path, saved))
            hid.Set(ACCELERATION, saved);
        else
            QUOR_LOG(Log::WARNING, "No saved acceleration in %s", path.c_str());
    }
    unlink(path.c_str());
    hid.Close();
}

void SaveAndDisableMouseAcceleration() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    std::string path;
    if (!SavedValuePath(path)) return;
    Platform::IHidParameters& hid = Platform::HidParameters();
    if (hid.Open()) {
        if (!Common::OpenRegularFile(path).IsValid()) {
            uint32_t current = 0;
            if (hid.Get(ACCELERATION, current)) WriteSavedValue(path, current);
        }
        hid.Set(ACCELERATION, DISABLED_MOUSE_ACCELERATION);
        hid.Close();
    }
    static const bool registered = atexit(RestoreAtExit) == 0;
    (void)registered;
}

}  // namespace Quor::Shell
