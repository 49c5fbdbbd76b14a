#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace testutil {

inline std::string ToolsDir() { return std::string(ZOVA_TEST_DATA_DIR) + "/../tools/"; }

// Starts a program with its standard output and error appended to log, so a
// failing test can show what the server said; -1 when it could not be started.
inline pid_t SpawnLogged(std::vector<std::string> args, const std::string& log) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Starts a program with its output dropped (a server's chatter would only
// clutter the test output); -1 when it could not be started.
inline pid_t SpawnQuietly(std::vector<std::string> args) { return SpawnLogged(std::move(args), "/dev/null"); }

// Runs a program to its end with its output dropped; true when it exited with 0.
inline bool RunQuietly(std::vector<std::string> args) {
    pid_t pid = SpawnQuietly(std::move(args));
    int status = -1;
    if (pid > 0)
        ::waitpid(pid, &status, 0);
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Waits until the server process pid accepts connections on port of
// 127.0.0.1; false (and pid set to -1) when it ended first or took too long.
inline bool WaitUntilAccepting(pid_t& pid, int port) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (pid > 0 && std::chrono::steady_clock::now() < until) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return false;
        }
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (up)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Ends a server started with SpawnQuietly.
inline void StopProcess(pid_t& pid) {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    pid = -1;
}

// A server on 127.0.0.1 that takes connections and never says a word, for as
// long as this object lives; Port() is 0 when it could not listen.
class SilentServer {
public:
    SilentServer() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::listen(m_fd, 8) == 0 && ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            m_port = ntohs(addr.sin_port);
    }
    ~SilentServer() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// A pyftpdlib server on 127.0.0.1, serving root with write access for one
// user, for as long as this object lives. With a PEM file (key and
// certificate) it speaks FTP over TLS only: no login and no data before TLS.
class FtpTestServer {
public:
    static constexpr const char* kUser = "zova";
    static constexpr const char* kPassword = "secret";

    // A new self-signed certificate for name, with its key, in pem.
    static bool MakeCertificate(const std::string& pem, const std::string& name = "localhost") {
        return RunQuietly({"/usr/bin/python3", ToolsDir() + "ftp_test_server.py", "make-cert", pem, "--name", name});
    }

    explicit FtpTestServer(const std::string& root, std::string tlsPem = {}) : m_root(root), m_tls(std::move(tlsPem)) {
        // A port taken between our probe and the server's bind: try another.
        for (int attempt = 0; attempt < 5 && !m_ready; ++attempt) {
            m_port = FreePort();
            if (m_port == 0)
                continue;
            Spawn(root);
            m_ready = WaitUntilAccepting();
            if (!m_ready)
                Stop();
        }
    }
    ~FtpTestServer() { Stop(); }
    FtpTestServer(const FtpTestServer&) = delete;
    FtpTestServer& operator=(const FtpTestServer&) = delete;

    bool Ready() const { return m_ready; }

    // Drops every connection and serves again on the same port.
    bool Restart() {
        Stop();
        Spawn(m_root);
        m_ready = WaitUntilAccepting();
        return m_ready;
    }
    int Port() const { return m_port; }

    // A port nothing listens on, for refused connections.
    static int FreePort() {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return 0;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        int port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
        ::close(fd);
        return port;
    }

private:
    void Spawn(const std::string& root) {
        std::vector<std::string> args = {"/usr/bin/python3", ToolsDir() + "ftp_test_server.py",
                                         "serve", "--port", std::to_string(m_port), "--root", root, "--user", kUser,
                                         "--password", kPassword};
        if (!m_tls.empty()) {
            args.push_back("--tls");
            args.push_back(m_tls);
        }
        m_pid = SpawnQuietly(std::move(args));
    }

    bool WaitUntilAccepting() { return testutil::WaitUntilAccepting(m_pid, m_port); }
    void Stop() { StopProcess(m_pid); }

    std::string m_root;
    std::string m_tls;
    pid_t m_pid = -1;
    int m_port = 0;
    bool m_ready = false;
};

} // namespace testutil
