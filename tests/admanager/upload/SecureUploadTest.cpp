#include "admanager/upload/KnownHosts.h"
#include "admanager/upload/UploadJob.h"

#include "common/FileOps.h"

#include "FtpTestServer.h"
#include "SshTestServer.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using testutil::TempDir;
namespace T = UploadTexts;
using Trust = PeerIdentity::Trust;
const std::string kPage = "<table>\n<tr><td>広告</td></tr>\n</table>\n";

struct Result {
    UploadOutcome outcome;
    PeerIdentity peer;
    std::vector<std::string> log;
    // The lines without the cause line each failure adds.
    std::vector<std::string> Steps() const {
        std::vector<std::string> out;
        for (const std::string& l : log)
            if (l.rfind("原因: ", 0) != 0)
                out.push_back(l);
        return out;
    }
    bool Logged(const std::string& prefix) const {
        return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }
};

// The part of a log format before its "%s".
std::string Lead(const char* format) { return std::string(format).substr(0, std::string(format).find("%s")); }

class SecureUpload : public ::testing::Test {
protected:
    void SetUp() override {
        local = localDir.path() + "/ad.html";
        ASSERT_TRUE(FileOps::WriteWholeFile(local, kPage));
        knownHosts = stateDir.path() + "/" + KnownHosts::kFileName;
    }

    Result Run(const FtpHostEntry& host, const std::string& passphrase = {}) {
        UploadRequest r;
        r.host = host;
        r.batches = {AdBlockBatch(local, "ad.html", 0)};
        r.timeouts = {5, 10, 10};
        r.passphrase = passphrase;
        r.knownHostsPath = knownHosts;
        Result result;
        UploadJob job(r, [&](const std::string& line) { result.log.push_back(line); });
        result.outcome = job.Run();
        result.peer = job.Peer();
        // A password never reaches the log.
        for (const std::string& line : result.log)
            EXPECT_EQ(line.find(host.password.empty() ? "\x01" : host.password), std::string::npos) << line;
        return result;
    }

    TempDir localDir, stateDir;
    std::string local, knownHosts;
};

class FtpsUpload : public SecureUpload {
protected:
    void SetUp() override {
        SecureUpload::SetUp();
        ASSERT_TRUE(FileOps::MakeDirRetry(root.path() + "/site"));
        pem = certDir.path() + "/server.pem";
        ASSERT_TRUE(testutil::FtpTestServer::MakeCertificate(pem)) << "python3-openssl missing?";
    }

    FtpHostEntry Host(int port, bool passive) {
        FtpHostEntry h = FtpHostEntry::New();
        h.host = "127.0.0.1";
        h.port = port;
        h.user = testutil::FtpTestServer::kUser;
        h.password = testutil::FtpTestServer::kPassword;
        h.directory = "site";
        h.passive = passive;
        return h;
    }

    std::string OnServer() {
        std::string text;
        return FileOps::ReadWholeFile(root.path() + "/site/ad.html", text) ? text : "<missing>";
    }

    TempDir root, certDir;
    std::string pem;
};

