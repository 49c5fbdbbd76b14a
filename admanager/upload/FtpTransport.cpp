// Plain FTP and FTP over TLS through libcurl, one control connection kept by
// one easy handle in a multi handle of its own.
#include "admanager/upload/Transport.h"

#include "common/Cp932.h"
#include "common/Digest.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>

namespace {

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool SafeHost(std::string_view host) {
    if (host.empty())
        return false;
    for (unsigned char c : host)
        if (c <= ' ' || c >= 0x7F || std::strchr("/?#@\\", c))
            return false;
    return true;
}

// Bytes of a remote path as they go into the URL; with the path taken as is,
// curl sends them back unchanged.
std::string EncodePath(std::string_view path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     std::strchr("-._~/!$&'()*+,;=:@", c) != nullptr;
        if (plain && c != 0) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool IsIpLiteral(const std::string& host) {
    unsigned char buf[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

std::string NameText(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio)
        return {};
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    long len = BIO_get_mem_data(bio, &data);
    std::string text(data, len > 0 ? static_cast<std::size_t>(len) : 0);
    BIO_free(bio);
    return text;
}

std::string TimeText(const ASN1_TIME* time) {
    std::tm tm{};
    if (!time || ASN1_TIME_to_tm(time, &tm) != 1)
        return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

std::uint16_t PortOf(const sockaddr& address) {
    if (address.sa_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.sa_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return 0;
}

int ReplyCode(const std::string& reply) {
    if (reply.size() < 3 || !std::isdigit(static_cast<unsigned char>(reply[0])) ||
        !std::isdigit(static_cast<unsigned char>(reply[1])) || !std::isdigit(static_cast<unsigned char>(reply[2])))
        return 0;
    return std::stoi(reply.substr(0, 3));
}

class FtpTransport final : public Transport {
public:
    FtpTransport(const UploadRequest& request, const std::atomic<bool>& stop, PeerIdentity& peer)
        : m_stop(stop), m_peer(peer), m_tls(request.host.protocol == FtpProtocol::Ftps),
          m_pin(request.host.certificateSha256), m_passive(request.host.passive) {
        InitCurlOnce();
        m_multi = curl_multi_init();
        m_curl = curl_easy_init();
        if (!m_multi || !m_curl)
            return;
        const FtpHostEntry& host = request.host;
        m_hostName = host.host;
        std::string name = host.host;
        if (name.find(':') != name.npos && name.front() != '[')
            name = "[" + name + "]";
        m_port = host.port == 0 ? DefaultPort(host.protocol) : host.port;
        m_usable = SafeHost(host.host) && m_port > 0 && m_port <= 65535 && SafeOnCommandLine(host.user) &&
                   SafeOnCommandLine(host.password);
        m_origin = "ftp://" + name + ":" + std::to_string(m_port);
        m_user = host.user;
        m_password = host.password;

        curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_user.c_str());
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_password.c_str());
        if (m_passive) {
            curl_easy_setopt(m_curl, CURLOPT_FTPPORT, nullptr);
            // Behind NAT the address in a PASV reply is often a private one.
            curl_easy_setopt(m_curl, CURLOPT_FTP_SKIP_PASV_IP, 1L);
        } else {
            // Active mode on the control connection's own address, plain PORT.
            curl_easy_setopt(m_curl, CURLOPT_FTPPORT, "-");
            curl_easy_setopt(m_curl, CURLOPT_FTP_USE_EPRT, 0L);
        }
        // Names are relative to the directory we changed to; curl must not CWD on its own.
        curl_easy_setopt(m_curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        // Binary type: the server keeps exactly the bytes we generated.
        curl_easy_setopt(m_curl, CURLOPT_TRANSFERTEXT, 0L);
        if (m_tls) {
            // AUTH TLS before USER, PROT P for every data connection; no
            // fallback to plain text.
            curl_easy_setopt(m_curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
            curl_easy_setopt(m_curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
            // vsftpd, ProFTPD and Pure-FTPd insist that every data connection
            // resumes the control connection's TLS session. Under TLS 1.3 the
            // ticket arrives after the handshake and this libcurl often opens
            // the data connection before it has one, so the server refuses
            // it; TLS 1.2 hands the session over in the handshake itself.
            curl_easy_setopt(m_curl, CURLOPT_SSLVERSION,
                             static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
            curl_easy_setopt(m_curl, CURLOPT_SSL_SESSIONID_CACHE, 1L);
            // The certificate is checked by our own callback below, which
            // knows the pinned fingerprint; curl's check would only refuse.
            curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 0L);
            // curl would parse the whole CA bundle for every connection, data
            // connections too; our callback looks certificates up only when needed.
            curl_easy_setopt(m_curl, CURLOPT_CAINFO, nullptr);
            curl_easy_setopt(m_curl, CURLOPT_CAPATH, nullptr);
            m_tlsUsable = OpenSslBackend() &&
                          curl_easy_setopt(m_curl, CURLOPT_SSL_CTX_FUNCTION, &FtpTransport::SetUpTls) == CURLE_OK &&
                          curl_easy_setopt(m_curl, CURLOPT_SSL_CTX_DATA, this) == CURLE_OK;
        }
        curl_easy_setopt(m_curl, CURLOPT_PATH_AS_IS, 1L);
        const UploadTimeouts& t = request.timeouts;
        curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, t.connectSeconds);
        curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, t.responseSeconds);
        curl_easy_setopt(m_curl, CURLOPT_ACCEPTTIMEOUT_MS, t.responseSeconds * 1000);
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, t.stalledSeconds);
        curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &FtpTransport::Progress);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETFUNCTION, &FtpTransport::OpenSocket);
        curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETDATA, this);
        curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &FtpTransport::Read);
        curl_easy_setopt(m_curl, CURLOPT_READDATA, this);
        curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &FtpTransport::Reply);
        curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, this);
    }
    ~FtpTransport() override { Close(); }

    bool Created() const { return m_multi && m_curl; }
    bool TlsUnusable() const override { return m_tls && !m_tlsUsable; }
    bool EnteredDirectory() const override { return m_entered; }

    bool Login() override {
        if (!m_usable)
            return Fail(UploadCause::HostNotFound);
        SetUrl(m_origin + "/");
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        m_loggedIn = Perform();
        if (!m_loggedIn)
            return FailFromResult(UploadCause::Other);
        return true;
    }

    // CWD then PWD, as two commands, as the original client did.
    bool ChangeDirectory(const std::string& directory) override {
        if (!Command("CWD " + directory))
            return FailFromResult(UploadCause::FolderNotEntered);
        m_entered = true;
        if (!Command("PWD"))
            return FailFromResult(UploadCause::Other);
        return true;
    }

    bool Put(const std::string& remoteName, const std::string& bytes) override {
        if (!SafeOnCommandLine(remoteName) || UnsafeRemoteName(remoteName))
            return Fail(UploadCause::UnsafeName);
        if (m_lost)
            return Fail(UploadCause::ConnectionLost);
        const std::string part = PartName(remoteName);
        // Folders on the way, each asked for once per connection; "*" lets a
        // folder that is already there pass.
        std::vector<std::string> quote;
        for (const std::string& folder : FoldersOf(remoteName))
            if (m_madeFolders.insert(folder).second)
                quote.push_back("*MKD " + folder);
        curl_slist* pre = nullptr;
        for (const std::string& q : quote)
            pre = curl_slist_append(pre, q.c_str());
        curl_slist* post = curl_slist_append(nullptr, ("RNFR " + part).c_str());
        post = curl_slist_append(post, ("RNTO " + remoteName).c_str());

        m_data = &bytes;
        m_sent = 0;
        SetUrl(m_origin + "/" + EncodePath(part));
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(bytes.size()));
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, pre);
        curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, post);
        bool ok = Perform();
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
        curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
        curl_slist_free_all(pre);
        curl_slist_free_all(post);
        m_data = nullptr;
        if (ok)
            return true;
        // Only the rename can give a quote error: the file went up whole.
        UploadCause cause = m_result == CURLE_QUOTE_ERROR ? UploadCause::RenameFailed : UploadCause::WriteRefused;
        FailFromResult(cause);
        UploadFailure failure = m_failure;
        // The part file is no use to anyone; the real file is untouched.
        if (!m_lost && m_result != CURLE_ABORTED_BY_CALLBACK)
            Command("*DELE " + part);
        m_failure = failure;
        return false;
    }

    void Close() override {
        if (m_curl)
            curl_easy_cleanup(m_curl);
        if (m_multi)
            curl_multi_cleanup(m_multi); // sends QUIT on the connection it keeps
        m_curl = nullptr;
        m_multi = nullptr;
    }

    bool Lost() const override { return m_lost; }

