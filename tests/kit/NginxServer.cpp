#include "tests/kit/NginxServer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/kit/LoopbackSocket.h"

extern char** environ;

namespace QuorTest {

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";
constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr int kPortAttempts = 5;
constexpr auto kStartTimeout = std::chrono::seconds(20);
constexpr auto kStopTimeout = std::chrono::seconds(10);
constexpr auto kPollInterval = std::chrono::milliseconds(10);

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A path that can stand inside double quotes in nginx's configuration as it is.
bool QuotablePath(const std::string& path) {
    for (char c : path) {
        if (c == '"' || c == '\\' || c == '$' || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return !path.empty();
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

bool ProcessExited(pid_t pid, int& status) {
    pid_t rc;
    do {
        rc = ::waitpid(pid, &status, WNOHANG);
    } while (rc < 0 && errno == EINTR);
    return rc == pid || (rc < 0 && errno == ECHILD);
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

NginxServer::NginxServer(const std::string& contentRoot, PortPicker pickPort, unsigned long long bytesPerSecond)
    : m_bytesPerSecond(bytesPerSecond) {
    std::error_code ec;
    std::string root = std::filesystem::absolute(contentRoot, ec).lexically_normal().string();
    if (!root.empty() && root.size() > 1 && root.back() == '/') root.pop_back();
    std::string failure;
    if (m_prefix.path().empty()) return;  // TempDir already failed the test
    if (!std::filesystem::is_directory(root, ec)) {
        ADD_FAILURE() << "NginxServer: the content folder " << contentRoot << " does not exist";
        return;
    }
    if (!QuotablePath(root) || !QuotablePath(m_prefix.path())) {
        ADD_FAILURE() << "NginxServer: cannot put " << root << " or " << m_prefix.path()
                      << " into nginx's configuration (quote, backslash, '$' or control character)";
        return;
    }
    if (::access(kNginx, X_OK) != 0) {
        ADD_FAILURE() << "NginxServer: " << kNginx << " is missing; run scripts/deps";
        return;
    }
    MakeDirs(m_prefix / "logs");
    MakeDirs(m_prefix / "temp");
    for (int attempt = 1; attempt <= kPortAttempts; ++attempt) {
        switch (StartOnce(root, pickPort, failure)) {
            case Outcome::Started: return;
            case Outcome::Failed:
                ADD_FAILURE() << "NginxServer: nginx did not start: " << failure;
                m_port = 0;
                return;
            case Outcome::PortTaken:
                break;  // someone took the port between our probe and nginx's bind: try another
        }
    }
    ADD_FAILURE() << "NginxServer: every port tried was taken; last failure: " << failure;
    m_port = 0;
}

NginxServer::~NginxServer() { Stop(); }

std::string NginxServer::baseUrl() const { return "127.0.0.1:" + std::to_string(m_port); }

bool NginxServer::WriteConfiguration(const std::string& contentRoot, std::string& failure) const {
    const std::string& p = m_prefix.path();
    std::ostringstream conf;
    // Runs as one foreground process, so that stopping and reaping it leaves nothing behind.
    // Under root the process keeps root's rights and reads every file of the content tree.
    if (::geteuid() == 0) conf << "user root;\n";
    conf << "master_process off;\n"
         << "worker_processes 1;\n"
         << "pid " << Quoted(p + "/nginx.pid") << ";\n"
         << "lock_file " << Quoted(p + "/nginx.lock") << ";\n"
         << "error_log " << Quoted(p + "/logs/error.log") << " info;\n"
         << "events { worker_connections 1024; }\n"
         << "http {\n"
         << "    default_type application/octet-stream;\n"
         << "    log_format quor '$connection\\t$connection_requests\\t$request_method\\t$request_uri"
            "\\t$status\\t$body_bytes_sent\\t$http_range';\n"
         << "    access_log " << Quoted(p + "/logs/access.log") << " quor;\n"
         << "    client_body_temp_path " << Quoted(p + "/temp/client_body") << ";\n"
         << "    proxy_temp_path " << Quoted(p + "/temp/proxy") << ";\n"
         << "    fastcgi_temp_path " << Quoted(p + "/temp/fastcgi") << ";\n"
         << "    uwsgi_temp_path " << Quoted(p + "/temp/uwsgi") << ";\n"
         << "    scgi_temp_path " << Quoted(p + "/temp/scgi") << ";\n"
         << "    sendfile on;\n"
         << "    tcp_nopush on;\n"
         << "    server_tokens off;\n";
    if (m_bytesPerSecond > 0) conf << "    limit_rate " << m_bytesPerSecond << ";\n";
    conf << "    keepalive_timeout 60s;\n"
         << "    keepalive_requests 1000000;\n"
         << "    server {\n"
         << "        listen 127.0.0.1:" << m_port << ";\n"
         << "        server_name localhost;\n"
         << "        root " << Quoted(contentRoot) << ";\n"
         << "        location / { }\n"
         << "    }\n"
         << "}\n";
    std::ofstream out(m_prefix / "nginx.conf", std::ios::binary | std::ios::trunc);
    out << conf.str();
    out.close();
    if (!out) {
        failure = "cannot write " + (m_prefix / "nginx.conf");
        return false;
    }
    return true;
}

NginxServer::Outcome NginxServer::StartOnce(const std::string& contentRoot, const PortPicker& pickPort,
                                            std::string& failure) {
    std::string error;
    m_port = pickPort ? pickPort() : FreeLoopbackPort(&error);
    if (m_port == 0) {
        failure = "no free port: " + error;
        return Outcome::Failed;
    }
    if (!WriteConfiguration(contentRoot, failure)) return Outcome::Failed;
    const std::string errorLogPath = m_prefix / "logs/error.log";
    const std::string stderrPath = m_prefix / "logs/stderr.log";
    const std::string pidPath = m_prefix / "nginx.pid";
    ::unlink(errorLogPath.c_str());
    ::unlink(stderrPath.c_str());
    ::unlink(pidPath.c_str());

    const std::string prefixArg = m_prefix.path() + "/";
    const std::string confArg = m_prefix / "nginx.conf";
    std::vector<std::string> args;
    if (::access(kSetpriv, X_OK) == 0) args = {kSetpriv, "--pdeathsig", "KILL", "--"};
    for (const std::string& arg : {std::string(kNginx), std::string("-p"), prefixArg, std::string("-e"), errorLogPath,
                                   std::string("-c"), confArg, std::string("-g"), std::string("daemon off;")})
        args.push_back(arg);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, stderrPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        failure = std::string("posix_spawn(") + argv[0] + ") failed: " + strerror(rc);
        return Outcome::Failed;
    }
    m_pid = pid;

    auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (ProcessExited(m_pid, status)) {
            m_pid = -1;
            std::string log = ReadWhole(errorLogPath) + ReadWhole(stderrPath);
            failure = "nginx exited (status " + std::to_string(status) + ") on port " + std::to_string(m_port) +
                      "; its error log:\n" + log;
            return log.find("Address already in use") != std::string::npos ? Outcome::PortTaken : Outcome::Failed;
        }
        // The pid file is written after the listening socket was bound, so a connection that
        // succeeds then reaches this nginx and not someone else who took the port.
        std::string written = ReadWhole(pidPath);
        if (!written.empty() && std::atoi(written.c_str()) == m_pid && ConnectLoopback(m_port).valid())
            return Outcome::Started;
        std::this_thread::sleep_for(kPollInterval);
    }
    failure = "nginx did not accept connections on port " + std::to_string(m_port) + "; its error log:\n" +
              ReadWhole(errorLogPath) + ReadWhole(stderrPath);
    Kill();
    return Outcome::Failed;
}

void NginxServer::Stop() { Kill(); }

void NginxServer::Kill() {
    if (m_pid <= 0) return;
    // SIGTERM is nginx's fast shutdown; SIGKILL if it has not ended in time.
    ::kill(m_pid, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    int status = 0;
    while (!ProcessExited(m_pid, status)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    m_pid = -1;
}

std::vector<std::string> NginxServer::accessLogLines() const {
    std::vector<std::string> lines;
    std::istringstream text(ReadWhole(m_prefix / "logs/access.log"));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

std::vector<NginxAccessEntry> NginxServer::accessLog() const {
    std::vector<NginxAccessEntry> entries;
    for (const std::string& line : accessLogLines()) {
        std::vector<std::string> fields = SplitTabs(line);
        NginxAccessEntry entry;
        entry.line = line;
        if (fields.size() == 7) {
            entry.connection = std::strtoull(fields[0].c_str(), nullptr, 10);
            entry.connectionRequests = static_cast<unsigned>(std::strtoul(fields[1].c_str(), nullptr, 10));
            entry.method = fields[2];
            entry.uri = fields[3];
            entry.status = std::atoi(fields[4].c_str());
            entry.bodyBytes = std::strtoull(fields[5].c_str(), nullptr, 10);
            entry.range = fields[6];
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool NginxServer::WaitForAccessLog(size_t count, std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (accessLogLines().size() >= count) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::string NginxServer::errorLog() const { return ReadWhole(m_prefix / "logs/error.log"); }

}  // namespace QuorTest
