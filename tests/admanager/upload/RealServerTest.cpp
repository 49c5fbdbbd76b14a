// Uploads against the servers users' hosts run: vsftpd, ProFTPD and Pure-FTPd
// (plain and with each one's stock TLS settings) and OpenSSH, from Debian's
// own packages on 127.0.0.1. Skipped where they are not unpacked or not root.
#include "admanager/library/LibraryNode.h"
#include "admanager/settings/AccountEditing.h"
#include "admanager/upload/Publishing.h"
#include "admanager/upload/UploadJob.h"

#include "common/FileOps.h"

#include "RealServers.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testutil::FtpServerKind;
using testutil::RealFtpServer;
using testutil::RealSshServer;
using testutil::TempDir;
namespace T = UploadTexts;
using Lines = std::vector<std::string>;

// Bytes a server in text mode would change: CR LF, lone CR and LF, and no
// line break at the end.
const std::string kTricky = "<table>\r\n<tr><td>\xCD\xDE\xC5\xB0\r</td></tr>\n</table>";

struct Outcome {
    UploadOutcome result;
    Lines log;
    std::vector<UploadFailure> failures;
    UploadFailure failure;
    bool Has(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
    std::string Text() const {
        std::string all;
        for (const std::string& l : log)
            all += l + "\n";
        return all;
    }
};

Outcome RunJob(UploadRequest request) {
    Outcome out;
    // Pure-FTPd answers a wrong password only after a pause of its own (about 6 s).
    request.timeouts = {10, 15, 15};
    UploadJob job(std::move(request), [&](const std::string& line) { out.log.push_back(line); });
    out.result = job.Run();
    out.failures = job.BatchFailures();
    out.failure = job.Failure();
    return out;
}

std::string OnDisk(const std::string& path) {
    std::string text;
    return FileOps::ReadWholeFile(path, text) ? text : "<missing>";
}

// Nothing but the named files: no part file left behind.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec))
        if (e.is_regular_file())
            names.push_back(std::filesystem::relative(e.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

class FtpServers : public ::testing::TestWithParam<std::tuple<FtpServerKind, bool>> {
protected:
    void SetUp() override {
        if (::geteuid() != 0 || !RealFtpServer::Unpacked(std::get<0>(GetParam())))
            GTEST_SKIP() << "needs root and the servers unpacked by scripts/setup-servers";
        server = std::make_unique<RealFtpServer>(std::get<0>(GetParam()), std::get<1>(GetParam()));
        ASSERT_TRUE(server->Ready()) << server->LogTail();
    }

    FtpHostEntry Host() const {
        FtpHostEntry h = FtpHostEntry::New();
        h.name = "site";
        h.host = "127.0.0.1";
        h.port = server->Port();
        h.user = server->User();
        h.password = server->Password();
        h.directory = "site";
        h.protocol = server->Tls() ? FtpProtocol::Ftps : FtpProtocol::Ftp;
        h.passive = true;
        h.certificateSha256 = server->Tls() ? server->CertSha256() : "";
        return h;
    }

    UploadRequest Request(const std::vector<std::pair<std::string, std::string>>& files) const {
        UploadRequest r;
        r.host = Host();
        for (const auto& [remote, bytes] : files)
            r.batches.push_back(UploadBatch{{UploadFile{"/local/" + remote, remote, bytes}}});
        return r;
    }

    std::string Site() const { return server->Root() + "site/"; }

    std::unique_ptr<RealFtpServer> server;
};

TEST_P(FtpServers, ManyFilesExactBytesNewFoldersAndReplacedFiles) {
    ASSERT_TRUE(FileOps::WriteWholeFile(Site() + "old.html", "the live file"));
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 20; ++i)
        files.emplace_back("ad" + std::to_string(i) + ".html", kTricky + std::to_string(i));
    files.emplace_back("pages/new/x.html", kTricky);
    files.emplace_back("old.html", kTricky);
    Outcome o = RunJob(Request(files));
    ASSERT_EQ(o.result, UploadOutcome::Succeeded) << o.Text() << server->LogTail();
    for (const auto& [remote, bytes] : files)
        EXPECT_EQ(OnDisk(Site() + remote), bytes) << remote;
    EXPECT_EQ(Names(Site()).size(), files.size()) << "no part files left";
    EXPECT_EQ(o.log.back(), T::kDone);
}

TEST_P(FtpServers, EveryFailureSaysWhy) {
    struct Case {
        const char* what;
        std::function<void(FtpHostEntry&)> change;
        const char* failLine;
        UploadCause cause;
        const char* reply; // the start of the server's own reply, when it gives one
    };
    const Case cases[] = {
        {"wrong password", [](FtpHostEntry& h) { h.password = "wrong"; }, T::kConnectFailed,
         UploadCause::LoginRefused, "530"},
        {"nothing listens", [](FtpHostEntry& h) { h.port = testutil::FtpTestServer::FreePort(); }, T::kConnectFailed,
         UploadCause::ConnectionRefused, ""},
        {"missing folder", [](FtpHostEntry& h) { h.directory = "nowhere"; }, T::kDirFailed,
         UploadCause::FolderNotEntered, "550"},
    };
    for (const Case& c : cases) {
        UploadRequest r = Request({{"a.html", "x"}});
        c.change(r.host);
        Outcome o = RunJob(r);
        EXPECT_EQ(o.result, UploadOutcome::Failed) << c.what;
        auto at = std::find(o.log.begin(), o.log.end(), c.failLine);
        ASSERT_NE(at, o.log.end()) << c.what << "\n" << o.Text();
        ASSERT_NE(at + 1, o.log.end());
        EXPECT_EQ(at[1].rfind("原因: " + std::string(UploadCauseText(c.cause)), 0), 0u) << c.what << ": " << at[1];
        EXPECT_EQ(o.failure.cause, c.cause) << c.what;
        EXPECT_EQ(o.failure.serverReply.rfind(c.reply, 0), 0u) << c.what << ": " << o.failure.serverReply;
        EXPECT_EQ(o.failures.at(0).cause, c.cause) << c.what;
    }
    // A folder the user may not write to.
    ASSERT_TRUE(FileOps::MakeDirs(Site() + "ro", 0755));
    Outcome o = RunJob(Request({{"ro/a.html", "x"}}));
    EXPECT_EQ(o.result, UploadOutcome::Failed);
    EXPECT_EQ(o.failures.at(0).cause, UploadCause::WriteRefused) << o.Text();
    EXPECT_EQ(o.failures.at(0).serverReply.substr(0, 1), "5") << o.Text();
}

TEST_P(FtpServers, ABrokenSendNeverBreaksTheLiveFileAndIsSentAgain) {
    // Through publishing, with its record: the second version dies with the server.
    TempDir local, state;
    FtpHostList hosts;
    hosts.entries.push_back(Host());
    LibraryNode item;
    item.id = "1";
    item.title = "item";
    item.tagClass = "ad";
    item.outputPath = local.path() + "/ad.html";
    item.ftpUpload = 1;
    item.ftpHost = "SITE"; // letter case aside, the name of the host
    item.remoteFile = "ad.html";
    Banner& banner = AppendBanner(item);
    banner.tag = "<a href=\"https://example.com/\">first</a>";
    PublishOptions options;
    options.recordPath = state.path() + "/" + PublishRecord::kFileName;
    options.timeouts = {5, 5, 5};
    auto publish = [&](std::function<void(const std::string&)> onLine = {}) {
        PublishRecord record;
        record.Load(options.recordPath);
        std::vector<PublishItem> items{PlanItem(item, "item", &hosts, record)};
        PublishRun run(std::move(items), hosts, options, [&](const std::string& line) {
            if (onLine)
                onLine(line);
        });
        run.Run();
        return run.Outcomes().at(0);
    };
    using R = PublishItemOutcome::Result;
    ASSERT_EQ(publish().result, R::Published);
    const std::string live = OnDisk(Site() + "ad.html");
    ASSERT_NE(live.find("first"), std::string::npos);
    EXPECT_EQ(publish().result, R::Unchanged);

    banner.tag = "<a href=\"https://example.com/\">second</a>" + std::string(2 << 20, 'x');
    bool killed = false;
    PublishItemOutcome broken = publish([&](const std::string& line) {
        if (line.rfind("    ", 0) == 0 && !killed) {
            server->Kill();
            killed = true;
        }
    });
    EXPECT_EQ(broken.result, R::Failed);
    EXPECT_GT(broken.message.size(), std::string(PublishTexts::kUploadFailed).size()) << "says why: " << broken.message;
    EXPECT_EQ(OnDisk(Site() + "ad.html"), live) << "the live file is whole";

    ASSERT_TRUE(server->Start()) << server->LogTail();
    EXPECT_EQ(publish().result, R::Published) << "never reported unchanged";
    EXPECT_NE(OnDisk(Site() + "ad.html").find("second"), std::string::npos);
    EXPECT_EQ(Names(Site()), std::vector<std::string>{"ad.html"});
}

std::string FtpCaseName(const ::testing::TestParamInfo<std::tuple<FtpServerKind, bool>>& info) {
    std::string name = testutil::FtpServerName(std::get<0>(info.param));
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    return name + (std::get<1>(info.param) ? "Tls" : "Plain");
}

INSTANTIATE_TEST_SUITE_P(Debian, FtpServers,
                         ::testing::Combine(::testing::ValuesIn(testutil::kFtpServerKinds), ::testing::Bool()),
                         FtpCaseName);

class SshServers : public ::testing::Test {
protected:
    static bool Usable() { return ::geteuid() == 0 && ::access("/usr/sbin/sshd", X_OK) == 0; }

    FtpHostEntry Host(const RealSshServer& s) const {
        FtpHostEntry h = FtpHostEntry::New();
        h.name = "ssh";
        h.host = "127.0.0.1";
        h.port = s.Port();
        h.user = s.User();
        h.password = s.Password();
        h.directory = s.Root() + "site";
        SetProtocol(h, FtpProtocol::Sftp);
        h.port = s.Port();
        return h;
    }

    Outcome Send(FtpHostEntry host, const std::string& passphrase = {}, const std::string& remote = "a.html") {
        UploadRequest r;
        r.host = std::move(host);
        r.passphrase = passphrase;
        r.knownHostsPath = state.path() + "/known_hosts";
        r.batches.push_back(UploadBatch{{UploadFile{"/local/a.html", remote, kTricky}}});
        return RunJob(r);
    }

    TempDir state;
};

TEST_F(SshServers, EveryHostKeyTypeIsCheckedFirstThenTrusted) {
    if (!Usable())
        GTEST_SKIP() << "needs root and sshd";
    for (const char* type : testutil::kSshKeyTypes) {
        RealSshServer server(type);
        ASSERT_TRUE(server.Ready()) << type << server.LogTail();
        FtpHostEntry host = Host(server);
        Outcome unknown = Send(host);
        EXPECT_EQ(unknown.result, UploadOutcome::Failed) << type;
        EXPECT_EQ(unknown.failure.cause, UploadCause::HostKeyUntrusted) << type;
        EXPECT_EQ(OnDisk(server.Root() + "site/a.html"), "<missing>") << type;

        UploadJob probe(UploadRequest{host, {}, {}, {}, state.path() + "/known_hosts"}, {});
        probe.Run();
        EXPECT_EQ(probe.Peer().sshFingerprint, server.HostKeyFingerprint()) << type;
        ASSERT_TRUE(TrustPeer(host, probe.Peer(), state.path() + "/known_hosts"));
        Outcome trusted = Send(host, {}, "new/dir/a.html");
        EXPECT_EQ(trusted.result, UploadOutcome::Succeeded) << type << trusted.Text() << server.LogTail();
        EXPECT_EQ(OnDisk(server.Root() + "site/new/dir/a.html"), kTricky) << type;
    }
}

TEST_F(SshServers, KeysUsersHaveAndAnUploadOnlyFolder) {
    if (!Usable())
        GTEST_SKIP() << "needs root and sshd";
    RealSshServer server("rsa");
    ASSERT_TRUE(server.Ready()) << server.LogTail();
    FtpHostEntry host = Host(server);
    host.hostKeySha256 = [&] {
        UploadJob probe(UploadRequest{host, {}, {}, {}, {}}, {});
        probe.Run();
        return probe.Peer().sha256;
    }();
    host.password.clear();
    for (const char* type : testutil::kSshKeyTypes)
        for (bool pem : {false, true})
            for (bool locked : {false, true}) {
                const std::string what = std::string(type) + (pem ? " PEM" : " OpenSSH") + (locked ? " locked" : "");
                host.keyFile = RealSshServer::KeyFile(type, pem, locked);
                EXPECT_EQ(KeyFileNeedsPassphrase(host.keyFile), locked) << what;
                Outcome o = Send(host, locked ? RealSshServer::kPassphrase : "");
                EXPECT_EQ(o.result, UploadOutcome::Succeeded) << what << "\n" << o.Text() << server.LogTail();
                if (locked) {
                    Outcome wrong = Send(host, "not it");
                    EXPECT_EQ(wrong.failure.cause, UploadCause::KeyPassphrase) << what << wrong.Text();
                }
            }
    host.keyFile.clear();
    host.password = server.Password();
    host.directory = server.Root() + "drop";
    Outcome drop = Send(host);
    EXPECT_EQ(drop.result, UploadOutcome::Succeeded) << drop.Text();
    EXPECT_EQ(OnDisk(server.Root() + "drop/a.html"), kTricky);
    host.password = "wrong";
    EXPECT_EQ(Send(host).failure.cause, UploadCause::LoginRefused);
}

} // namespace
