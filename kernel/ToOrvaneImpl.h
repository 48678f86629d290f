#pragma once
// Quor::Orvane::ToOrvaneImpl: the kernel's request handlers. Each request sets up what its
// operation needs (the content server connection from "DownloadURL", progress forwarded to the
// client as RequestProgress with the request's id, the cancel flag), calls the engine and sends
// exactly one answer on the client's connection (Cancel: none).
//
// Names from clients are checked before any use: a project or solution must be one plain folder
// name, a path or executable a relative name that cannot leave its folder; a bad one is answered
// E_FAIL with empty results and the engine is not called. Failures to reach the content server
// are answered with the connection's code and empty results.
// Threads: one request at a time, on the request server's job thread; SetCancel comes from the
// request server's thread (the flag is atomic), ConnectionEnded from there while no job runs.
// State kept across requests: the release manifest cache (file locks), the lock handles each
// connection holds, the cancel flag and the latest version of each solution updated.
// File locks belong to the connection that took them: UnlockFile of a handle the connection does
// not hold is answered E_FAIL (the lock stays), a connection holds at most
// ConnectionLocks::kMaxPerConnection handles (LockFile beyond that is answered E_FAIL), and the
// locks of a connection are released when it ends (and all of them with the handler).
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/ReleaseManifestCache.h"
#include "foundation/Types.h"
#include "kernel/ConnectionLocks.h"
#include "kernel/Engine.h"
#include "kernel/IRequestHandler.h"
#include "protocol/ISendPacket.h"
#include "protocol/Messages.h"
#include "protocol/ToAppSend.h"

namespace Quor::Common {
class HTTPConnection;
}

namespace Quor::Orvane {

class KernelThread;

class ToOrvaneImpl : public IRequestHandler {
public:
    struct Options {
        std::shared_ptr<Engine> engine;  // empty: the engine of this build
        std::string libraryFolder;       // empty: the kernel program's module folder
    };

    ToOrvaneImpl(KernelThread& owner, Quor::OrvaneProtocol::ISendPacket& transport);
    ToOrvaneImpl(KernelThread& owner, Quor::OrvaneProtocol::ISendPacket& transport, Options options);
    ~ToOrvaneImpl() override;

    void SetCancel(bool cancel) override;
    void ConnectionEnded(DWORD connection) override;

    // One handler per request of protocol/Messages.h, with that row's fields.
    QUOR_MESSAGES(QUOR_DECLARE_REQUEST_OVERRIDE)

private:
    // The content server connection, its transfers ended by the job's cancel flag; a failure is
    // logged and returned.
    HRESULT Connect(std::shared_ptr<Quor::Common::HTTPConnection>& connection);
    // op(server) on the content server, or the connection's failure; a failure of a cancelled job
    // is answered as E_ABORT.
    template <class Operation>
    HRESULT WithServer(Operation op);
    // WithServer, op(server, progress) with the job's progress forwarded to the client and its
    // cancel flag.
    template <class Operation>
    HRESULT WithServerAndProgress(DWORD requester, DWORD requestId, Operation op);
    const signed char* CancelFlag() const { return &m_Cancel; }
    // E_ABORT for a failure while the job is being cancelled (some engine steps report a
    // cancellation as a plain failure), otherwise hr.
    HRESULT CancelledAsAbort(HRESULT hr);
    // Gives the handles back to the engine.
    void Unlock(const std::vector<DWORD>& handles);

    // The listing and validation handlers of projects and solutions, told apart by their engine
    // call and answer.
    using ResultAnswer = void (Quor::OrvaneProtocol::IOrvaneToApp::*)(DWORD, DWORD, HRESULT);
    using NamesAnswer = void (Quor::OrvaneProtocol::IOrvaneToApp::*)(DWORD, DWORD, HRESULT,
                                                                     const std::vector<std::string>&);
    using VersionsAnswer = void (Quor::OrvaneProtocol::IOrvaneToApp::*)(DWORD, DWORD, HRESULT,
                                                                        const std::vector<DWORD>&);
    using AvailableNames = HRESULT (Engine::*)(Engine::Server&, std::vector<std::string>&);
    using InstalledNames = HRESULT (Engine::*)(Engine::FileSystem&, std::vector<std::string>&);
    using Validation = HRESULT (Engine::*)(const std::string&, Engine::FileSystem&, Engine::Server&,
                                           Engine::Progress&);
    using AvailableReleases = HRESULT (Engine::*)(const std::string&, Engine::Server&, std::vector<DWORD>&);
    using InstalledReleases = HRESULT (Engine::*)(const std::string&, Engine::FileSystem&,
                                                  std::vector<DWORD>&);
    void ListAvailableNames(DWORD requester, DWORD requestId, AvailableNames list, NamesAnswer answer);
    void ListInstalledNames(DWORD requester, DWORD requestId, InstalledNames list, NamesAnswer answer);
    void Validate(DWORD requester, DWORD requestId, const std::string& name, Validation validate,
                  ResultAnswer answer);
    void ListReleases(DWORD requester, DWORD requestId, const std::string& name, AvailableReleases list,
                      VersionsAnswer answer);
    void ListReleases(DWORD requester, DWORD requestId, const std::string& name, InstalledReleases list,
                      VersionsAnswer answer);

    KernelThread& m_Owner;
    Quor::Common::ReleaseManifestCache m_ReleaseManifestCache;
    ConnectionLocks m_Locks;
    Quor::OrvaneProtocol::ToApp::Send m_Answers;
    signed char m_Cancel = 0;  // accessed atomically only
    std::map<std::string, DWORD> m_LatestSolutionVersions;
    Options m_Options;
};

}  // namespace Quor::Orvane
