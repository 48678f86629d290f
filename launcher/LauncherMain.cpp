#include "launcher/LauncherMain.h"

#include <cstdio>
#include <cstring>

#include "foundation/CStd/CStdFormat.h"
#include "foundation/CStd/CStdStrings.h"
#include "remote/process/Process.h"

namespace Launcher {
namespace {

constexpr size_t kBaseSize = 1024;
constexpr const char* kKernelInBase = "QUOR/system/Orvane.app/Contents/MacOS/Orvane";

bool UseModuleFolder(int argc, const char* const* argv) {
    return argc < 3 || Vorn::std_stricmp(argv[1], "-path") != 0 || strlen(argv[2]) >= kBaseSize;
}

}  // namespace

int LauncherMain(int argc, const char* const* argv) {
    char base[kBaseSize] = "";
    if (UseModuleFolder(argc, argv)) {
        if (!Vorn::processGetModuleDirectory(sizeof base, base)) base[0] = '\0';
    } else {
        strcpy(base, argv[2]);  // shorter than kBaseSize, checked above
    }
    size_t length = strlen(base);
    if (length > 0 && base[length - 1] == '/') base[length - 1] = '\0';

    char kernel[kBaseSize + 64];
    char folder[kBaseSize + 64];
    Vorn::std_snprintf(kernel, sizeof kernel, "%s/%s", base, kKernelInBase);
    Vorn::std_snprintf(folder, sizeof folder, "%s/QUOR/system", base);
    const char* const arguments[] = {"updateandrun", "kiv_launcher", "KivLauncher.app"};
    if (!Vorn::processCreate(kernel, folder, 3, arguments, nullptr)) {
        fprintf(stderr, "OrvaneLauncher: cannot start %s in %s\n", kernel, folder);
        return 255;
    }
    return 0;
}

}  // namespace Launcher
