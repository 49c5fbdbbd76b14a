#include "admanager/upload/UploadJob.h"

#include "admanager/htmlgen/AdBlockGenerator.h"
#include "common/Cp932.h"
#include "common/FileOps.h"

#include "FtpTestServer.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using testutil::TempDir;
namespace T = UploadTexts;
using Lines = std::vector<std::string>;

class UploadJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FileOps::MakeDirRetry(serverRoot / "site"));
        ASSERT_TRUE(server.Ready()) << "pyftpdlib did not start";
        local = localDir / "ad.html";
        ASSERT_TRUE(FileOps::WriteWholeFile(local, "<table>\n<tr><td>main</td></tr>\n</table>\n"));
    }

    UploadRequest Request(const std::string& remote, int pages = 0) {
        UploadRequest r;
        r.host.name = "test";
        r.host.host = "127.0.0.1";
        r.host.port = server.Port();
        r.host.user = testutil::FtpTestServer::kUser;
        r.host.password = testutil::FtpTestServer::kPassword;
        r.host.directory = "site";
        r.batches = {AdBlockBatch(local, remote, pages)};
        r.timeouts = {5, 10, 10};
        return r;
    }

    UploadOutcome Run(const UploadRequest& request, std::function<void(UploadJob&, const std::string&)> hook = {}) {
        log.clear();
        UploadJob* self = nullptr;
        UploadJob job(request, [&](const std::string& line) {
            log.push_back(line);
            if (hook)
                hook(*self, line);
        });
        self = &job;
        UploadOutcome outcome = job.Run();
        EXPECT_FALSE(job.IsBusy());
        EXPECT_FALSE(job.StopRequested());
        return outcome;
    }

    std::string OnServer(const std::string& name) {
        std::string text;
        return FileOps::ReadWholeFile(serverRoot / ("site/" + name), text) ? text : "<missing>";
    }

    // The lines the original client logged; each failure's cause line after them is ours.
    static Lines WithoutCauses(const Lines& lines) {
        Lines out;
        for (const std::string& line : lines)
            if (line.rfind("原因: ", 0) != 0)
                out.push_back(line);
        return out;
    }

    std::string Arrow(const std::string& localPath, const std::string& remote) {
        return "    " + localPath + " --> " + remote;
    }

    TempDir serverRoot;
    TempDir localDir;
    testutil::FtpTestServer server{serverRoot.path()};
    std::string local;
    Lines log;
};

TEST_F(UploadJobTest, SingleFileGivesTheFullLogAndTheSameBytes) {
    EXPECT_EQ(Run(Request("ad.html")), UploadOutcome::Succeeded);
    EXPECT_EQ(log, (Lines{T::kStart, T::kConnecting, T::kConnected, T::kChangingDir,
                          "site ディレクトリへ移動しました。", T::kUploading, Arrow(local, "ad.html"), T::kUploaded,
                          T::kDisconnecting, T::kDisconnected, T::kDone}));
    EXPECT_EQ(OnServer("ad.html"), "<table>\n<tr><td>main</td></tr>\n</table>\n");
}

TEST_F(UploadJobTest, PassiveModeGivesTheSameLinesAndBytes) {
    UploadRequest r = Request("ad.html", 0);
    r.host.passive = true;
    r.batches.push_back(AdBlockBatch(local, "second.html", 0));
    EXPECT_EQ(Run(r), UploadOutcome::Succeeded);
    EXPECT_EQ(log, (Lines{T::kStart, T::kConnecting, T::kConnected, T::kChangingDir,
                          "site ディレクトリへ移動しました。", T::kUploading, Arrow(local, "ad.html"), T::kUploaded,
                          T::kUploading, Arrow(local, "second.html"), T::kUploaded, T::kDisconnecting,
                          T::kDisconnected, T::kDone}));
    EXPECT_EQ(OnServer("second.html"), "<table>\n<tr><td>main</td></tr>\n</table>\n");
}

TEST_F(UploadJobTest, RefusedLoginGivesExactlyFourLines) {
    UploadRequest r = Request("ad.html");
    r.host.password = "wrong";
    EXPECT_EQ(Run(r), UploadOutcome::Failed);
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(WithoutCauses(log), (Lines{T::kStart, T::kConnecting, T::kConnectFailed, T::kError}));
    EXPECT_EQ(log[3].rfind("原因: ログインを拒否されました。", 0), 0u) << log[3];
    EXPECT_NE(log[3].find("サーバの応答: 530 "), std::string::npos) << log[3];
}

