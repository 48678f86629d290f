#include "remote/HTTPConnection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/CRT.h"
#include "common/ErrorCodes.h"
#include "common/Log.h"
#include "common/ReleaseManifest.h"

namespace Quor::Common {

namespace {

#define QUOR_HTTP "Quor::Common::HTTPConnection::"
const char* const TAG_CONSTRUCTOR =
    QUOR_HTTP "HTTPConnection(HRESULT &, const std::string, unsigned short, int, bool, const char *)";
const char* const TAG_CONNECT = "HRESULT " QUOR_HTTP "Connect()";
const char* const TAG_DISCONNECT = "HRESULT " QUOR_HTTP "Disconnect()";
const char* const TAG_RECONNECT = "HRESULT " QUOR_HTTP "Reconnect()";
const char* const TAG_SET_AUTH = "HRESULT " QUOR_HTTP "SetAuth(const char *)";
const char* const TAG_SET_JSON = "HRESULT " QUOR_HTTP "SetJsonPostString(const std::string *)";
const char* const TAG_SET_WRITE_FILE = "HRESULT " QUOR_HTTP "SetWriteFile(FILE *)";
const char* const TAG_SET_WRITE_VECTOR = "HRESULT " QUOR_HTTP "SetWriteVector(std::vector<char> *)";
const char* const TAG_SET_WRITE_STRING = "HRESULT " QUOR_HTTP "SetWriteString(std::string *)";
const char* const TAG_SET_URL = "HRESULT " QUOR_HTTP "SetURL(const std::string &)";
const char* const TAG_TO_GET = "HRESULT " QUOR_HTTP "SwitchToGet()";
const char* const TAG_TO_HEAD = "HRESULT " QUOR_HTTP "SwitchToHead()";
const char* const TAG_TO_POST = "HRESULT " QUOR_HTTP "SwitchToPost()";
const char* const TAG_SET_TRACKER = "HRESULT " QUOR_HTTP "SetProgressTracker(Quor::Common::ProgressTracker *)";
const char* const TAG_EXISTS_FROM_HEADER = "HRESULT " QUOR_HTTP "DoesFileExistFromLastHeader(BOOL &, long *)";
const char* const TAG_GET_FILE_SIZE = "HRESULT " QUOR_HTTP "GetFileSize(const std::string &, BOOL &, DWORD &)";
const char* const TAG_FILE_EXISTS = "HRESULT " QUOR_HTTP "FileExists(const std::string &, BOOL &)";
const char* const TAG_GET_FILE =
    "HRESULT " QUOR_HTTP "GetFile(const std::string &, const std::string &, "
    "Quor::Common::IGetFileProgressCallback *const, const bool, const bool, bool, std::vector<char> *)";
const char* const TAG_POST = "HRESULT " QUOR_HTTP "Post(const std::string &, const std::string &, std::string &, long *)";
const char* const TAG_PROGRESS =
    "int Quor::Common::<anonymous namespace>::ProgressCallback(void *, double, double, double, double)";
#undef QUOR_HTTP

// The one header of every JSON post, built once per process.
const CurlHeaderList& JsonHeaderList() {
    static const CurlHeaderList list = [] {
        CurlHeaderList made;
        made.Append("Content-Type: text/json");
        return made;
    }();
    return list;
}
const CurlHeaderList& g_jsonHeaderAtStart = JsonHeaderList();

// Whether the answer being received carries the file (a status in 200-299), not an error page.
bool IsFileBody(CurlEasy* handle) {
    if (!handle) return true;
    long status = 0;
    return handle->GetResponseCode(status) == 0 && status >= 200 && status <= 299;
}

int ProgressCallback(void* data, int64_t /*downloadTotal*/, int64_t downloadNow, int64_t /*uploadTotal*/,
                     int64_t /*uploadNow*/) {
    auto* tracker = static_cast<HTTPConnection::ProgressTracker*>(data);
    if (!tracker) return 0;
    if (tracker->stop && tracker->stop->load()) return 1;
    if (IsCancelRequested(tracker->cancel)) return 1;
    if (!tracker->callback) return 0;
    const int64_t delta = downloadNow - tracker->previous;
    tracker->previous = downloadNow;
    if (delta < 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_PROGRESS, "HTTPConnection negative number in ProgressCallback %f",
                     static_cast<double>(static_cast<float>(delta)));
        return 0;
    }
    // Bytes an earlier attempt already reported, and error pages, are not told again; the
    // listener is still called, so that it can stop the transfer.
    int64_t fresh = 0;
    if (downloadNow > tracker->told && IsFileBody(tracker->handle)) {
        fresh = downloadNow - tracker->told;
        tracker->told = downloadNow;
    }
    return FAILED(tracker->callback->GetFileProgressCallback(static_cast<SIZE_T>(fresh))) ? 1 : 0;
}

}  // namespace

