#pragma once
// The one door to libcurl: an owned easy handle (CurlEasy), an owned header list
// (CurlHeaderList), an owned multi handle (CurlMulti: several easy handles in flight at once on
// one thread, sharing a cache of keep-alive connections), and the process-wide libcurl set-up.
//
// libcurl's global set-up (curl_global_init with every feature) runs once per process, before the
// first handle is made, and its clean-up once at exit; callers never see it. A CurlEasy owns at
// most one CURL* (freed by Reset, by Init of a new one, and by the destructor); a CurlHeaderList
// owns one curl_slist; a CurlMulti owns one CURLM*. None is copyable; CurlEasy and CurlHeaderList
// move.
// Threads: one handle is used by one thread at a time; different handles may run on different
// threads at once. Callbacks run on the thread that called Perform (of the easy handle, or of the
// multi handle it was added to). An easy handle added to a multi handle is driven only by that
// multi handle until it is removed, and must be removed before it is freed or reused.
// Errors: every operation returns libcurl's own code as an int (0 = success); the codes are only
// for the log.
#include <cstddef>
#include <cstdint>

struct curl_slist;

namespace Quor::Common {

// The options the system sets on a handle.
enum class CurlOption {
    NoProgress,     // long: 0 turns the progress callback on
    LowSpeedLimit,  // long: bytes per second
    LowSpeedTime,   // long: seconds
    SslVerifyHost,  // long
    SslVerifyPeer,  // long
    CaInfo,         // text: certificate file
    UserPwd,        // text: "user:password"
    ProgressData,   // pointer handed to the progress function
    Port,           // long
    Header,         // long: 1 passes response headers to the write sink
    Url,            // text (libcurl keeps its own copy)
    HttpGet,        // long: 1 selects GET
    NoBody,         // long: 1 selects HEAD
    Post,           // long: 1 selects POST
    WriteData,      // pointer handed to the write function (a FILE* for libcurl's own writer)
    PostFields,     // pointer to the body, not copied: it must live until the request ends
    PostFieldSize,  // 64-bit: body length, -1 for "measure the text"
    MaxFileSize,    // 64-bit: a download whose announced length is larger fails at once; 0: no bound
    TimeoutMs,      // long: the whole transfer's time limit in milliseconds; 0: none
};

// Progress: downloaded and uploaded byte counts so far (64-bit). Non-zero aborts the transfer.
using CurlProgressFunction = int (*)(void* data, int64_t downloadTotal, int64_t downloadNow,
                                     int64_t uploadTotal, int64_t uploadNow);
// Write sink: takes size x count bytes; a different return value ends the transfer.
using CurlWriteFunction = size_t (*)(char* bytes, size_t size, size_t count, void* target);

class CurlHeaderList {
public:
    CurlHeaderList() = default;
    ~CurlHeaderList();
    CurlHeaderList(CurlHeaderList&& other) noexcept;
    CurlHeaderList& operator=(CurlHeaderList&& other) noexcept;
    CurlHeaderList(const CurlHeaderList&) = delete;
    CurlHeaderList& operator=(const CurlHeaderList&) = delete;

    // Appends one "Name: value" line; false when libcurl could not (the list stays as it was).
    bool Append(const char* line);
    bool empty() const { return m_list == nullptr; }

private:
    friend class CurlEasy;
    curl_slist* m_list = nullptr;
};

class CurlEasy {
public:
    CurlEasy() = default;
    ~CurlEasy();
    CurlEasy(CurlEasy&& other) noexcept;
    CurlEasy& operator=(CurlEasy&& other) noexcept;
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    // Frees the current handle (if any) and makes a new one; false when libcurl made none.
    bool Init();
    // Frees the handle; the object is then empty.
    void Reset();
    bool valid() const { return m_handle != nullptr; }

    // Each returns libcurl's code; an empty object answers with libcurl's "bad function argument".
    int SetLong(CurlOption option, long value);
    int SetOffset(CurlOption option, int64_t value);
    int SetText(CurlOption option, const char* text);
    int SetPointer(CurlOption option, void* pointer);
    int SetProgressFunction(CurlProgressFunction function);
    // Null restores libcurl's own writer (fwrite to the FILE* given as WriteData).
    int SetWriteFunction(CurlWriteFunction function);
    // The list must outlive every request made with it; null removes it.
    int SetHeaderList(const CurlHeaderList* list);

    // Runs the request on the calling thread until it ends.
    int Perform();
    // The last response's status code (0 when no answer arrived).
    int GetResponseCode(long& code);
    // The Content-Length of the last response, -1 when it had none.
    int GetContentLength(int64_t& length);
    // The body bytes the last transfer received.
    int GetDownloadedBytes(int64_t& bytes);
    // Whether the last response came with "Transfer-Encoding: chunked" (libcurl fails a transfer
    // whose chunked body ends before its last chunk).
    bool ResponseWasChunked();

    // libcurl's code for a transfer ended by the progress function.
    static int AbortedByCallbackCode();
    // libcurl's code for a transfer ended by a write function that took fewer bytes than given.
    static int WriteErrorCode();
    // libcurl's codes for a transfer ended by the low-speed rule or the time limit (the same one),
    // and for an announced length above MaxFileSize.
    static int TimedOutCode();
    static int FileTooLargeCode();

    // Identifies the handle among those of a multi handle (CurlMulti::NextEnded); null when empty.
    const void* id() const { return m_handle; }

private:
    friend class CurlMulti;
    void* m_handle = nullptr;  // CURL*
};

class CurlMulti {
public:
    CurlMulti() = default;
    ~CurlMulti();
    CurlMulti(const CurlMulti&) = delete;
    CurlMulti& operator=(const CurlMulti&) = delete;

    // Makes the multi handle, keeping at most `connections` connections open to one host (and in
    // its cache); false when libcurl made none.
    bool Init(long connections);
    bool valid() const { return m_handle != nullptr; }

    // Adds a prepared easy handle (its transfer starts at the next Perform) / takes it out again.
    int Add(CurlEasy& easy);
    int Remove(CurlEasy& easy);
    // Moves every transfer on as far as it can without waiting; running: transfers still going.
    int Perform(int& running);
    // Waits until a transfer can move on or libcurl's next timer is due, at most timeoutMs.
    int Poll(int timeoutMs);
    // The next ended transfer since the last call: its easy handle's id and libcurl's code for it;
    // false when none is left.
    bool NextEnded(const void*& easy, int& code);

private:
    void* m_handle = nullptr;  // CURLM*
};

}  // namespace Quor::Common
