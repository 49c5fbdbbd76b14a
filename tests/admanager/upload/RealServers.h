#pragma once

#include "FtpTestServer.h"
#include "TestUtil.h"

#include <dirent.h>
#include <sys/stat.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace testutil {

// Where scripts/setup-servers unpacked Debian's vsftpd, ProFTPD and Pure-FTPd.
// The fixtures need root anyway, so only root's cache is looked at.
inline std::string ServerTreesDir() { return "/var/cache/zelvor-test-servers/"; }

// What a shell command printed on its standard output, trimmed; empty when it failed.
inline std::string OutputOf(const std::string& command, const std::string& scratch) {
    ::unlink(scratch.c_str());
    if (!RunQuietly({"/bin/sh", "-c", command + " > '" + scratch + "'"}))
        return {};
    std::ifstream in(scratch);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ::unlink(scratch.c_str());
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

// The last lines of a file, for a failing test's message.
inline std::string TailOfFile(const std::string& path, int lines) {
    std::ifstream in(path);
    if (!in)
        return {};
    std::vector<std::string> kept;
    for (std::string line; std::getline(in, line);) {
        kept.push_back(line);
        if (static_cast<int>(kept.size()) > lines)
            kept.erase(kept.begin());
    }
    std::string text = "--- " + path + "\n";
    for (const auto& l : kept)
        text += l + "\n";
    return text;
}

// Sends sig to pid and to every process below it, then reaps pid. The servers
// fork a process per session (vsftpd and sshd two); a test that kills the
// server mid-transfer means those too, and a session left holding the
// listening socket would keep the port from being served again.
inline void SignalTree(pid_t& pid, int sig) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGSTOP); // no new sessions while we look
    std::set<pid_t> tree{pid};
    for (bool grew = true; grew;) {
        grew = false;
        DIR* proc = ::opendir("/proc");
        if (!proc)
            break;
        while (dirent* e = ::readdir(proc)) {
            pid_t p = static_cast<pid_t>(std::atoi(e->d_name));
            if (p <= 0 || tree.count(p))
                continue;
            std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
            std::string line;
            std::getline(stat, line);
            // "pid (comm) state ppid ...": comm may hold spaces and parentheses.
            auto close = line.rfind(')');
            if (close == std::string::npos)
                continue;
            std::istringstream rest(line.substr(close + 1));
            char state = 0;
            pid_t parent = 0;
            rest >> state >> parent;
            if (tree.count(parent)) {
                ::kill(p, SIGSTOP); // nor new processes below it
                tree.insert(p);
                grew = true;
            }
        }
        ::closedir(proc);
    }
    for (pid_t p : tree)
        if (p != pid)
            ::kill(p, sig);
    ::kill(pid, sig);
    for (pid_t p : tree)
        ::kill(p, SIGCONT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    // Sessions are not our children: wait until each has ended (or is a
    // zombie nobody reaps), so their files, sockets and user are free again.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (pid_t p : tree) {
        while (std::chrono::steady_clock::now() < until) {
            std::ifstream stat("/proc/" + std::to_string(p) + "/stat");
            std::string line;
            if (!std::getline(stat, line))
                break;
            auto close = line.rfind(')');
            if (close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'Z')
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

// A temporary local system user with a fresh password and the given home
// folder (made, and owned by the user), removed again with the object. The
// servers check passwords against /etc/shadow, so this needs root.
class TestUser {
public:
    explicit TestUser(const std::string& home) {
        static std::atomic<int> made{0};
        // Named by process so a run killed before its clean-up is cleaned by the next with that id.
        m_name = "zvr" + std::to_string(::getpid()) + "n" + std::to_string(++made);
        std::random_device random;
        constexpr char alphabet[] = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
        m_password = "Zv";
        for (int i = 0; i < 14; ++i)
            m_password += alphabet[random() % (sizeof alphabet - 1)];
        m_password += "-7.";
        RunQuietly({"/usr/sbin/userdel", m_name});
        // useradd and chpasswd lock /etc/passwd and /etc/shadow: tests running
        // side by side may have to wait their turn.
        for (int attempt = 0; attempt < 50 && !m_made; ++attempt) {
            m_made = RunQuietly({"/usr/sbin/useradd", "-M", "-d", home, "-s", "/bin/sh", m_name});
            if (!m_made)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!m_made)
            return;
        std::string file = home + ".chpasswd";
        std::string line = m_name + ":" + m_password + "\n";
        int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        bool written = fd >= 0 && ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
        if (fd >= 0)
            ::close(fd);
        bool set = false;
        for (int attempt = 0; attempt < 50 && written && !set; ++attempt) {
            set = RunQuietly({"/bin/sh", "-c", "/usr/sbin/chpasswd < '" + file + "'"});
            if (!set)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ::unlink(file.c_str());
        m_ready = set && RunQuietly({"/bin/mkdir", "-p", home}) && RunQuietly({"/bin/chown", m_name + ":", home});
    }
    ~TestUser() {
        if (!m_made)
            return;
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (RunQuietly({"/usr/sbin/userdel", m_name}))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        RunQuietly({"/usr/sbin/userdel", "-f", m_name});
    }
    TestUser(const TestUser&) = delete;
    TestUser& operator=(const TestUser&) = delete;

    bool Ready() const { return m_ready; }
    const std::string& Name() const { return m_name; }
    const std::string& Password() const { return m_password; }

    // Makes a folder below home belong to the user.
    bool Own(const std::string& path) const { return RunQuietly({"/bin/chown", "-R", m_name + ":", path}); }

private:
    std::string m_name;
    std::string m_password;
    bool m_made = false;
    bool m_ready = false;
};

enum class FtpServerKind { Vsftpd, Proftpd, PureFtpd };
inline constexpr FtpServerKind kFtpServerKinds[] = {FtpServerKind::Vsftpd, FtpServerKind::Proftpd,
                                                    FtpServerKind::PureFtpd};

inline const char* FtpServerName(FtpServerKind kind) {
    switch (kind) {
    case FtpServerKind::Vsftpd:
        return "vsftpd";
    case FtpServerKind::Proftpd:
        return "ProFTPD";
    case FtpServerKind::PureFtpd:
        return "Pure-FTPd";
    }
    return "";
}

// One of Debian's own FTP servers, as unpacked by scripts/setup-servers, on
// 127.0.0.1 with a configuration file of its own that keeps Debian's shipped
// defaults except where a test server must differ (port, address, paths of
// logs and run files, and what Debian leaves to the admin: write access on
// vsftpd, the certificate, and TLS when asked for). With tls the server's
// stock TLS settings apply and TLS is required for login and data.
// A temporary system user logs in with a password into Root(), which holds
// site/. Needs root; Ready() is false otherwise or when the server is missing.
class RealFtpServer {
public:
    RealFtpServer(FtpServerKind kind, bool tls) : m_kind(kind), m_tls(tls) {
        if (::geteuid() != 0 || m_dir.path().empty() || ::access(Binary().c_str(), X_OK) != 0)
            return;
        const std::string d = m_dir.path() + "/";
        ::chmod(d.c_str(), 0755);
        m_user = std::make_unique<TestUser>(d + "home");
        if (!m_user->Ready() || !RunQuietly({"/bin/mkdir", "-p", d + "home/site", d + "run", d + "empty"}) ||
            !m_user->Own(d + "home") || !MakeCertificate())
            return;
        for (int attempt = 0; attempt < 5 && !m_ready; ++attempt) {
            m_port = FtpTestServer::FreePort();
            m_ready = m_port != 0 && WriteConfig() && Start();
        }
    }
    ~RealFtpServer() { Stop(); }
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;

    // Whether scripts/setup-servers has unpacked that server here.
    static bool Unpacked(FtpServerKind kind) { return ::access(BinaryOf(kind).c_str(), X_OK) == 0; }

    bool Ready() const { return m_ready; }
    FtpServerKind Kind() const { return m_kind; }
    bool Tls() const { return m_tls; }
    std::string Name() const { return FtpServerName(m_kind); }
    int Port() const { return m_port; }
    std::string User() const { return m_user ? m_user->Name() : std::string(); }
    std::string Password() const { return m_user ? m_user->Password() : std::string(); }
    // The login folder, as the server's file system sees it; no server chroots here.
    std::string Root() const { return m_dir.path() + "/home/"; }
    std::string CertFile() const { return m_dir.path() + "/cert.pem"; }
    // SHA-256 of the DER certificate, 64 lower-case hex digits.
    const std::string& CertSha256() const { return m_certSha256; }

    // Serves (again) on Port().
    bool Start() {
        if (m_pid > 0)
            return true;
        const std::string d = m_dir.path() + "/";
        std::vector<std::string> args;
        switch (m_kind) {
        case FtpServerKind::Vsftpd:
            args = {Binary(), d + "vsftpd.conf"};
            break;
        case FtpServerKind::Proftpd:
            args = {Binary(), "--nodaemon", "--config", d + "proftpd.conf"};
            break;
        case FtpServerKind::PureFtpd:
            args = PureFtpdArgs();
            break;
        }
        m_pid = SpawnLogged(std::move(args), d + "server.log");
        m_ready = WaitUntilAccepting(m_pid, m_port);
        if (!m_ready)
            Stop();
        return m_ready;
    }
    // Ends the server and every session it serves.
    void Stop() { SignalTree(m_pid, SIGTERM); }
    // The same without letting anything finish: as if the machine went away.
    void Kill() { SignalTree(m_pid, SIGKILL); }

    std::string LogTail(int lines = 40) const {
        const std::string d = m_dir.path() + "/";
        std::string text;
        for (const char* log : {"server.log", "protocol.log", "xfer.log", "tls.log"})
            text += TailOfFile(d + log, lines);
        return text;
    }

private:
    static std::string BinaryOf(FtpServerKind kind) {
        switch (kind) {
        case FtpServerKind::Vsftpd:
            return ServerTreesDir() + "vsftpd/usr/sbin/vsftpd";
        case FtpServerKind::Proftpd:
            return ServerTreesDir() + "proftpd/usr/sbin/proftpd";
        case FtpServerKind::PureFtpd:
            return ServerTreesDir() + "pure-ftpd/usr/sbin/pure-ftpd";
        }
        return {};
    }
    std::string Binary() const { return BinaryOf(m_kind); }

    bool MakeCertificate() {
        const std::string d = m_dir.path() + "/";
        if (!RunQuietly({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj",
                         "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout",
                         d + "key.pem", "-out", d + "cert.pem"}) ||
            !RunQuietly({"/bin/sh", "-c", "cat '" + d + "cert.pem' '" + d + "key.pem' > '" + d + "both.pem'"}))
            return false;
        m_certSha256 = OutputOf("/usr/bin/openssl x509 -in '" + d + "cert.pem' -outform DER | /usr/bin/sha256sum",
                                d + "scratch")
                           .substr(0, 64);
        return m_certSha256.size() == 64;
    }

    bool WriteConfig() {
        const std::string d = m_dir.path() + "/";
        if (m_kind == FtpServerKind::Vsftpd) {
            // Debian's /etc/vsftpd.conf, listening on 127.0.0.1 only and in the foreground.
            std::ofstream conf(d + "vsftpd.conf");
            conf << "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" << m_port
                 << "\nbackground=NO\n"
                    "anonymous_enable=NO\nlocal_enable=YES\n"
                    // Debian ships it commented out; an upload server needs it.
                    "write_enable=YES\n"
                    "dirmessage_enable=YES\nuse_localtime=YES\nxferlog_enable=YES\nconnect_from_port_20=YES\n"
                    "secure_chroot_dir="
                 << d
                 << "empty\n"
                    // No such file in /etc/pam.d: PAM uses "other", which is pam_unix on Debian.
                    "pam_service_name=zelvor-test-vsftpd\n"
                    "rsa_cert_file="
                 << d << "cert.pem\nrsa_private_key_file=" << d << "key.pem\nssl_enable=" << (m_tls ? "YES" : "NO")
                 << "\nvsftpd_log_file=" << d << "xfer.log\nxferlog_file=" << d << "xfer.log\nlog_ftp_protocol=YES\n";
            return static_cast<bool>(conf);
        }
        if (m_kind == FtpServerKind::Proftpd) {
            // Debian's modules.conf as shipped, from the unpacked tree.
            std::ifstream shipped(ServerTreesDir() + "proftpd/usr/share/proftpd/templates/modules.conf");
            std::ofstream conf(d + "proftpd.conf");
            conf << "ModulePath " << ServerTreesDir() << "proftpd/usr/lib/proftpd\n";
            for (std::string line; std::getline(shipped, line);)
                if (line.rfind("LoadModule", 0) == 0 || line.rfind("ModuleControlsACLs", 0) == 0)
                    conf << line << "\n";
                // What Debian says to uncomment once proftpd-mod-crypto is there.
                else if (m_tls && line == "#LoadModule mod_tls.c")
                    conf << "LoadModule mod_tls.c\n";
            // Debian's proftpd.conf, on 127.0.0.1 with its files in our folder;
            // its "proftpd" user is made by the package's scripts, which never ran.
            conf << "UseIPv6 off\n<IfModule mod_ident.c>\n  IdentLookups off\n</IfModule>\n"
                    "ServerName \"Debian\"\nServerType standalone\nDeferWelcome off\nDefaultServer on\n"
                    "ShowSymlinks on\nTimeoutNoTransfer 600\nTimeoutStalled 600\nTimeoutIdle 1200\n"
                    "DisplayLogin welcome.msg\nDisplayChdir .message true\nListOptions \"-l\"\n"
                    "DenyFilter \\*.*/\nPort "
                 << m_port
                 << "\nDefaultAddress 127.0.0.1\nSocketBindTight on\nMaxInstances 30\nUser nobody\nGroup nogroup\n"
                    "Umask 022 022\nAllowOverwrite on\n"
                 << "PidFile " << d << "run/proftpd.pid\nScoreboardFile " << d << "run/proftpd.scoreboard\n"
                 << "TransferLog " << d << "xfer.log\nSystemLog " << d << "protocol.log\n"
                 << "<IfModule mod_quotatab.c>\nQuotaEngine off\n</IfModule>\n"
                    "<IfModule mod_ratio.c>\nRatios off\n</IfModule>\n"
                    "<IfModule mod_delay.c>\nDelayEngine on\nDelayTable "
                 << d << "run/proftpd.delay\n</IfModule>\n"
                 << "<IfModule mod_ctrls.c>\nControlsEngine off\nControlsMaxClients 2\nControlsLog " << d
                 << "run/controls.log\nControlsInterval 5\nControlsSocket " << d << "run/proftpd.sock\n</IfModule>\n"
                 << "<IfModule mod_ctrls_admin.c>\nAdminControlsEngine off\n</IfModule>\n";
            if (m_tls)
                conf << "<IfModule mod_tls.c>\nTLSEngine on\nTLSLog " << d << "tls.log\nTLSRSACertificateFile " << d
                     << "cert.pem\nTLSRSACertificateKeyFile " << d << "key.pem\nTLSRequired on\n</IfModule>\n";
            return static_cast<bool>(conf);
        }
        return true; // Pure-FTPd takes its settings as arguments
    }

    // What Debian's pure-ftpd-wrapper makes of the shipped /etc/pure-ftpd/conf
    // (PAM login, no anonymous, MinUID 1000, the CLF transfer log, cipher suite
    // HIGH; FSCharset it drops, as this build has no -8), in the foreground.
    std::vector<std::string> PureFtpdArgs() const {
        const std::string d = m_dir.path() + "/";
        std::vector<std::string> args = {Binary(), "-l", "pam", "-E", "-u", "1000", "-J", "HIGH"};
        args.insert(args.end(), {"-O", "clf:" + d + "xfer.log", "-S", "127.0.0.1," + std::to_string(m_port), "-g",
                                 d + "run/pure-ftpd.pid"});
        if (m_tls)
            args.insert(args.end(), {"-Y", "2", "-2", d + "both.pem"});
        return args;
    }

    FtpServerKind m_kind;
    bool m_tls;
    TempDir m_dir;
    std::unique_ptr<TestUser> m_user;
    std::string m_certSha256;
    bool m_ready = false;
    int m_port = 0;
    pid_t m_pid = -1;
};

// The key types of the host and client keys below.
inline constexpr const char* kSshKeyTypes[] = {"ed25519", "ecdsa", "rsa"};

// An OpenSSH server on 127.0.0.1 with one host key of the given type
// ("ed25519", "ecdsa" or "rsa") and OpenSSH's default algorithms, serving
// internal-sftp to a temporary local user by password or by any of the
// client keys (ed25519, ECDSA, RSA 3072; OpenSSH and PEM format; with and
// without kPassphrase). Root() holds site/ and drop/, a folder the user may
// write into but not list. Needs root; Ready() is false otherwise.
class RealSshServer {
public:
    static constexpr const char* kPassphrase = "鍵のパスフレーズ";

    explicit RealSshServer(std::string hostKeyType) : m_hostKeyType(std::move(hostKeyType)) {
        if (::geteuid() != 0 || ::access("/usr/sbin/sshd", X_OK) != 0 || m_dir.path().empty() ||
            !ClientKeys::Get().Ready())
            return;
        const std::string d = m_dir.path() + "/";
        ::chmod(d.c_str(), 0755);
        m_user = std::make_unique<TestUser>(d + "home");
        if (!m_user->Ready() || !RunQuietly({"/bin/mkdir", "-p", d + "home/site", d + "home/drop", "/run/sshd"}) ||
            !m_user->Own(d + "home") || ::chmod((d + "home/drop").c_str(), 0333) != 0 ||
            !RunQuietly({"/usr/bin/ssh-keygen", "-q", "-t", m_hostKeyType, "-N", "", "-C", "", "-f", d + "host_key"}))
            return;
        m_hostKeyFingerprint = OutputOf("/usr/bin/ssh-keygen -l -E sha256 -f '" + d + "host_key.pub'", d + "scratch");
        // "3072 SHA256:... comment (RSA)": the second field
        auto from = m_hostKeyFingerprint.find(' ');
        m_hostKeyFingerprint = from == std::string::npos ? std::string() : m_hostKeyFingerprint.substr(from + 1);
        m_hostKeyFingerprint = m_hostKeyFingerprint.substr(0, m_hostKeyFingerprint.find(' '));
        for (int attempt = 0; attempt < 5 && !m_ready; ++attempt) {
            m_port = FtpTestServer::FreePort();
            std::ofstream(d + "sshd_config")
                << "Port " << m_port << "\nListenAddress 127.0.0.1\nHostKey " << d << "host_key\nPidFile " << d
                << "sshd.pid\nAuthorizedKeysFile " << ClientKeys::Get().AuthorizedKeys()
                << "\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\nPubkeyAuthentication yes\n"
                   // UsePAM no: sshd checks the password against /etc/shadow itself.
                   // StrictModes no: the keys live under /tmp, which anyone may write.
                   "UsePAM no\nStrictModes no\nLogLevel VERBOSE\nAllowUsers "
                << m_user->Name() << "\nSubsystem sftp internal-sftp\n";
            m_ready = m_port != 0 && Start();
        }
    }
    ~RealSshServer() { Stop(); }
    RealSshServer(const RealSshServer&) = delete;
    RealSshServer& operator=(const RealSshServer&) = delete;

    bool Ready() const { return m_ready; }
    int Port() const { return m_port; }
    std::string User() const { return m_user ? m_user->Name() : std::string(); }
    std::string Password() const { return m_user ? m_user->Password() : std::string(); }
    std::string Root() const { return m_dir.path() + "/home/"; }
    const std::string& HostKeyType() const { return m_hostKeyType; }
    // "SHA256:..." as ssh-keygen -l shows it.
    const std::string& HostKeyFingerprint() const { return m_hostKeyFingerprint; }
    // The host key's line as in a known_hosts file, without the host name.
    std::string HostPublicKey() const {
        std::ifstream in(m_dir.path() + "/host_key.pub");
        std::string line;
        std::getline(in, line);
        return line;
    }
    // The private key file of type "ed25519", "ecdsa" or "rsa"; pem: written
    // with -m PEM, locked: with kPassphrase. ssh-keygen writes ed25519 keys in
    // OpenSSH format even when asked for PEM.
    static std::string KeyFile(const std::string& type, bool pem, bool locked) {
        return ClientKeys::Get().File(type, pem, locked);
    }

    bool Start() {
        if (m_pid > 0)
            return true;
        const std::string d = m_dir.path() + "/";
        m_pid = SpawnLogged({"/usr/sbin/sshd", "-D", "-E", d + "sshd.log", "-f", d + "sshd_config"}, d + "sshd.log");
        m_ready = WaitUntilAccepting(m_pid, m_port);
        if (!m_ready)
            Stop();
        return m_ready;
    }
    void Stop() { SignalTree(m_pid, SIGTERM); }
    void Kill() { SignalTree(m_pid, SIGKILL); }

    std::string LogTail(int lines = 40) const { return TailOfFile(m_dir.path() + "/sshd.log", lines); }

private:
    // The client keys, made once per test program: RSA 3072 keys take a while.
    class ClientKeys {
    public:
        static const ClientKeys& Get() {
            static const ClientKeys keys;
            return keys;
        }
        bool Ready() const { return m_ready; }
        std::string AuthorizedKeys() const { return m_dir.path() + "/authorized_keys"; }
        std::string File(const std::string& type, bool pem, bool locked) const {
            return m_dir.path() + "/" + type + (pem ? "_pem" : "_openssh") + (locked ? "_locked" : "");
        }

    private:
        ClientKeys() {
            if (m_dir.path().empty())
                return;
            ::chmod(m_dir.path().c_str(), 0755);
            std::string publicKeys;
            for (const char* type : kSshKeyTypes)
                for (bool pem : {false, true})
                    for (bool locked : {false, true}) {
                        std::string file = File(type, pem, locked);
                        std::vector<std::string> args = {"/usr/bin/ssh-keygen", "-q", "-t", type, "-N",
                                                         locked ? kPassphrase : "", "-C", "zelvor-test", "-f", file};
                        if (std::string(type) == "rsa")
                            args.insert(args.begin() + 4, {"-b", "3072"});
                        if (pem)
                            args.insert(args.begin() + 4, {"-m", "PEM"});
                        if (!RunQuietly(args))
                            return;
                        publicKeys += "'" + file + ".pub' ";
                    }
            m_ready = RunQuietly({"/bin/sh", "-c", "cat " + publicKeys + "> '" + AuthorizedKeys() + "'"}) &&
                      ::chmod(AuthorizedKeys().c_str(), 0644) == 0;
        }
        TempDir m_dir;
        bool m_ready = false;
    };

    std::string m_hostKeyType;
    std::string m_hostKeyFingerprint;
    TempDir m_dir;
    std::unique_ptr<TestUser> m_user;
    bool m_ready = false;
    int m_port = 0;
    pid_t m_pid = -1;
};

} // namespace testutil