size_t HTTPConnection::WriteBounded(char* bytes, size_t size, size_t count, void* target) {
    auto* sink = static_cast<BoundedSink*>(target);
    if (!sink) return 0;
    const size_t n = size * count;
    if (n == 0) return 0;
    if (sink->maximum >= 0 && static_cast<uint64_t>(n) > static_cast<uint64_t>(sink->maximum - sink->written)) {
        sink->overflowed = true;
        return 0;
    }
    if (sink->file) {
        if (std::fwrite(bytes, 1, n, sink->file) != n) return 0;
    } else if (sink->memory) {
        sink->memory->insert(sink->memory->end(), bytes, bytes + n);
    } else {
        return 0;
    }
    sink->written += static_cast<int64_t>(n);
    return n;
}

namespace {

template <typename Container>
size_t AppendCallback(char* bytes, size_t size, size_t count, void* target) {
    if (!target) return 0;
    const size_t n = size * count;
    if (n == 0) return 0;
    auto* container = static_cast<Container*>(target);
    container->insert(container->end(), bytes, bytes + n);
    return n;
}

size_t WriteVectorCallback(char* bytes, size_t size, size_t count, void* target) {
    return AppendCallback<std::vector<char>>(bytes, size, count, target);
}

size_t WriteStringCallback(char* bytes, size_t size, size_t count, void* target) {
    return AppendCallback<std::string>(bytes, size, count, target);
}

// Empties (or creates) a file.
bool TruncateFile(const std::string& path) {
    FILE* file = nullptr;
    if (CRT::fopen_s(&file, path.c_str(), "wb") != 0 || !file) return false;
    return std::fclose(file) == 0;
}

}  // namespace

HTTPConnection::HTTPConnection(HRESULT& result, const std::string address, unsigned short port,
                               int lowSpeedSeconds, bool https, const char* authentication)
    : m_address(address),
      m_baseURL((https ? "https://" : "http://") + address),
      m_port(port),
      m_lowSpeedSeconds(lowSpeedSeconds),
      m_https(https),
      m_authentication(authentication) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_CONSTRUCTOR, "(%s)", m_baseURL.c_str());
    result = Connect();
    if (FAILED(result))
        QUOR_LOG_TAG(Log::ERROR, TAG_CONSTRUCTOR, "HTTPConnection failed to connect to server at address \"%s\"",
                     address.c_str());
}

HTTPConnection::~HTTPConnection() { Disconnect(); }

