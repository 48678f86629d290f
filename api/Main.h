#pragma once
// Quor::API::Impl::Main: the client main object (made by Quor::API::CreateMain). At construction
// it decides once whether a kernel runs (its named semaphore exists and no "QUOR_DISABLED" entry
// is in the working folder) and connects to it, and reads from the working folder which installed
// release the program runs from (flags: bit 0 release determined, bit 1 connected). Its file
// operations work with or without a kernel.
//
// Threads: any thread may call it. FindFile, OpenFile, DoesFileOrDirectoryExist and
// CreateAsyncLoadFile run under one mutex (not recursive); FindBestPath, GetFlags and
// GetRPCManager take no lock. Everything it hands out (files, loads, requests) is released before
// it. Without a kernel GetRPCManager answers a manager whose requests are already complete with
// E_FAIL.
// A program that carries this file lists through it: the foundation's file iterator
// (Vorn::File::CreateFileIterator) creates one main object of its own on its first listing.
#include <memory>
#include <string>

#include "api/DisconnectedConnection.h"
#include "api/MainServices.h"
#include "api/RuntimeEnvironment.h"
#include "foundation/ThreadAnnotations.h"
#include "foundation/api/IMain.h"

namespace Quor::API::Impl {

namespace WinSock {
class Manager;
}
namespace RPC {
class Manager;
}

class Main final : public Quor::API::IMain, public MainServices {
public:
    static constexpr const char* kDisabledEntry = "QUOR_DISABLED";
    static constexpr const char* kKernelSemaphore = "QUOR_ORVANE_MUTEX_NAME";

    explicit Main(HRESULT& hr);
    ~Main() override;
    Main(const Main&) = delete;
    Main& operator=(const Main&) = delete;

    HRESULT FindFile(const std::string& pattern, const uint32_t flags,
                     std::shared_ptr<Quor::API::IFindFileResult>& result) override;
    HRESULT OpenFile(const std::string& name, const FILE_TYPE type, std::shared_ptr<Quor::API::IFile>& file) override;
    bool DoesFileOrDirectoryExist(const std::string& name) override;
    void FindBestPath(const std::string& name, std::string& path) override;
    std::shared_ptr<Quor::API::IAsyncLoadFile> CreateAsyncLoadFile(const std::string& name) override;
    Quor::API::RPC::IManager& GetRPCManager() override;
    DWORD GetFlags() const override { return m_Flags; }

    // MainServices
    const RuntimeEnvironment& GetEnvironment() const override { return *m_Environment; }
    Quor::Common::ReleaseManifestCache& GetManifestCache() override { return *m_ManifestCache; }
    Vorn::Mutex& GetMutex() override { return *m_Mutex; }
    const std::shared_ptr<Quor::Common::ThreadPool::IPool>& GetThreadPool() override { return m_ThreadPool; }

private:
    void Connect(HRESULT& hr);
    // Opens the file under the main object's mutex, which it takes itself; the caller lets a failed
    // file go after it was released.
    HRESULT OpenFileLocked(const std::string& name, const FILE_TYPE type, std::shared_ptr<Quor::API::IFile>& file)
        EXCLUDES(*m_Mutex);

    std::unique_ptr<RuntimeEnvironment> m_Environment;
    std::unique_ptr<WinSock::Manager> m_Connection;
    std::unique_ptr<RPC::Manager> m_RequestManager;
    DWORD m_Flags = 0;
    std::unique_ptr<Quor::Common::ReleaseManifestCache> m_ManifestCache;
    std::shared_ptr<Vorn::Mutex> m_Mutex;
    std::shared_ptr<Quor::Common::ThreadPool::IPool> m_ThreadPool;
    // Without a kernel: a closed transport and an inert request manager over it.
    std::unique_ptr<DisconnectedConnection> m_Offline;
    std::unique_ptr<RPC::Manager> m_OfflineManager;
};

}  // namespace Quor::API::Impl
