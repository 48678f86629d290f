#pragma once
// Test helper: a main object that only connects — a connection manager to 127.0.0.1:`port` and a
// request manager on it — with FLAG_CONNECTED when both were made. File operations fail with
// E_NOTIMPL. The request manager is destroyed before the connection manager. Requests made
// through it must be released before it dies.
#include <memory>

#include "api/ConnectionManager.h"
#include "api/RequestManager.h"
#include "foundation/api/IMain.h"

namespace QuorTest {

class ConnectedMain final : public Quor::API::IMain {
public:
    explicit ConnectedMain(uint16_t port) {
        HRESULT hr = S_OK;
        m_Connection = std::make_unique<Quor::API::Impl::WinSock::Manager>(hr, port);
        if (FAILED(hr)) return;
        m_Manager = std::make_unique<Quor::API::Impl::RPC::Manager>(*m_Connection, hr);
        if (SUCCEEDED(hr)) m_Flags = FLAG_CONNECTED;
    }
    ~ConnectedMain() override {
        m_Manager.reset();
        m_Connection.reset();
    }

    HRESULT FindFile(const std::string&, const uint32_t,
                     std::shared_ptr<Quor::API::IFindFileResult>&) override {
        return E_NOTIMPL;
    }
    HRESULT OpenFile(const std::string&, const Quor::API::FILE_TYPE,
                     std::shared_ptr<Quor::API::IFile>&) override {
        return E_NOTIMPL;
    }
    bool DoesFileOrDirectoryExist(const std::string&) override { return false; }
    void FindBestPath(const std::string&, std::string& path) override { path.clear(); }
    std::shared_ptr<Quor::API::IAsyncLoadFile> CreateAsyncLoadFile(const std::string&) override {
        return nullptr;
    }
    Quor::API::RPC::IManager& GetRPCManager() override { return *m_Manager; }
    DWORD GetFlags() const override { return m_Flags; }

    Quor::API::Impl::RPC::Manager& Manager() { return *m_Manager; }

private:
    std::unique_ptr<Quor::API::Impl::WinSock::Manager> m_Connection;
    std::unique_ptr<Quor::API::Impl::RPC::Manager> m_Manager;
    DWORD m_Flags = 0;
};

}  // namespace QuorTest
