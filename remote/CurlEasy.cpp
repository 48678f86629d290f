#include "remote/CurlEasy.h"

#include <curl/curl.h>

#include <string>
#include <type_traits>
#include <utility>

namespace Quor::Common {

static_assert(std::is_same_v<curl_off_t, int64_t>, "curl_off_t must be the 64-bit integer of the progress function");

namespace {

// libcurl's process-wide set-up: made on first use (before the first handle) and undone at exit.
class CurlGlobal {
public:
    CurlGlobal() : m_result(curl_global_init(CURL_GLOBAL_ALL)) {}
    ~CurlGlobal() {
        if (m_result == CURLE_OK) curl_global_cleanup();
    }
    bool ok() const { return m_result == CURLE_OK; }

private:
    CURLcode m_result;
};

bool EnsureGlobal() {
    static CurlGlobal global;
    return global.ok();
}

// Also set up during static initialisation, so that the set-up happens before any thread of the
// program exists.
const bool g_earlyGlobal = EnsureGlobal();

CURL* Handle(void* handle) { return static_cast<CURL*>(handle); }

CURLoption ToCurl(CurlOption option) {
    switch (option) {
    case CurlOption::NoProgress: return CURLOPT_NOPROGRESS;
    case CurlOption::LowSpeedLimit: return CURLOPT_LOW_SPEED_LIMIT;
    case CurlOption::LowSpeedTime: return CURLOPT_LOW_SPEED_TIME;
    case CurlOption::SslVerifyHost: return CURLOPT_SSL_VERIFYHOST;
    case CurlOption::SslVerifyPeer: return CURLOPT_SSL_VERIFYPEER;
    case CurlOption::CaInfo: return CURLOPT_CAINFO;
    case CurlOption::UserPwd: return CURLOPT_USERPWD;
    case CurlOption::ProgressData: return CURLOPT_XFERINFODATA;
    case CurlOption::Port: return CURLOPT_PORT;
    case CurlOption::Header: return CURLOPT_HEADER;
    case CurlOption::Url: return CURLOPT_URL;
    case CurlOption::HttpGet: return CURLOPT_HTTPGET;
    case CurlOption::NoBody: return CURLOPT_NOBODY;
    case CurlOption::Post: return CURLOPT_POST;
    case CurlOption::WriteData: return CURLOPT_WRITEDATA;
    case CurlOption::PostFields: return CURLOPT_POSTFIELDS;
    case CurlOption::PostFieldSize: return CURLOPT_POSTFIELDSIZE_LARGE;
    case CurlOption::MaxFileSize: return CURLOPT_MAXFILESIZE_LARGE;
    case CurlOption::TimeoutMs: return CURLOPT_TIMEOUT_MS;
    }
    return CURLOPT_LASTENTRY;
}

}  // namespace

// --- CurlHeaderList ---

CurlHeaderList::~CurlHeaderList() {
    if (m_list) curl_slist_free_all(m_list);
}

CurlHeaderList::CurlHeaderList(CurlHeaderList&& other) noexcept : m_list(std::exchange(other.m_list, nullptr)) {}

CurlHeaderList& CurlHeaderList::operator=(CurlHeaderList&& other) noexcept {
    if (this != &other) {
        if (m_list) curl_slist_free_all(m_list);
        m_list = std::exchange(other.m_list, nullptr);
    }
    return *this;
}

bool CurlHeaderList::Append(const char* line) {
    curl_slist* longer = curl_slist_append(m_list, line);
    if (!longer) return false;
    m_list = longer;
    return true;
}

// --- CurlEasy ---

CurlEasy::~CurlEasy() { Reset(); }

CurlEasy::CurlEasy(CurlEasy&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}

CurlEasy& CurlEasy::operator=(CurlEasy&& other) noexcept {
    if (this != &other) {
        Reset();
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

bool CurlEasy::Init() {
    Reset();
    if (!EnsureGlobal()) return false;
    m_handle = curl_easy_init();
    return m_handle != nullptr;
}

void CurlEasy::Reset() {
    if (m_handle) curl_easy_cleanup(Handle(std::exchange(m_handle, nullptr)));
}

int CurlEasy::SetLong(CurlOption option, long value) {
    if (!m_handle) return CURLE_BAD_FUNCTION_ARGUMENT;
    return curl_easy_setopt(Handle(m_handle), ToCurl(option), value);
}

int CurlEasy::SetOffset(CurlOption option, int64_t value) {
    if (!m_handle) return CURLE_BAD_FUNCTION_ARGUMENT;
    return curl_easy_setopt(Handle(m_handle), ToCurl(option), static_cast<curl_off_t>(value));
}

int CurlEasy::SetText(CurlOption option, const char* text) {
    if (!m_handle) return CURLE_BAD_FUNCTION_ARGUMENT;
    return curl_easy_setopt(Handle(m_handle), ToCurl(option), text);
}

int CurlEasy::SetPointer(CurlOption option, void* pointer) {
    if (!m_handle) return CURLE_BAD_FUNCTION_ARGUMENT;
    return curl_easy_setopt(Handle(m_handle), ToCurl(option), pointer);
}

int CurlEasy::SetProgressFunction(CurlProgressFunction function) {
    if (!m_handle) return CURLE_BAD_FUNCTION_ARGUMENT;
    curl_xferinfo_callback callback = function;
    return curl_easy_setopt(Handle(m_handle), CURLOPT_XFERINFOFUNCTION, callback);
}

int CurlEasy::SetWriteFunction(CurlWriteFunction function) {
    if (!m_handle) return CURLE_BAD_FUNCTION_ARGUMENT;
    curl_write_callback callback = function;
    return curl_easy_setopt(Handle(m_handle), CURLOPT_WRITEFUNCTION, callback);
}

int CurlEasy::SetHeaderList(const CurlHeaderList* list) {
    if (!m_handle) return CURLE_BAD_FUNCTION_ARGUMENT;
    return curl_easy_setopt(Handle(m_handle), CURLOPT_HTTPHEADER, list ? list->m_list : nullptr);
}

int CurlEasy::Perform() {
    if (!m_handle) return CURLE_BAD_FUNCTION_ARGUMENT;
    return curl_easy_perform(Handle(m_handle));
}

int CurlEasy::GetResponseCode(long& code) {
    if (!m_handle) return CURLE_BAD_FUNCTION_ARGUMENT;
    return curl_easy_getinfo(Handle(m_handle), CURLINFO_RESPONSE_CODE, &code);
}

int CurlEasy::GetContentLength(int64_t& length) {
    if (!m_handle) return CURLE_BAD_FUNCTION_ARGUMENT;
    curl_off_t value = -1;
    const CURLcode code = curl_easy_getinfo(Handle(m_handle), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &value);
    if (code == CURLE_OK) length = value;
    return code;
}

int CurlEasy::GetDownloadedBytes(int64_t& bytes) {
    if (!m_handle) return CURLE_BAD_FUNCTION_ARGUMENT;
    curl_off_t value = 0;
    const CURLcode code = curl_easy_getinfo(Handle(m_handle), CURLINFO_SIZE_DOWNLOAD_T, &value);
    if (code == CURLE_OK) bytes = value;
    return code;
}

bool CurlEasy::ResponseWasChunked() {
    if (!m_handle) return false;
    curl_header* header = nullptr;
    if (curl_easy_header(Handle(m_handle), "Transfer-Encoding", 0, CURLH_HEADER, -1, &header) != CURLHE_OK || !header ||
        !header->value)
        return false;
    // The last coding applied is the one that frames the body: "gzip, chunked" is chunked.
    std::string value = header->value;
    for (char& c : value) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    const size_t end = value.find_last_not_of(" \t");
    if (end == std::string::npos) return false;
    value.erase(end + 1);
    return value.size() >= 7 && value.compare(value.size() - 7, 7, "chunked") == 0;
}

// --- CurlMulti ---

CurlMulti::~CurlMulti() {
    if (m_handle) curl_multi_cleanup(static_cast<CURLM*>(std::exchange(m_handle, nullptr)));
}

bool CurlMulti::Init(long connections) {
    if (m_handle || !EnsureGlobal()) return m_handle != nullptr;
    CURLM* multi = curl_multi_init();
    if (!multi) return false;
    m_handle = multi;
    // One request at a time on each connection (HTTP/1.1, no pipelining), a few connections kept.
    curl_multi_setopt(multi, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_NOTHING));
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, connections);
    curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, connections);
    return true;
}