TEST_F(UploadJobTest, ConnectionFailuresEndAfterTheConnectLine) {
    struct Case {
        const char* what;
        std::string host;
        int port;
    };
    const Case cases[] = {
        {"nothing listens", "127.0.0.1", testutil::FtpTestServer::FreePort()},
        {"port out of range", "127.0.0.1", 70000},
        {"host with a path", "127.0.0.1/x", server.Port()},
        {"empty host", "", server.Port()},
    };
    for (const Case& c : cases) {
        UploadRequest r = Request("ad.html");
        r.host.host = c.host;
        r.host.port = c.port;
        EXPECT_EQ(Run(r), UploadOutcome::Failed) << c.what;
        EXPECT_EQ(WithoutCauses(log), (Lines{T::kStart, T::kConnecting, T::kConnectFailed, T::kError})) << c.what;
        EXPECT_EQ(log.size(), 5u) << c.what << ": one line says why";
    }
}

TEST_F(UploadJobTest, MissingDirectoryEndsWithoutDisconnectLines) {
    UploadRequest r = Request("ad.html");
    r.host.directory = "nowhere";
    EXPECT_EQ(Run(r), UploadOutcome::Failed);
    EXPECT_EQ(WithoutCauses(log),
              (Lines{T::kStart, T::kConnecting, T::kConnected, T::kChangingDir, T::kDirFailed, T::kError}));
}

TEST_F(UploadJobTest, DirectoryWithALineBreakIsNeverSent) {
    UploadRequest r = Request("ad.html");
    r.host.directory = "site\r\nDELE x";
    EXPECT_EQ(Run(r), UploadOutcome::Failed);
    EXPECT_EQ(log.at(4), T::kDirFailed);
}

TEST_F(UploadJobTest, MultiPageSendsMainThenPagesInOrder) {
    for (int k = 1; k <= 3; ++k)
        ASSERT_TRUE(FileOps::WriteWholeFile(localDir / ("ad_00" + std::to_string(k) + ".html"),
                                            "page " + std::to_string(k) + "\n"));
    EXPECT_EQ(Run(Request("ad.html", 3)), UploadOutcome::Succeeded);
    Lines arrows;
    for (const std::string& line : log)
        if (line.rfind("    ", 0) == 0)
            arrows.push_back(line);
    EXPECT_EQ(arrows,
              (Lines{Arrow(local, "ad.html"), Arrow(localDir / "ad_001.html", "ad_001.html"),
                     Arrow(localDir / "ad_002.html", "ad_002.html"), Arrow(localDir / "ad_003.html", "ad_003.html")}));
    EXPECT_EQ(log.back(), T::kDone);
    EXPECT_EQ(OnServer("ad_002.html"), "page 2\n");
    EXPECT_EQ(OnServer("ad_003.html"), "page 3\n");
}

TEST_F(UploadJobTest, FailedPageIsLoggedAndTheRestStillGo) {
    ASSERT_TRUE(FileOps::WriteWholeFile(localDir / "ad_001.html", "one\n"));
    ASSERT_TRUE(FileOps::WriteWholeFile(localDir / "ad_003.html", "three\n"));
    EXPECT_EQ(Run(Request("ad.html", 3)), UploadOutcome::Failed);
    Lines afterArrows;
    for (std::size_t i = 0; i + 1 < log.size(); ++i)
        if (log[i].rfind("    ", 0) == 0)
            afterArrows.push_back(log[i + 1]);
    EXPECT_EQ(afterArrows, (Lines{T::kUploaded, T::kUploaded, T::kUploadFailed, T::kUploaded}));
    EXPECT_EQ(log.end()[-3], T::kDisconnecting);
    EXPECT_EQ(log.back(), T::kError);
    EXPECT_EQ(OnServer("ad_003.html"), "three\n");
}

