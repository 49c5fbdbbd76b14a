#pragma once

#include "admanager/upload/UploadFailure.h"
#include "admanager/upload/UploadJob.h"

#include <atomic>
#include <memory>
#include <string>

// One connection to one host, as the upload job drives it. Every failing call
// leaves its cause in Failure(); the job turns it into log lines.
class Transport {
public:
    virtual ~Transport() = default;

    // Connects, checks who the server is (certificate or host key, into the
    // identity given at creation) and logs in.
    virtual bool Login() = 0;
    // Makes directory (relative to the login folder unless it starts with '/')
    // the folder every later name is relative to.
    virtual bool ChangeDirectory(const std::string& directory) = 0;
    // Stores bytes as remoteName: sent under a temporary name in the same
    // folder and renamed over the old file only when complete, so a broken
    // transfer never leaves a broken file under the real name. Missing folders
    // on the way are made.
    virtual bool Put(const std::string& remoteName, const std::string& bytes) = 0;
    // Says goodbye and closes.
    virtual void Close() = 0;
    // Nothing more can be done on this connection.
    virtual bool Lost() const = 0;
    // After a failed ChangeDirectory: the folder was entered, only the check after it failed.
    virtual bool EnteredDirectory() const { return false; }
    // FTP over TLS that this libcurl could not check certificates for.
    virtual bool TlsUnusable() const { return false; }

    const UploadFailure& Failure() const { return m_failure; }

protected:
    bool Fail(UploadCause cause, std::string reply = {}) {
        m_failure = {cause, std::move(reply)};
        return false;
    }
    UploadFailure m_failure;
};

// The transport for the request's protocol; null only when the library behind
// it cannot start at all.
std::unique_ptr<Transport> MakeFtpTransport(const UploadRequest& request, const std::atomic<bool>& stop,
                                            PeerIdentity& peer);
std::unique_ptr<Transport> MakeSftpTransport(const UploadRequest& request, const std::atomic<bool>& stop,
                                             PeerIdentity& peer);

// What a host key blob (SSH wire form) is worth for this host: pinned by the
// host setting, recorded in our known hosts, changed or unknown.
PeerIdentity CheckHostKey(std::string_view blob, const std::string& pin, const std::string& knownHostsPath,
                          const std::string& host, long port);

// The temporary name a file is sent under before it replaces remoteName.
std::string PartName(const std::string& remoteName);

// The folders of remoteName, outermost first ("a/b/c.html" gives "a", "a/b");
// '/' and '\' both separate.
std::vector<std::string> FoldersOf(const std::string& remoteName);

// True when a remote name has a ".." component or a control character.
bool UnsafeRemoteName(const std::string& remoteName);

// The printable name an SSH blob starts with (a key type, a cipher name);
// empty when it holds none.
std::string SshNameField(std::string_view blob);

// Certain characters end an FTP command early or start another.
bool SafeOnCommandLine(std::string_view text);
