#include "admanager/upload/UploadJob.h"

#include "admanager/htmlgen/AdBlockGenerator.h"
#include "admanager/htmlgen/AdBlockOutput.h"
#include "common/Cp932.h"
#include "common/FileOps.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>

namespace {

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// CR, LF or NUL would end an FTP command early and start another.
bool SafeOnCommandLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == text.npos;
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

std::string Format(const char* format, const std::string& a) {
    std::string out = format;
    out.replace(out.find("%s"), 2, a);
    return out;
}

std::string Format(const char* format, const std::string& a, const std::string& b) {
    std::string out = Format(format, a);
    out.replace(out.find("%s"), 2, b);
    return out;
}

// One control connection kept by one easy handle across its transfers.
class FtpSession {
public:
    FtpSession(const UploadRequest& request, const std::atomic<bool>& stop) : m_stop(stop) {
        InitCurlOnce();
        m_curl = curl_easy_init();
        if (!m_curl)
            return;
        const FtpHostEntry& host = request.host;
        std::string name = host.host;
        if (name.find(':') != name.npos && name.front() != '[')
            name = "[" + name + "]";
        long port = host.port == 0 ? 21 : host.port;
        m_usable = SafeHost(host.host) && port > 0 && port <= 65535 && SafeOnCommandLine(host.user) &&
                   SafeOnCommandLine(host.password);
        m_base = "ftp://" + name + ":" + std::to_string(port) + "/";
        m_user = host.user;
        m_password = host.password;

        curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_user.c_str());
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_password.c_str());
        // Active mode on the control connection's own address, plain PORT.
        curl_easy_setopt(m_curl, CURLOPT_FTPPORT, "-");
        curl_easy_setopt(m_curl, CURLOPT_FTP_USE_EPRT, 0L);
        // Names are relative to the directory we changed to; curl must not CWD on its own.
        curl_easy_setopt(m_curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        curl_easy_setopt(m_curl, CURLOPT_PATH_AS_IS, 1L);
        const UploadTimeouts& t = request.timeouts;
        curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, t.connectSeconds);
        curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, t.responseSeconds);
        curl_easy_setopt(m_curl, CURLOPT_ACCEPTTIMEOUT_MS, t.responseSeconds * 1000);
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, t.stalledSeconds);
        curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &FtpSession::Progress);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(m_curl, CURLOPT_SOCKOPTFUNCTION, &FtpSession::SocketOption);
        curl_easy_setopt(m_curl, CURLOPT_SOCKOPTDATA, this);
        curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &FtpSession::Read);
        curl_easy_setopt(m_curl, CURLOPT_READDATA, this);
    }
    ~FtpSession() { Close(); }
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    bool Created() const { return m_curl != nullptr; }

    bool Login() {
        if (!m_usable)
            return false;
        curl_easy_setopt(m_curl, CURLOPT_URL, m_base.c_str());
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        m_loggedIn = Perform();
        return m_loggedIn;
    }

    bool Command(const std::string& command) {
        if (!SafeOnCommandLine(command))
            return false;
        curl_slist* list = curl_slist_append(nullptr, command.c_str());
        if (!list)
            return false;
        curl_easy_setopt(m_curl, CURLOPT_URL, m_base.c_str());
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, list);
        bool ok = Perform();
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
        curl_slist_free_all(list);
        return ok;
    }

    bool Put(const std::string& localPath, const std::string& remoteName) {
        if (!SafeOnCommandLine(remoteName) || !FileOps::ReadWholeFile(localPath, m_data))
            return false;
        m_sent = 0;
        std::string url = m_base + EncodePath(remoteName);
        curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_curl, CURLOPT_TRANSFERTEXT, 1L);
        curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(m_data.size()));
        bool ok = Perform();
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
        m_data.clear();
        return ok;
    }

    // Sends QUIT and closes the connection.
    void Close() {
        if (m_curl)
            curl_easy_cleanup(m_curl);
        m_curl = nullptr;
    }

