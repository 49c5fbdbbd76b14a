#include "admanager/library/LibraryFile.h"
#include "admanager/settings/AccountLists.h"
#include "admanager/settings/AppSettings.h"
#include "admanager/upload/UploadJob.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"

#include "TestUtil.h"
#include "tests/admanager/upload/FtpTestServer.h"
#include "tests/cli/CliRunner.h"

#include <gtest/gtest.h>

namespace {

using testutil::J;
using testutil::TempDir;

class PublishCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Ready());
        ASSERT_TRUE(FileOps::MakeDirRetry(serverRoot / "site"));
        ASSERT_TRUE(FileOps::MakeDirRetry(dir / "out"));
        InitEmptyLibrary(lib);
        LibraryNode folder;
        folder.flags = NODE_FOLDER;
        folder.title = J("サイト");
        LibraryNode& f = AddChildCopy(lib.root, folder);
        top = &AddItem(f, "top", "top.html", 2);
        top->ftpUpload = 1;
        top->remoteFile = "/top.html";
        top->ftpHost = "MAIN-HOST"; // the host's name, letter case aside
        LibraryNode& pages = AddItem(lib.root, "pages", "p.html", 3);
        pages.rowLimit = 1;
        pages.rowCount = 1;
        pages.multiPage = 1;
        pages.ftpUpload = 1;
        pages.remoteFile = "p.html";
        pages.ftpHost = "main-host";
        AddItem(lib.root, "local", "l.html", 1);
        AddItem(lib.root, "nopath", "", 1);
        Save();

        FtpHostList hosts;
        hosts.entries.push_back(Host("main-host", "site"));
        hosts.entries.push_back(Host("broken", "nowhere"));
        ASSERT_TRUE(SaveFtpHostList(hosts, module.path() + "/"));
    }

    LibraryNode& AddItem(LibraryNode& parent, const char* title, const std::string& file, int banners) {
        LibraryNode item;
        item.title = title;
        item.tagClass = "ad";
        item.outputPath = file.empty() ? "" : dir / ("out/" + file);
        for (int i = 0; i < banners; ++i) {
            Banner& b = AppendBanner(item);
            b.name = "B" + std::to_string(i);
            b.tag = "<a>" + std::to_string(i) + "</a>";
        }
        return AddChildCopy(parent, item);
    }

    FtpHostEntry Host(const char* name, const char* directory) {
        FtpHostEntry e;
        e.name = name;
        e.host = "127.0.0.1";
        e.port = server.Port();
        e.user = testutil::FtpTestServer::kUser;
        e.password = testutil::FtpTestServer::kPassword;
        e.directory = directory;
        return e;
    }

    void Save() {
        ModuleDir::SetOverride(module.path());
        ASSERT_TRUE(SaveLibrary(lib, zva));
        ModuleDir::SetOverride("");
    }

    testutil::CliResult Zova(std::vector<std::string> args) {
        args.insert(args.begin(), {"publish", zva});
        return testutil::RunCli(module.path(), std::move(args));
    }

    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != text.npos; }

    TempDir module;
    TempDir dir;
    TempDir serverRoot;
    testutil::FtpTestServer server{serverRoot.path()};
    std::string zva = dir / "lib.zva";
    AdLibrary lib;
    LibraryNode* top = nullptr;
};

TEST_F(PublishCommandsTest, WithoutUploadWritesEveryItemWithAnOutputPath) {
    testutil::CliResult r = Zova({});
    EXPECT_EQ(r.code, 0) << r.err;
    for (const char* file : {"top.html", "p.html", "p_001.html", "p_003.html", "l.html"})
        EXPECT_TRUE(FileOps::FileExists(dir / (std::string("out/") + file))) << file;
    EXPECT_TRUE(Has(r.out, "== サイト/top\n"));
    EXPECT_TRUE(Has(r.out, "3 ad item(s) published, 0 failed\n"));
    EXPECT_FALSE(Has(r.out, UploadTexts::kStart));
    EXPECT_FALSE(FileOps::FileExists(serverRoot / "site/top.html"));
}

TEST_F(PublishCommandsTest, UploadPutsFlaggedItemsOnTheServer) {
    testutil::CliResult r = Zova({"--upload"});
    EXPECT_EQ(r.code, 0) << r.err << r.out;
    std::string local, remote;
    ASSERT_TRUE(FileOps::ReadWholeFile(dir / "out/top.html", local));
    ASSERT_TRUE(FileOps::ReadWholeFile(serverRoot / "site/top.html", remote));
    EXPECT_EQ(remote, local);
    for (const char* file : {"p.html", "p_001.html", "p_002.html", "p_003.html"})
        EXPECT_TRUE(FileOps::FileExists(serverRoot / (std::string("site/") + file))) << file;
    EXPECT_FALSE(FileOps::FileExists(serverRoot / "site/l.html")); // its FTP flag is off
    EXPECT_TRUE(Has(r.out, "FTP: main-host\n"));
    EXPECT_TRUE(Has(r.out, std::string(UploadTexts::kDone) + "\n"));
    EXPECT_TRUE(Has(r.out, "3 ad item(s) published, 0 failed\n"));
}