int CurlMulti::Add(CurlEasy& easy) {
    if (!m_handle || !easy.m_handle) return CURLM_BAD_HANDLE;
    return curl_multi_add_handle(static_cast<CURLM*>(m_handle), Handle(easy.m_handle));
}

int CurlMulti::Remove(CurlEasy& easy) {
    if (!m_handle || !easy.m_handle) return CURLM_BAD_HANDLE;
    return curl_multi_remove_handle(static_cast<CURLM*>(m_handle), Handle(easy.m_handle));
}

int CurlMulti::Perform(int& running) {
    running = 0;
    if (!m_handle) return CURLM_BAD_HANDLE;
    return curl_multi_perform(static_cast<CURLM*>(m_handle), &running);
}

int CurlMulti::Poll(int timeoutMs) {
    if (!m_handle) return CURLM_BAD_HANDLE;
    return curl_multi_poll(static_cast<CURLM*>(m_handle), nullptr, 0, timeoutMs, nullptr);
}

bool CurlMulti::NextEnded(const void*& easy, int& code) {
    if (!m_handle) return false;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(static_cast<CURLM*>(m_handle), &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        easy = message->easy_handle;
        code = message->data.result;
        return true;
    }
    return false;
}

int CurlEasy::AbortedByCallbackCode() { return CURLE_ABORTED_BY_CALLBACK; }
int CurlEasy::WriteErrorCode() { return CURLE_WRITE_ERROR; }
int CurlEasy::TimedOutCode() { return CURLE_OPERATION_TIMEDOUT; }
int CurlEasy::FileTooLargeCode() { return CURLE_FILESIZE_EXCEEDED; }

}  // namespace Quor::Common
