#pragma once
// Quor::Orvane::Application: the kernel program's application object. It owns the joined command
// line, the file-operation object and the thread pool, sets up the log ({root}/quor_orvane.log
// with nine rotated copies, level DEBUG) and runs the whole program once through Run on the main
// thread: start-up checks, self-update, the commands handled in place, the single-instance rules,
// the request server, the command on the command runner thread, and shutdown.
//
// Errors travel as HRESULTs; Run's result is the program's: the first failure of the start-up, or
// else the command's own failure, so that a failed command ends the program with 255. Self-update
// may start another copy of the kernel; Run then ends without running the command. Not
// thread-safe: one object, used by the main thread; the request server shares only the thread
// pool.
#include <memory>
#include <string>
#include <vector>

#include "common/LocalFileSystem.h"
#include "common/ThreadPool.h"
#include "foundation/Types.h"

namespace Quor::Orvane {

class Application {
public:
    // From the process's arguments (argv[0] is the program).
    Application(int argc, const char** argv);
    // From one command line that starts with the program's path (quoted or not); the root folder
    // is taken from the working folder.
    explicit Application(const std::string& commandLine);
    ~Application() = default;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    HRESULT Run();

    // The arguments after the program path, each followed by one blank.
    const std::string& GetCommandLine() const { return m_CommandLine; }

    static void PrintUsageMessage();
    // Runs the command on the command runner thread and waits for it: the result tells whether the
    // runner ran; commandResult (when given) receives the command's own result.
    static HRESULT DoUserCommand(const std::vector<std::string>& args, const DWORD options);
    static HRESULT DoUserCommand(const std::vector<std::string>& args, const DWORD options, HRESULT& commandResult);

    // Self-update of {root}/system from the content server; terminate is set when this process
    // must end without running its command (another copy of the kernel runs it).
    HRESULT SelfUpdate(bool& terminate);
    // Fetches the server's list and the files that changed into {root}/system/temp.
    HRESULT DownloadFiles(bool missingOnly, bool& terminate, bool& filesDownloaded);
    // Compares {root}/system with the staged list and rewrites the system list; nothing staged is
    // put in place (see BringSystemFolderInLine). Always 0 (failures are logged and shown).
    HRESULT VerifyFiles(bool missingOnly, bool& terminate);

private:
    // VerifyFiles' steps; files staged in {root}/system/temp are copied over {root}/system (and
    // files the staged list dropped removed) only with putStagedInPlace, which only the staged
    // kernel of an update chain sets. Without it the system folder and its list stay as they are.
    HRESULT BringSystemFolderInLine(bool missingOnly, bool& terminate, bool putStagedInPlace);
    // The program's arguments after its path, for starting another copy of the kernel.
    std::vector<std::string> Arguments() const;
    void SetLogFile() const;

    std::string m_CommandLine;
    Common::LocalFileSystem m_FileSystem;
    std::shared_ptr<Common::ThreadPool::IPool> m_Pool;
    int m_Argc = 0;
    const char** m_Argv = nullptr;
};

}  // namespace Quor::Orvane
