#include "remote/HTTPTransfers.h"

#include "common/Log.h"

namespace Quor::Common {

namespace {
// How long Run waits for the sockets at most before it looks at the transfers again.
constexpr int kPollMilliseconds = 100;
}  // namespace

HTTPTransfers::HTTPTransfers(HRESULT& result, const HTTPConnection& model, unsigned capacity) {
    result = S_OK;
    if (capacity == 0) capacity = 1;
    if (!m_multi.Init(static_cast<long>(capacity))) {
        QUOR_LOG(Log::ERROR, "Failed to create a multi handle");
        result = E_FAIL;
        return;
    }
    m_slots.resize(capacity);
    for (Slot& slot : m_slots) {
        HRESULT made = S_OK;
        slot.connection = model.MakeSibling(made);
        if (FAILED(made)) {
            QUOR_LOG(Log::ERROR, "Failed to set up a connection for parallel downloads");
            result = made;
            return;
        }
    }
}

HTTPTransfers::~HTTPTransfers() {
    for (Slot& slot : m_slots) {
        if (!slot.busy) continue;
        // Ended without a result: the handle leaves the multi handle before either is freed.
        m_multi.Remove(slot.connection->m_handle);
        slot.connection->EndAttempt(slot.download, CurlEasy::AbortedByCallbackCode());
    }
}

bool HTTPTransfers::Launch(Slot& slot) {
    while (HTTPConnection::WantsAttempt(slot.download)) {
        if (!slot.connection->BeginAttempt(slot.download)) continue;
        if (m_multi.Add(slot.connection->m_handle) == 0) return true;
        QUOR_LOG(Log::ERROR, "Failed to start the download of %s", slot.download.remotePath.c_str());
        slot.connection->EndAttempt(slot.download, CurlEasy::AbortedByCallbackCode());
    }
    return false;
}

HRESULT HTTPTransfers::Start(size_t id, const std::string& remotePath, const std::string& localPath,
                             IGetFileProgressCallback* callback) {
    for (Slot& slot : m_slots) {
        if (slot.busy) continue;
        slot.download = HTTPConnection::Download{};
        slot.download.remotePath = remotePath;
        slot.download.localPath = localPath;
        slot.download.callback = callback;
        slot.download.attempts = 3;
        slot.id = id;
        slot.connection->BeginDownload(slot.download, false);
        if (!Launch(slot)) return slot.connection->FinishDownload(slot.download);
        slot.busy = true;
        ++m_running;
        return S_OK;
    }
    QUOR_LOG(Log::ERROR, "No free slot for the download of %s", remotePath.c_str());
    return E_FAIL;
}

void HTTPTransfers::AttemptEnded(Slot& slot, int code, std::vector<Ended>& ended) {
    m_multi.Remove(slot.connection->m_handle);
    slot.connection->EndAttempt(slot.download, code);
    if (Launch(slot)) return;  // the next attempt runs
    slot.busy = false;
    --m_running;
    ended.push_back({slot.id, slot.connection->FinishDownload(slot.download)});
}

void HTTPTransfers::Run(std::vector<Ended>& ended) {
    const size_t before = ended.size();
    while (m_running > 0 && ended.size() == before) {
        int running = 0;
        m_multi.Perform(running);
        const void* easy = nullptr;
        int code = 0;
        while (m_multi.NextEnded(easy, code)) {
            for (Slot& slot : m_slots) {
                if (slot.busy && slot.connection->m_handle.id() == easy) {
                    AttemptEnded(slot, code, ended);
                    break;
                }
            }
        }
        if (ended.size() == before && m_running > 0) m_multi.Poll(kPollMilliseconds);
    }
}

}  // namespace Quor::Common