private:
    static bool OpenSslBackend() {
        const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
        return info && info->ssl_version && std::string_view(info->ssl_version).starts_with("OpenSSL/");
    }

    void SetUrl(const std::string& url) {
        m_url = url;
        curl_easy_setopt(m_curl, CURLOPT_URL, m_url.c_str());
    }

    bool Command(const std::string& command) {
        if (!SafeOnCommandLine(command))
            return false;
        curl_slist* list = curl_slist_append(nullptr, command.c_str());
        if (!list)
            return false;
        SetUrl(m_origin + "/");
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, list);
        bool ok = Perform();
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
        curl_slist_free_all(list);
        return ok;
    }

    // Runs one transfer through the multi handle. curl_easy_perform waits up
    // to a second for events this libcurl does not watch on a new data
    // connection (after EPSV, or for the TLS handshake on it); polling in short
    // steps takes that second out of every file.
    CURLcode RunTransfer() {
        if (curl_multi_add_handle(m_multi, m_curl) != CURLM_OK)
            return CURLE_FAILED_INIT;
        CURLcode result = CURLE_OK;
        int running = 1;
        while (running) {
            // curl asks the progress callback only in some states; a stop
            // while the server keeps us waiting for its greeting ends here.
            if (m_stop.load()) {
                curl_multi_remove_handle(m_multi, m_curl); // drops the half-done connection
                m_lost = m_loggedIn;
                return CURLE_ABORTED_BY_CALLBACK;
            }
            if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
            if (running && curl_multi_poll(m_multi, nullptr, 0, 5, nullptr) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
        }
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(m_multi, &left))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_curl)
                result = msg->data.result;
        curl_multi_remove_handle(m_multi, m_curl);
        return result;
    }

    bool Perform() {
        if (m_lost)
            return false;
        m_errorReply.clear();
        m_result = RunTransfer();
        // Any new control connection after the login starts in the login
        // directory, not ours; the socket callback refuses those, and in active
        // mode no other connection is ours to open.
        long connects = 0;
        curl_easy_getinfo(m_curl, CURLINFO_NUM_CONNECTS, &connects);
        if (m_loggedIn && connects > 0 && !m_passive)
            m_lost = true;
        return m_result == CURLE_OK && !m_lost;
    }

    // The cause of the last failed transfer, from curl's code and the server's reply.
    bool FailFromResult(UploadCause fallback) {
        std::string reply = m_errorReply;
        const int code = ReplyCode(reply);
        if (m_result == CURLE_ABORTED_BY_CALLBACK)
            return Fail(UploadCause::Stopped);
        // curl wanted a new control connection: the old one is gone.
        if (m_lost)
            return Fail(UploadCause::ConnectionLost, reply);
        // Once logged in, the server's own refusal says most: curl may report
        // the data connection it then closed instead.
        if (m_loggedIn && code >= 400) {
            if (code == 425 || code == 426 || code == 522)
                return Fail(UploadCause::DataConnection, reply);
            if (code == 421)
                return Fail(UploadCause::ConnectionLost, reply);
            if (fallback != UploadCause::Other)
                return Fail(fallback, reply);
        }
        switch (m_result) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return Fail(UploadCause::HostNotFound);
        case CURLE_COULDNT_CONNECT:
            return Fail(m_loggedIn ? UploadCause::DataConnection : UploadCause::ConnectionRefused, reply);
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_FTP_ACCEPT_TIMEOUT:
            return Fail(UploadCause::Timeout, reply);
        case CURLE_LOGIN_DENIED:
            return Fail(UploadCause::LoginRefused, reply);
        case CURLE_USE_SSL_FAILED:
            return Fail(UploadCause::TlsFailed, reply);
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
            return Fail(m_peer.NeedsDecision() ? UploadCause::CertificateUntrusted : UploadCause::TlsFailed, reply);
        case CURLE_ABORTED_BY_CALLBACK:
            return Fail(UploadCause::Stopped);
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_CANT_GET_HOST:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_WEIRD_227_FORMAT:
        case CURLE_FTP_PORT_FAILED:
            return Fail(UploadCause::DataConnection, reply);
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_WEIRD_SERVER_REPLY:
            return Fail(code == 425 || code == 426 || code == 522 ? UploadCause::DataConnection
                                                                  : UploadCause::ConnectionLost,
                        reply);
        case CURLE_REMOTE_ACCESS_DENIED:
            return Fail(fallback == UploadCause::FolderNotEntered ? fallback : UploadCause::PermissionDenied, reply);
        default:
            break;
        }
        if (code == 425 || code == 426 || code == 522)
            return Fail(UploadCause::DataConnection, reply);
        if (code == 421)
            return Fail(UploadCause::ConnectionLost, reply);
        return Fail(fallback, reply);
    }

    static int Progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<FtpTransport*>(self)->m_stop.load() ? 1 : 0;
    }

    // Refuses a second connection to the server's port: curl would open one
    // silently after an error, logged in but back in the login directory. Data
    // connections of passive mode go to other ports and pass.
    static curl_socket_t OpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) {
        auto* t = static_cast<FtpTransport*>(self);
        if (purpose == CURLSOCKTYPE_IPCXN && t->m_loggedIn && PortOf(address->addr) == t->m_port) {
            t->m_lost = true;
            return CURL_SOCKET_BAD;
        }
        return ::socket(address->family, address->socktype, address->protocol);
    }

    static std::size_t Read(char* buffer, std::size_t size, std::size_t count, void* self) {
        auto* t = static_cast<FtpTransport*>(self);
        if (!t->m_data)
            return 0;
        std::size_t n = std::min(size * count, t->m_data->size() - t->m_sent);
        std::memcpy(buffer, t->m_data->data() + t->m_sent, n);
        t->m_sent += n;
        return n;
    }

    // Every line the server says; the last one that reports a failure is the
    // server's own word on it.
    static std::size_t Reply(char* data, std::size_t size, std::size_t count, void* self) {
        auto* t = static_cast<FtpTransport*>(self);
        std::string line(data, size * count);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        int code = ReplyCode(line);
        if (code >= 400 && line.size() <= 512) {
            // Only the text a person can read, in one line.
            for (char& c : line)
                if (static_cast<unsigned char>(c) < 0x20)
                    c = ' ';
            t->m_errorReply = line;
        }
        return size * count;
    }

    // Called by curl for every TLS connection (control and data): our own
    // certificate check replaces OpenSSL's, and a refusal ends the handshake.
    static CURLcode SetUpTls(CURL*, void* context, void* self) {
        auto* ctx = static_cast<SSL_CTX*>(context);
        // A pinned certificate needs no authorities. Otherwise the system's
        // hashed folder is searched for the issuers a chain names, and a
        // bundle named by SSL_CERT_FILE is read as well.
        if (static_cast<FtpTransport*>(self)->m_pin.empty()) {
            SSL_CTX_set_default_verify_dir(ctx);
            if (const char* file = std::getenv("SSL_CERT_FILE"); file && *file)
                SSL_CTX_load_verify_file(ctx, file);
        }
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_cert_verify_callback(ctx, &FtpTransport::CheckCertificate, self);
        return CURLE_OK;
    }

    static int CheckCertificate(X509_STORE_CTX* store, void* self) {
        auto* t = static_cast<FtpTransport*>(self);
        X509* cert = X509_STORE_CTX_get0_cert(store);
        if (!cert)
            return 0;
        PeerIdentity id;
        id.kind = PeerIdentity::Kind::Certificate;
        unsigned char md[EVP_MAX_MD_SIZE];
        unsigned int len = 0;
        if (!X509_digest(cert, EVP_sha256(), md, &len))
            return 0;
        id.sha256 = Digest::Hex(std::string_view(reinterpret_cast<const char*>(md), len));
        id.subject = NameText(X509_get_subject_name(cert));
        id.issuer = NameText(X509_get_issuer_name(cert));
        id.notBefore = TimeText(X509_get0_notBefore(cert));
        id.notAfter = TimeText(X509_get0_notAfter(cert));
        if (!t->m_pin.empty()) {
            id.trust = id.sha256 == t->m_pin ? PeerIdentity::Trust::Pinned : PeerIdentity::Trust::Changed;
        } else {
            const std::string& host = t->m_hostName;
            bool chain = X509_verify_cert(store) == 1;
            bool name = IsIpLiteral(host) ? X509_check_ip_asc(cert, host.c_str(), 0) == 1
                                          : X509_check_host(cert, host.data(), host.size(), 0, nullptr) == 1;
            id.trust = chain && name ? PeerIdentity::Trust::Verified : PeerIdentity::Trust::Unknown;
        }
        // A data connection shows the same certificate; one that does not is refused too.
        if (t->m_peer.kind == PeerIdentity::Kind::Certificate && t->m_peer.sha256 != id.sha256)
            id.trust = PeerIdentity::Trust::Changed;
        t->m_peer = id;
        return id.trust == PeerIdentity::Trust::Verified || id.trust == PeerIdentity::Trust::Pinned ? 1 : 0;
    }

    const std::atomic<bool>& m_stop;
    PeerIdentity& m_peer;
    bool m_tls;
    std::string m_pin;
    bool m_passive;
    CURLM* m_multi = nullptr;
    CURL* m_curl = nullptr;
    CURLcode m_result = CURLE_OK;
    bool m_usable = false;
    bool m_tlsUsable = true;
    bool m_loggedIn = false;
    bool m_lost = false;
    bool m_entered = false;
    long m_port = 0;
    std::string m_hostName;
    std::string m_origin;
    std::string m_url;
    std::string m_user;
    std::string m_password;
    std::string m_errorReply;
    std::set<std::string> m_madeFolders;
    const std::string* m_data = nullptr;
    std::size_t m_sent = 0;
};

} // namespace

std::unique_ptr<Transport> MakeFtpTransport(const UploadRequest& request, const std::atomic<bool>& stop,
                                            PeerIdentity& peer) {
    auto t = std::make_unique<FtpTransport>(request, stop, peer);
    if (!t->Created())
        return nullptr;
    return t;
}

