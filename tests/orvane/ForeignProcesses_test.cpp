// Processes that only share a name with the kernel or the game launcher: another user's, another
// root's and another instance's "Orvane" and "KivLauncher" are neither counted as kernels nor
// ended; the launcher of the kernel's own user, root and instance still is. Needs root (the
// other user is played by "nobody" through setpriv).
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "tests/orvane/OrvaneTest.h"

extern char** environ;

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;

// A copy of /bin/sleep at program (folders made 0755), run for ten minutes as this user or, with
// asNobody, as "nobody"; with instance set, with ORVANE_INSTANCE set to it. Killed and reaped when
// the object dies.
class Sleeper {
public:
    Sleeper(const std::string& program, bool asNobody, const std::string& instance = "") : m_program(program) {
        fs::create_directories(fs::path(program).parent_path());
        fs::copy_file("/bin/sleep", program, fs::copy_options::overwrite_existing);
        ::chmod(program.c_str(), 0755);
        std::vector<std::string> words;
        if (asNobody)
            words = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", program, "600"};
        else
            words = {program, "600"};
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        std::vector<std::string> variables;
        for (char** entry = environ; *entry; ++entry)
            if (instance.empty() || std::string(*entry).rfind("ORVANE_INSTANCE=", 0) != 0) variables.push_back(*entry);
        if (!instance.empty()) variables.push_back("ORVANE_INSTANCE=" + instance);
        std::vector<char*> envp;
        for (std::string& variable : variables) envp.push_back(variable.data());
        envp.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
    }
    ~Sleeper() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Sleeper(const Sleeper&) = delete;
    Sleeper& operator=(const Sleeper&) = delete;

    // Waits until the process runs its program (setpriv has made its exec).
    bool WaitRunning() const {
        const std::string link = "/proc/" + std::to_string(m_pid) + "/exe";
        for (int i = 0; i < 5000 && m_pid > 0; ++i) {
            std::error_code error;
            if (fs::read_symlink(link, error) == m_program) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    // The signal that ended it, 0 while it runs.
    int EndedBy() {
        int status = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &status, WNOHANG) != m_pid) return 0;
        m_pid = -1;
        return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
    }
    const std::string& program() const { return m_program; }

private:
    std::string m_program;
    pid_t m_pid = -1;
};

TEST_F(OrvaneTest, ProcessesOfAnotherUserRootOrInstanceAreNeitherCountedNorEnded) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: the other user's processes are started through setpriv";
    ServeNothing();
    // Folders "nobody" can enter, inside the kernel's own root: only the user tells them apart.
    for (const std::string& folder : {root->base(), root->root(), root->root() + "/projects"})
        ::chmod(folder.c_str(), 0755);
    const std::string foreign = root->root() + "/projects/foreign";
    const QuorTest::TempDir otherRoot{"otherroot"};
    const std::string other = otherRoot.path() + "/QUOR/system";

    std::vector<std::unique_ptr<Sleeper>> untouched;
    untouched.push_back(std::make_unique<Sleeper>(foreign + "/a/Orvane", true));
    untouched.push_back(std::make_unique<Sleeper>(foreign + "/b/Orvane", true));
    untouched.push_back(std::make_unique<Sleeper>(foreign + "/KivLauncher", true));
    untouched.push_back(std::make_unique<Sleeper>(other + "/Orvane.app/Contents/MacOS/Orvane", false));
    untouched.push_back(std::make_unique<Sleeper>(other + "/KivLauncher", false));
    untouched.push_back(std::make_unique<Sleeper>(root->system() + "/instance/Orvane", false, "_another_instance"));
    untouched.push_back(std::make_unique<Sleeper>(root->system() + "/instance/KivLauncher", false, "_another_instance"));
    Sleeper ownLauncher(root->root() + "/projects/kiv_launcher/KivLauncher", false);
    for (const auto& sleeper : untouched) ASSERT_TRUE(sleeper->WaitRunning()) << sleeper->program();
    ASSERT_TRUE(ownLauncher.WaitRunning());

    std::string errors;
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "noop"}, {}, &errors)) << errors;
    const std::string log = Log();
    EXPECT_FALSE(Has(log, "An instance is waiting to run")) << log;
    EXPECT_FALSE(Has(log, "An instance is running")) << log;
    EXPECT_TRUE(Has(log, "Command Line: [noop]")) << log;  // it went on to its command
    for (const auto& sleeper : untouched) EXPECT_EQ(sleeper->EndedBy(), 0) << sleeper->program() << " was ended";
    // The launcher of the kernel's own user, root and instance is still ended at start.
    int launcherSignal = 0;
    for (int i = 0; i < 5000 && (launcherSignal = ownLauncher.EndedBy()) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(launcherSignal, SIGKILL);
}

}  // namespace
}  // namespace OrvaneTest
