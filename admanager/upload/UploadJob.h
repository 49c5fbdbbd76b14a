#pragma once

#include "admanager/settings/AccountLists.h"
#include "admanager/upload/UploadFailure.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct AdBlockResult;

// One upload to one host: the files of one or more generated ad blocks over one
// connection, by plain FTP (active or passive mode), FTP over TLS (explicit,
// control and data connections protected, the certificate verified or pinned)
// or SFTP (the host key checked against our own known hosts). The server gets
// exactly our bytes, each file under a temporary name first, renamed over the
// old one only when complete. Every
// step is reported as one log line (UTF-8) to the sink, so the upload dialog,
// the publish window and the command line show the same lines.
//
// Run() blocks and is meant for a worker thread; RequestStop() and IsBusy()
// may be called from any thread. The sink is called on the thread that runs
// the job; a dialog posts the lines on to its own thread.

using UploadLogSink = std::function<void(const std::string& line)>;

struct UploadTimeouts {
    long connectSeconds = 20;  // connecting to the server
    long responseSeconds = 60; // waiting for any reply, also the server's data connection
    long stalledSeconds = 60;  // a transfer that moves nothing for this long fails
};

struct UploadFile {
    std::string localPath;  // a file-system path
    std::string remoteName; // relative to the host's directory (CP932), sent as it is
    // The bytes to send, when the caller has them (the ones it just wrote);
    // otherwise the local file is read.
    std::optional<std::string> bytes;
};

// The files of one ad block. When the first (the main file) cannot be sent the
// others are not tried; a page that fails does not stop the pages after it.
struct UploadBatch {
    std::vector<UploadFile> files;
};

// The batch of an ad block written to localPath: the main file under the
// item's remote name as typed (optionally with a leading slash), then each of
// its pageFiles numbered page files.
UploadBatch AdBlockBatch(const std::string& localPath, const std::string& remoteName, int pageFiles);

struct UploadRequest {
    FtpHostEntry host; // texts as stored (CP932), sent as they are
    std::vector<UploadBatch> batches;
    UploadTimeouts timeouts;
    std::string passphrase;     // of an encrypted SFTP key; never stored
    std::string knownHostsPath; // our own known hosts file (see KnownHosts.h)
};

// Who the server proved to be: its certificate (FTP over TLS) or host key
// (SFTP), and what we made of it.
struct PeerIdentity {
    enum class Kind { None, Certificate, HostKey };
    enum class Trust {
        NotChecked,
        Verified, // a certificate the system's authorities vouch for, for this host name
        Pinned,   // the certificate or host key the user accepted for this host
        Unknown,  // neither: the user has to decide
        Changed,  // not the one the user accepted: refused until the user accepts the new one
    };
    Kind kind = Kind::None;
    Trust trust = Trust::NotChecked;
    std::string sha256; // 64 lower-case hex digits, as pins are stored
    // Certificates: the subject, issuer and validity as text (UTF-8).
    std::string subject, issuer, notBefore, notAfter;
    // Host keys: the type name ("ssh-ed25519"...), the key as base64, and the
    // fingerprint as OpenSSH shows it ("SHA256:...").
    std::string keyType, keyBase64, sshFingerprint;

    bool NeedsDecision() const { return trust == Trust::Unknown || trust == Trust::Changed; }
};

// Makes the host trust what identity shows from now on: the pin in the entry
// and, for a host key, the line in the known hosts file. False when that file
// could not be written (the pin is set anyway).
bool TrustPeer(FtpHostEntry& host, const PeerIdentity& identity, const std::string& knownHostsPath);

// One line naming the fingerprint, for messages (UTF-8).
std::string FingerprintText(const PeerIdentity& identity);

// A host key's SHA-256 (64 hex digits, as pins are stored) as OpenSSH shows
// it: "SHA256:" and unpadded base64. Empty for anything else.
std::string SshFingerprint(const std::string& sha256Hex);

// False when the libcurl in use would send active mode's data unencrypted;
// such uploads are refused before connecting.
bool ActiveFtpsSupported();

// True when the key file is protected by a passphrase (OpenSSH or PEM form);
// false when it is not or cannot be read.
bool KeyFileNeedsPassphrase(const std::string& path);

enum class UploadOutcome {
    Succeeded,
    Failed,
    Stopped, // a stop was requested, whatever else happened
    Refused, // the job was already running; nothing done, nothing logged
};

// The number of page files an output of result wrote besides the main file.
int PageFilesOf(const AdBlockResult& result);

// The name the main file is stored under: a leading '/' or '\' is dropped
// unless the name is that one character.
std::string RemoteMainName(const std::string& remoteName);