HRESULT HTTPConnection::Connect() {
    QUOR_LOG_TAG(Log::DEBUG, TAG_CONNECT, "(%s)", m_baseURL.c_str());
    if (m_handle.valid()) {
        QUOR_LOG_TAG(Log::DEBUG, TAG_DISCONNECT, "()");
        m_handle.Reset();
    }
    if (!m_handle.Init()) {
        QUOR_LOG_TAG(Log::ERROR, TAG_CONNECT, "init failed");
        return E_FAIL;
    }
    if (m_handle.SetLong(CurlOption::NoProgress, 0) != 0)
        QUOR_LOG_TAG(Log::ERROR, TAG_CONNECT, "failed to turn on progress");
    if (m_handle.SetProgressFunction(&ProgressCallback) != 0)
        QUOR_LOG_TAG(Log::ERROR, TAG_CONNECT, "failed to set progress callback");
    if (m_handle.SetLong(CurlOption::LowSpeedLimit, m_limits.stallBytesPerSecond) != 0)
        QUOR_LOG_TAG(Log::ERROR, TAG_CONNECT, "failed to set low speed limit");
    if (m_handle.SetLong(CurlOption::LowSpeedTime, m_lowSpeedSeconds) != 0)
        QUOR_LOG_TAG(Log::ERROR, TAG_CONNECT, "failed to set low speed time");
    if (m_https) {
        if (m_handle.SetLong(CurlOption::SslVerifyHost, 2) != 0)
            QUOR_LOG_TAG(Log::ERROR, TAG_CONNECT, "failed to set verify host");
        if (m_handle.SetLong(CurlOption::SslVerifyPeer, 1) != 0)
            QUOR_LOG_TAG(Log::ERROR, TAG_CONNECT, "failed to set verify peer");
        if (m_handle.SetText(CurlOption::CaInfo, "cacert.pem") != 0)
            QUOR_LOG_TAG(Log::ERROR, TAG_CONNECT, "failed to enable cert info");
    }
    if (m_authentication && m_handle.SetText(CurlOption::UserPwd, m_authentication) != 0)
        QUOR_LOG_TAG(Log::ERROR, TAG_SET_AUTH, "failed to set auth string");
    if (m_handle.SetPointer(CurlOption::ProgressData, nullptr) != 0)
        QUOR_LOG_TAG(Log::ERROR, TAG_SET_TRACKER, "failed to set progress callback");
    if (m_port != 80 && m_handle.SetLong(CurlOption::Port, m_port) != 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_CONNECT, "set port failed");
        return E_FAIL;
    }
    if (m_handle.SetLong(CurlOption::Header, 0) != 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_CONNECT, "set no header failed");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT HTTPConnection::SetLimits(const Limits& limits) {
    m_limits = limits;
    if (m_handle.valid() && m_handle.SetLong(CurlOption::LowSpeedLimit, m_limits.stallBytesPerSecond) != 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_CONNECT, "failed to set low speed limit");
        return E_FAIL;
    }
    return S_OK;
}

int64_t HTTPConnection::DeadlineMilliseconds(int64_t maximumBytes) const {
    if (maximumBytes < 0 || m_limits.deadlineBytesPerSecond <= 0) return 0;
    const int64_t base = std::max<int64_t>(m_limits.deadlineBaseSeconds, 0);
    // Whole seconds for the size, rounded up; no overflow for any 64-bit size.
    const int64_t forSize = maximumBytes / m_limits.deadlineBytesPerSecond + 1;
    const int64_t seconds = std::min<int64_t>(base + forSize, INT64_C(1) << 40);
    return seconds * 1000;
}

HRESULT HTTPConnection::Disconnect() {
    QUOR_LOG_TAG(Log::DEBUG, TAG_DISCONNECT, "()");
    m_handle.Reset();
    return S_OK;
}

HRESULT HTTPConnection::Reconnect() {
    QUOR_LOG_TAG(Log::DEBUG, TAG_RECONNECT, "Reconnect -- attempting Disconnect");
    Disconnect();
    QUOR_LOG_TAG(Log::DEBUG, TAG_RECONNECT, "Reconnect -- attempting new Connection");
    const HRESULT result = Connect();
    if (FAILED(result))
        QUOR_LOG_TAG(Log::ERROR, TAG_RECONNECT, "Connection attempt failed");
    else
        QUOR_LOG_TAG(Log::DEBUG, TAG_RECONNECT, "Successfully reconnected.");
    return result;
}

