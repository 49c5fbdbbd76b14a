#pragma once

#include <string>

// Why a step of an upload failed, said the same way in the upload dialog's log,
// the publish window's reason column and zova's stderr.
enum class UploadCause {
    None,
    HostNotFound,      // the host name does not resolve
    ConnectionRefused, // nothing listens there, or a firewall said no
    Timeout,           // no answer in time
    LoginRefused,      // user name, password or key not accepted
    KeyPassphrase,     // the key file's passphrase is wrong or missing
    KeyFileUnreadable, // the key file cannot be read or is no key
    TlsFailed,         // the server does not speak TLS, or the handshake broke
    CertificateUntrusted,
    HostKeyUntrusted,
    FolderMissing,     // the host's folder (or a folder on the way) is not there
    FolderNotEntered,  // FTP cannot tell a missing folder from a forbidden one
    PermissionDenied,  // the server refused to write there
    WriteRefused,      // FTP refused the file: permission, quota or name
    RenameFailed,      // the file went up but could not replace the old one
    DataConnection,    // the data connection could not be made
    ConnectionLost,    // the connection broke during the work
    LocalFile,         // the local file cannot be read
    UnsafeName,        // a remote name that would leave the host's folder, or a control character
    Stopped,
    Other,
};

struct UploadFailure {
    UploadCause cause = UploadCause::None;
    std::string serverReply; // the server's own words, when it said any (UTF-8 as received)

    explicit operator bool() const { return cause != UploadCause::None; }
    // The cause in Japanese, with the server's reply: "ログインを拒否されました。… （サーバの応答: 530 Login incorrect.）"
    std::string Text() const;
};

const char* UploadCauseText(UploadCause cause);
