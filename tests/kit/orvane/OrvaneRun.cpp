#include "tests/kit/orvane/OrvaneRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "tests/kit/orvane/OrvaneRoot.h"

extern char** environ;

namespace QuorTest {

namespace {

// Calls visit(pid, executable path) for every process whose executable can be read.
template <typename Visit>
void ForEachProcess(Visit visit) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code linkError;
        std::string exe = std::filesystem::read_symlink(entry.path() / "exe", linkError).string();
        if (linkError) continue;
        const std::string deleted = " (deleted)";
        if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            exe.erase(exe.size() - deleted.size());
        visit(static_cast<pid_t>(std::stol(pid)), exe);
    }
}

// Calls visit(pid) for every process whose executable lies below folder; how many there were.
template <typename Visit>
unsigned VisitBelow(const std::string& folder, Visit visit) {
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    unsigned count = 0;
    ForEachProcess([&](pid_t pid, const std::string& exe) {
        if (exe.compare(0, prefix.size(), prefix) != 0) return;
        visit(pid);
        ++count;
    });
    return count;
}

unsigned CountByName(const std::string& name) {
    unsigned count = 0;
    ForEachProcess([&](pid_t, const std::string& exe) {
        if (std::filesystem::path(exe).filename() == name) ++count;
    });
    return count;
}

}  // namespace

OrvaneRun::OrvaneRun(const OrvaneRoot& root, const std::vector<std::string>& arguments, const Environment& extra) {
    Start(root.kernel(), root.system(), arguments, extra);
}

OrvaneRun::OrvaneRun(const std::string& program, const std::string& folder, const std::vector<std::string>& arguments,
                     const Environment& extra) {
    Start(program, folder, arguments, extra);
}

void OrvaneRun::Start(const std::string& program, const std::string& folder,
                      const std::vector<std::string>& arguments, const Environment& extra) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    variables["vorn_launched"] = "true";
    variables["ORVANE_ANSWERS"] = "1,1,1,1,1,1,1,1";
    for (const auto& [key, value] : extra) variables[key] = value;
    std::vector<std::string> envText;
    for (const auto& [key, value] : variables) envText.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& text : envText) envp.push_back(text.data());
    envp.push_back(nullptr);

    std::vector<std::string> argvText{program};
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argvText) argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (m_output / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (m_output / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
        m_pid = -1;
        ADD_FAILURE() << "cannot start " << program;
    }
    posix_spawn_file_actions_destroy(&actions);
}

OrvaneRun::~OrvaneRun() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool OrvaneRun::Running() {
    if (m_pid <= 0) return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return true;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_pid = -1;
    return false;
}

int OrvaneRun::Wait(int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (Running()) {
        if (std::chrono::steady_clock::now() > end) {
            ADD_FAILURE() << "the kernel did not end within " << seconds << " s; stderr:\n" << Stderr();
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_status;
}

std::string OrvaneRun::Stdout() const {
    std::ifstream in(m_output / "stdout");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string OrvaneRun::Stderr() const {
    std::ifstream in(m_output / "stderr");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int RunOrvane(const OrvaneRoot& root, const std::vector<std::string>& arguments, const OrvaneRun::Environment& extra,
              std::string* stderrText) {
    OrvaneRun run(root, arguments, extra);
    const int status = run.Wait();
    if (stderrText) *stderrText = run.Stderr();
    return status;
}

bool WaitForNoProcess(const std::string& name, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (CountByName(name) > 0) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

unsigned KillProcessesBelow(const std::string& folder) {
    return VisitBelow(folder, [](pid_t pid) { ::kill(pid, SIGKILL); });
}

bool WaitForNoProcessBelow(const std::string& folder, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (VisitBelow(folder, [](pid_t) {}) > 0) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace QuorTest
