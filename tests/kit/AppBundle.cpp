#include "tests/kit/AppBundle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/kit/TempDir.h"

namespace QuorTest {

namespace fs = std::filesystem;

std::string InstallInBundle(const std::string& bundle, const std::string& program, const std::string& name,
                            const std::string& framework) {
    std::error_code ec;
    std::string target = bundle + "/Contents/MacOS/" + name;
    fs::create_directories(bundle + "/Contents/MacOS", ec);
    fs::copy_file(program, target, fs::copy_options::overwrite_existing, ec);
    if (ec) ADD_FAILURE() << "cannot copy " << program << " to " << target << ": " << ec.message();
    if (!framework.empty()) {
        std::string folder = bundle + "/Contents/Frameworks/Tamrix.framework/Versions/A";
        fs::create_directories(folder, ec);
        fs::copy_file(framework, folder + "/Tamrix", fs::copy_options::overwrite_existing, ec);
        if (ec) ADD_FAILURE() << "cannot copy " << framework << " into " << folder << ": " << ec.message();
    }
    return target;
}

void WriteScript(const std::string& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body + "\n");
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec, ec);
    if (ec) ADD_FAILURE() << "cannot make " << path << " executable: " << ec.message();
}

bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 6000; ++i) {
        if (fs::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return fs::exists(path);
}

}  // namespace QuorTest
