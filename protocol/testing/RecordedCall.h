#pragma once
// Test helper: one call on a protocol interface as a recording double saw it, and the thread-safe
// list the doubles keep them in.
//
// A call keeps its operation name, requester, request id, result (responses with a result word)
// and its further arguments by kind, each kind in argument order. Calls compare by value and
// print readably in test failures. CallLog may be written and read from any thread; WaitFor lets a
// test wait for calls made on another thread. QUOR_RECORD_CALL records an operation of the message
// table from inside a recording double.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace QuorTest {

struct RecordedCall {
    std::string operation;
    DWORD requester = 0;
    DWORD requestId = 0;
    HRESULT hr = 0;
    std::vector<DWORD> words;
    std::vector<std::string> texts;
    std::vector<std::string> list;
    std::vector<DWORD> versions;
    std::vector<bool> flags;
    std::vector<float> floats;

    RecordedCall() = default;
    RecordedCall(std::string op, DWORD requesterArg, DWORD requestIdArg)
        : operation(std::move(op)), requester(requesterArg), requestId(requestIdArg) {}

    RecordedCall& Result(HRESULT value) {
        hr = value;
        return *this;
    }
    RecordedCall& Word(DWORD value) {
        words.push_back(value);
        return *this;
    }
    RecordedCall& Text(const std::string& value) {
        texts.push_back(value);
        return *this;
    }
    RecordedCall& List(const std::vector<std::string>& value) {
        list = value;
        return *this;
    }
    RecordedCall& Versions(const std::vector<DWORD>& value) {
        versions = value;
        return *this;
    }
    RecordedCall& Flag(bool value) {
        flags.push_back(value);
        return *this;
    }
    RecordedCall& Float(float value) {
        floats.push_back(value);
        return *this;
    }

    bool operator==(const RecordedCall&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const RecordedCall& call) {
    os << call.operation << "(requester " << call.requester << ", id " << call.requestId << ", hr 0x"
       << std::hex << static_cast<DWORD>(call.hr) << std::dec;
    for (DWORD w : call.words) os << ", word " << w;
    for (const std::string& t : call.texts) os << ", \"" << t << "\"";
    if (!call.list.empty()) {
        os << ", list [";
        for (const std::string& t : call.list) os << "\"" << t << "\" ";
        os << "]";
    }
    if (!call.versions.empty()) {
        os << ", versions [";
        for (DWORD v : call.versions) os << v << " ";
        os << "]";
    }
    for (bool f : call.flags) os << ", flag " << f;
    for (float f : call.floats) os << ", float " << f;
    return os << ")";
}

// Inside a recording double's operation: records it under `operation` with the table fields
// FIELDS (protocol/Messages.h) in the double's `log`.
#define QUOR_RECORD_CALL(operation, FIELDS) \
    log.Record(RecordedCall(operation, requester, requestId) FIELDS(QUOR_FIELD_RECORD))

class CallLog {
public:
    void Record(RecordedCall call) {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Calls.push_back(std::move(call));
        }
        m_Changed.notify_all();
    }
    std::vector<RecordedCall> Calls() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Calls;
    }
    size_t Count() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Calls.size();
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Calls.clear();
    }
    // True once at least `count` calls were recorded, false when `timeout` passed first.
    bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Changed.wait_for(lock, timeout, [&] { return m_Calls.size() >= count; });
    }

private:
    mutable std::mutex m_Mutex;
    mutable std::condition_variable m_Changed;
    std::vector<RecordedCall> m_Calls;
};

}  // namespace QuorTest