TEST_F(UploadJobTest, LostConnectionIsNotSilentlyReplaced) {
    for (int k = 1; k <= 2; ++k)
        ASSERT_TRUE(FileOps::WriteWholeFile(localDir / ("ad_00" + std::to_string(k) + ".html"), "p\n"));
    // A new connection would log in again and land in the login directory.
    bool restarted = false;
    auto restartAfterMain = [&](UploadJob&, const std::string& line) {
        if (line == T::kUploaded && !restarted)
            restarted = server.Restart();
    };
    EXPECT_EQ(Run(Request("ad.html", 2), restartAfterMain), UploadOutcome::Failed);
    ASSERT_TRUE(restarted);
    EXPECT_FALSE(FileOps::FileExists(serverRoot / "ad_001.html"));
    EXPECT_FALSE(FileOps::FileExists(serverRoot / "ad_002.html"));
    const Lines lines = WithoutCauses(log);
    EXPECT_EQ(lines.at(10), T::kUploadFailed);
    EXPECT_EQ(lines.at(13), T::kUploadFailed);
    EXPECT_EQ(log.back(), T::kError);

    // Blocks after the loss are not tried, and say why.
    UploadRequest two = Request("ad.html");
    two.batches.push_back(AdBlockBatch(local, "second.html", 0));
    restarted = false;
    UploadJob job(two, [&](const std::string& line) {
        if (line == T::kUploaded && !restarted)
            restarted = server.Restart();
    });
    EXPECT_EQ(job.Run(), UploadOutcome::Failed);
    ASSERT_EQ(job.BatchFailures().size(), 2u);
    EXPECT_TRUE(job.BatchesSent()[0]);
    EXPECT_EQ(job.BatchFailures()[1].cause, UploadCause::ConnectionLost);
}

TEST_F(UploadJobTest, LeadingSlashIsDroppedButALoneSlashIsKept) {
    EXPECT_EQ(Run(Request("/x.html")), UploadOutcome::Succeeded);
    EXPECT_EQ(log.at(6), Arrow(local, "x.html"));
    EXPECT_NE(OnServer("x.html"), "<missing>");

    EXPECT_EQ(Run(Request("/")), UploadOutcome::Failed);
    EXPECT_EQ(log.at(6), Arrow(local, "/"));
    EXPECT_EQ(log.at(7), T::kUploadFailed);
    EXPECT_EQ(log.back(), T::kError);
    EXPECT_EQ(WithoutCauses(log).size(), 9u); // no disconnect lines after a failed main file
}

TEST_F(UploadJobTest, RelativeNamesWithSpacesLandWhereTheyPoint) {
    ASSERT_TRUE(FileOps::MakeDirRetry(serverRoot / "site/sub"));
    EXPECT_EQ(Run(Request("sub/my ad#1.html", 1)), UploadOutcome::Failed); // no local page file
    EXPECT_NE(OnServer("sub/my ad#1.html"), "<missing>");
    EXPECT_EQ(log.at(9), Arrow(localDir / "ad_001.html", "sub/my ad#1_001.html"));
}

TEST_F(UploadJobTest, StopBetweenTransfersSkipsTheRestAndDisconnects) {
    for (int k = 1; k <= 2; ++k)
        ASSERT_TRUE(FileOps::WriteWholeFile(localDir / ("ad_00" + std::to_string(k) + ".html"), "p\n"));
    auto stopAfterMain = [](UploadJob& job, const std::string& line) {
        if (line == T::kUploaded)
            job.RequestStop();
    };
    EXPECT_EQ(Run(Request("ad.html", 2), stopAfterMain), UploadOutcome::Stopped);
    EXPECT_EQ(Lines(log.begin() + 7, log.end()),
              (Lines{T::kUploaded, T::kDisconnecting, T::kDisconnected, T::kStopped}));
    EXPECT_EQ(OnServer("ad_001.html"), "<missing>");
}

TEST_F(UploadJobTest, StopDuringATransferAbortsIt) {
    auto stopOnArrow = [](UploadJob& job, const std::string& line) {
        if (line.rfind("    ", 0) == 0)
            job.RequestStop();
    };
    EXPECT_EQ(Run(Request("ad.html", 2), stopOnArrow), UploadOutcome::Stopped);
    EXPECT_EQ(Lines(log.begin() + 7, log.end()), (Lines{T::kUploadFailed, T::kStopped}));
}