HRESULT HTTPConnection::SetAuth(const char* text) {
    if (m_handle.SetText(CurlOption::UserPwd, text) != 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_SET_AUTH, "failed to set auth string");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT HTTPConnection::SetJsonPostString(const std::string* body) {
    if (body) {
        if (m_handle.SetPointer(CurlOption::PostFields, const_cast<char*>(body->data())) != 0) {
            QUOR_LOG_TAG(Log::ERROR, TAG_SET_JSON, "failed to set post string");
            return E_FAIL;
        }
        if (m_handle.SetOffset(CurlOption::PostFieldSize, static_cast<int64_t>(body->size())) != 0)
            QUOR_LOG_TAG(Log::ERROR, TAG_SET_JSON, "failed to set post size");
        if (m_handle.SetHeaderList(&JsonHeaderList()) != 0)
            QUOR_LOG_TAG(Log::ERROR, TAG_SET_JSON, "failed to set header");
        return S_OK;
    }
    if (m_handle.SetPointer(CurlOption::PostFields, nullptr) != 0)
        QUOR_LOG_TAG(Log::ERROR, TAG_SET_JSON, "failed to clear post string");
    if (m_handle.SetOffset(CurlOption::PostFieldSize, -1) != 0)
        QUOR_LOG_TAG(Log::ERROR, TAG_SET_JSON, "failed to clear post size");
    if (m_handle.SetHeaderList(nullptr) != 0)
        QUOR_LOG_TAG(Log::ERROR, TAG_SET_JSON, "failed to clear header");
    return S_OK;
}

HRESULT HTTPConnection::SetWriteFile(FILE* file) {
    if (m_handle.SetPointer(CurlOption::WriteData, file) != 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_SET_WRITE_FILE, "failed to set write file");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT HTTPConnection::SetWriteVector(std::vector<char>* target) {
    return SetWriteTarget(TAG_SET_WRITE_VECTOR, &WriteVectorCallback, target);
}

HRESULT HTTPConnection::SetWriteString(std::string* target) {
    return SetWriteTarget(TAG_SET_WRITE_STRING, &WriteStringCallback, target);
}

HRESULT HTTPConnection::SetWriteTarget(const char* tag, CurlWriteFunction write, void* target) {
    if (m_handle.SetWriteFunction(target ? write : nullptr) != 0) {
        QUOR_LOG_TAG(Log::ERROR, tag, "failed to set write callback");
        return E_FAIL;
    }
    if (target && m_handle.SetPointer(CurlOption::WriteData, target) != 0) {
        QUOR_LOG_TAG(Log::ERROR, tag, "failed to set write vector");
        return E_FAIL;
    }
    return S_OK;
}

std::string HTTPConnection::EscapePath(const std::string& path) {
    std::string escaped;
    escaped.reserve(path.size());
    for (char c : path) {
        if (c == ' ')
            escaped += "%20";
        else
            escaped += c;
    }
    return escaped;
}

HRESULT HTTPConnection::SetURL(const std::string& path) {
    const std::string url = m_baseURL + EscapePath(path);
    if (m_handle.SetText(CurlOption::Url, url.c_str()) != 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_SET_URL, "Failed to set URL to %s", url.c_str());
        return E_FAIL;
    }
    return S_OK;
}

HRESULT HTTPConnection::SwitchToGet() {
    if (m_handle.SetLong(CurlOption::HttpGet, 1) != 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_TO_GET, "Failed to change to get mode");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT HTTPConnection::SwitchToHead() {
    if (m_handle.SetLong(CurlOption::NoBody, 1) != 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_TO_HEAD, "Failed to change to header mode");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT HTTPConnection::SwitchToPost() {
    if (m_handle.SetLong(CurlOption::Post, 1) != 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_TO_POST, "Failed to change to post mode");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT HTTPConnection::SetProgressTracker(ProgressTracker* tracker) {
    if (m_handle.SetPointer(CurlOption::ProgressData, tracker) != 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG_SET_TRACKER, "failed to set progress callback");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT HTTPConnection::DoesFileExistFromLastHeader(BOOL& exists, long* status) {
    exists = FALSE;
    long code = 404;
    if (m_handle.GetResponseCode(code) != 0) {
        exists = FALSE;
        if (status) *status = 0;
        QUOR_LOG_TAG(Log::ERROR, TAG_EXISTS_FROM_HEADER, "get response code failed");
        return E_FAIL;
    }
    if (status) *status = code;
    exists = (code >= 200 && code <= 299) ? TRUE : FALSE;
    if (exists)
        QUOR_LOG_TAG(Log::VERBOSE, TAG_EXISTS_FROM_HEADER, "HTTP Query returned status %d. File exists.",
                     static_cast<int>(code));
    else
        QUOR_LOG_TAG(Log::VERBOSE, TAG_EXISTS_FROM_HEADER, "HTTP Query returned status %d. File does not exist.",
                     static_cast<int>(code));
    return S_OK;
}

HRESULT HTTPConnection::ConnectionCode(const char* tag, const std::string& path) {
    QUOR_LOG_TAG(Log::ERROR, tag, "Failed on %s", path.c_str());
    const HRESULT code = m_fresh ? E_QUOR_HTTP_CONNECTION_FAILED : E_QUOR_HTTP_CONNECTION_LOST;
    m_fresh = false;
    return code;
}

HRESULT HTTPConnection::RequestResult(const char* tag, const std::string& path, HRESULT result) {
    if (FAILED(result)) return ConnectionCode(tag, path);
    m_fresh = false;
    return S_OK;
}

int HTTPConnection::PerformWatchingStop() {
    ProgressTracker tracker{nullptr, 0, m_stop, nullptr, 0, m_cancel};
    const bool watched = m_stop || m_cancel;
    if (watched) SetProgressTracker(&tracker);
    const int code = m_handle.Perform();
    if (watched) SetProgressTracker(nullptr);
    return code;
}

HRESULT HTTPConnection::HeadRequest(const char* tag, const std::string& path, BOOL& exists) {
    if (FAILED(SwitchToHead())) {
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed to switch to header mode");
        return E_FAIL;
    }
    if (FAILED(SetURL(path))) {
        QUOR_LOG_TAG(Log::ERROR, tag, "SetURL failed");
        return E_FAIL;
    }
    if (PerformWatchingStop() != 0) {
        exists = FALSE;
        QUOR_LOG_TAG(Log::ERROR, tag, "perform request failed");
        return E_FAIL;
    }
    return DoesFileExistFromLastHeader(exists, nullptr);
}

HRESULT HTTPConnection::CheckAnswer(const char* tag, int code, long* status, bool* notFound) {
    if (code != 0) {
        QUOR_LOG_TAG(Log::ERROR, tag, "perform request failed with code %d", code);
        return E_FAIL;
    }
    BOOL exists = FALSE;
    HRESULT result = DoesFileExistFromLastHeader(exists, status);
    if (FAILED(result)) {
        QUOR_LOG_TAG(Log::ERROR, tag, "checking if file exists failed");
    } else if (!exists) {
        QUOR_LOG_TAG(Log::DEBUG, tag, "File not found");
        result = E_FAIL;
        if (notFound) *notFound = true;
    }
    return result;
}

HRESULT HTTPConnection::FileExists(const std::string& path, BOOL& exists) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_FILE_EXISTS, "(\"%s\")", path.c_str());
    return RequestResult(TAG_FILE_EXISTS, path, HeadRequest(TAG_FILE_EXISTS, path, exists));
}

HRESULT HTTPConnection::GetFileSize(const std::string& path, BOOL& exists, QWORD& size) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_GET_FILE_SIZE, "(\"%s\")", path.c_str());
    if (FAILED(HeadRequest(TAG_GET_FILE_SIZE, path, exists))) {
        size = 0;
        return ConnectionCode(TAG_GET_FILE_SIZE, path);
    }
    if (!exists) {
        size = 0;
        m_fresh = false;
        return S_OK;
    }
    int64_t length = -1;
    if (m_handle.GetContentLength(length) != 0) {
        exists = FALSE;
        size = 0;
        QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE_SIZE, "get content length failed");
        return ConnectionCode(TAG_GET_FILE_SIZE, path);
    }
    // The whole 64-bit length: a file above 4 GiB keeps its size.
    size = length > 0 ? static_cast<QWORD>(length) : 0;
    exists = TRUE;
    QUOR_LOG_TAG(Log::DEBUG, TAG_GET_FILE_SIZE, "file size: %llu", static_cast<unsigned long long>(size));
    m_fresh = false;
    return S_OK;
}

