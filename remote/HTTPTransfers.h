#pragma once
// Quor::Common::HTTPTransfers: IFileTransfers over HTTP: a few downloads in flight at once on one
// libcurl multi handle, each on a connection made like a given HTTPConnection (same server, port,
// stall time, limits, authentication, stop and cancel flags), over at most Capacity() keep-alive
// connections to the server. Each download is exactly HTTPConnection::GetFile with three attempts.
// Threads: one thread at a time (the one that calls Start and Run); the stop and cancel flags may
// be raised from any thread and end every running download at its next progress call (about once
// a second at the latest). Not copyable.
#include <memory>
#include <string>
#include <vector>

#include "remote/CurlEasy.h"
#include "remote/HTTPConnection.h"
#include "remote/IFileTransfers.h"

namespace Quor::Common {

class HTTPTransfers final : public IFileTransfers {
public:
    // `capacity` downloads at once (at least 1); result E_FAIL when libcurl made no multi handle or
    // a connection failed to set up.
    HTTPTransfers(HRESULT& result, const HTTPConnection& model, unsigned capacity);
    ~HTTPTransfers() override;
    HTTPTransfers(const HTTPTransfers&) = delete;
    HTTPTransfers& operator=(const HTTPTransfers&) = delete;

    unsigned Capacity() const override { return static_cast<unsigned>(m_slots.size()); }
    unsigned Running() const override { return m_running; }
    HRESULT Start(size_t id, const std::string& remotePath, const std::string& localPath,
                  IGetFileProgressCallback* callback) override;
    void Run(std::vector<Ended>& ended) override;

private:
    struct Slot {
        std::unique_ptr<HTTPConnection> connection;
        HTTPConnection::Download download;
        size_t id = 0;
        bool busy = false;
    };
    // Begins the slot's next attempt on the multi handle; false when no attempt is left to run.
    bool Launch(Slot& slot);
    // The slot's attempt ended with libcurl's code: the next attempt begins, or the download ends.
    void AttemptEnded(Slot& slot, int code, std::vector<Ended>& ended);

    CurlMulti m_multi;
    std::vector<Slot> m_slots;
    unsigned m_running = 0;
};

}  // namespace Quor::Common
