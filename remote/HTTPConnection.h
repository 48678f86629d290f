#pragma once
// Quor::Common::HTTPConnection: the system's only HTTP client, one libcurl easy handle for
// requests on paths below one server address: download to a file or to memory (GET, one or three
// attempts, byte progress), existence and size (HEAD), and a JSON post (POST).
//
// Results: a request that fails for any reason (transport error, status outside 200-299 for GET
// and POST, abort by the progress listener or the stop flag, local file not opened...) returns
// E_QUOR_HTTP_CONNECTION_FAILED (0xC1E90004) while no request of this object has completed yet,
// and E_QUOR_HTTP_CONNECTION_LOST (0xC1E90005) afterwards, also after Reconnect; the cause is only
// logged. HEAD requests answered outside 200-299 succeed with exists false. E_FAIL comes only from
// Connect, SetURL, DoesFileExistFromLastHeader and the setters.
// Request paths go into the URL as given, except that every blank becomes "%20".
// Sizes travel as 64-bit values; the 32-bit GetFileSize refuses a size that does not fit.
// Bounds: a transfer slower than Limits::stallBytesPerSecond for the low-speed time is aborted; a
// download whose listener names a maximum size (IGetFileProgressCallback::GetFileMaximumBytes)
// is cut at that size (an announced Content-Length above it fails before the body) and has a
// deadline of Limits::deadlineBaseSeconds plus the time the maximum takes at
// Limits::deadlineBytesPerSecond. A cut download is not retried.
// Threads: one object is used by one thread at a time (no lock); transfers block the calling
// thread and call the progress listener on it. The stop flag (SetStopFlag) and the cancel flag
// (SetCancelFlag) may be raised from any thread: the running transfer then ends at libcurl's next
// progress call (about once a second at the latest, also while nothing arrives), and so do later
// ones while the flag stays raised.
// Ownership: the object owns its handle; the authentication text and both flags are the
// caller's and must outlive the object. Not copyable.
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Types.h"
#include "remote/CurlEasy.h"
#include "remote/IGetFileProgressCallback.h"

namespace Quor::Common {

class HTTPConnection {
public:
    // Progress state of one download: the listener (may be null), the bytes the running attempt
    // had received at the previous progress call, the stop flag of the connection (may be null),
    // the handle asked for the answer's status (null: every byte is a file byte), and the file
    // bytes told to the listener so far over all attempts. The listener hears of each byte of the
    // file once: a retried attempt reports only what goes beyond the best attempt before it, and
    // the body of an answer outside 200-299 (an error page) is reported as 0 bytes.
    struct ProgressTracker {
        IGetFileProgressCallback* callback = nullptr;
        int64_t previous = 0;
        const std::atomic<bool>* stop = nullptr;
        CurlEasy* handle = nullptr;
        int64_t told = 0;
        const signed char* cancel = nullptr;  // read atomically; non-zero aborts like stop
    };

    // What ends a transfer that does not progress.
    struct Limits {
        long stallBytesPerSecond = 1024;     // below this for the low-speed time: aborted
        int64_t deadlineBaseSeconds = 60;    // a bounded download's deadline: this much plus
        int64_t deadlineBytesPerSecond = 1024;  // the time its maximum size takes at this rate
    };

    HTTPConnection(HRESULT& result, const std::string address, unsigned short port, int lowSpeedSeconds,
                   bool https, const char* authentication);
    ~HTTPConnection();
    HTTPConnection(const HTTPConnection&) = delete;
    HTTPConnection& operator=(const HTTPConnection&) = delete;

    HRESULT Connect();
    HRESULT Disconnect();
    HRESULT Reconnect();

    // Building blocks of the requests.
    HRESULT SetAuth(const char* text);
    HRESULT SetJsonPostString(const std::string* body);
    HRESULT SetWriteFile(FILE* file);
    HRESULT SetWriteVector(std::vector<char>* target);
    HRESULT SetWriteString(std::string* target);
    HRESULT SetURL(const std::string& path);
    HRESULT SwitchToGet();
    HRESULT SwitchToHead();
    HRESULT SwitchToPost();
    HRESULT SetProgressTracker(ProgressTracker* tracker);
    HRESULT DoesFileExistFromLastHeader(BOOL& exists, long* status);