HRESULT HTTPConnection::GetFileSize(const std::string& path, BOOL& exists, DWORD& size) {
    QWORD wide = 0;
    const HRESULT result = GetFileSize(path, exists, wide);
    if (FAILED(result)) {
        size = 0;
        return result;
    }
    if (wide > 0xFFFFFFFFull) {
        // A 32-bit size cannot hold it: refused rather than cut to its low 32 bits.
        size = 0;
        QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE_SIZE, "file size %llu of %s does not fit in 32 bits",
                     static_cast<unsigned long long>(wide), path.c_str());
        return E_FAIL;
    }
    size = static_cast<DWORD>(wide);
    return S_OK;
}

std::unique_ptr<HTTPConnection> HTTPConnection::MakeSibling(HRESULT& result) const {
    auto sibling = std::make_unique<HTTPConnection>(result, m_address, m_port, m_lowSpeedSeconds, m_https,
                                                    m_authentication);
    if (SUCCEEDED(result)) result = sibling->SetLimits(m_limits);
    sibling->m_stop = m_stop;
    sibling->m_cancel = m_cancel;
    return sibling;
}

void HTTPConnection::BeginDownload(Download& download, bool quiet) {
    m_lastBodyConfirmed = false;
    QUOR_LOG_TAG(quiet ? Log::VERBOSE : Log::DEBUG, TAG_GET_FILE, "(\"%s\", \"%s\", %s, 0x%08lx)",
                 download.remotePath.c_str(), download.localPath.c_str(),
                 download.attempts > 1 ? "RETRY" : "NO_RETRY",
                 static_cast<unsigned long>(reinterpret_cast<uintptr_t>(download.callback)));
    // One tracker for all attempts: each attempt counts its bytes from zero, the listener hears
    // only of file bytes that no earlier attempt reported.
    download.tracker = ProgressTracker{download.callback, 0, m_stop, &m_handle, 0, m_cancel};
    download.maximum = download.callback ? download.callback->GetFileMaximumBytes() : -1;
    // libcurl refuses an announced length above the bound before the body (0 means no bound there;
    // the sink still holds an empty file to nothing).
    m_handle.SetOffset(CurlOption::MaxFileSize, download.maximum > 0 ? download.maximum : 0);
    m_handle.SetLong(CurlOption::TimeoutMs, static_cast<long>(DeadlineMilliseconds(download.maximum)));
}

