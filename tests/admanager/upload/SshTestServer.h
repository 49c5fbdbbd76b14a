#pragma once

#include "FtpTestServer.h"
#include "TestUtil.h"

#include <sys/stat.h>

#include <fstream>
#include <string>

namespace testutil {

// A throw-away OpenSSH server on 127.0.0.1 with its own configuration and host
// key, serving SFTP to a temporary local user made for it (password and key
// login). The machine's own sshd and its keys are not touched. It needs root
// (to make the user and let sshd check passwords); Ready() is false otherwise.
class SshTestServer {
public:
    static constexpr const char* kPassword = "Zv-test-9pw";
    static constexpr const char* kPassphrase = "鍵のパスフレーズ";

    SshTestServer() {
        if (::geteuid() != 0 || ::access("/usr/sbin/sshd", X_OK) != 0 || m_dir.path().empty())
            return;
        const std::string d = m_dir.path() + "/";
        ::chmod(d.c_str(), 0755);
        m_user = "zovat" + std::to_string(::getpid() % 100000);
        RunQuietly({"/usr/sbin/userdel", m_user}); // left over by a killed run
        if (!RunQuietly({"/usr/sbin/useradd", "-M", "-d", d + "home", "-s", "/bin/sh", m_user}))
            return;
        m_userMade = true;
        std::ofstream(d + "chpasswd") << m_user << ":" << kPassword << "\n";
        if (!RunQuietly({"/bin/sh", "-c", "chpasswd < '" + d + "chpasswd'"}) ||
            !RunQuietly({"/bin/mkdir", "-p", d + "home/site", "/run/sshd"}) ||
            !RunQuietly({"/bin/chown", "-R", m_user, d + "home"}) || !NewHostKey() ||
            !RunQuietly({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", d + "client"}) ||
            !RunQuietly({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", kPassphrase, "-f", d + "client_locked"}) ||
            !RunQuietly({"/bin/sh", "-c", "cat '" + d + "client.pub' '" + d + "client_locked.pub' > '" + d +
                                              "authorized_keys'"}))
            return;
        for (int attempt = 0; attempt < 5 && !m_ready; ++attempt) {
            m_port = FtpTestServer::FreePort();
            std::ofstream(d + "sshd_config") << "Port " << m_port << "\nListenAddress 127.0.0.1\nHostKey " << d
                                             << "host_key\nPidFile " << d << "sshd.pid\nAuthorizedKeysFile " << d
                                             << "authorized_keys\nPasswordAuthentication yes\n"
                                                "KbdInteractiveAuthentication no\nPubkeyAuthentication yes\n"
                                                "UsePAM no\nStrictModes no\nAllowUsers "
                                             << m_user << "\nSubsystem sftp internal-sftp\n";
            m_ready = Start();
        }
    }
    ~SshTestServer() {
        Stop();
        if (m_userMade)
            RunQuietly({"/usr/sbin/userdel", m_user});
    }
    SshTestServer(const SshTestServer&) = delete;
    SshTestServer& operator=(const SshTestServer&) = delete;

    bool Ready() const { return m_ready; }
    int Port() const { return m_port; }
    const std::string& User() const { return m_user; }
    std::string Home() const { return m_dir.path() + "/home/"; }
    std::string KeyFile() const { return m_dir.path() + "/client"; }
    std::string LockedKeyFile() const { return m_dir.path() + "/client_locked"; }

    // Serves again on the same port with a new host key.
    bool ChangeHostKey() {
        Stop();
        m_ready = NewHostKey() && Start();
        return m_ready;
    }

private:
    bool NewHostKey() {
        std::string key = m_dir.path() + "/host_key";
        ::unlink(key.c_str());
        ::unlink((key + ".pub").c_str());
        return RunQuietly({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", key});
    }

    bool Start() {
        m_pid = SpawnQuietly({"/usr/sbin/sshd", "-D", "-f", m_dir.path() + "/sshd_config"});
        if (WaitUntilAccepting(m_pid, m_port))
            return true;
        Stop();
        return false;
    }

    void Stop() { StopProcess(m_pid); }

    TempDir m_dir;
    std::string m_user;
    bool m_userMade = false;
    bool m_ready = false;
    int m_port = 0;
    pid_t m_pid = -1;
};

} // namespace testutil