TEST_F(FtpsUpload, SelfSignedIsRefusedUntilTrustedThenPinned) {
    testutil::FtpTestServer server(root.path(), pem);
    ASSERT_TRUE(server.Ready());
    FtpHostEntry host = Host(server.Port(), true);

    Result first = Run(host);
    EXPECT_EQ(first.outcome, UploadOutcome::Failed);
    ASSERT_EQ(first.peer.kind, PeerIdentity::Kind::Certificate);
    EXPECT_EQ(first.peer.trust, Trust::Unknown);
    EXPECT_TRUE(IsSha256Hex(first.peer.sha256));
    EXPECT_NE(first.peer.subject.find("CN=localhost"), std::string::npos) << first.peer.subject;
    EXPECT_NE(first.peer.subject.find("テスト用サーバ"), std::string::npos) << first.peer.subject;
    EXPECT_FALSE(first.peer.notAfter.empty());
    EXPECT_EQ(first.Steps(), (std::vector<std::string>{T::kStart, T::kConnecting, T::kTlsStart,
                                                   Lead(T::kCertUnknown) + "SHA-256: " + first.peer.sha256,
                                                   T::kConnectFailed, T::kError}));
    EXPECT_EQ(OnServer(), "<missing>");

    ASSERT_TRUE(TrustPeer(host, first.peer, knownHosts));
    EXPECT_EQ(host.certificateSha256, first.peer.sha256);
    for (bool passive : {true, false}) {
        host.passive = passive;
        ASSERT_TRUE(FileOps::WriteWholeFile(root.path() + "/site/ad.html", "old"));
        Result trusted = Run(host);
        if (!passive && !ActiveFtpsSupported()) {
            // Refused before anything is sent rather than sent in clear text.
            EXPECT_EQ(trusted.Steps(), (std::vector<std::string>{T::kStart, T::kConnecting, T::kTlsActiveBroken,
                                                             T::kConnectFailed, T::kError}));
            EXPECT_EQ(OnServer(), "old");
            continue;
        }
        EXPECT_EQ(trusted.outcome, UploadOutcome::Succeeded) << "passive " << passive;
        EXPECT_EQ(trusted.peer.trust, Trust::Pinned);
        EXPECT_TRUE(trusted.Logged(T::kCertPinned));
        EXPECT_EQ(OnServer(), kPage) << "passive " << passive;
    }

    // The server now shows another certificate: refused, naming the new one.
    ASSERT_TRUE(testutil::FtpTestServer::MakeCertificate(pem));
    ASSERT_TRUE(server.Restart());
    host.passive = true;
    Result changed = Run(host);
    EXPECT_EQ(changed.outcome, UploadOutcome::Failed);
    EXPECT_EQ(changed.peer.trust, Trust::Changed);
    EXPECT_NE(changed.peer.sha256, host.certificateSha256);
    EXPECT_TRUE(changed.Logged(Lead(T::kCertChanged) + "SHA-256: " + changed.peer.sha256));
}

TEST_F(FtpsUpload, ServerWithoutTlsGetsNoLogin) {
    testutil::FtpTestServer plain(root.path());
    ASSERT_TRUE(plain.Ready());
    Result r = Run(Host(plain.Port(), true));
    EXPECT_EQ(r.outcome, UploadOutcome::Failed);
    EXPECT_EQ(r.peer.kind, PeerIdentity::Kind::None);
    EXPECT_EQ(r.Steps(), (std::vector<std::string>{T::kStart, T::kConnecting, T::kTlsStart, T::kTlsFailed,
                                               T::kConnectFailed, T::kError}));
}

class SftpUpload : public SecureUpload {
protected:
    void SetUp() override {
        SecureUpload::SetUp();
        if (!ssh.Ready())
            GTEST_SKIP() << "needs root and openssh-server for a throw-away sshd";
    }

    FtpHostEntry Host() {
        FtpHostEntry h = FtpHostEntry::New();
        h.protocol = FtpProtocol::Sftp;
        h.host = "127.0.0.1";
        h.port = ssh.Port();
        h.user = ssh.User();
        h.password = testutil::SshTestServer::kPassword;
        h.directory = "site";
        return h;
    }

    std::string OnServer(const std::string& name = "ad.html") {
        std::string text;
        return FileOps::ReadWholeFile(ssh.Home() + "site/" + name, text) ? text : "<missing>";
    }

    testutil::SshTestServer ssh;
};

TEST_F(SftpUpload, HostKeyUnknownAcceptedThenChanged) {
    FtpHostEntry host = Host();
    Result first = Run(host);
    EXPECT_EQ(first.outcome, UploadOutcome::Failed);
    ASSERT_EQ(first.peer.kind, PeerIdentity::Kind::HostKey);
    EXPECT_EQ(first.peer.trust, Trust::Unknown);
    EXPECT_EQ(first.peer.keyType, "ssh-ed25519");
    EXPECT_EQ(first.peer.sshFingerprint.rfind("SHA256:", 0), 0u);
    EXPECT_TRUE(first.Logged(Lead(T::kHostKeyUnknown) + "ssh-ed25519 " + first.peer.sshFingerprint));
    EXPECT_EQ(OnServer(), "<missing>");

    ASSERT_TRUE(TrustPeer(host, first.peer, knownHosts));
    std::string line;
    ASSERT_TRUE(FileOps::ReadWholeFile(knownHosts, line));
    EXPECT_EQ(line, "[127.0.0.1]:" + std::to_string(ssh.Port()) + " ssh-ed25519 " + first.peer.keyBase64 + "\n");

    Result accepted = Run(host);
    EXPECT_EQ(accepted.outcome, UploadOutcome::Succeeded);
    EXPECT_TRUE(accepted.Logged(Lead(T::kHostKeyKnown)));
    EXPECT_TRUE(accepted.Logged("site ディレクトリへ移動しました。"));
    EXPECT_EQ(OnServer(), kPage);

    // The known hosts file alone is enough for another entry of the same server.
    FtpHostEntry other = Host();
    EXPECT_EQ(Run(other).outcome, UploadOutcome::Succeeded);

    ASSERT_TRUE(ssh.ChangeHostKey());
    for (const FtpHostEntry& h : {host, other}) {
        Result changed = Run(h);
        EXPECT_EQ(changed.outcome, UploadOutcome::Failed);
        EXPECT_EQ(changed.peer.trust, Trust::Changed);
        EXPECT_TRUE(changed.Logged(Lead(T::kHostKeyChanged)));
    }
}