bool HTTPConnection::BeginAttempt(Download& download) {
    if (download.attempt > 0)
        QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE, "Retrying after failed attempt %d", download.attempt);
    ++download.attempt;
    download.result = E_FAIL;
    download.tracker.previous = 0;
    download.notFound = false;
    SetProgressTracker(&download.tracker);

    download.sink = BoundedSink{};
    download.sink.maximum = download.maximum;
    download.file = nullptr;
    if (FAILED(SwitchToGet())) {
        QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE, "Failed to switch to get mode");
    } else if (FAILED(SetURL(download.remotePath))) {
        QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE, "SetURL failed");
    } else if (!download.memory &&
               (CRT::fopen_s(&download.file, download.localPath.c_str(), "wb") != 0 || !download.file)) {
        download.file = nullptr;
        QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE, "Failed to open %s", download.localPath.c_str());
    } else {
        // Every attempt starts from an empty buffer, as a file attempt starts from an empty file.
        if (download.memory) download.memory->clear();
        download.sink.file = download.file;
        download.sink.memory = download.memory;
        if (SUCCEEDED(SetWriteTarget(download.memory ? TAG_SET_WRITE_VECTOR : TAG_SET_WRITE_FILE,
                                     &WriteBounded, &download.sink)))
            return true;
        SetWriteTarget(TAG_SET_WRITE_FILE, nullptr, nullptr);
        if (download.file && std::fclose(download.file) != 0)
            QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE, "Failed to close %s", download.localPath.c_str());
        download.file = nullptr;
    }
    SetProgressTracker(nullptr);
    return false;
}

