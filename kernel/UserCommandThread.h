#pragma once
// Quor::Orvane::UserCommandThread: runs the kernel's command-line command on a thread of its own,
// as a client of the kernel (Quor::API::CreateMain and the Blocking calls), so that a command
// typed on the command line takes the same road as a request from any other program.
//
// The constructor copies the words and starts the thread (hr tells whether it started); the
// destructor waits for the thread to end, without a limit, and never abandons it. The command's
// own result is logged, and GetResult gives it once the thread has been joined.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Thread.h"
#include "foundation/Types.h"
#include "foundation/api/IMain.h"

namespace Quor::Orvane {

class UserCommandThread {
public:
    UserCommandThread(const std::vector<std::string>& args, const DWORD options, HRESULT& hr);
    ~UserCommandThread();
    UserCommandThread(const UserCommandThread&) = delete;
    UserCommandThread& operator=(const UserCommandThread&) = delete;

    const std::shared_ptr<Vorn::Thread>& GetThread() const { return m_Thread; }
    HRESULT GetResult() const { return m_Result.load(); }

private:
    static Vorn::uint32 ThreadEntry(void* self);
    Vorn::uint32 ThreadProc();
    HRESULT RunCommand();
    HRESULT UpdateAndRunProject();
    HRESULT UpdateAndRunSolution();
    // After an update: runs the last of the installed releases (listed: the listing's result).
    HRESULT RunNewest(HRESULT listed, const std::vector<DWORD>& versions, const char* listFailed,
                      const char* noRelease, const std::string& name, const std::string& executable,
                      const std::string& commandLine);
    HRESULT RunAndWait(const std::string& name, DWORD version, const std::string& executable,
                       const std::string& commandLine);

    std::shared_ptr<Quor::API::IMain> m_Main;
    std::shared_ptr<Vorn::Thread> m_Thread;
    std::vector<std::string> m_Args;
    std::atomic<HRESULT> m_Result{S_OK};
};

}  // namespace Quor::Orvane