private:
    bool Perform() {
        if (m_lost)
            return false;
        CURLcode result = curl_easy_perform(m_curl);
        // Any new connection after the login starts in the login directory, not ours.
        long connects = 0;
        curl_easy_getinfo(m_curl, CURLINFO_NUM_CONNECTS, &connects);
        if (m_loggedIn && connects > 0)
            m_lost = true;
        return result == CURLE_OK && !m_lost;
    }

    static int Progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<FtpSession*>(self)->m_stop.load() ? 1 : 0;
    }

    // Refuses a second control connection: curl would open one silently after
    // an error, logged in but back in the login directory.
    static int SocketOption(void* self, curl_socket_t, curlsocktype purpose) {
        auto* session = static_cast<FtpSession*>(self);
        if (purpose == CURLSOCKTYPE_IPCXN && session->m_loggedIn) {
            session->m_lost = true;
            return CURL_SOCKOPT_ERROR;
        }
        return CURL_SOCKOPT_OK;
    }

    static std::size_t Read(char* buffer, std::size_t size, std::size_t count, void* self) {
        auto* session = static_cast<FtpSession*>(self);
        std::size_t n = std::min(size * count, session->m_data.size() - session->m_sent);
        std::memcpy(buffer, session->m_data.data() + session->m_sent, n);
        session->m_sent += n;
        return n;
    }

    const std::atomic<bool>& m_stop;
    CURL* m_curl = nullptr;
    bool m_usable = false;
    bool m_loggedIn = false;
    bool m_lost = false;
    std::string m_base;
    std::string m_user;
    std::string m_password;
    std::string m_data;
    std::size_t m_sent = 0;
};

} // namespace

int PageFilesOf(const AdBlockResult& result) {
    return result.IsMultiPage() && result.pageCount > 0 ? result.pageCount : 0;
}

std::string RemoteMainName(const std::string& remoteName) {
    if (remoteName.size() > 1 && (remoteName[0] == '/' || remoteName[0] == '\\'))
        return remoteName.substr(1);
    return remoteName;
}

std::string RemotePageName(const std::string& remoteName, int page) {
    // Scanned by characters: a CP932 trail byte can be 0x5C, the backslash.
    std::size_t nameStart = 0;
    std::size_t dot = std::string::npos;
    for (std::size_t pos = 0; pos < remoteName.size(); pos += Cp932::CharLength(remoteName, pos)) {
        char c = remoteName[pos];
        if (Cp932::CharLength(remoteName, pos) != 1)
            continue;
        if (c == '/' || c == '\\') {
            nameStart = pos + 1;
            dot = std::string::npos;
        } else if (c == '.') {
            dot = pos;
        }
    }
    std::size_t extStart = dot == std::string::npos || dot < nameStart ? remoteName.size() : dot;
    char number[16];
    std::snprintf(number, sizeof number, "_%03d", page);
    return remoteName.substr(0, extStart) + number + remoteName.substr(extStart);
}

UploadJob::UploadJob(UploadRequest request, UploadLogSink sink)
    : m_request(std::move(request)), m_sink(std::move(sink)) {}

void UploadJob::Log(const char* utf8) {
    LogText(utf8);
}

void UploadJob::LogText(const std::string& utf8) {
    if (m_sink)
        m_sink(utf8);
}

UploadOutcome UploadJob::Run() {
    if (m_busy.exchange(true))
        return UploadOutcome::Refused;
    using namespace UploadTexts;
    Log(kStart);
    m_stop.store(false);
    bool failed = false;
    const UploadRequest& req = m_request;

    Log(kConnecting);
    {
        FtpSession session(req, m_stop);
        auto put = [&](const std::string& local, const std::string& remote) {
            Log(kUploading);
            LogText(Format(kArrow, local, Cp932::ToUtf8(remote)));
            bool ok = session.Put(local, remote);
            Log(ok ? kUploaded : kUploadFailed);
            return ok;
        };
        if (!session.Created()) {
            Log(kSessionFailed);
            failed = true;
        } else if (!session.Login()) {
            Log(kConnectFailed);
            failed = true;
        } else {
            Log(kConnected);
            Log(kChangingDir);
            if (!session.Command("CWD " + req.host.directory)) {
                Log(kDirFailed);
                failed = true;
            } else {
                LogText(Format(kDirChanged, Cp932::ToUtf8(req.host.directory)));
                if (!session.Command("PWD")) {
                    failed = true;
                } else {
                    std::string remote = RemoteMainName(req.remoteName);
                    bool mainDone = m_stop.load() || put(req.localPath, remote);
                    if (!mainDone) {
                        failed = true;
                    } else {
                        for (int i = 1; i <= req.pageFiles && !m_stop.load(); ++i)
                            if (!put(NumberedOutputPath(req.localPath, i), RemotePageName(remote, i)))
                                failed = true;
                        Log(kDisconnecting);
                        session.Close();
                        Log(kDisconnected);
                    }
                }
            }
        }
    }

    bool stopped = m_stop.exchange(false);
    Log(stopped ? kStopped : failed ? kError : kDone);
    // Cleared last: whoever waits on it may drop the sink once it is false.
    m_busy.store(false);
    if (stopped)
        return UploadOutcome::Stopped;
    return failed ? UploadOutcome::Failed : UploadOutcome::Succeeded;
}
