// SFTP through libssh: rsa-sha2 signatures for RSA keys (what OpenSSH asks
// for since 8.8), host keys checked by us before anything is sent, and an
// atomic rename over the old file.
#include "admanager/upload/Transport.h"

#include "admanager/upload/KnownHosts.h"
#include "common/Cp932.h"
#include "common/Digest.h"

#include <fcntl.h>
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace {

class SftpTransport final : public Transport {
public:
    SftpTransport(const UploadRequest& request, const std::atomic<bool>& stop, PeerIdentity& peer)
        : m_stop(stop), m_peer(peer), m_host(request.host), m_passphrase(request.passphrase),
          m_knownHosts(request.knownHostsPath), m_timeouts(request.timeouts) {
        m_port = m_host.port == 0 ? DefaultPort(m_host.protocol) : m_host.port;
        m_ssh = ssh_new();
    }
    ~SftpTransport() override { Close(); }

    bool Created() const { return m_ssh != nullptr; }

    bool Login() override {
        const std::string& host = m_host.host;
        if (host.empty() || m_port <= 0 || m_port > 65535 || !SafeOnCommandLine(host) ||
            !SafeOnCommandLine(m_host.user))
            return Fail(UploadCause::HostNotFound);
        unsigned int port = static_cast<unsigned int>(m_port);
        long timeout = m_timeouts.connectSeconds;
        bool no = false;
        ssh_options_set(m_ssh, SSH_OPTIONS_HOST, host.c_str());
        ssh_options_set(m_ssh, SSH_OPTIONS_PORT, &port);
        ssh_options_set(m_ssh, SSH_OPTIONS_USER, m_host.user.c_str());
        ssh_options_set(m_ssh, SSH_OPTIONS_TIMEOUT, &timeout);
        // The user's ~/.ssh/config and known_hosts are not ours to follow; our
        // own known hosts only decide which key type the server is asked for.
        ssh_options_set(m_ssh, SSH_OPTIONS_PROCESS_CONFIG, &no);
        const std::string known = m_knownHosts.empty() ? "/dev/null" : m_knownHosts;
        ssh_options_set(m_ssh, SSH_OPTIONS_KNOWNHOSTS, known.c_str());
        ssh_options_set(m_ssh, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null");
        if (ssh_connect(m_ssh) != SSH_OK)
            return FailConnect();
        m_connected = true;

        // Who answered, before a password or a signature goes out.
        ssh_key key = nullptr;
        char* base64 = nullptr;
        std::string blob;
        bool shown = ssh_get_server_publickey(m_ssh, &key) == SSH_OK &&
                     ssh_pki_export_pubkey_base64(key, &base64) == SSH_OK && Digest::FromBase64(base64, blob);
        ssh_string_free_char(base64);
        ssh_key_free(key);
        if (!shown)
            return Fail(UploadCause::HostKeyUntrusted);
        m_peer = CheckHostKey(blob, m_host.hostKeySha256, m_knownHosts, host, m_port);
        if (m_peer.trust != PeerIdentity::Trust::Pinned)
            return Fail(UploadCause::HostKeyUntrusted);

        if (!Authenticate())
            return false;
        m_sftp = sftp_new(m_ssh);
        if (!m_sftp || sftp_init(m_sftp) != SSH_OK)
            return Fail(UploadCause::Other, SshError());
        return true;
    }

    // Only the folder itself is looked at, not listed: an upload-only folder
    // may refuse a listing and still take files.
    bool ChangeDirectory(const std::string& directory) override {
        if (!SafeOnCommandLine(directory))
            return Fail(UploadCause::UnsafeName);
        std::string path = directory.empty() ? "." : directory;
        sftp_attributes attributes = sftp_stat(m_sftp, path.c_str());
        if (!attributes)
            return FailSftp(UploadCause::FolderMissing);
        bool folder = attributes->type == SSH_FILEXFER_TYPE_DIRECTORY;
        sftp_attributes_free(attributes);
        if (!folder)
            return Fail(UploadCause::FolderMissing);
        m_prefix = directory.empty() ? std::string() : directory;
        if (!m_prefix.empty() && m_prefix.back() != '/')
            m_prefix += '/';
        return true;
    }

    bool Put(const std::string& remoteName, const std::string& bytes) override {
        if (UnsafeRemoteName(remoteName))
            return Fail(UploadCause::UnsafeName);
        if (m_lost || !m_sftp)
            return Fail(UploadCause::ConnectionLost);
        for (const std::string& folder : FoldersOf(remoteName)) {
            if (!m_madeFolders.insert(folder).second)
                continue;
            const std::string path = m_prefix + folder;
            if (sftp_mkdir(m_sftp, path.c_str(), 0755) != SSH_OK) {
                // Already there is fine; anything else shows when the file is opened.
                (void)sftp_get_error(m_sftp);
            }
        }
        const std::string part = m_prefix + PartName(remoteName);
        const std::string target = m_prefix + remoteName;
        sftp_file file = sftp_open(m_sftp, part.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!file)
            return FailSftp(UploadCause::PermissionDenied);
        constexpr std::size_t kChunk = 32 * 1024;
        std::size_t done = 0;
        bool ok = true;
        while (done < bytes.size()) {
            if (m_stop.load()) {
                Fail(UploadCause::Stopped);
                ok = false;
                break;
            }
            std::size_t n = std::min(kChunk, bytes.size() - done);
            ssize_t wrote = sftp_write(file, bytes.data() + done, n);
            if (wrote <= 0) {
                FailSftp(UploadCause::ConnectionLost);
                ok = false;
                break;
            }
            done += static_cast<std::size_t>(wrote);
        }
        if (sftp_close(file) != SSH_NO_ERROR && ok) {
            FailSftp(UploadCause::ConnectionLost);
            ok = false;
        }
        if (ok && sftp_rename(m_sftp, part.c_str(), target.c_str()) != SSH_OK) {
            // Servers without OpenSSH's rename extension refuse to rename
            // over an existing file; then the old one goes first.
            if (sftp_unlink(m_sftp, target.c_str()) != SSH_OK ||
                sftp_rename(m_sftp, part.c_str(), target.c_str()) != SSH_OK) {
                FailSftp(UploadCause::RenameFailed);
                ok = false;
            }
        }
        if (!ok && !m_lost) {
            UploadFailure failure = m_failure;
            sftp_unlink(m_sftp, part.c_str());
            m_failure = failure;
        }
        return ok;
    }

    void Close() override {
        if (m_sftp)
            sftp_free(m_sftp);
        m_sftp = nullptr;
        if (m_ssh) {
            if (m_connected)
                ssh_disconnect(m_ssh);
            ssh_free(m_ssh);
        }
        m_ssh = nullptr;
        m_connected = false;
    }

    bool Lost() const override { return m_lost; }

private:
    std::string SshError() const {
        const char* text = m_ssh ? ssh_get_error(m_ssh) : nullptr;
        return text ? text : "";
    }

    bool FailConnect() {
        std::string error = SshError();
        auto says = [&error](const char* what) { return error.find(what) != std::string::npos; };
        // These are libssh's own words, not the server's: the cause says it all.
        if (says("resolve") || says("Name or service"))
            return Fail(UploadCause::HostNotFound);
        if (says("refused"))
            return Fail(UploadCause::ConnectionRefused);
        if (says("imeout") || says("timed out"))
            return Fail(UploadCause::Timeout);
        if (says("no match for method") || says("kex"))
            return Fail(UploadCause::Other, error);
        return Fail(UploadCause::ConnectionLost, error);
    }

    // The SFTP status says which it was; fallback when it says nothing useful.
    bool FailSftp(UploadCause fallback) {
        int code = m_sftp ? sftp_get_error(m_sftp) : SSH_FX_FAILURE;
        if (ssh_is_connected(m_ssh) == 0) {
            m_lost = true;
            return Fail(UploadCause::ConnectionLost, SshError());
        }
        switch (code) {
        case SSH_FX_NO_SUCH_FILE:
        case SSH_FX_NO_SUCH_PATH:
            return Fail(UploadCause::FolderMissing);
        case SSH_FX_PERMISSION_DENIED:
        case SSH_FX_WRITE_PROTECT:
            return Fail(UploadCause::PermissionDenied);
        case SSH_FX_CONNECTION_LOST:
        case SSH_FX_NO_CONNECTION:
            m_lost = true;
            return Fail(UploadCause::ConnectionLost, SshError());
        default:
            return Fail(fallback, SshError());
        }
    }

    bool Authenticate() {
        int rc = ssh_userauth_none(m_ssh, nullptr);
        if (rc == SSH_AUTH_SUCCESS)
            return true;
        if (rc == SSH_AUTH_ERROR)
            return Fail(UploadCause::ConnectionLost, SshError());
        const int methods = ssh_userauth_list(m_ssh, nullptr);
        std::string reply;
        if (!m_host.keyFile.empty()) {
            const std::string path = Cp932::ToUtf8(m_host.keyFile);
            if (::access(path.c_str(), R_OK) != 0)
                return Fail(UploadCause::KeyFileUnreadable);
            ssh_key key = nullptr;
            const char* passphrase = m_passphrase.empty() ? nullptr : m_passphrase.c_str();
            if (ssh_pki_import_privkey_file(path.c_str(), passphrase, nullptr, nullptr, &key) != SSH_OK) {
                ssh_key_free(key);
                return Fail(KeyFileNeedsPassphrase(path) ? UploadCause::KeyPassphrase : UploadCause::KeyFileUnreadable);
            }
            rc = (methods & SSH_AUTH_METHOD_PUBLICKEY) ? ssh_userauth_publickey(m_ssh, nullptr, key) : SSH_AUTH_DENIED;
            ssh_key_free(key);
            if (rc == SSH_AUTH_SUCCESS)
                return true;
            if (rc == SSH_AUTH_ERROR)
                return Fail(UploadCause::ConnectionLost, SshError());
            // A key the server does not take may still leave the password.
            if (m_host.password.empty())
                return Fail(UploadCause::LoginRefused, SshError());
        }
        if (methods & SSH_AUTH_METHOD_PASSWORD) {
            rc = ssh_userauth_password(m_ssh, nullptr, m_host.password.c_str());
            if (rc == SSH_AUTH_SUCCESS)
                return true;
            if (rc == SSH_AUTH_ERROR)
                return Fail(UploadCause::ConnectionLost, SshError());
        }
        if (methods & SSH_AUTH_METHOD_INTERACTIVE) {
            rc = ssh_userauth_kbdint(m_ssh, nullptr, nullptr);
            for (int round = 0; rc == SSH_AUTH_INFO && round < 5; ++round) {
                int prompts = ssh_userauth_kbdint_getnprompts(m_ssh);
                for (int i = 0; i < prompts; ++i)
                    ssh_userauth_kbdint_setanswer(m_ssh, static_cast<unsigned>(i), m_host.password.c_str());
                rc = ssh_userauth_kbdint(m_ssh, nullptr, nullptr);
            }
            if (rc == SSH_AUTH_SUCCESS)
                return true;
        }
        return Fail(UploadCause::LoginRefused, SshError());
    }

    const std::atomic<bool>& m_stop;
    PeerIdentity& m_peer;
    FtpHostEntry m_host;
    std::string m_passphrase;
    std::string m_knownHosts;
    UploadTimeouts m_timeouts;
    long m_port = 0;
    ssh_session m_ssh = nullptr;
    sftp_session m_sftp = nullptr;
    bool m_connected = false;
    bool m_lost = false;
    std::string m_prefix; // the host's folder, ending in '/', or empty for the login folder
    std::set<std::string> m_madeFolders;
};

} // namespace

std::unique_ptr<Transport> MakeSftpTransport(const UploadRequest& request, const std::atomic<bool>& stop,
                                             PeerIdentity& peer) {
    auto t = std::make_unique<SftpTransport>(request, stop, peer);
    if (!t->Created())
        return nullptr;
    return t;
}
