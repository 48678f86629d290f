#include "tests/kit/orvane/OrvaneRoot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/kit/AppBundle.h"
#include "tests/kit/orvane/OrvaneRun.h"

namespace QuorTest {

namespace fs = std::filesystem;

namespace {

void CopyWithMode(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::create_directories(fs::path(to).parent_path(), ec);
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) ADD_FAILURE() << "cannot copy " << from << " to " << to << ": " << ec.message();
}

}  // namespace

std::string BuiltOrvane() { return QUOR_KIT_ORVANE; }
std::string BuiltMondrel() { return QUOR_KIT_MONDREL; }

SystemFileList KernelFolderFiles(uint32_t version) {
    return {{"Orvane.app/Contents/MacOS/Orvane", version},
            {"Orvane.app/Contents/Frameworks/Tamrix.framework/Versions/A/Tamrix", version},
            {"libMondrel.so", version},
            {"jdiff", version},
            {"jpatch", version}};
}

void WriteVersionList(const std::string& path, const SystemFileList& files) {
    std::string text;
    for (const SystemFile& file : files) text += file.path + "," + std::to_string(file.version) + "\n";
    WriteFile(path, text);
}

SystemFileList ReadVersionList(const std::string& path) {
    SystemFileList files;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        files.push_back({line.substr(0, comma), static_cast<uint32_t>(std::stoul(line.substr(comma + 1)))});
    }
    return files;
}

OrvaneRoot::OrvaneRoot(const std::string& downloadUrl, const std::string& downloadPath, const std::string& region,
                       uint32_t version)
    : m_files(KernelFolderFiles(version)) {
    for (const char* top : {"projects", "solutions", "system", "temp"}) MakeDirs(root() + "/" + top);
    InstallInBundle(system() + "/Orvane.app", QUOR_KIT_ORVANE, "Orvane", QUOR_KIT_TAMRIX);
    CopyWithMode(QUOR_KIT_MONDREL, system() + "/libMondrel.so");
    CopyWithMode(QUOR_KIT_ORVANE_JDIFF, system() + "/jdiff");
    CopyWithMode(QUOR_KIT_ORVANE_JPATCH, system() + "/jpatch");
    WriteVersionList(system() + "/filelist.versioninfo", m_files);
    WriteSystemConfig(downloadUrl.empty() ? "127.0.0.1:9" : downloadUrl, downloadPath, region);
}

OrvaneRoot::~OrvaneRoot() {
    // Children of the test are reaped by it; others (an update chain's later kernels) by init.
    KillProcessesBelow(base());
}

void OrvaneRoot::WriteSystemConfig(const std::string& downloadUrl, const std::string& downloadPath,
                                   const std::string& region) const {
    WriteFile(system() + "/system.cfg",
              "DownloadURL = " + downloadUrl + "\nDownloadPath = " + downloadPath + "\nRegion = " + region + "\n");
}

void PublishKernelFolder(const std::string& contentRoot, const std::string& downloadPath, const std::string& from,
                         const SystemFileList& files) {
    const std::string folder = contentRoot + downloadPath + "/system/";
    for (const SystemFile& file : files)
        if (fs::exists(from + "/" + file.path)) CopyWithMode(from + "/" + file.path, folder + file.path);
    WriteVersionList(folder + "filelist.versioninfo", files);
}

}  // namespace QuorTest
