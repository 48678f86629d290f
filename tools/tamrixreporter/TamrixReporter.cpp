// TamrixReporter: sends a crash report to the collector named in TamrixReporter.cfg beside it.
//   TamrixReporter --c database --a appName --v version --f report [--d description]
//                  [--x file]... [--q] [--r]
// Posts one JSON document (the settings, the report and every additional file with its content)
// to "/messages". Files are read as regular files of at most 4 MiB; one that cannot be read is
// sent with an empty content and "readable" "false". Exit status 0 when the collector took it,
// 1 when it did not, 2 for a bad command line or missing settings.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/tamrixreporter/ReporterSettings.h"
#include "common/JsonText.h"
#include "platform/ExecutablePath.h"
#include "platform/SmallFile.h"
#include "remote/HTTPConnection.h"

namespace {

using Quor::Common::JsonString;

constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;

struct Request {
    std::string database, appName, version, report, description;
    std::vector<std::string> files;
    bool quiet = false, suppressReply = false;
};

bool ParseArguments(int argc, char** argv, Request& request) {
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--q") { request.quiet = true; continue; }
        if (option == "--r") { request.suppressReply = true; continue; }
        if (i + 1 >= argc) return false;
        std::string value = argv[++i];
        if (option == "--c") request.database = value;
        else if (option == "--a") request.appName = value;
        else if (option == "--v") request.version = value;
        else if (option == "--f") request.report = value;
        else if (option == "--d") request.description = value;
        else if (option == "--x") request.files.push_back(value);
        else return false;
    }
    return !request.report.empty();
}

std::string FileObject(const std::string& path) {
    std::string content;
    bool readable = Quor::Platform::ReadSmallRegularFile(path, kMaxFileBytes, content);
    if (!readable) content.clear();
    return "{\"path\":" + JsonString(path) + ",\"readable\":" + JsonString(readable ? "true" : "false") +
           ",\"content\":" + JsonString(content) + "}";
}

std::string Document(const Request& request) {
    std::string files;
    for (const std::string& file : request.files) files += (files.empty() ? "" : ",") + FileObject(file);
    return "{\"database\":" + JsonString(request.database) + ",\"appName\":" + JsonString(request.appName) +
           ",\"version\":" + JsonString(request.version) + ",\"description\":" + JsonString(request.description) +
           ",\"quietMode\":" + JsonString(request.quiet ? "true" : "false") +
           ",\"suppressReply\":" + JsonString(request.suppressReply ? "true" : "false") +
           ",\"report\":" + FileObject(request.report) + ",\"additionalFiles\":[" + files + "]}";
}

}  // namespace

int main(int argc, char** argv) {
    Request request;
    if (!ParseArguments(argc, argv, request)) {
        fprintf(stderr, "TamrixReporter: usage: --c db --a app --v version --f report [--d text] [--x file]... [--q] [--r]\n");
        return 2;
    }
    char self[4096];
    if (!Quor::Platform::GetExecutablePath(self, sizeof self)) return 2;
    std::string settingsPath = std::string(self).substr(0, std::string(self).rfind('/')) + "/TamrixReporter.cfg";
    TamrixReporter::ReporterSettings settings;
    if (!TamrixReporter::LoadReporterSettings(settingsPath, settings)) {
        fprintf(stderr, "TamrixReporter: no collector in %s\n", settingsPath.c_str());
        return 2;
    }
    HRESULT result = S_OK;
    Quor::Common::HTTPConnection connection(result, settings.host, settings.port, 30, false, nullptr);
    if (SUCCEEDED(result)) result = connection.Connect();
    std::string response;
    long status = 0;
    if (SUCCEEDED(result)) result = connection.Post("/messages", Document(request), response, &status);
    if (FAILED(result)) {
        fprintf(stderr, "TamrixReporter: posting %s to %s:%u failed (0x%08X, status %ld)\n", request.report.c_str(),
                settings.host.c_str(), settings.port, static_cast<unsigned>(result), status);
        return 1;
    }
    return 0;
}