// "dir/base.ext" with page k gives "dir/base_00k.ext"; '/' and '\' both
// separate directories.
std::string RemotePageName(const std::string& remoteName, int page);

class UploadJob {
public:
    UploadJob(UploadRequest request, UploadLogSink sink);
    UploadJob(const UploadJob&) = delete;
    UploadJob& operator=(const UploadJob&) = delete;

    // Called on the job's thread when a batch has ended: which of its files
    // now stand on the server under their real names.
    using BatchDone = std::function<void(std::size_t batch, const std::vector<bool>& filesSent)>;
    void SetBatchDone(BatchDone done) { m_batchDone = std::move(done); }

    UploadOutcome Run();
    // Honoured also when it comes before Run starts.
    void RequestStop() { m_stop.store(true); }
    // After Run: per batch, whether every one of its files was sent.
    const std::vector<bool>& BatchesSent() const { return m_sent; }
    // After Run: per batch, why it was not sent whole (None when it was).
    const std::vector<UploadFailure>& BatchFailures() const { return m_batchFailures; }
    // After Run: why the connection itself failed, if it did.
    const UploadFailure& Failure() const { return m_failure; }
    // After Run: the certificate or host key the server showed, if any.
    const PeerIdentity& Peer() const { return m_peer; }
    bool IsBusy() const { return m_busy.load(); }
    bool StopRequested() const { return m_stop.load(); }

private:
    void Log(const char* utf8);
    void LogText(const std::string& utf8);
    void LogCause(const UploadFailure& failure);

    UploadRequest m_request;
    UploadLogSink m_sink;
    BatchDone m_batchDone;
    std::vector<bool> m_sent;
    std::vector<UploadFailure> m_batchFailures;
    UploadFailure m_failure;
    PeerIdentity m_peer;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_stop{false};
};

// The user-facing lines, exactly as logged.
namespace UploadTexts {
constexpr char kStart[] = "アップロードを開始します。";
constexpr char kConnecting[] = "サーバへ接続しています...";
constexpr char kSessionFailed[] = "サーバへの接続に失敗しました。";
constexpr char kConnectFailed[] = "!!エラー!! サーバへの接続に失敗しました。";
constexpr char kConnected[] = "サーバへ接続しました。";
constexpr char kChangingDir[] = "カレントディレクトリを移動します。";
constexpr char kDirFailed[] = "!!エラー!! カレントディレクトリの移動に失敗しました。";
constexpr char kDirChanged[] = "%s ディレクトリへ移動しました。";
constexpr char kUploading[] = "ファイルをアップロードしています...";
constexpr char kArrow[] = "    %s --> %s";
constexpr char kUploadFailed[] = "!!エラー!! ファイルのアップロードに失敗しました。";
constexpr char kUploaded[] = "ファイルをアップロードしました。";
constexpr char kDisconnecting[] = "サーバへの接続を切断しています...";
constexpr char kDisconnected[] = "サーバへの接続を切断しました。";
constexpr char kStopped[] = "ユーザの操作によりアップロードを停止しました。";
constexpr char kDone[] = "アップロードが正常に終了しました。";
constexpr char kError[] = "アップロードエラーです。設定を見直してやり直してください。";
// FTP over TLS and SFTP only.
constexpr char kTlsStart[] = "TLSで通信を暗号化します...";
constexpr char kTlsFailed[] = "!!エラー!! TLSによる暗号化に失敗しました。";
constexpr char kTlsUnavailable[] = "!!エラー!! このシステムのTLSライブラリでは証明書を確認できません。";
constexpr char kCertVerified[] = "サーバ証明書を確認しました。";
constexpr char kCertPinned[] = "サーバ証明書が信頼済みの証明書と一致しました。";
constexpr char kCertUnknown[] = "!!エラー!! サーバ証明書を確認できませんでした。 %s";
constexpr char kCertChanged[] = "!!エラー!! サーバ証明書が信頼済みの証明書と異なります。 %s";
constexpr char kHostKeyKnown[] = "ホスト鍵を確認しました。 %s";
constexpr char kHostKeyUnknown[] = "!!エラー!! 未確認のホスト鍵です。 %s";
constexpr char kHostKeyChanged[] = "!!エラー!! ホスト鍵が以前と異なります。 %s";
constexpr char kTlsActiveBroken[] =
    "!!エラー!! このシステムのlibcurlはFTP over TLSのアクティブモードでデータを暗号化できません。パッシブモードを使ってください。";
constexpr char kKeyFileMissing[] = "!!エラー!! 秘密鍵ファイルを読み込めません。";
// After a failure's own line: why.
constexpr char kCause[] = "原因: %s";
} // namespace UploadTexts
