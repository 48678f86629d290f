#include "remote/FTPConnection.h"

#include "common/Log.h"

namespace Quor::Common {

namespace {
#define QUOR_FTP "Quor::Common::FTPConnection::"
const char* const TAG_CONSTRUCTOR = QUOR_FTP "FTPConnection(HRESULT &, const char *, const char *, const char *)";
const char* const TAG_CONSTRUCTOR_STRINGS =
    QUOR_FTP "FTPConnection(HRESULT &, const std::string &, const std::string &, const std::string &)";
const char* const TAG_CONNECT = "HRESULT " QUOR_FTP "Connect(const char *, const char *, const char *)";
const char* const TAG_DISCONNECT = "HRESULT " QUOR_FTP "Disconnect()";
const char* const TAG_RECONNECT = "HRESULT " QUOR_FTP "Reconnect()";
const char* const TAG_FIND_FILES = "HRESULT " QUOR_FTP "FindFiles(std::vector<std::string> &, const std::string &)";
const char* const TAG_SET_DIRECTORY = "HRESULT " QUOR_FTP "SetCurrentDirectory(const std::string &)";
const char* const TAG_GET_DIRECTORY = "HRESULT " QUOR_FTP "GetCurrentDirectory(std::string &)";
const char* const TAG_PUT_FILE = "HRESULT " QUOR_FTP "PutFile(const std::string &, const std::string &, const DWORD)";
const char* const TAG_GET_FILE = "HRESULT " QUOR_FTP
    "GetFile(const std::string &, const std::string &, Quor::Common::IGetFileProgressCallback *, const bool)";
const char* const TAG_CREATE_DIRECTORY = "HRESULT " QUOR_FTP "CreateDirectory(const std::string &)";
const char* const TAG_REMOVE_DIRECTORY = "HRESULT " QUOR_FTP "RemoveDirectory(const std::string &)";
const char* const TAG_DELETE_FILE = "HRESULT " QUOR_FTP "DeleteFile(const std::string &)";
const char* const TAG_RENAME_FILE = "HRESULT " QUOR_FTP "RenameFile(const std::string &, const std::string &)";
#undef QUOR_FTP
}  // namespace

FTPConnection::FTPConnection(HRESULT& result, const char* server, const char* user, const char* password)
    : m_server(server ? server : ""), m_user(user ? user : ""), m_password(password ? password : "") {
    QUOR_LOG_TAG(Log::DEBUG, TAG_CONSTRUCTOR, "(%s, <user>, <pass>)", m_server.c_str());
    result = Connect(m_server.c_str(), m_user.c_str(), m_password.c_str());
}

FTPConnection::FTPConnection(HRESULT& result, const std::string& server, const std::string& user,
                             const std::string& password)
    : m_server(server), m_user(user), m_password(password) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_CONSTRUCTOR_STRINGS, "(%s, <user>, <pass>)", m_server.c_str());
    result = Connect(m_server.c_str(), m_user.c_str(), m_password.c_str());
}

FTPConnection::~FTPConnection() { Disconnect(); }

HRESULT FTPConnection::Connect(const char*, const char*, const char*) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_CONNECT, "()");
    // Both handles are empty: no connection is made, and the result is the last system error.
    return Log::Internal::LogGetLastError(TAG_CONNECT);
}

HRESULT FTPConnection::Disconnect() {
    QUOR_LOG_TAG(Log::DEBUG, TAG_DISCONNECT, "()");
    m_open = nullptr;
    m_connection = nullptr;
    return S_OK;
}

HRESULT FTPConnection::Reconnect() {
    QUOR_LOG_TAG(Log::DEBUG, TAG_RECONNECT, "()");
    Disconnect();
    const HRESULT result = Connect(m_server.c_str(), m_user.c_str(), m_password.c_str());
    if (FAILED(result)) QUOR_LOG_TAG(Log::ERROR, TAG_RECONNECT, "Failed to connect to FTP server during reconnect");
    return result;
}

HRESULT FTPConnection::FindFiles(std::vector<std::string>&, const std::string&) {
    QUOR_LOG_TAG(Log::VERBOSE, TAG_FIND_FILES, "()");
    return S_OK;
}

HRESULT FTPConnection::SetCurrentDirectory(const std::string& folder) {
    QUOR_LOG_TAG(Log::VERBOSE, TAG_SET_DIRECTORY, "(\"%s\")", folder.c_str());
    m_currentDirectory = folder;
    return S_OK;
}

HRESULT FTPConnection::GetCurrentDirectory(std::string& folder) {
    QUOR_LOG_TAG(Log::VERBOSE, TAG_GET_DIRECTORY, "()");
    folder = m_currentDirectory;
    return S_OK;
}

HRESULT FTPConnection::PutFile(const std::string& local, const std::string& remote, const DWORD flags) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_PUT_FILE, "(\"%s\", \"%s\", 0x%08lx)", local.c_str(), remote.c_str(),
                 static_cast<unsigned long>(flags));
    return S_OK;
}

HRESULT FTPConnection::GetFile(const std::string& remote, const std::string& local, IGetFileProgressCallback*,
                               const bool flag) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_GET_FILE, "(\"%s\", \"%s\", %s)", remote.c_str(), local.c_str(),
                 flag ? "TRUE" : "FALSE");
    return S_OK;
}

HRESULT FTPConnection::CreateDirectory(const std::string& folder) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_CREATE_DIRECTORY, "(\"%s\")", folder.c_str());
    return S_OK;
}

HRESULT FTPConnection::RemoveDirectory(const std::string& folder) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_REMOVE_DIRECTORY, "(\"%s\")", folder.c_str());
    return S_OK;
}

HRESULT FTPConnection::DeleteFile(const std::string& path) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_DELETE_FILE, "(\"%s\")", path.c_str());
    return S_OK;
}

HRESULT FTPConnection::RenameFile(const std::string& from, const std::string& to) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_RENAME_FILE, "(\"%s\", \"%s\")", from.c_str(), to.c_str());
    return S_OK;
}

}  // namespace Quor::Common