    // Requests.
    HRESULT GetFileSize(const std::string& path, BOOL& exists, DWORD& size);
    HRESULT GetFileSize(const std::string& path, BOOL& exists, QWORD& size);
    HRESULT FileExists(const std::string& path, BOOL& exists);
    // Into localPath (created or emptied by every attempt) or, when memory is given, into that
    // vector (emptied by every attempt). `ignored` has no effect. After a not-found answer the
    // file (or vector) is left empty; after another failure it holds what the last attempt wrote,
    // never more than the listener's maximum.
    HRESULT GetFile(const std::string& remotePath, const std::string& localPath,
                    IGetFileProgressCallback* const callback, const bool ignored, const bool retry, bool quiet,
                    std::vector<char>* memory);
    // Whether the body of the last GetFile was confirmed whole: it succeeded and its answer either
    // announced a Content-Length that the received bytes match, or came chunked up to its last
    // chunk. A body that merely ended with its connection is never confirmed.
    bool LastBodyLengthConfirmed() const { return m_lastBodyConfirmed; }
    // The answer's body is appended to response, also when the status counts as a failure.
    HRESULT Post(const std::string& path, const std::string& body, std::string& response, long* status);

    // While *stop is true every transfer of this connection is aborted (null: no flag).
    void SetStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }
    // The same for a job's cancellation flag, read atomically (null: no flag).
    void SetCancelFlag(const signed char* cancel) { m_cancel = cancel; }
    // Replaces the limits; they hold for the next request (also after Reconnect).
    HRESULT SetLimits(const Limits& limits);
    const Limits& GetLimits() const { return m_limits; }
    // The deadline of a download bounded to maximumBytes, in milliseconds (0: none, unbounded).
    int64_t DeadlineMilliseconds(int64_t maximumBytes) const;

    // The path as it goes into the URL: every blank replaced by "%20", nothing else changed.
    static std::string EscapePath(const std::string& path);

    const std::string& GetBaseURL() const { return m_baseURL; }

private:
    friend class HTTPTransfers;

    // Where a download's body goes: a file or a vector, never more than `maximum` bytes (negative:
    // no bound). A write that would pass the bound takes nothing and ends the transfer.
    struct BoundedSink {
        FILE* file = nullptr;
        std::vector<char>* memory = nullptr;
        int64_t maximum = -1;
        int64_t written = 0;
        bool overflowed = false;
    };
    static size_t WriteBounded(char* bytes, size_t size, size_t count, void* target);
    // One GetFile across its attempts. Lives at one address while an attempt runs (libcurl holds
    // pointers to its tracker and sink).
    struct Download {
        std::string remotePath;
        std::string localPath;
        IGetFileProgressCallback* callback = nullptr;
        std::vector<char>* memory = nullptr;
        int attempts = 1;
        int attempt = 0;  // attempts begun
        ProgressTracker tracker;
        int64_t maximum = -1;
        bool cut = false;
        HRESULT result = E_FAIL;
        BoundedSink sink;
        FILE* file = nullptr;
        bool notFound = false;
    };
    // The steps of GetFile, so that a download can also be performed by a multi handle: Begin
    // logs and bounds the handle; each attempt is BeginAttempt (true: the handle is ready to
    // perform; false: the attempt failed before it and is over), the perform, and EndAttempt with
    // its code; Finish gives GetFile's result.
    void BeginDownload(Download& download, bool quiet);
    bool BeginAttempt(Download& download);
    void EndAttempt(Download& download, int code);
    static bool WantsAttempt(const Download& download) {
        return FAILED(download.result) && download.attempt < download.attempts && !download.cut;
    }
    HRESULT FinishDownload(Download& download);
    // A connection to the same server with the same settings, limits and flags.
    std::unique_ptr<HTTPConnection> MakeSibling(HRESULT& result) const;

    HRESULT SetWriteTarget(const char* tag, CurlWriteFunction write, void* target);
    // Performs the prepared request; a raised stop flag aborts it (no progress listener).
    int PerformWatchingStop();
    // HEAD of path: S_OK with exists as DoesFileExistFromLastHeader has it, or E_FAIL (logged
    // under tag; exists FALSE when the request failed).
    HRESULT HeadRequest(const char* tag, const std::string& path, BOOL& exists);
    // The answer to a performed GET or POST (code: the transfer's result): S_OK for a status of
    // 200-299, else E_FAIL (logged under tag), with *notFound set when another status came back.
    HRESULT CheckAnswer(const char* tag, int code, long* status, bool* notFound);
    // What a request returns: a failure becomes the connection's code (ConnectionCode), a success
    // S_OK; after either the connection is no longer fresh.
    HRESULT RequestResult(const char* tag, const std::string& path, HRESULT result);
    HRESULT ConnectionCode(const char* tag, const std::string& path);

    std::string m_address;
    std::string m_baseURL;
    unsigned short m_port;
    int m_lowSpeedSeconds;
    CurlEasy m_handle;
    bool m_fresh = true;
    bool m_https;
    const char* m_authentication;
    const std::atomic<bool>* m_stop = nullptr;
    bool m_lastBodyConfirmed = false;
    const signed char* m_cancel = nullptr;
    Limits m_limits;
};

}  // namespace Quor::Common
