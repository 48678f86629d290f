#include "tests/kit/RecordingCollector.h"

#include <thread>

namespace QuorTest {

namespace {
const char* const kMessagesPath = "/messages";

bool IsMessage(const RecordedRequest& request) {
    return request.method == "POST" && request.path == kMessagesPath;
}
}  // namespace

RecordingCollector::RecordingCollector() { SetStalled(false); }

void RecordingCollector::SetStalled(bool stalled) {
    ScriptedResponse answer{.status = 200};
    if (stalled) answer.stallBeforeHeaders = kStallUntilStop;
    m_server.SetResponse(kMessagesPath, answer);
}

std::vector<RecordedRequest> RecordingCollector::messages() const {
    std::vector<RecordedRequest> found;
    for (RecordedRequest& request : m_server.requests()) {
        if (IsMessage(request)) found.push_back(std::move(request));
    }
    return found;
}

bool RecordingCollector::WaitForMessages(size_t count, std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (messages().size() >= count) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace QuorTest