void HTTPConnection::EndAttempt(Download& download, int code) {
    SetWriteTarget(TAG_SET_WRITE_FILE, nullptr, nullptr);
    SetWriteFile(nullptr);
    download.cut = download.sink.overflowed || code == CurlEasy::FileTooLargeCode();
    if (download.cut)
        QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE, "%s is longer than the %lld bytes expected, aborted",
                     download.remotePath.c_str(), static_cast<long long>(download.maximum));
    download.result = CheckAnswer(TAG_GET_FILE, code, nullptr, &download.notFound);
    if (download.file) {
        // The last buffered bytes reach the disk only here: a failed close is a failed
        // download, not a short file reported as complete.
        if (std::fclose(download.file) != 0 && SUCCEEDED(download.result)) {
            QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE, "Failed to close %s", download.localPath.c_str());
            download.result = E_FAIL;
        }
        download.file = nullptr;
        if (download.notFound && !TruncateFile(download.localPath))
            QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE, "Failed to clear output file");
    } else if (download.notFound && download.memory) {
        download.memory->clear();
    }
    SetProgressTracker(nullptr);
}

HRESULT HTTPConnection::FinishDownload(Download& download) {
    m_lastBodyConfirmed = false;
    if (SUCCEEDED(download.result)) {
        int64_t announced = -1, received = -1;
        m_lastBodyConfirmed = m_handle.ResponseWasChunked() ||
                              (m_handle.GetContentLength(announced) == 0 && announced >= 0 &&
                               m_handle.GetDownloadedBytes(received) == 0 && received == announced);
    }
    m_handle.SetOffset(CurlOption::MaxFileSize, 0);
    m_handle.SetLong(CurlOption::TimeoutMs, 0);
    return RequestResult(TAG_GET_FILE, download.remotePath, download.result);
}

HRESULT HTTPConnection::GetFile(const std::string& remotePath, const std::string& localPath,
                                IGetFileProgressCallback* const callback, const bool /*ignored*/, const bool retry,
                                bool quiet, std::vector<char>* memory) {
    Download download;
    download.remotePath = remotePath;
    download.localPath = localPath;
    download.callback = callback;
    download.memory = memory;
    download.attempts = retry ? 3 : 1;
    BeginDownload(download, quiet);
    while (WantsAttempt(download))
        if (BeginAttempt(download)) EndAttempt(download, m_handle.Perform());
    return FinishDownload(download);
}

HRESULT HTTPConnection::Post(const std::string& path, const std::string& body, std::string& response, long* status) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_POST, "(\"%s\")", path.c_str());
    if (status) *status = 0;
    HRESULT result = E_FAIL;
    if (FAILED(SwitchToPost())) {
        QUOR_LOG_TAG(Log::ERROR, TAG_POST, "Failed to switch to post mode");
    } else if (FAILED(SetURL(path))) {
        QUOR_LOG_TAG(Log::ERROR, TAG_POST, "SetURL failed");
    } else if (FAILED(SetJsonPostString(&body))) {
        QUOR_LOG_TAG(Log::ERROR, TAG_POST, "SetReadString failed");
    } else if (FAILED(SetWriteString(&response))) {
        QUOR_LOG_TAG(Log::ERROR, TAG_POST, "SetWriteString failed");
        SetJsonPostString(nullptr);
    } else {
        result = CheckAnswer(TAG_POST, PerformWatchingStop(), status, nullptr);
        SetWriteString(nullptr);
        SetJsonPostString(nullptr);
    }
    return RequestResult(TAG_POST, path, result);
}

}  // namespace Quor::Common
