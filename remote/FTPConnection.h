#pragma once
// Quor::Common::FTPConnection: the interface through which publishing tools would write to the
// content server's file tree. There is no FTP client behind it: it keeps the server, user and
// password it was given, logs every call (never the user or the password) and reports success
// for every file operation without touching the server or any local file.
// Connect (and so the constructor and Reconnect) reports the last system error of the calling
// thread, S_OK when there is none. One object is used by one thread at a time. Not copyable.
#include <string>
#include <vector>

#include "foundation/Types.h"
#include "remote/IGetFileProgressCallback.h"

namespace Quor::Common {

class FTPConnection {
public:
    FTPConnection(HRESULT& result, const char* server, const char* user, const char* password);
    FTPConnection(HRESULT& result, const std::string& server, const std::string& user, const std::string& password);
    ~FTPConnection();
    FTPConnection(const FTPConnection&) = delete;
    FTPConnection& operator=(const FTPConnection&) = delete;

    HRESULT Connect(const char* server, const char* user, const char* password);
    HRESULT Disconnect();
    HRESULT Reconnect();

    HRESULT FindFiles(std::vector<std::string>& files, const std::string& pattern);
    HRESULT SetCurrentDirectory(const std::string& folder);
    HRESULT GetCurrentDirectory(std::string& folder);
    HRESULT PutFile(const std::string& local, const std::string& remote, const DWORD flags);
    HRESULT GetFile(const std::string& remote, const std::string& local, IGetFileProgressCallback* callback,
                    const bool flag);
    HRESULT CreateDirectory(const std::string& folder);
    HRESULT RemoveDirectory(const std::string& folder);
    HRESULT DeleteFile(const std::string& path);
    HRESULT RenameFile(const std::string& from, const std::string& to);

private:
    void* m_open = nullptr;        // always empty
    void* m_connection = nullptr;  // always empty
    std::string m_server;
    std::string m_user;
    std::string m_password;
    std::string m_currentDirectory;  // what SetCurrentDirectory was last given
};

}  // namespace Quor::Common