TEST_F(PublishCommandsTest, FailuresAreCountedAndGiveExitOne) {
    top->ftpHost = "BROKEN";
    Save();
    testutil::CliResult r = Zova({"サイト/top", "nopath", "missing", "local", "--upload"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.out, "FTP: broken\n"));
    EXPECT_TRUE(Has(r.out, UploadTexts::kDirFailed));
    // stderr says why, with the server's own reply.
    EXPECT_TRUE(Has(r.err, "top: アップロードに失敗しました。 フォルダに移動できません")) << r.err;
    EXPECT_TRUE(Has(r.err, "サーバの応答: 550")) << r.err;
    EXPECT_TRUE(Has(r.err, "nopath: ■HTML出力先■の「ローカル」を設定してください。"));
    EXPECT_TRUE(Has(r.err, "no ad item 'missing'"));
    EXPECT_TRUE(Has(r.out, "1 ad item(s) published, 3 failed\n"));
    EXPECT_TRUE(FileOps::FileExists(dir / "out/l.html"));
}

TEST_F(PublishCommandsTest, AnItemGoesOnlyToTheHostItNames) {
    // A host whose name merely begins with the stored one is someone else's.
    top->ftpHost = "MAIN";
    Save();
    testutil::CliResult r = Zova({"サイト/top", "--upload"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "サイト/top: FTPホスト「MAIN」が見つかりません。")) << r.err;
    EXPECT_FALSE(FileOps::FileExists(serverRoot / "site/top.html"));

    ASSERT_TRUE(SaveFtpHostList(FtpHostList{}, module.path() + "/"));
    r = Zova({"pages", "--upload"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "pages: FTPホスト「main-host」が見つかりません。")) << r.err;
    EXPECT_TRUE(FileOps::FileExists(dir / "out/p_003.html"));
}

TEST_F(PublishCommandsTest, BlocksCarryTheAdManagersOutputChoices) {
    AppSettings settings;
    ASSERT_TRUE(LoadSettings(settings, module.path() + "/"));
    settings.adLabel = 1;
    ASSERT_TRUE(SaveSettings(settings, module.path() + "/"));
    ASSERT_EQ(Zova({"local"}).code, 0);
    std::string page;
    ASSERT_TRUE(FileOps::ReadWholeFile(dir / "out/l.html", page));
    EXPECT_NE(page.find("class=\"ad_label\""), std::string::npos) << page;
}

TEST_F(PublishCommandsTest, OnlyChangedFilesGoAgainUnlessAllAreAsked) {
    ASSERT_EQ(Zova({"--upload"}).code, 0);
    auto mark = [&] {
        for (const char* f : {"site/top.html", "site/p.html", "site/p_002.html"})
            ASSERT_TRUE(FileOps::WriteWholeFile(serverRoot / f, "x"));
    };
    auto onServer = [&](const char* f) {
        std::string text;
        FileOps::ReadWholeFile(serverRoot / f, text);
        return text;
    };
    mark();
    testutil::CliResult again = Zova({"--upload"});
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_TRUE(Has(again.out, "公開: 1件、変更なし: 2件、失敗: 0件、停止: 0件\n")) << again.out;
    EXPECT_FALSE(Has(again.out, UploadTexts::kStart)); // no host had anything to take
    EXPECT_EQ(onServer("site/top.html"), "x");

    // One banner of one item changes: that item's file alone goes.
    top->banners.front()->tag = "<a>new</a>";
    Save();
    testutil::CliResult changed = Zova({"--upload"});
    EXPECT_EQ(changed.code, 0) << changed.err;
    EXPECT_NE(onServer("site/top.html"), "x");
    EXPECT_EQ(onServer("site/p.html"), "x");
    EXPECT_TRUE(Has(changed.out, "公開: 2件、変更なし: 1件、失敗: 0件、停止: 0件\n"));

    mark();
    ASSERT_EQ(Zova({"--upload", "--all-files"}).code, 0);
    for (const char* f : {"site/top.html", "site/p.html", "site/p_002.html"})
        EXPECT_NE(onServer(f), "x") << f;
}

TEST_F(PublishCommandsTest, UntrustedCertificateFailsItsHostUntilItsFingerprintIsImported) {
    TempDir tlsRoot, certDir;
    ASSERT_TRUE(FileOps::MakeDirRetry(tlsRoot / "site"));
    ASSERT_TRUE(testutil::FtpTestServer::MakeCertificate(certDir / "c.pem"));
    testutil::FtpTestServer tls(tlsRoot.path(), certDir / "c.pem");
    ASSERT_TRUE(tls.Ready());
    FtpHostList hosts;
    hosts.entries.push_back(Host("main-host", "site"));
    FtpHostEntry secure = Host("tls", "site");
    secure.protocol = FtpProtocol::Ftps;
    secure.passive = true;
    secure.port = tls.Port();
    hosts.entries.push_back(secure);
    ASSERT_TRUE(SaveFtpHostList(hosts, module.path() + "/"));
    top->ftpHost = "TLS";
    Save();

    testutil::CliResult r = Zova({"--upload"});
    EXPECT_EQ(r.code, 1);
    std::size_t at = r.err.find("tls: not trusted: SHA-256: ");
    ASSERT_NE(at, std::string::npos) << r.err;
    std::string fingerprint = r.err.substr(at + 27, 64);
    EXPECT_TRUE(IsSha256Hex(fingerprint));
    EXPECT_TRUE(Has(r.out, "公開: 2件、変更なし: 0件、失敗: 1件、停止: 0件\n")) << r.out; // the other host still went
    EXPECT_TRUE(FileOps::FileExists(serverRoot / "site/p.html"));

    hosts.entries[1].certificateSha256 = fingerprint;
    ASSERT_TRUE(SaveFtpHostList(hosts, module.path() + "/"));
    testutil::CliResult trusted = Zova({"サイト/top", "--upload"});
    EXPECT_EQ(trusted.code, 0) << trusted.err;
    EXPECT_TRUE(Has(trusted.out, UploadTexts::kCertPinned));
    EXPECT_TRUE(FileOps::FileExists(tlsRoot / "site/top.html"));
}

} // namespace
