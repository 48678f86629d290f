#pragma once
// Test double of the kernel's engine: records every operation it is asked for (name and first
// argument), answers what the test scripted, and lets a test hold a job in the middle of its work.
//
// Installed projects, installed solution releases, discovery, install, uninstall and update
// results are scripted through the public fields. UpdateProject of a project named "block..." reports
// progress once, then waits until the test releases it (answering S_OK and version 1.2.3.4) or the job's
// cancel flag is set (E_ABORT); "stubborn..." waits for the release only, whatever the flag says.
// LockFile and UnlockFile are the engine's own (real archive locks); each UnlockFile is recorded
// as "UnlockFile <handle>", which WaitCall can wait for. The test sets the fields before the
// first request. Thread-safe where the test and the job meet.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kernel/Engine.h"

namespace QuorTest {

class ScriptedEngine : public Quor::Orvane::Engine {
public:
    // Scripted answers (set before the first request).
    std::vector<DWORD> installedSolutionReleases;
    std::vector<std::string> installedProjects;
    HRESULT discoverResult = S_OK;
    Quor::Orvane::SolutionDiscovery discovery;
    int64_t discoverBytes = 0;
    HRESULT installResult = S_OK;
    std::map<DWORD, HRESULT> uninstallResults;
    HRESULT updateSolutionResult = S_OK;
    DWORD updateSolutionVersion = 0x01000000;

    // The most UpdateProject jobs that ever ran at one time.
    int MaxRunning() const { return m_MaxRunning.load(); }
    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Calls;
    }
    bool WaitStarted(const std::string& project,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Changed.wait_for(lock, timeout, [&] { return m_Started.count(project) > 0; });
    }
    // True once `call` was recorded within the time-out.
    bool WaitCall(const std::string& call, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Changed.wait_for(
            lock, timeout, [&] { return std::find(m_Calls.begin(), m_Calls.end(), call) != m_Calls.end(); });
    }
    void Release(const std::string& project) {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Released.insert(project);
        }
        m_Changed.notify_all();
    }

    HRESULT UpdateProject(const std::string& project, FileSystem&, Server&, Progress& progress,
                          DWORD& version) override {
        Record("UpdateProject " + project);
        const int running = ++m_Running;
        int most = m_MaxRunning.load();
        while (running > most && !m_MaxRunning.compare_exchange_weak(most, running)) {
        }
        progress.DeltaBytesTotal(Quor::User::WORK_TYPE_DOWNLOAD, 100);
        progress.Tick(1);
        HRESULT hr = S_OK;
        const bool stubborn = project.rfind("stubborn", 0) == 0;
        if (project.rfind("block", 0) == 0 || stubborn) {
            std::unique_lock<std::mutex> lock(m_Mutex);
            m_Started.insert(project);
            m_Changed.notify_all();
            // The cancel flag is not an event: look at it between short waits, as the engine does.
            while (!m_Released.count(project)) {
                if (!stubborn && Cancelled(progress)) {
                    m_Calls.push_back("cancelled " + project);
                    hr = E_ABORT;
                    break;
                }
                m_Changed.wait_for(lock, std::chrono::milliseconds(5));
            }
        }
        --m_Running;
        if (SUCCEEDED(hr)) version = 0x01020304;
        return hr;
    }
    HRESULT InstallProjectRelease(const std::string& project, DWORD, FileSystem&, Server&,
                                  Progress&) override {
        Record("InstallProjectRelease " + project);
        return S_OK;
    }
    HRESULT EnumerateInstalledProjects(FileSystem&, std::vector<std::string>& names) override {
        names = installedProjects;
        return S_OK;
    }
    HRESULT EnumerateInstalledSolutionReleases(const std::string& solution, FileSystem&,
                                               std::vector<DWORD>& versions) override {
        Record("EnumerateInstalledSolutionReleases " + solution);
        versions = installedSolutionReleases;
        return S_OK;
    }
    HRESULT EnumerateAvailableProjectReleases(const std::string& project, Server& server,
                                              std::vector<DWORD>& versions) override {
        Record("EnumerateAvailableProjectReleases " + project);
        return Engine::EnumerateAvailableProjectReleases(project, server, versions);
    }
    HRESULT InstallSolutionRelease(const std::string& solution, DWORD version, const std::string&,
                                   FileSystem&, Server&, Progress&, DWORD& settled) override {
        Record("InstallSolutionRelease " + solution + " " + std::to_string(version));
        settled = version;
        return installResult;
    }
    HRESULT DiscoverSolutionRelease(const std::string& solution, DWORD version, const std::string&,
                                    FileSystem&, Server&, Progress& progress,
                                    Quor::Orvane::SolutionDiscovery& found) override {
        Record("DiscoverSolutionRelease " + solution + " " + std::to_string(version));
        if (discoverBytes) progress.DeltaBytesTotal(Quor::User::WORK_TYPE_DOWNLOAD, discoverBytes);
        found = discovery;
        return discoverResult;
    }
    HRESULT UninstallSolutionRelease(const std::string& solution, DWORD version, FileSystem&,
                                     Progress&) override {
        Record("UninstallSolutionRelease " + solution + " " + std::to_string(version));
        const auto scripted = uninstallResults.find(version);
        return scripted == uninstallResults.end() ? S_OK : scripted->second;
    }
    HRESULT UpdateSolution(const std::string& solution, const std::string&, FileSystem&, Server&, Progress&,
                           DWORD& version) override {
        Record("UpdateSolution " + solution);
        if (SUCCEEDED(updateSolutionResult)) version = updateSolutionVersion;
        return updateSolutionResult;
    }
    HRESULT UnlockFile(DWORD handle) override {
        const HRESULT hr = Engine::UnlockFile(handle);
        Record("UnlockFile " + std::to_string(handle));
        return hr;
    }
    HRESULT Repair(FileSystem&, Server&, Progress&) override {
        Record("Repair");
        return S_OK;
    }

private:
    static bool Cancelled(Progress& progress) {
        const signed char* flag = progress.GetCancelFlag();
        return flag && __atomic_load_n(flag, __ATOMIC_ACQUIRE) != 0;
    }
    void Record(const std::string& call) {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Calls.push_back(call);
        }
        m_Changed.notify_all();
    }

    mutable std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::vector<std::string> m_Calls;
    std::set<std::string> m_Started;
    std::set<std::string> m_Released;
    std::atomic<int> m_Running{0};
    std::atomic<int> m_MaxRunning{0};
};

}  // namespace QuorTest