TEST_F(SftpUpload, PasswordKeyAndLockedKeyLogins) {
    FtpHostEntry host = Host();
    ASSERT_TRUE(TrustPeer(host, Run(host).peer, knownHosts));

    EXPECT_FALSE(KeyFileNeedsPassphrase(ssh.KeyFile()));
    EXPECT_TRUE(KeyFileNeedsPassphrase(ssh.LockedKeyFile()));

    struct Case {
        const char* what;
        std::string password, keyFile, passphrase;
        UploadOutcome expected;
    };
    const Case cases[] = {
        {"password", testutil::SshTestServer::kPassword, "", "", UploadOutcome::Succeeded},
        {"wrong password", "wrong", "", "", UploadOutcome::Failed},
        {"key", "", ssh.KeyFile(), "", UploadOutcome::Succeeded},
        {"locked key", "", ssh.LockedKeyFile(), testutil::SshTestServer::kPassphrase, UploadOutcome::Succeeded},
        {"locked key, wrong passphrase", "", ssh.LockedKeyFile(), "nope", UploadOutcome::Failed},
        {"missing key file", "", stateDir.path() + "/none", "", UploadOutcome::Failed},
    };
    for (const Case& c : cases) {
        FtpHostEntry h = host;
        h.password = c.password;
        h.keyFile = c.keyFile;
        Result r = Run(h, c.passphrase);
        EXPECT_EQ(r.outcome, c.expected) << c.what;
    }

    // Pages and a second block in one session; a missing directory fails.
    ASSERT_TRUE(FileOps::WriteWholeFile(local.substr(0, local.size() - 5) + "_001.html", "p1"));
    UploadRequest r;
    r.host = host;
    r.batches = {AdBlockBatch(local, "/multi.html", 1), AdBlockBatch(local, "two.html", 0)};
    r.knownHostsPath = knownHosts;
    UploadJob job(r, {});
    EXPECT_EQ(job.Run(), UploadOutcome::Succeeded);
    EXPECT_EQ(job.BatchesSent(), (std::vector<bool>{true, true}));
    EXPECT_EQ(OnServer("multi_001.html"), "p1");
    EXPECT_EQ(OnServer("two.html"), kPage);
    host.directory = "nowhere";
    EXPECT_TRUE(Run(host).Logged(T::kDirFailed));
}

TEST(KnownHostsFile, LinesOfOthersStay) {
    TempDir dir;
    std::string path = dir.path() + "/known_hosts";
    ASSERT_TRUE(FileOps::WriteWholeFile(path, "# mine\nexample.jp,10.0.0.1 ssh-ed25519 AAAA\n[h]:2222 ssh-rsa BBBB\n"));
    using M = KnownHosts::Match;
    EXPECT_EQ(KnownHosts::Check(path, "10.0.0.1", "ssh-ed25519", "AAAA"), M::Found);
    EXPECT_EQ(KnownHosts::Check(path, "example.jp", "ssh-ed25519", "CCCC"), M::Different);
    EXPECT_EQ(KnownHosts::Check(path, "[h]:2222", "ssh-ed25519", "CCCC"), M::Missing);
    EXPECT_EQ(KnownHosts::Check(path, "h", "ssh-rsa", "BBBB"), M::Missing);
    ASSERT_TRUE(KnownHosts::Remember(path, "[h]:2222", "ssh-rsa", "DDDD"));
    std::string text;
    ASSERT_TRUE(FileOps::ReadWholeFile(path, text));
    EXPECT_EQ(text, "# mine\nexample.jp,10.0.0.1 ssh-ed25519 AAAA\n[h]:2222 ssh-rsa DDDD\n");
    EXPECT_EQ(KnownHosts::HostPattern("h", 22), "h");
    EXPECT_EQ(KnownHosts::HostPattern("::1", 2222), "[::1]:2222");
}

} // namespace
