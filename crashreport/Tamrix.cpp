#include "crashreport/Tamrix.h"

#include <execinfo.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "crashreport/BundlePaths.h"
#include "crashreport/CrashPlan.h"
#include "crashreport/TamrixSignalHandler.h"

extern char** environ;

namespace Tamrix {

Tamrix::Tamrix(const std::string& database, const std::string& appName, const std::string& version)
    : m_database(database), m_appName(appName), m_version(version) {
    publish();
    InstallTamrixSignalHandlers();
    fprintf(stderr, "TamrixFramework: initWithDatabase: signal handlers are installed\n");
    tamrixhandler.store(this);
}

Tamrix::~Tamrix() {
    // The published plan outlives the object, so a later crash is still reported.
    const Tamrix* self = this;
    tamrixhandler.compare_exchange_strong(self, nullptr);
}

void Tamrix::setDescription(const std::string& text) {
    m_description = text;
    publish();
}

void Tamrix::setQuietMode(bool value) {
    m_quietMode = value;
    publish();
}

void Tamrix::setSuppressReply(bool value) {
    m_suppressReply = value;
    publish();
}

void Tamrix::addAdditionalFile(const std::string& path) {
    m_additionalFiles.push_back(path);
    publish();
}

std::string Tamrix::getCrashReport() const {
    return CrashReportFolder() + ExecutableName() + ".crash.log";
}

std::string Tamrix::senderPath() const {
    return SenderPathInBundle(MainBundlePath());
}

std::vector<std::string> Tamrix::senderArguments(const std::string& reportPath) const {
    std::vector<std::string> arguments = {"--c", m_database, "--a", m_appName, "--v", m_version, "--f", reportPath};
    if (!m_description.empty()) {
        arguments.push_back("--d");
        arguments.push_back(m_description);
    }
    for (const std::string& file : m_additionalFiles) {
        arguments.push_back("--x");
        arguments.push_back(file);
    }
    if (m_quietMode) arguments.push_back("--q");
    if (m_suppressReply) arguments.push_back("--r");
    return arguments;
}

void Tamrix::publish() const {
    auto plan = std::make_unique<CrashPlan>();
    plan->reportPath = getCrashReport();
    plan->senderPath = senderPath();
    plan->executableName = ExecutableName();
    plan->arguments = senderArguments(plan->reportPath);
    PublishCrashPlan(std::move(plan));
}

bool Tamrix::sendCrashReport(const std::string& reportPath) const {
    std::string sender = senderPath();
    if (access(sender.c_str(), F_OK) != 0)
        fprintf(stderr, "TamrixFramework: sendCrashReport: TamrixReporter not found: %s\n", sender.c_str());
    std::vector<std::string> arguments = senderArguments(reportPath);
    std::vector<char*> argv{sender.data()};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    bool running = posix_spawn(&pid, sender.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
    fprintf(stderr, running ? "TamrixFramework: sendCrashReport: TamrixReporter is running\n"
                            : "TamrixFramework: sendCrashReport: TamrixReporter failed to launch\n");
    if (running) {
        // Not waited for by the caller, but reaped when it ends.
        std::thread([pid] {
            int status = 0;
            waitpid(pid, &status, 0);
        }).detach();
    }
    return running;
}

std::string Tamrix::getStackTrace() {
    void* frames[128];
    int count = backtrace(frames, 128);
    std::unique_ptr<char*, decltype(&free)> symbols(backtrace_symbols(frames, count), &free);
    if (!symbols) return "No stack trace available.";
    std::string trace;
    for (int i = 0; i < count; ++i) trace += std::string(symbols.get()[i]) + "\n";
    return trace;
}

bool Tamrix::shouldHandleException(unsigned mask) const {
    if (mask == kUncaughtSystemExceptionMask) sendCrashReport(getCrashReport());
    return false;
}

Tamrix* CreateSampleTamrix() {
    return new Tamrix("SampleDatabase", "SampleApplication", "1.0");
}

}  // namespace Tamrix
