#pragma once
// Tamrix: registers the process for crash reports and describes the report the sender receives.
//
// Creating an object installs the fatal-signal handlers (SIGILL, SIGTRAP, SIGFPE, SIGBUS, SIGSEGV,
// SIGSYS, SIGXCPU, SIGXFSZ; SIGABRT and SIGPIPE are ignored) and makes it `tamrixhandler`, the
// object whose report a caught signal sends. Registration is process-wide and permanent.
// Every setter republishes the sender's prepared argument list, so the signal handler never
// builds anything. The object is used by one thread at a time; the handler may run on any thread.
#include <string>
#include <vector>

namespace Tamrix {

class Tamrix {
public:
    Tamrix(const std::string& database, const std::string& appName, const std::string& version);
    ~Tamrix();
    Tamrix(const Tamrix&) = delete;
    Tamrix& operator=(const Tamrix&) = delete;

    const std::string& database() const { return m_database; }
    const std::string& appName() const { return m_appName; }
    const std::string& version() const { return m_version; }
    const std::string& description() const { return m_description; }
    void setDescription(const std::string& text);
    bool terminateApplication() const { return m_terminateApplication; }
    void setTerminateApplication(bool value) { m_terminateApplication = value; }
    bool quietMode() const { return m_quietMode; }
    void setQuietMode(bool value);
    bool suppressReply() const { return m_suppressReply; }
    void setSuppressReply(bool value);
    void addAdditionalFile(const std::string& path);
    std::vector<std::string> additionalFiles() const { return m_additionalFiles; }

    // The report of this process: {HOME}/Library/Logs/CrashReporter/{executable}.crash.log.
    std::string getCrashReport() const;
    // The sender program inside this program's bundle (see BundlePaths.h).
    std::string senderPath() const;
    // The sender's arguments for a report at reportPath, in the order the sender expects.
    std::vector<std::string> senderArguments(const std::string& reportPath) const;
    // Starts the sender for reportPath without waiting for it; false when it could not start.
    bool sendCrashReport(const std::string& reportPath) const;
    // This thread's stack as symbol lines, for a host that wants to log it.
    static std::string getStackTrace();

    // Mask bits as the exception delegate receives them; 8 is an uncaught system exception.
    static constexpr unsigned kUncaughtSystemExceptionMask = 8;
    // Sends a report for an uncaught system exception (mask exactly 8); always answers false.
    bool shouldHandleException(unsigned mask) const;
    bool shouldLogException(unsigned) const { return true; }

    // "DialogType" of the crash reporter's preferences in {HOME}/Library/Preferences.
    static std::string crashReporterDialogType();
    static bool setCrashReporterDialogType(const std::string& value);

private:
    void publish() const;

    std::string m_database;
    std::string m_appName;
    std::string m_version;
    std::string m_description;
    bool m_terminateApplication = true;
    bool m_quietMode = false;
    bool m_suppressReply = false;
    std::vector<std::string> m_additionalFiles;
};

// A Tamrix with the sample database and application names and version "1.0".
Tamrix* CreateSampleTamrix();

}  // namespace Tamrix