TEST_F(UploadJobTest, JobIsRunOnAWorkerAndStoppedFromAnotherThread) {
    // Large enough that the stop usually arrives while the data still flows.
    ASSERT_TRUE(FileOps::WriteWholeFile(local, std::string(64 << 20, 'x')));
    std::mutex mutex;
    std::condition_variable cv;
    Lines lines;
    UploadJob job(Request("big.html"), [&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
        cv.notify_all();
    });
    UploadOutcome outcome = UploadOutcome::Refused;
    std::thread worker([&] { outcome = job.Run(); });
    {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return lines.size() >= 7; });
    }
    job.RequestStop();
    EXPECT_EQ(job.Run(), UploadOutcome::Refused); // one run at a time
    worker.join();
    EXPECT_EQ(outcome, UploadOutcome::Stopped);
    EXPECT_EQ(lines.back(), T::kStopped);
    EXPECT_FALSE(job.IsBusy());
}

TEST(UploadNames, PageAndMainNames) {
    struct Case {
        const char* remote;
        int page;
        const char* expected;
    };
    const Case cases[] = {
        {"ad.html", 1, "ad_001.html"},           {"dir/ad.html", 12, "dir/ad_012.html"},
        {"dir\\ad.html", 3, "dir\\ad_003.html"}, {"dir.v2/ad", 1, "dir.v2/ad_001"},
        {"a.b.html", 2, "a.b_002.html"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RemotePageName(c.remote, c.page), c.expected) << c.remote;
    // 表 is 0x95 0x5C in CP932: its trail byte is no directory separator.
    std::string name = Cp932::FromUtf8("表.html");
    EXPECT_EQ(RemotePageName(name, 1), Cp932::FromUtf8("表_001.html"));

    EXPECT_EQ(RemoteMainName("/x.html"), "x.html");
    EXPECT_EQ(RemoteMainName("\\x.html"), "x.html");
    EXPECT_EQ(RemoteMainName("/"), "/");
    EXPECT_EQ(RemoteMainName("x.html"), "x.html");
}

TEST(UploadNames, PageFilesOnlyInMultiPageMode) {
    AdBlockResult r;
    r.pageCount = 3;
    EXPECT_EQ(PageFilesOf(r), 0);
    r.rowLimit = 1;
    EXPECT_EQ(PageFilesOf(r), 0); // random script
    r.multiPage = 1;
    EXPECT_EQ(PageFilesOf(r), 3);
    r.pageCount = 0;
    EXPECT_EQ(PageFilesOf(r), 0);
}

} // namespace

namespace {

TEST_F(UploadJobTest, StopAskedBeforeTheJobStartsIsNotLost) {
    // The publish window may ask for the stop just as a host's job is made.
    UploadJob job(Request("ad.html"), [this](const std::string& line) { log.push_back(line); });
    job.RequestStop();
    EXPECT_EQ(job.Run(), UploadOutcome::Stopped);
    EXPECT_EQ(log.back(), T::kStopped);
    EXPECT_EQ(OnServer("ad.html"), "<missing>");
    EXPECT_FALSE(job.StopRequested()) << "cleared once honoured";
}

} // namespace

namespace {

TEST(UploadTimeout, AServerThatNeverAnswersSaysSo) {
    // Takes connections and never says a word.
    testutil::SilentServer silent;
    ASSERT_NE(silent.Port(), 0);
    for (FtpProtocol protocol : {FtpProtocol::Ftp, FtpProtocol::Sftp}) {
        UploadRequest r;
        r.host = FtpHostEntry::New();
        r.host.host = "127.0.0.1";
        r.host.protocol = protocol;
        r.host.port = silent.Port();
        r.timeouts = {1, 1, 1};
        r.batches.push_back(UploadBatch{{UploadFile{"/local/a.html", "a.html", std::string("x")}}});
        Lines log;
        UploadJob job(r, [&](const std::string& line) { log.push_back(line); });
        EXPECT_EQ(job.Run(), UploadOutcome::Failed);
        EXPECT_EQ(job.Failure().cause, UploadCause::Timeout) << static_cast<int>(protocol) << ": " << log.at(3);
        EXPECT_EQ(log.at(3), "原因: サーバから応答がありません（タイムアウト）。") << static_cast<int>(protocol);
    }
}

} // namespace
